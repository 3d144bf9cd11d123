#include "engine/synthesizer.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace engine {
namespace {

// Relative costs, measured on this machine's AVX-512 cores with FFTW 3.3:
// one double multiply-add of the direct loop, and one unit of n log2 n of a
// real transform of n points.
constexpr double kDirectCost = 1.0;
constexpr double kFftCost = 1.6;

double log2Of(int n) { return std::log2(static_cast<double>(std::max(n, 2))); }

}  // namespace

Element::Element(const model::MotionView& motion, int nin, int maxOut, double scale,
                 bool removeMean)
    : nin_(std::max(nin, 0)), maxOut_(std::max(maxOut, 1)) {
  for (int q = 0; q < 3; ++q) {
    const std::span<const float> m = motion[q];
    if (m.size() < static_cast<std::size_t>(nin_))
      throw std::invalid_argument("engine::Element: series " + std::to_string(q) + " holds " +
                                  std::to_string(m.size()) + " samples, not " +
                                  std::to_string(nin_));
    series_[q].assign(m.begin(), m.begin() + nin_);
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
  const int largest = dsp::fastSize(std::max(nin_, 1) + maxOut_ - 1);
  for (int n = dsp::fastSize(std::max(nin_, 1));; n = dsp::fastSize(n + 1)) {
    Spectra s{dsp::RealFft(n), {}};
    dsp::FftBuffer<double> real(static_cast<std::size_t>(n));
    for (int q = 0; q < 3; ++q) {
      std::copy(series_[q].begin(), series_[q].end(), real.data());
      s.bins[q] = dsp::FftBuffer<dsp::Complex>(static_cast<std::size_t>(s.fft.bins()));
      s.fft.forward(real.data(), s.bins[q].data());
    }
    sizes_.push_back(std::move(s));
    if (n >= largest) break;
  }
}

std::size_t Element::bytes() const {
  std::size_t b = sizeof(*this) + 3 * series_[0].capacity() * sizeof(double);
  for (const Spectra& s : sizes_) b += 3 * s.bins[0].size() * sizeof(dsp::Complex);
  return b;
}

const Element::Spectra* Element::spectraFor(int n) const {
  for (const Spectra& s : sizes_)
    if (s.fft.size() >= n) return &s;
  return nullptr;
}

void ConvolutionScratch::reserve(int size) {
  if (real_.size() >= static_cast<std::size_t>(size)) return;
  real_ = dsp::FftBuffer<double>(static_cast<std::size_t>(size));
  product_ = dsp::FftBuffer<dsp::Complex>(static_cast<std::size_t>(size / 2 + 1));
}

std::size_t ConvolutionScratch::bytes() const {
  return real_.size() * sizeof(double) + product_.size() * sizeof(dsp::Complex);
}

Synthesizer::Synthesizer(int maxIn, int maxOut)
    : maxIn_(std::max(maxIn, 1)), maxOut_(std::max(maxOut, 1)) {
  const std::size_t tapCount = static_cast<std::size_t>(maxIn_) + maxOut_;
  taps_.assign(tapCount, 0.0);
  nonzero_.reserve(tapCount);
  const int n = dsp::fastSize(maxIn_ + maxOut_ - 1);
  real_ = dsp::FftBuffer<double>(static_cast<std::size_t>(n));
  tapBins_ = dsp::FftBuffer<dsp::Complex>(static_cast<std::size_t>(n / 2 + 1));
}

std::size_t Synthesizer::bytes() const {
  return sizeof(*this) + taps_.capacity() * sizeof(double) + nonzero_.capacity() * sizeof(int) +
         real_.size() * sizeof(double) + tapBins_.size() * sizeof(dsp::Complex);
}

void Synthesizer::accumulate(const synthesis::SummationPlan& plan, int nin, int nout) {
  // Clear the taps of the last model.
  for (int s = lo_; s <= hi_; ++s) taps_[static_cast<std::size_t>(s + base_)] = 0.0;
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

void Synthesizer::prepare(const Element& element, const synthesis::SummationPlan& plan, int nout,
                          Method method) {
  const int nin = element.samples();
  if (nin > maxIn_ || nout > maxOut_ || nout > element.maxOut() || nout < 0)
    throw std::invalid_argument("engine::Synthesizer: element of " + std::to_string(nin) +
                                " samples and synthetic of " + std::to_string(nout) +
                                " exceed the sizes it was made for (" + std::to_string(maxIn_) +
                                ", " + std::to_string(std::min(maxOut_, element.maxOut())) + ")");
  element_ = &element;
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
  spectra_ = method == Method::Fft ? spectra : nullptr;
  if (spectra_ != nullptr) transformTaps();

  // |synthetic| <= sum |taps| * max |element|: far below single
  // precision's limit, no sample needs looking at.
  double taps = 0.0;
  for (const int s : nonzero_) taps += std::fabs(taps_[static_cast<std::size_t>(s + base_)]);
  const double bound = taps * element.peak() * std::fabs(scale_);
  overflow_.reset();
  if (!(bound < 0.5 * synthesis::kSinglePrecisionLimit)) overflow_.emplace(plan.overflow());
}

void Synthesizer::transformTaps() {
  // Tap of shift s at index s - lo_; n covers the convolution's length, so
  // nothing wraps around.
  const int n = spectra_->fft.size();
  double* r = real_.data();
  std::fill(r, r + n, 0.0);
  for (int s = lo_; s <= hi_; ++s) r[s - lo_] = taps_[static_cast<std::size_t>(s + base_)];
  spectra_->fft.forward(r, tapBins_.data());
}

void Synthesizer::series(int q, ConvolutionScratch& scratch, std::span<double> out) const {
  if (element_ == nullptr || out.size() < static_cast<std::size_t>(nout_) || q < 0 || q > 2)
    throw std::invalid_argument("engine::Synthesizer::series: nothing prepared, or series " +
                                std::to_string(q) + " into " + std::to_string(out.size()) +
                                " samples of " + std::to_string(nout_));
  if (last_ == Method::Fft)
    convolveFft(q, scratch, out);
  else
    convolveDirect(q, out);
  if (overflow_) {
    for (int t = 0; t < nout_; ++t)
      if (!synthesis::finiteInSinglePrecision(out[static_cast<std::size_t>(t)] * scale_))
        throw *overflow_;
  }
}

void Synthesizer::convolveDirect(int q, std::span<double> out) const {
  const int nin = element_->samples();
  const int nout = nout_;
  double* o = out.data();
  std::fill(o, o + nout, 0.0);
  const double* x = element_->series_[q].data();
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

void Synthesizer::convolveFft(int q, ConvolutionScratch& scratch, std::span<double> out) const {
  const Element::Spectra& sp = *spectra_;
  const int n = sp.fft.size();
  const int bins = sp.fft.bins();
  scratch.reserve(n);
  // The product of the spectra is the convolution y, with y(t) =
  // synthetic(t + lo_) for t < nin + span - 1 and zero beyond.
  const long long length = static_cast<long long>(element_->samples()) + tapSpan() - 1;
  const double scale = 1.0 / n;
  const dsp::Complex* e = sp.bins[q].data();
  dsp::Complex* product = scratch.product_.data();
  double* r = scratch.real_.data();
  for (int k = 0; k < bins; ++k) product[k] = tapBins_[k] * e[k];
  sp.fft.inverse(product, r);
  double* o = out.data();
  for (int t = 0; t < nout_; ++t) {
    const long long y = static_cast<long long>(t) - lo_;
    o[t] = (y >= 0 && y < length) ? r[y] * scale : 0.0;
  }
}

void removeMeans(std::span<double> series, int ksa, int kea) {
  const int size = static_cast<int>(series.size());
  const auto remove = [&](int first, int last) {  // samples counted from 1
    first = std::max(first, 1);
    last = std::min(last, size);
    if (last < first) return;
    double sum = 0.0;
    for (int i = first - 1; i < last; ++i) sum += series[static_cast<std::size_t>(i)];
    const double mean = sum / (last - first + 1);
    for (int i = first - 1; i < last; ++i) series[static_cast<std::size_t>(i)] -= mean;
  };
  remove(1, size);
  remove(ksa, kea);
}

}  // namespace engine
