// Numerical routines on sampled series: running integration, zero-phase
// recursive Chebyshev filtering and a radix-2 FFT.
//
// Sample i of a series (counted from 1) is element i - 1 of its span. All
// arithmetic is single precision in the order written in each routine;
// elementary functions are evaluated in double on the float argument and
// rounded to float at once, so results are the same bit for bit on every
// machine built with -ffp-contract=off.
//
// The filter routines print their "invalid input" complaints on console
// unit 6 through `io` and return without doing their work; the run goes on.
// A span too short for the counts it is given, or a work size beyond the
// fixed capacity, is a caller error and throws textio::InputRejected.
#pragma once

#include <complex>
#include <span>

#include "textio/textio.hpp"

namespace dsp {

// Samples of the filter work buffers: npad + n must not exceed it.
inline constexpr int kWorkCapacity = 20000;
// Coefficient room kept by bandp (4 per section, so at most 256 sections).
// A design of order n <= 31 needs at most 4 * 31 values.
inline constexpr int kCoeffCapacity = 1024;
// Largest FFT exponent accepted by nlogn (2^20 points).
inline constexpr int kMaxFftExponent = 20;

// ---- Integration ---------------------------------------------------------

// Trapezoidal running integral of x(1..n) into y(1..n); x and y distinct.
// y(1) = dt*x(1) (a rectangle: no zero sample is implied before the first);
// y(i) = y(i-1) + ((x(i-1)+x(i))/2)*dt. n <= 0 does nothing.
void inac(float dt, int n, std::span<const float> x, std::span<float> y);

// ---- Recursive Chebyshev filters -----------------------------------------
//
// A section is four coefficients a1, a2, b1, b2:
//   H(z) = (1 + a1 z^-1 + a2 z^-2) / (1 + b1 z^-1 + b2 z^-2).
// A filter is m sections stored one after another (4*m values) and a gain gn.
// Tolerances ap, as are amplitudes, not decibels; the smaller one is the
// pass-band target, the larger one the stop-band target (0 stands for 0.1
// and 5.0 respectively, each on its own).

// Zero-phase Chebyshev band-pass (fl > 0) or low-pass (fl exactly 0) of
// x(1..n) in place. Frequencies in Hz, dt in seconds; npad zero samples are
// placed before the series while filtering and dropped afterwards.
// A rejected design prints the designer's message and leaves x unchanged.
// Throws textio::InputRejected when npad < 0, n < 0, npad + n > kWorkCapacity
// or x holds fewer than n samples.
void bandp(textio::Channels& io, std::span<float> x, int n, float dt, float fl, float fh, float fs,
           float ap, float as, int npad);

// Low-pass design from the normalised (cycles per sample) pass edge fp and
// stop edge fs. On rejection prints the "(chblop) invalid input" message and
// sets m = 0 (gn and coeffs are then left as they were).
void chblop(textio::Channels& io, std::span<float> coeffs, int& m, float& gn, float fp, float fs,
            float ap, float as);

// Band-pass design from the normalised edges fl, fh (either order) and stop
// edge fs. On rejection prints the "(chbpas) invalid input" message and sets
// m = 0.
void chbpas(textio::Channels& io, std::span<float> coeffs, int& m, float& gn, float fl, float fh,
            float fs, float ap, float as);

// Applies a designed filter to x(1..n) in place: cascade backward, times gn,
// cascade forward, times gn. With n <= 0 or m <= 0 the "(tandem)" message is
// printed twice and x is left unchanged.
void chebf(textio::Channels& io, std::span<float> x, int n, std::span<const float> coeffs, int m,
           float gn);

// Runs the m sections once over x(1..n) into y(1..n) (distinct arrays):
// direction < 0 from the last sample to the first, otherwise from the first
// to the last, each section starting from rest. With n <= 0 or m <= 0 prints
// the "(tandem)" message and leaves y as it was.
void tandem(textio::Channels& io, std::span<const float> x, std::span<float> y, int n,
            std::span<const float> coeffs, int m, int direction);

// One section over x[0..n-1] into y[0..n-1]; x may equal y (each input is
// read before its output is written). With n <= 0 prints the "(recfil)"
// message and leaves y as it was.
void recfil(textio::Channels& io, const float* x, float* y, int n, float a1, float a2, float b1,
            float b2, int direction);

// ---- FFT ------------------------------------------------------------------

// In-place radix-2 DFT of N = 2^n complex values (element j+1 holds time
// index j): X(k) = sum_j x(j) exp(sgn * 2 pi i j k / N), then divided by N
// only when sgn >= 0. sgn = -1: forward, unscaled; sgn = +1: inverse.
// Throws textio::InputRejected when n < 1, n > kMaxFftExponent or x holds
// fewer than 2^n values.
void nlogn(int n, std::span<std::complex<float>> x, float sgn);

}  // namespace dsp
