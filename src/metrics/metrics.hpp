// Ground-motion measures of a sampled series and the goodness of fit of a
// synthetic against an observed record. Everything is computed in double
// precision from the series as given; nothing here touches the console or
// a file, and every function may run on several threads at once.
//
// A measure that is undefined for its input (a series whose peak is 0, a
// band with no energy, a ratio of zeros) comes back as a quiet NaN; the
// writers turn it into null.
#pragma once

#include <array>
#include <span>
#include <vector>

namespace metrics {

inline constexpr double kDamping = 0.05;         // oscillator damping of the response spectra
inline constexpr double kKonnoOhmachiB = 40.0;   // bandwidth coefficient of the spectral smoothing

// Largest |x|, 0 for an empty series.
double peak(std::span<const double> x);

// `count` values from `first` to `last` (both included), equally spaced in
// log10.
std::vector<double> logSpaced(double first, double last, int count);

// Peak relative displacement of a damped single-degree-of-freedom
// oscillator (natural period `period`, damping ratio `damping` < 1), at
// rest at the first sample, under the ground acceleration `acc`, over the
// samples of the record. The ground acceleration is taken as linear
// between samples and the state is stepped by the exact solution for such
// an input (Nigam and Jennings, 1969):
//   u'' + 2 z w u' + w^2 u = -a(t),   w = 2 pi / period,  wd = w sqrt(1 - z^2),
//   [u, u']_{k+1} = A [u, u']_k + B [a_k, a_{k+1}],
// with E = exp(-z w dt), S = sin(wd dt), C = cos(wd dt), r = z / sqrt(1 - z^2):
//   A11 = E (r S + C)            A12 = E S / wd
//   A21 = -w E S / sqrt(1 - z^2) A22 = E (C - r S)
//   p = (2 z^2 - 1) / (w^2 dt),  q = 2 z / (w^3 dt)
//   B11 = E ((p + z / w) S / wd + (q + 1 / w^2) C) - q
//   B12 = -E (p S / wd + q C) - 1 / w^2 + q
//   B21 = E ((p + z / w) (C - r S) - (q + 1 / w^2) (wd S + z w C)) + 1 / (w^2 dt)
//   B22 = -E (p (C - r S) - q (wd S + z w C)) - 1 / (w^2 dt)
double oscillatorPeak(std::span<const double> acc, double dt, double period, double damping);

// Pseudo-spectral acceleration (2 pi / T)^2 * oscillatorPeak at each period,
// in the unit of `acc`. All NaN when the series' peak is 0.
std::vector<double> pseudoSpectralAcceleration(std::span<const double> acc, double dt,
                                               std::span<const double> periods,
                                               double damping = kDamping);

// Fourier amplitude spectrum |sum_k x_k exp(-2 pi i j k / m)| * dt at the
// frequencies j / (m dt), j = 0 .. m/2, of the series zero-padded to
// m = the next power of two at or above its length.
struct Spectrum {
  std::vector<double> frequency, amplitude;
};
Spectrum fourierAmplitude(std::span<const double> x, double dt);

// Konno-Ohmachi smoothing at each centre frequency fc:
//   W(f) = [sin(b log10(f / fc)) / (b log10(f / fc))]^4  (W = 1 at f = fc),
//   smoothed(fc) = sum W(f_j) A(f_j) / sum W(f_j) over the spectrum's
//   frequencies above 0 within the window's first zeros.
// NaN at a centre whose window holds no frequency of the spectrum.
std::vector<double> konnoOhmachi(const Spectrum& s, std::span<const double> centres,
                                 double b = kKonnoOhmachiB);

// The cumulative integral of x^2 (trapezoid rule) at every sample; the last
// value is the whole integral. Arias intensity is pi / (2 g) times this
// integral of the acceleration.
std::vector<double> cumulativeSquare(std::span<const double> x, double dt);

// Time (s) from the first sample at which the cumulative integral of x^2
// first reaches `fraction` of its total, linear between samples. NaN for a
// series without energy.
double energyTime(std::span<const double> cumulative, double dt, double fraction);

// 5-95 % significant duration: energyTime(0.95) - energyTime(0.05).
double significantDuration(std::span<const double> acc, double dt);

// Zero-phase Butterworth band pass of order 4 (the squared magnitude of a
// four-pole high pass at `low` and low pass at `high`, applied in the
// frequency domain to the series zero-padded to twice its length).
std::vector<double> bandPass(std::span<const double> x, double dt, double low, double high);

// ---- Anderson's (2004) goodness-of-fit scores ------------------------------
//
// The score of two positive values is S(p1, p2) = 10 exp(-((p1 - p2) / min(p1, p2))^2);
// it is NaN when either value is 0 or not finite. In each frequency band both
// records (acceleration, velocity, displacement) are band passed and scored on
//   C1  Arias duration:  10 (1 - max_t |I1(t) - I2(t)|), I(t) the integral of
//       acc^2 up to t divided by its total
//   C2  energy duration: the same for vel^2
//   C3  Arias intensity: S of the integrals of acc^2
//   C4  energy integral: S of the integrals of vel^2
//   C5, C6, C7  S of the peak acceleration, velocity, displacement
//   C8  response spectrum: mean of S(PSA1, PSA2) over the periods whose
//       frequency lies in the band (PSA of the band-passed accelerations)
//   C9  Fourier spectrum: mean of S over the smoothed-spectrum frequencies in
//       the band (the spectra of the whole records: the band pass scales
//       both alike)
//   C10 cross correlation: 10 max(0, sum a1 a2 / sqrt(sum a1^2 sum a2^2)) at
//       zero lag over the common length
// Series beyond their end count as silent (I = 1). A band's score is the mean
// of its defined criteria; the overall score the mean of the bands' scores.
struct Motion {
  std::span<const double> acc, vel, dis;
};
struct Band {
  double low, high;
};
inline constexpr int kCriteria = 10;
struct BandScore {
  Band band;
  std::array<double, kCriteria> c;
  double score;
};
struct GoodnessOfFit {
  std::vector<BandScore> bands;
  std::array<double, kCriteria> criteria;  // each criterion's mean over the bands
  double overall;
};

double score(double p1, double p2);

// Anderson's pass bands (0.05-0.1, 0.1-0.2, 0.2-0.5, 0.5-1, 1-2, 2-5, 5-10,
// 10-20, 20-50, 50-100 Hz) whose upper edge lies below `nyquist`.
std::vector<Band> andersonBands(double nyquist);

// The response spectra are computed here on the band-passed records at the
// `periods` in each band; `frequencies`, `fasObserved` and `fasSynthetic`
// are the smoothed spectra of the whole records.
GoodnessOfFit anderson(const Motion& observed, const Motion& synthetic, double dt,
                       std::span<const double> periods, std::span<const double> frequencies,
                       std::span<const double> fasObserved, std::span<const double> fasSynthetic);

}  // namespace metrics
