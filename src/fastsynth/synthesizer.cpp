#include "fastsynth/synthesizer.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace fastsynth {
namespace {

// Relative costs, measured on this machine's AVX-512 cores with FFTW 3.3:
// one double multiply-add of the direct loop, and one unit of n log2 n of a
// real transform of n points.
constexpr double kDirectCost = 1.0;
constexpr double kFftCost = 1.6;

double log2Of(int n) { return std::log2(static_cast<double>(std::max(n, 2))); }

}  // namespace

Element::Element(const std::array<std::span<const float>, 3>& motion, int nin, int maxOut,
                 double scale, bool removeMean)
    : nin_(std::max(nin, 0)), maxOut_(std::max(maxOut, 1)) {
  for (int q = 0; q < 3; ++q) {
    if (motion[q].size() < static_cast<std::size_t>(nin_))
      throw std::invalid_argument("fastsynth::Element: series " + std::to_string(q) + " holds " +
                                  std::to_string(motion[q].size()) + " samples, not " +
                                  std::to_string(nin_));
    series_[q].assign(motion[q].begin(), motion[q].begin() + nin_);
    double sum = 0.0;
    for (double& v : series_[q]) {
      v *= scale;
      sum += v;
    }
    if (removeMean && nin_ > 0)
      for (double& v : series_[q]) v -= sum / nin_;
    for (const double v : series_[q]) peak_ = std::max(peak_, std::fabs(v));
  }
  // Shifts in use lie in 0..maxOut-1 (the summation's shifts are never
  // negative), so a synthesis needs a transform of nin + span - 1 <= nin +
  // maxOut - 1 points; every fast size up to that is prepared.
  const int largest = fft::fastSize(std::max(nin_, 1) + maxOut_ - 1);
  for (int n = fft::fastSize(std::max(nin_, 1));; n = fft::fastSize(n + 1)) {
    Spectra s{fft::RealFft(n), {}};
    fft::Buffer<double> real(static_cast<std::size_t>(n));
    for (int q = 0; q < 3; ++q) {
      std::copy(series_[q].begin(), series_[q].end(), real.data());
      s.bins[q] = fft::Buffer<fft::Complex>(static_cast<std::size_t>(s.fft.bins()));
      s.fft.forward(real.data(), s.bins[q].data());
    }
    sizes_.push_back(std::move(s));
    if (n >= largest) break;
  }
}

std::size_t Element::bytes() const {
  std::size_t b = sizeof(*this) + 3 * series_[0].capacity() * sizeof(double);
  for (const Spectra& s : sizes_) b += 3 * s.bins[0].size() * sizeof(fft::Complex);
  return b;
}

const Element::Spectra* Element::spectraFor(int n) const {
  for (const Spectra& s : sizes_)
    if (s.fft.size() >= n) return &s;
  return nullptr;
}

Synthesizer::Synthesizer(int maxIn, int maxOut)
    : maxIn_(std::max(maxIn, 1)), maxOut_(std::max(maxOut, 1)) {
  const std::size_t tapCount = static_cast<std::size_t>(maxIn_) + maxOut_;
  taps_.assign(tapCount, 0.0);
  nonzero_.reserve(tapCount);
  for (auto& o : out_) o.assign(static_cast<std::size_t>(maxOut_), 0.0);
  const int n = fft::fastSize(maxIn_ + maxOut_ - 1);
  real_ = fft::Buffer<double>(static_cast<std::size_t>(n));
  tapBins_ = fft::Buffer<fft::Complex>(static_cast<std::size_t>(n / 2 + 1));
  product_ = fft::Buffer<fft::Complex>(static_cast<std::size_t>(n / 2 + 1));
}

std::size_t Synthesizer::bytes() const {
  return sizeof(*this) + taps_.capacity() * sizeof(double) + nonzero_.capacity() * sizeof(int) +
         3 * out_[0].capacity() * sizeof(double) +
         real_.size() * sizeof(double) + (tapBins_.size() + product_.size()) * sizeof(fft::Complex);
}

void Synthesizer::accumulate(const synthesis::SummationPlan& plan, int nin, int nout) {
  // A copy can only reach output samples 0..nout-1 when its shift lies in
  // (-nin, nout); taps_[s + base_] covers exactly that range.
  base_ = nin - 1;
  lo_ = nout;
  hi_ = -nin;
  // The first area's weight (the first nonzero one) scales the finished
  // synthetic; the taps carry each area's weight relative to it, so that
  // the synthetic of one area is its unit-weight synthetic times its weight.
  scale_ = 1.0;
  for (const synthesis::PlanArea& a : plan.areas()) {
    if (a.weight != 0.0f) {
      scale_ = static_cast<double>(a.weight);
      break;
    }
  }
  // The copies of the plan in its order, each adding its weight a*b, in
  // single precision as the summation forms it, into the tap of its shift.
  for (const synthesis::PlanArea& a : plan.areas()) {
    const double relative = static_cast<double>(a.weight) / scale_;
    for (int i = 1; i <= a.nx; ++i) {
      for (int j = 1; j <= a.nw; ++j) {
        const float amp = a.amplitude[i - 1][j - 1];
        for (int k = 1; k <= a.ntt; ++k) {
          const int shift = plan.shift(a, i, j, k);
          if (shift <= -nin || shift >= nout) continue;
          const float w = amp * a.ft[static_cast<std::size_t>(k - 1)];
          taps_[static_cast<std::size_t>(shift + base_)] += static_cast<double>(w) * relative;
          lo_ = std::min(lo_, shift);
          hi_ = std::max(hi_, shift);
        }
      }
    }
  }
  nonzero_.clear();
  for (int s = lo_; s <= hi_; ++s)
    if (taps_[static_cast<std::size_t>(s + base_)] != 0.0) nonzero_.push_back(s);
}

void Synthesizer::requireSinglePrecision(const synthesis::SummationPlan& plan,
                                         const Element& element, int nout) const {
  // |synthetic| <= sum |taps| * max |element|: far below the limit, no
  // sample needs looking at; otherwise every sample is checked.
  double taps = 0.0;
  for (const int s : nonzero_) taps += std::fabs(taps_[static_cast<std::size_t>(s + base_)]);
  const double bound = taps * element.peak() * std::fabs(scale_);
  if (bound < 0.5 * synthesis::kSinglePrecisionLimit) return;
  for (const auto& series : out_)
    for (int t = 0; t < nout; ++t)
      if (!synthesis::finiteInSinglePrecision(series[static_cast<std::size_t>(t)] * scale_))
        throw plan.overflow();
}

void Synthesizer::synthesize(const Element& element, const synthesis::SummationPlan& plan,
                             int nout, Method method) {
  const int nin = element.samples();
  if (nin > maxIn_ || nout > maxOut_ || nout > element.maxOut() || nout < 0)
    throw std::invalid_argument("fastsynth::Synthesizer: element of " + std::to_string(nin) +
                                " samples and synthetic of " + std::to_string(nout) +
                                " exceed the sizes it was made for (" + std::to_string(maxIn_) +
                                ", " + std::to_string(std::min(maxOut_, element.maxOut())) + ")");
  nout_ = nout;
  accumulate(plan, nin, nout);

  // No transform when there are no taps, or when one long enough would not
  // fit this synthesiser's scratch (only negative shifts can ask for that).
  const Element::Spectra* spectra =
      tapSpan() > 0 ? element.spectraFor(nin + tapSpan() - 1) : nullptr;
  if (spectra != nullptr && static_cast<std::size_t>(spectra->fft.size()) > real_.size())
    spectra = nullptr;
  if (method == Method::Auto) {
    const double direct = kDirectCost * 3.0 * nonzero_.size() * std::min(nin, nout);
    double viaFft = direct + 1.0;
    if (spectra != nullptr) {
      const int n = spectra->fft.size();
      viaFft = kFftCost * 4.0 * n * log2Of(n) + 3.0 * n;
    }
    method = viaFft < direct ? Method::Fft : Method::Direct;
  }
  if (method == Method::Fft && spectra == nullptr) method = Method::Direct;
  last_ = method;
  if (method == Method::Fft)
    convolveFft(element, nout);
  else
    convolveDirect(element, nout);
  try {
    requireSinglePrecision(plan, element, nout);
  } catch (...) {
    clearTaps();
    throw;
  }
  clearTaps();
}

void Synthesizer::clearTaps() {
  for (int s = lo_; s <= hi_; ++s) taps_[static_cast<std::size_t>(s + base_)] = 0.0;
}

void Synthesizer::convolveDirect(const Element& element, int nout) {
  const int nin = element.samples();
  for (int q = 0; q < 3; ++q) {
    double* o = out_[q].data();
    std::fill(o, o + nout, 0.0);
    const double* x = element.series_[q].data();
    for (const int s : nonzero_) {
      const double t = taps_[static_cast<std::size_t>(s + base_)];
      const int first = std::max(0, -s);
      const int last = std::min(nin, nout - s);  // exclusive
      const double* xs = x + first;
      double* os = o + (first + s);
      const int count = last - first;
      for (int m = 0; m < count; ++m) os[m] += t * xs[m];
    }
  }
}

void Synthesizer::convolveFft(const Element& element, int nout) {
  const int nin = element.samples();
  const Element::Spectra& sp = *element.spectraFor(nin + tapSpan() - 1);  // checked by the caller
  const int n = sp.fft.size();
  const int bins = sp.fft.bins();
  // Tap of shift s at index s - lo_; the product of the spectra is the
  // convolution y, with y(t) = synthetic(t + lo_) for t < nin + span - 1
  // and zero beyond. n covers that length, so nothing wraps around.
  double* r = real_.data();
  std::fill(r, r + n, 0.0);
  for (int s = lo_; s <= hi_; ++s) r[s - lo_] = taps_[static_cast<std::size_t>(s + base_)];
  sp.fft.forward(r, tapBins_.data());
  const long long length = static_cast<long long>(nin) + tapSpan() - 1;
  const double scale = 1.0 / n;
  for (int q = 0; q < 3; ++q) {
    const fft::Complex* e = sp.bins[q].data();
    for (int k = 0; k < bins; ++k) product_[k] = tapBins_[k] * e[k];
    sp.fft.inverse(product_.data(), r);
    double* o = out_[q].data();
    for (int t = 0; t < nout; ++t) {
      const long long y = static_cast<long long>(t) - lo_;
      o[t] = (y >= 0 && y < length) ? r[y] * scale : 0.0;
    }
  }
}

void Synthesizer::removeMeans(int ksa, int kea) {
  const auto remove = [this](int first, int last) {  // samples counted from 1
    first = std::max(first, 1);
    last = std::min(last, nout_);
    if (last < first) return;
    for (auto& series : out_) {
      double sum = 0.0;
      for (int i = first - 1; i < last; ++i) sum += series[static_cast<std::size_t>(i)];
      const double mean = sum / (last - first + 1);
      for (int i = first - 1; i < last; ++i) series[static_cast<std::size_t>(i)] -= mean;
    }
  };
  remove(1, nout_);
  remove(ksa, kea);
}

}  // namespace fastsynth
