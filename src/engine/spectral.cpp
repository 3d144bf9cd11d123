#include "engine/spectral.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "engine/misfit.hpp"

namespace engine {
namespace {

// The length metrics::fourierAmplitude pads a window to.
int paddedLength(int n) {
  int m = 1;
  while (m < std::max(n, 2)) m *= 2;
  return m;
}

std::string text(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%g", v);
  return s;
}

}  // namespace

double meanSquaredDifference(std::span<const double> a, std::span<const double> b) {
  double sum = 0.0;
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (!std::isfinite(b[k])) return kNoEnergyResidual;
    const double d = a[k] - b[k];
    sum += d * d;
  }
  return a.empty() ? 0.0 : sum / static_cast<double>(a.size());
}

SpectralObserved::SpectralObserved(std::span<const double> window, double dt, const SpectralSettings& s)
    : settings_(s), dt_(dt), length_(static_cast<int>(window.size())) {
  SpectralScratch scratch;
  if (s.psa > 0.0) {
    bank_ = metrics::OscillatorBank(dt, metrics::logSpaced(s.periods[0], s.periods[1], s.periodCount));
    scratch.reserve(*this);
    const auto ln = scratch.lnPsa(*this, window);
    for (std::size_t p = 0; p < ln.size(); ++p)
      if (!std::isfinite(ln[p]))
        throw std::invalid_argument("the observed window has no response at " + text(bank_.periods()[p]) + " s");
    lnPsa_.assign(ln.begin(), ln.end());
  }
  if (s.fourier > 0.0) {
    if (s.band[1] > 0.5 / dt * (1.0 + 1e-6))
      throw std::invalid_argument("fourier_band reaches " + text(s.band[1]) + " Hz, above the Nyquist frequency " +
                                  text(0.5 / dt) + " Hz of the records");
    const int m = paddedLength(length_);
    fft_ = dsp::RealFft(m);
    std::vector<double> grid(static_cast<std::size_t>(fft_.bins()));
    for (std::size_t j = 0; j < grid.size(); ++j)
      grid[j] = static_cast<double>(j) / (static_cast<double>(m) * dt);
    frequencies_ = metrics::logSpaced(s.band[0], s.band[1], s.frequencyCount);
    smoother_ = metrics::KonnoOhmachiSmoother(grid, frequencies_);
    if (!smoother_.complete())
      throw std::invalid_argument("the compared window of " + std::to_string(length_) +
                                  " samples is too short for a smoothed Fourier spectrum at " +
                                  text(s.band[0]) + " Hz");
    scratch.reserve(*this);
    const auto ln = scratch.lnFourier(*this, window);
    for (std::size_t f = 0; f < ln.size(); ++f)
      if (!std::isfinite(ln[f]))
        throw std::invalid_argument("the observed window has no Fourier amplitude at " + text(frequencies_[f]) +
                                    " Hz");
    lnFourier_.assign(ln.begin(), ln.end());
  }
}

std::size_t SpectralObserved::bytes() const {
  return sizeof(*this) +
         (lnPsa_.capacity() + frequencies_.capacity() + lnFourier_.capacity() + 9 * bank_.size()) * sizeof(double);
}

void SpectralScratch::reserve(const SpectralObserved& o) {
  const std::size_t values = std::max(o.bank_.size(), o.frequencies_.size());
  if (values_.size() < values) values_.resize(values);
  const auto m = static_cast<std::size_t>(o.fft_.size());
  if (real_.size() < m) {
    real_ = dsp::FftBuffer<double>(m);
    bins_ = dsp::FftBuffer<dsp::Complex>(m / 2 + 1);
    amplitude_.resize(m / 2 + 1);
  }
}

std::span<const double> SpectralScratch::lnPsa(const SpectralObserved& o, std::span<const double> window) {
  const std::span<double> out(values_.data(), o.bank_.size());
  o.bank_.pseudoAcceleration(window, out);
  for (double& v : out) v = std::log(v);
  return out;
}

std::span<const double> SpectralScratch::lnFourier(const SpectralObserved& o, std::span<const double> window) {
  const int m = o.fft_.size();
  const auto n = std::min<std::size_t>(window.size(), static_cast<std::size_t>(m));
  std::copy(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(n), real_.data());
  std::fill(real_.data() + n, real_.data() + m, 0.0);
  o.fft_.forward(real_.data(), bins_.data());
  const auto bins = static_cast<std::size_t>(o.fft_.bins());
  for (std::size_t j = 0; j < bins; ++j) amplitude_[j] = std::abs(bins_[j]) * o.dt_;
  const std::span<double> out(values_.data(), o.frequencies_.size());
  o.smoother_.apply(std::span(amplitude_.data(), bins), out);
  for (double& v : out) v = std::log(v);
  return out;
}

double SpectralScratch::psa(const SpectralObserved& o, std::span<const double> window) {
  return meanSquaredDifference(o.lnPsa_, lnPsa(o, window));
}

double SpectralScratch::fourier(const SpectralObserved& o, std::span<const double> window) {
  return meanSquaredDifference(o.lnFourier_, lnFourier(o, window));
}

SpectralFit SpectralScratch::terms(const SpectralObserved& o, std::span<const double> window) {
  SpectralFit fit;
  if (o.settings_.psa > 0.0) fit.psa = psa(o, window);
  if (o.settings_.fourier > 0.0) fit.fourier = fourier(o, window);
  return fit;
}

std::size_t SpectralScratch::bytes() const {
  return (values_.capacity() + amplitude_.capacity() + real_.size()) * sizeof(double) +
         bins_.size() * sizeof(dsp::Complex);
}

}  // namespace engine
