// Numerical routines on sampled series: running integration and mean
// removal, zero-phase recursive Chebyshev filtering and a radix-2 FFT.
//
// Sample i of a series (counted from 1) is element i - 1 of its span. All
// arithmetic is single precision in the order written in each routine;
// elementary functions are evaluated in double on the float argument and
// rounded to float at once, so results are the same bit for bit on every
// machine built with -ffp-contract=off. Nothing here writes anywhere: a
// refused filter design is a result, a span too short for the counts it is
// given is a caller's error (std::logic_error or std::invalid_argument).
#pragma once

#include <complex>
#include <span>
#include <vector>

namespace dsp {

// Coefficient room of a design (4 per section, so at most 256 sections).
// A design of order n <= 31 needs at most 4 * 31 values.
inline constexpr int kCoeffCapacity = 1024;
// Largest FFT exponent accepted by fft (2^20 points).
inline constexpr int kMaxFftExponent = 20;

// ---- Integration and means -------------------------------------------------

// Trapezoidal running integral of x(1..n) into y(1..n); x and y distinct.
// y(1) = dt*x(1) (a rectangle: no zero sample is implied before the first);
// y(i) = y(i-1) + ((x(i-1)+x(i))/2)*dt. n <= 0 does nothing.
void runningIntegral(float dt, int n, std::span<const float> x, std::span<float> y);

// Removes the mean of x(i1..i2) (1-based, inclusive) and returns it in
// `mean`. The sum is accumulated in single precision, in index order. An
// empty range (i2 = i1 - 1) changes nothing and gives 0/0, not a number.
// Throws std::out_of_range when a non-empty range leaves the series.
void removeMean(std::span<float> x, int i1, int i2, float& mean);

// ---- Recursive Chebyshev filters -----------------------------------------
//
// A section is four coefficients a1, a2, b1, b2:
//   H(z) = (1 + a1 z^-1 + a2 z^-2) / (1 + b1 z^-1 + b2 z^-2).
// A design is m sections stored one after another (4*m values) and a gain.
// Tolerances ap, as are amplitudes, not decibels; the smaller one is the
// pass-band target, the larger one the stop-band target (0 stands for 0.1
// and 5.0 respectively, each on its own).
struct FilterDesign {
  std::vector<float> coeffs;
  int sections = 0;  // 0: the edges or tolerances give no usable filter
  float gain = 0.0f;
  bool refused() const { return sections <= 0; }
};

// Low-pass design from the normalised (cycles per sample) pass edge fp and
// stop edge fs.
FilterDesign designLowPass(float fp, float fs, float ap, float as);

// Band-pass design from the normalised edges fl, fh (either order) and stop
// edge fs.
FilterDesign designBandPass(float fl, float fh, float fs, float ap, float as);

// The filter settings of the parameter file, in Hz and amplitudes.
struct Band {
  float fl = 0, fh = 0, fs = 0, ap = 0, as = 0;
};

// The design for a series sampled every dt seconds: a low-pass from fh and
// fs when fl is exactly 0, otherwise a band-pass (edges times dt, in float).
FilterDesign designFilter(float dt, const Band& band);

// Applies a usable design to x(1..n) in place: cascade backward, times the
// gain, cascade forward, times the gain.
void filterZeroPhase(std::span<float> x, int n, const FilterDesign& design);

// ---- FFT ------------------------------------------------------------------

// In-place forward radix-2 DFT of N = 2^n complex values (element j+1 holds
// time index j), unscaled: X(k) = sum_j x(j) exp(-2 pi i j k / N).
// Throws std::invalid_argument when n < 1, n > kMaxFftExponent or x holds
// fewer than 2^n values.
void fft(int n, std::span<std::complex<float>> x);

}  // namespace dsp
