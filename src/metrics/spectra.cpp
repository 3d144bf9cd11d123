// Response spectra, Fourier spectra and their smoothing, energy integrals
// and the band pass.
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "dsp/real_fft.hpp"
#include "metrics/metrics.hpp"

namespace metrics {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::size_t nextPowerOfTwo(std::size_t n) {
  std::size_t m = 1;
  while (m < n) m *= 2;
  return m;
}

// The half spectrum (m/2 + 1 values) of x zero-padded to m.
std::vector<std::complex<double>> forward(std::span<const double> x, std::size_t m) {
  dsp::FftBuffer<double> in(m);
  std::copy(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(std::min(x.size(), m)), in.data());
  dsp::FftBuffer<dsp::Complex> out(m / 2 + 1);
  dsp::RealFft(static_cast<int>(m)).forward(in.data(), out.data());
  return {out.data(), out.data() + out.size()};
}

// The real series of length m of a half spectrum, divided by m.
std::vector<double> inverse(const std::vector<std::complex<double>>& half, std::size_t m) {
  dsp::FftBuffer<dsp::Complex> in(half.size());
  std::copy(half.begin(), half.end(), in.data());
  dsp::FftBuffer<double> out(m);
  dsp::RealFft(static_cast<int>(m)).inverse(in.data(), out.data());
  std::vector<double> y(out.data(), out.data() + m);
  for (double& v : y) v /= static_cast<double>(m);
  return y;
}

double bandResponse(double f, Band band) {
  const double h = std::pow(f / band.low, 8), l = std::pow(f / band.high, 8);
  return (h / (1.0 + h)) / (1.0 + l);
}

}  // namespace

double peak(std::span<const double> x) {
  double p = 0.0;
  for (double v : x) p = std::max(p, std::fabs(v));
  return p;
}

std::vector<double> logSpaced(double first, double last, int count) {
  std::vector<double> v(static_cast<std::size_t>(count));
  const double a = std::log10(first), b = std::log10(last);
  for (int k = 1; k + 1 < count; ++k)
    v[static_cast<std::size_t>(k)] = std::pow(10.0, a + (b - a) * k / (count - 1));
  if (count > 0) v.front() = first;
  if (count > 1) v.back() = last;
  return v;
}

std::vector<double> pseudoSpectralAcceleration(std::span<const double> acc, double dt,
                                               std::span<const double> periods, double damping) {
  std::vector<double> psa(periods.size(), kNaN);
  if (peak(acc) == 0.0) return psa;
  OscillatorBank(dt, periods, damping).pseudoAcceleration(acc, psa);
  return psa;
}

Spectrum fourierAmplitude(std::span<const double> x, double dt) {
  const std::size_t m = nextPowerOfTwo(std::max<std::size_t>(x.size(), 2));
  const auto half = forward(x, m);
  Spectrum s;
  s.frequency.resize(half.size());
  s.amplitude.resize(half.size());
  for (std::size_t j = 0; j < half.size(); ++j) {
    s.frequency[j] = static_cast<double>(j) / (static_cast<double>(m) * dt);
    s.amplitude[j] = std::abs(half[j]) * dt;
  }
  return s;
}

std::vector<double> konnoOhmachi(const Spectrum& s, std::span<const double> centres, double b) {
  std::vector<double> out(centres.size());
  KonnoOhmachiSmoother(s.frequency, centres, b).apply(s.amplitude, out);
  return out;
}

std::vector<double> cumulativeSquare(std::span<const double> x, double dt) {
  std::vector<double> c(x.size(), 0.0);
  for (std::size_t k = 1; k < x.size(); ++k)
    c[k] = c[k - 1] + 0.5 * (x[k - 1] * x[k - 1] + x[k] * x[k]) * dt;
  return c;
}

double energyTime(std::span<const double> c, double dt, double fraction) {
  if (c.empty() || !(c.back() > 0.0)) return kNaN;
  const double level = fraction * c.back();
  for (std::size_t k = 1; k < c.size(); ++k) {
    if (c[k] >= level) {
      const double step = c[k] - c[k - 1];
      const double part = step > 0.0 ? (level - c[k - 1]) / step : 0.0;
      return (static_cast<double>(k - 1) + part) * dt;
    }
  }
  return static_cast<double>(c.size() - 1) * dt;
}

double significantDuration(std::span<const double> acc, double dt) {
  const auto c = cumulativeSquare(acc, dt);
  return energyTime(c, dt, 0.95) - energyTime(c, dt, 0.05);
}

bool within(Band inner, Band outer) {
  constexpr double kTolerance = 1e-6;
  return inner.low >= outer.low * (1.0 - kTolerance) && inner.high <= outer.high * (1.0 + kTolerance);
}

BandFilter::BandFilter(std::span<const double> acc, double dt)
    : length_(acc.size()),
      padded_(nextPowerOfTwo(2 * std::max<std::size_t>(acc.size(), 1))),
      dt_(dt),
      spectrum_(forward(acc, padded_)) {}

BandMotion BandFilter::motion(Band band) const {
  const std::size_t bins = spectrum_.size();
  std::vector<std::complex<double>> a(bins), v(bins), d(bins);  // bin 0 stays 0: H(0) = 0
  for (std::size_t j = 1; j < bins; ++j) {
    const double f = static_cast<double>(j) / (static_cast<double>(padded_) * dt_);
    const std::complex<double> iw(0.0, 2.0 * kPi * f);
    a[j] = spectrum_[j] * bandResponse(f, band);
    v[j] = a[j] / iw;
    d[j] = v[j] / iw;
  }
  // At the Nyquist frequency a real series' velocity is undefined (the bin
  // is imaginary); it is left out rather than to the inverse transform.
  v[bins - 1] = 0.0;
  auto cut = [&](std::vector<double> y) {
    y.resize(length_);
    return y;
  };
  return {cut(inverse(a, padded_)), cut(inverse(v, padded_)), cut(inverse(d, padded_))};
}

}  // namespace metrics
