// Synthetic acceleration of a small earthquake, made by the stochastic
// method: Gaussian noise is shaped in time by an envelope of P arrival, S
// arrival and coda, and in frequency by the acceleration spectrum of an
// omega-squared source with a high-frequency decay exp(-pi kappa f).
#pragma once

#include <cstdint>
#include <vector>

namespace example {

// One wave group (P or S) of the element record.
struct WaveGroup {
  double onset = 0;      // arrival time (s) from the first sample
  double rise = 0;       // time (s) from the onset to the peak of the envelope
  double decay = 0;      // e-folding time (s) of the main phase after its peak
  double coda = 0;       // e-folding time (s) of the coda after the peak
  double codaLevel = 0;  // coda amplitude relative to the main phase at the peak
  double weight = 0;     // rms amplitude of this group relative to the others
  double corner = 0;     // corner frequency (Hz) of its omega-squared spectrum
};

struct ElementSpec {
  std::uint64_t seed = 0;
  int samples = 0;         // record length
  double dt = 0;           // sample interval (s)
  double kappa = 0;        // high-frequency decay exp(-pi kappa f), s
  double peak = 0;         // peak of the signal before noise is added (cm/s/s)
  double noise = 0;        // rms of the white background noise (cm/s/s)
  WaveGroup p, s;
};

// Envelope value of `g` at time t (s): zero before the onset, a quadratic
// rise to 1 at onset + rise, then the main phase and the coda decaying.
double envelope(const WaveGroup& g, double t);

// Acceleration amplitude spectrum shape of an omega-squared source:
// (2 pi f)^2 / (1 + (f / fc)^2) * exp(-pi kappa f). Zero at f = 0, so the
// record's velocity returns to rest.
double omegaSquaredAcceleration(double f, double fc, double kappa);

// The element record, `samples` values: the two wave groups scaled so that
// their sum peaks at `peak`, plus white background noise of rms `noise`.
// Deterministic: equal ElementSpecs give equal doubles on every run.
std::vector<double> makeElement(const ElementSpec& recipe);

// In-place radix-2 discrete Fourier transform of (re, im), length a power of
// two; sign -1 forward, +1 inverse (unscaled).
void fft(std::vector<double>& re, std::vector<double>& im, int sign);

}  // namespace example
