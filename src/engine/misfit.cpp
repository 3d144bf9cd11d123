#include "engine/misfit.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace engine {
namespace {

// Relative cost of one unit of n log2 n of a real transform against one
// multiply-add of the direct correlation (measured, see bench/README.md).
constexpr double kFftCost = 1.6;

template <class T>
void gatherAny(std::span<const T> series, long long first, std::span<double> dst) {
  const long long size = static_cast<long long>(series.size());
  for (std::size_t j = 0; j < dst.size(); ++j) {
    const long long i = first + static_cast<long long>(j);
    dst[j] =
        (i >= 1 && i <= size) ? static_cast<double>(series[static_cast<std::size_t>(i - 1)]) : 0.0;
  }
}

}  // namespace

void gather(std::span<const double> series, long long first, std::span<double> dst) {
  gatherAny(series, first, dst);
}

void gather(std::span<const float> series, long long first, std::span<double> dst) {
  gatherAny(series, first, dst);
}

void envelope(std::span<const double> series, long long first, int halfWidth,
              std::span<double> dst) {
  const long long size = static_cast<long long>(series.size());
  const auto at = [&](long long i) {  // |sample i|, counted from 1
    return (i >= 1 && i <= size) ? std::fabs(series[static_cast<std::size_t>(i - 1)]) : 0.0;
  };
  const int h = std::max(halfWidth, 0);
  const double width = 2.0 * h + 1.0;
  // A running sum, restarted every 1024 samples so that its rounding never
  // builds up over a long window.
  double sum = 0.0;
  for (std::size_t j = 0; j < dst.size(); ++j) {
    const long long centre = first + static_cast<long long>(j);
    if (j % 1024 == 0) {
      sum = 0.0;
      for (long long i = centre - h; i <= centre + h; ++i) sum += at(i);
    } else {
      sum += at(centre + h) - at(centre - h - 1);
    }
    dst[j] = sum / width;
  }
}

Observed::Observed(std::span<const double> window, int maxShift)
    : window_(window.begin(), window.end()), maxShift_(std::max(maxShift, 0)) {
  for (const double v : window_) energy_ += v * v;
  const double n = static_cast<double>(window_.size());
  const int size = dsp::fastSize(span());
  const double direct = n * (2.0 * maxShift_ + 1.0);
  const double viaFft = kFftCost * 2.0 * size * std::log2(std::max(size, 2)) + 2.0 * size;
  if (viaFft >= direct || window_.empty()) return;
  fft_ = dsp::RealFft(size);
  dsp::FftBuffer<double> real(static_cast<std::size_t>(size));
  std::copy(window_.begin(), window_.end(), real.data());
  conjBins_ = dsp::FftBuffer<dsp::Complex>(static_cast<std::size_t>(fft_.bins()));
  fft_.forward(real.data(), conjBins_.data());
  for (std::size_t k = 0; k < conjBins_.size(); ++k) conjBins_[k] = std::conj(conjBins_[k]);
}

std::size_t Observed::bytes() const {
  return sizeof(*this) + window_.capacity() * sizeof(double) +
         conjBins_.size() * sizeof(dsp::Complex);
}

void Correlator::reserve(const Observed& o) {
  const std::size_t shifts = 2 * static_cast<std::size_t>(o.maxShift()) + 1;
  if (prefix_.size() < static_cast<std::size_t>(o.span()) + 1) prefix_.resize(o.span() + 1);
  if (cross_.size() < shifts) cross_.resize(shifts);
  if (o.viaFft() && real_.size() < static_cast<std::size_t>(o.fft_.size())) {
    real_ = dsp::FftBuffer<double>(static_cast<std::size_t>(o.fft_.size()));
    bins_ = dsp::FftBuffer<dsp::Complex>(static_cast<std::size_t>(o.fft_.bins()));
  }
}

std::size_t Correlator::bytes() const {
  return (prefix_.capacity() + cross_.capacity() + real_.size()) * sizeof(double) +
         bins_.size() * sizeof(dsp::Complex);
}

void Correlator::curves(const Observed& o, std::span<const double> synthetic,
                        std::span<double> residual, std::span<double> correlation) {
  const int n = o.length();
  const int m = o.maxShift();
  const std::size_t shifts = 2 * static_cast<std::size_t>(m) + 1;
  if (synthetic.size() < static_cast<std::size_t>(o.span()) || residual.size() < shifts ||
      correlation.size() < shifts || prefix_.size() < static_cast<std::size_t>(o.span()) + 1 ||
      (o.viaFft() && real_.size() < static_cast<std::size_t>(o.fft_.size())))
    throw std::invalid_argument("engine::Correlator::curves: buffers smaller than the window " +
                                std::to_string(n) + " +- " + std::to_string(m) +
                                " needs (reserve first)");

  prefix_[0] = 0.0;
  for (int j = 0; j < o.span(); ++j) prefix_[j + 1] = prefix_[j] + synthetic[j] * synthetic[j];

  if (o.viaFft()) {
    // Sos(l) is the circular cross-correlation at lag l + maxShift; the
    // transform holds length + 2 maxShift points, so no term wraps.
    const int size = o.fft_.size();
    std::copy(synthetic.begin(), synthetic.begin() + o.span(), real_.data());
    std::fill(real_.data() + o.span(), real_.data() + size, 0.0);
    o.fft_.forward(real_.data(), bins_.data());
    for (int k = 0; k < o.fft_.bins(); ++k) bins_[k] *= o.conjBins_[k];
    o.fft_.inverse(bins_.data(), real_.data());
    for (std::size_t t = 0; t < shifts; ++t) cross_[t] = real_[t] / size;
  } else {
    for (std::size_t t = 0; t < shifts; ++t) {
      double sum = 0.0;
      const double* s = synthetic.data() + t;
      for (int k = 0; k < n; ++k) sum += o.window_[k] * s[k];
      cross_[t] = sum;
    }
  }

  const double soo = o.energy();
  for (std::size_t t = 0; t < shifts; ++t) {
    // A difference of prefix sums: exactly 0 over a window of zeros, and
    // never let below 0 by rounding.
    const double sss = std::max(prefix_[t + n] - prefix_[t], 0.0);
    if (soo <= 0.0 || sss <= 0.0) {
      residual[t] = kNoEnergyResidual;
      correlation[t] = 0.0;
      continue;
    }
    const double norm = std::sqrt(soo) * std::sqrt(sss);
    residual[t] = std::max(soo + sss - 2.0 * cross_[t], 0.0) / norm;
    correlation[t] = cross_[t] / norm;
  }
}

int bestShift(std::span<const double> total, int maxShift) {
  // Visiting 0, -1, 1, -2, 2, ... and keeping the first strict minimum
  // gives the tie rule.
  int best = 0;
  for (int a = 0; a <= maxShift; ++a) {
    for (const int l : {-a, a}) {
      if (a == 0 && l > 0) continue;
      if (total[static_cast<std::size_t>(l + maxShift)] <
          total[static_cast<std::size_t>(best + maxShift)])
        best = l;
    }
  }
  return best;
}

}  // namespace engine
