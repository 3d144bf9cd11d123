// The source-model search's misfit of one record and quantity, at every
// time shift at once, in double precision.
//
// The observed window o(k), k = 0..n-1, is compared with the synthetic
// window moved by a shift l of -maxShift..maxShift samples, s(k + l). With
//   Soo = sum o^2,  Sss(l) = sum s(k+l)^2,  Sos(l) = sum o(k) s(k+l),
// the normalised residual is
//   res(l) = sum (o(k) - s(k+l))^2 / (sqrt(Soo) sqrt(Sss(l)))
//          = (Soo + Sss(l) - 2 Sos(l)) / (sqrt(Soo) sqrt(Sss(l)))
// and the correlation cor(l) = Sos(l) / (sqrt(Soo) sqrt(Sss(l))). A positive
// shift takes the synthetic window later, as egfsim's lag does.
//
// One cross-correlation gives Sos at every shift (directly when the shift
// range is narrow, by FFT when it is wide) and prefix sums of s^2 give
// Sss; the synthesis is never repeated per shift.
//
// A window without energy (Soo or Sss(l) zero: every sample exactly 0)
// has no defined ratio; its residual is then kNoEnergyResidual, finite so
// that a weight of 0 still cancels it and larger than any real fit, and its
// correlation 0.
#pragma once

#include <span>
#include <vector>

#include "dsp/real_fft.hpp"

namespace engine {

inline constexpr double kNoEnergyResidual = 1e30;

// dst(j) = series(first + j) for j = 0..dst.size()-1, samples counted from
// 1; samples outside 1..series.size() read as zero.
void gather(std::span<const double> series, long long first, std::span<double> dst);
void gather(std::span<const float> series, long long first, std::span<double> dst);

// The smoothed acceleration envelope: dst(j) is the mean of |series| over
// samples first + j - halfWidth .. first + j + halfWidth (2 halfWidth + 1
// samples, those outside 1..series.size() counting as zero). A moving
// average of the absolute value follows the energy of the motion as the
// analytic signal's modulus does, at a fraction of its cost.
void envelope(std::span<const double> series, long long first, int halfWidth,
              std::span<double> dst);

// The observed side of one comparison, prepared once and read-only
// afterwards (several threads may share it).
class Observed {
 public:
  Observed() = default;
  Observed(std::span<const double> window, int maxShift);

  int length() const { return static_cast<int>(window_.size()); }
  int maxShift() const { return maxShift_; }
  // Samples of the synthetic a comparison reads: length + 2 maxShift.
  int span() const { return length() + 2 * maxShift_; }
  double energy() const { return energy_; }
  bool viaFft() const { return fft_.size() > 0; }
  std::size_t bytes() const;

 private:
  friend class Correlator;
  std::vector<double> window_;
  int maxShift_ = 0;
  double energy_ = 0.0;
  dsp::RealFft fft_;                    // empty when the correlation is direct
  dsp::FftBuffer<dsp::Complex> conjBins_;  // conjugate spectrum of the zero-padded window
};

// One thread's scratch for the curves; reserve() allocates, curves() never.
class Correlator {
 public:
  // Makes room for comparisons with `o` (call once per record and quantity).
  void reserve(const Observed& o);

  // The residual and correlation at every shift: synthetic(j) is the
  // synthetic sample of shift -maxShift at window position j, for j =
  // 0..o.span()-1 (so s(k + l) = synthetic(k + l + maxShift)). residual and
  // correlation receive 2 maxShift + 1 values, shift l at index l +
  // maxShift.
  void curves(const Observed& o, std::span<const double> synthetic, std::span<double> residual,
              std::span<double> correlation);

  std::size_t bytes() const;

 private:
  std::vector<double> prefix_, cross_;
  dsp::FftBuffer<double> real_;
  dsp::FftBuffer<dsp::Complex> bins_;
};

// The shift of least total (index l + maxShift of `total`); among equal
// totals the smaller |l| wins, then the negative one.
int bestShift(std::span<const double> total, int maxShift);

}  // namespace engine
