// The spectral terms of the search's misfit: how far a synthetic's
// response spectrum and smoothed Fourier spectrum lie from the observed
// ones, in logarithm, over the compared windows.
//
//   psa     = 1/P sum_p (ln PSA_obs(T_p) - ln PSA_syn(T_p))^2,
//             T_p, p = 1..P, log-spaced over the period band (ends included);
//   fourier = 1/F sum_f (ln FAS_obs(f) - ln FAS_syn(f))^2,
//             f log-spaced over the frequency band (ends included).
//
// PSA is the 5%-damped pseudo-spectral acceleration of the window (the
// oscillator at rest at its first sample) by the exact recurrence of
// metrics::OscillatorBank; FAS is the Konno-Ohmachi smoothing (b = 40) of
// |DFT| dt of the acceleration window zero-padded to the power of two at
// or above its length: metrics::pseudoSpectralAcceleration,
// fourierAmplitude and konnoOhmachi give the same numbers (the report's).
// A synthetic k times the observed gives (ln k)^2 for either term, whatever
// its shape; a synthetic silent at a period or frequency has no logarithm,
// and its term is kNoEnergyResidual.
//
// The observed side is made once per record; a model's terms cost one
// pass of the oscillator bank over the window and one transform.
#pragma once

#include <array>
#include <limits>
#include <span>
#include <vector>

#include "dsp/real_fft.hpp"
#include "metrics/metrics.hpp"

namespace engine {

struct SpectralSettings {
  double psa = 0.0, fourier = 0.0;             // the terms' weights
  std::array<double, 2> periods{0.05, 5.0};    // s, shortest and longest
  int periodCount = 30;
  std::array<double, 2> band{0.2, 10.0};       // Hz, lowest and highest
  int frequencyCount = 30;
  bool any() const { return psa > 0.0 || fourier > 0.0; }
};

// A model's two terms at one record; NaN for a term of weight 0.
struct SpectralFit {
  double psa = std::numeric_limits<double>::quiet_NaN();
  double fourier = std::numeric_limits<double>::quiet_NaN();
};

// The observed side of one record's terms: read-only once made, shared by
// every thread.
class SpectralObserved {
 public:
  SpectralObserved() = default;
  // `window`: the observed acceleration over the compared window; dt in s.
  // Throws std::invalid_argument with the reason when the window cannot
  // give a term (silent at a period or frequency, or too short for a
  // frequency's smoothing window to hold a frequency of its spectrum).
  SpectralObserved(std::span<const double> window, double dt, const SpectralSettings& settings);

  int length() const { return length_; }
  const SpectralSettings& settings() const { return settings_; }
  std::span<const double> periods() const { return bank_.periods(); }
  std::span<const double> frequencies() const { return frequencies_; }
  std::span<const double> lnPsa() const { return lnPsa_; }
  std::span<const double> lnFourier() const { return lnFourier_; }
  std::size_t bytes() const;

 private:
  friend class SpectralScratch;
  SpectralSettings settings_;
  double dt_ = 0.0;
  int length_ = 0;
  metrics::OscillatorBank bank_;
  std::vector<double> lnPsa_;
  dsp::RealFft fft_;  // of the padded window
  std::vector<double> frequencies_;
  metrics::KonnoOhmachiSmoother smoother_;
  std::vector<double> lnFourier_;
};

// One thread's scratch for the terms; reserve() allocates, terms() never.
class SpectralScratch {
 public:
  void reserve(const SpectralObserved& o);
  // The terms of the synthetic window (o.length() samples) whose weights
  // are positive.
  SpectralFit terms(const SpectralObserved& o, std::span<const double> window);
  // Each term alone.
  double psa(const SpectralObserved& o, std::span<const double> window);
  double fourier(const SpectralObserved& o, std::span<const double> window);
  // ln PSA at o's periods and ln FAS at o's frequencies of a window (into
  // values(); -infinity where the window is silent).
  std::span<const double> lnPsa(const SpectralObserved& o, std::span<const double> window);
  std::span<const double> lnFourier(const SpectralObserved& o, std::span<const double> window);
  std::size_t bytes() const;

 private:
  std::vector<double> values_, amplitude_;
  dsp::FftBuffer<double> real_;
  dsp::FftBuffer<dsp::Complex> bins_;
};

// The mean of (a_k - b_k)^2; kNoEnergyResidual when a b_k is not finite.
double meanSquaredDifference(std::span<const double> a, std::span<const double> b);

}  // namespace engine
