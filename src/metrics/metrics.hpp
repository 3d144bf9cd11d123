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
#include <complex>
#include <span>
#include <vector>

namespace metrics {

inline constexpr double kDamping = 0.05;         // oscillator damping of the response spectra
inline constexpr double kKonnoOhmachiB = 40.0;   // bandwidth coefficient of the spectral smoothing

// Largest |x|, 0 for an empty series.
double peak(std::span<const double> x);

// `count` values from `first` to `last`, equally spaced in log10; the ends
// are exactly `first` and `last` (a grid from 0.05 Hz starts at 0.05, not
// at the nearest value pow(10, log10(0.05)) gives).
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

// A bank of such oscillators at several periods, their coefficients made
// once for one sample interval and stepped together over a record: each
// oscillator's arithmetic is oscillatorPeak's, operation for operation, so
// its peak is the same number; stepping many at once lets the processor
// work on several of them in each instruction. peaks() allocates nothing.
class OscillatorBank {
 public:
  OscillatorBank() = default;
  OscillatorBank(double dt, std::span<const double> periods, double damping = kDamping);

  std::size_t size() const { return periods_.size(); }
  std::span<const double> periods() const { return periods_; }
  // out[k] = oscillatorPeak(acc, dt, periods[k], damping); out holds size() values.
  void peaks(std::span<const double> acc, std::span<double> out) const;
  // out[k] = (2 pi / periods[k])^2 out of peaks(): the pseudo-spectral acceleration.
  void pseudoAcceleration(std::span<const double> acc, std::span<double> out) const;

 private:
  // The recurrence's coefficients, one array per coefficient.
  std::vector<double> periods_, a11_, a12_, a21_, a22_, b11_, b12_, b21_, b22_;
};

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

// The same smoothing with its weights computed once for one set of
// spectrum frequencies and centres, for applying to many spectra on that
// grid (a search's synthetics): apply() gives konnoOhmachi's numbers,
// operation for operation, and allocates nothing.
class KonnoOhmachiSmoother {
 public:
  KonnoOhmachiSmoother() = default;
  KonnoOhmachiSmoother(std::span<const double> frequencies, std::span<const double> centres,
                       double b = kKonnoOhmachiB);

  std::size_t size() const { return windows_.size(); }
  // True when every centre's window holds a frequency of the spectrum.
  bool complete() const;
  // out[c]: the smoothed amplitude at centre c (NaN where its window is
  // empty); amplitude holds one value per frequency.
  void apply(std::span<const double> amplitude, std::span<double> out) const;

 private:
  struct Window {
    std::size_t first = 0, count = 0;  // frequencies first.. of the window
    std::size_t weights = 0;           // where its weights start in weights_
    double sum = 0;                    // their sum
  };
  std::vector<Window> windows_;
  std::vector<double> weights_;
};

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

// A frequency band in Hz. A band the scores filter in has 0 < low < high;
// a filter's pass band may have low 0 (a low pass) and high infinite (no
// filter).
struct Band {
  double low, high;
};

// True when `inner` lies within `outer`, up to a relative 1e-6 (so that a
// filter edge stored in single precision, 0.1f, holds the band edge 0.1).
bool within(Band inner, Band outer);

// Acceleration, velocity and displacement of one band, from the
// acceleration alone.
struct BandMotion {
  std::vector<double> acc, vel, dis;
};

// One acceleration series, transformed once (zero-padded to the power of
// two at or above twice its length), from which the motion of any band
// follows: A(f) H(f) for the acceleration, divided once and twice by
// 2 pi i f for the velocity and the displacement, with the zero-phase band
// pass H the squared magnitude of four-pole Butterworth high and low passes,
//   H(f) = (f/low)^8 / (1 + (f/low)^8) / (1 + (f/high)^8). The integration is thus
// exact for the band-limited acceleration: its velocity and displacement
// carry no constant and no drift, since H vanishes at 0 Hz, and nothing of
// a velocity or displacement series that starts or ends in motion enters.
// Every series has the length of the input.
class BandFilter {
 public:
  BandFilter(std::span<const double> acc, double dt);
  BandMotion motion(Band band) const;

 private:
  std::size_t length_, padded_;
  double dt_;
  std::vector<std::complex<double>> spectrum_;
};

// ---- Anderson's (2004) goodness-of-fit scores ------------------------------
//
// The score of two positive values is S(p1, p2) = 10 exp(-((p1 - p2) / min(p1, p2))^2);
// it is NaN when either value is 0 or not finite. For p2 = k p1 (k > 0) it is
// 10 exp(-(max(k, 1/k) - 1)^2): a factor 2 and a factor 0.5 both score 3.68.
//
// In each frequency band both accelerations are band passed (BandFilter) and
// integrated within the band to velocity and displacement; on these series
//   C1  Arias duration:  10 (1 - max_t |I1(t) - I2(t)|), I(t) the integral of
//       acc^2 up to t divided by its total
//   C2  energy duration: the same for vel^2
//   C3  Arias intensity: S of the integrals of acc^2
//   C4  energy integral: S of the integrals of vel^2
//   C5, C6, C7  S of the peak acceleration, velocity, displacement
//   C8  response spectrum: mean of S(PSA1, PSA2) over the periods whose
//       frequency lies in the band (PSA of the band-passed accelerations)
//   C9  Fourier spectrum: mean of S over the smoothed-spectrum frequencies in
//       the band, of the spectra the caller gives (the windows' accelerations,
//       not band passed: S of two amplitudes at one frequency does not change
//       when both are multiplied by the band's response)
//   C10 cross correlation: 10 max(0, sum a1 a2 / sqrt(sum a1^2 sum a2^2)) at
//       zero lag over the common length
// Series beyond their end count as silent (I = 1). A band's score is the mean
// of its defined criteria. Two summaries: over the bands within the run's
// pass band (the headline) and over every band.
inline constexpr int kCriteria = 10;
struct BandScore {
  Band band;
  bool inPassBand;
  std::array<double, kCriteria> c;
  double score;
};
struct ScoreSummary {
  int bands;                               // how many bands it averages
  std::array<double, kCriteria> criteria;  // each criterion's mean over them
  double score;                            // the mean of their scores
};
struct GoodnessOfFit {
  std::vector<BandScore> bands;
  ScoreSummary passBand, allBands;
};

double score(double p1, double p2);

// Anderson's pass bands (0.05-0.1, 0.1-0.2, 0.2-0.5, 0.5-1, 1-2, 2-5, 5-10,
// 10-20, 20-50, 50-100 Hz) whose upper edge does not exceed `nyquist` (up to
// a relative 1e-6: a record of 100 samples per second has the 20-50 Hz band).
std::vector<Band> andersonBands(double nyquist);

// The scores of the observed and synthetic accelerations sampled every `dt`
// seconds. The response spectra are computed here on the band-passed
// accelerations at the `periods` in each band; `frequencies`, `fasObserved`
// and `fasSynthetic` are the smoothed spectra C9 compares. `passBand` is the
// band of the run's filter (low 0 and high infinite for a run without one).
GoodnessOfFit anderson(std::span<const double> observed, std::span<const double> synthetic, double dt,
                       Band passBand, std::span<const double> periods,
                       std::span<const double> frequencies, std::span<const double> fasObserved,
                       std::span<const double> fasSynthetic);

}  // namespace metrics
