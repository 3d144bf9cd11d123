// The example generator: its random source, transform and source spectrum
// against independent references, the element record against the physical
// properties it is meant to have, and its determinism.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "example/element.hpp"
#include "example/random.hpp"

namespace {

constexpr double kPi = 3.141592653589793;

example::ElementSpec smallSpec() {
  example::ElementSpec s;
  s.seed = 7;
  s.samples = 2000;
  s.dt = 0.01;
  s.kappa = 0.04;
  s.peak = 10.0;
  s.noise = 0.0;
  s.p = {.onset = 4.0, .rise = 0.15, .decay = 0.8, .coda = 3.0, .codaLevel = 0.3, .weight = 0.2,
         .corner = 3.6};
  s.s = {.onset = 6.0, .rise = 0.4, .decay = 1.2, .coda = 6.0, .codaLevel = 0.25, .weight = 1.0,
         .corner = 2.4};
  return s;
}

// Mean Fourier amplitude of x over the bins whose frequency lies in [f1, f2).
double bandAmplitude(const std::vector<double>& x, double dt, double f1, double f2) {
  int n = 1;
  while (n < static_cast<int>(x.size())) n *= 2;
  std::vector<double> re(n, 0.0), im(n, 0.0);
  std::copy(x.begin(), x.end(), re.begin());
  example::fft(re, im, -1);
  double sum = 0;
  int count = 0;
  for (int k = 1; k < n / 2; ++k) {
    const double f = k / (n * dt);
    if (f >= f1 && f < f2) {
      sum += std::hypot(re[k], im[k]);
      ++count;
    }
  }
  return sum / count;
}

TEST(Random, NormalDeviatesHaveUnitVarianceAndZeroMean) {
  // 200000 deviates: the standard error of the mean is 0.0022 and of the
  // variance 0.0032, so 0.01 is more than three standard errors.
  example::Random r(1);
  double sum = 0, sumSquares = 0;
  constexpr int n = 200000;
  for (int i = 0; i < n; ++i) {
    const double g = r.normal();
    sum += g;
    sumSquares += g * g;
  }
  EXPECT_NEAR(sum / n, 0.0, 0.01);
  EXPECT_NEAR(sumSquares / n, 1.0, 0.01);
}

TEST(Fft, MatchesDirectSumAndInvertsToTheInput) {
  constexpr int n = 64;
  example::Random r(3);
  std::vector<double> x(n), re(n), im(n, 0.0);
  for (int i = 0; i < n; ++i) x[i] = re[i] = r.normal();
  example::fft(re, im, -1);
  for (int k = 0; k < n; ++k) {
    double sr = 0, si = 0;
    for (int i = 0; i < n; ++i) {
      sr += x[i] * std::cos(-2 * kPi * k * i / n);
      si += x[i] * std::sin(-2 * kPi * k * i / n);
    }
    EXPECT_NEAR(re[k], sr, 1e-10);
    EXPECT_NEAR(im[k], si, 1e-10);
  }
  example::fft(re, im, +1);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(re[i] / n, x[i], 1e-12);
}

TEST(SourceSpectrum, RisesAsFrequencySquaredBelowTheCornerAndFlattensAbove) {
  // Without kappa the acceleration spectrum is (2 pi f)^2 / (1 + (f/fc)^2):
  // doubling f far below fc quadruples it, far above fc it tends to (2 pi fc)^2.
  const double fc = 2.0;
  EXPECT_NEAR(example::omegaSquaredAcceleration(0.02, fc, 0) /
                  example::omegaSquaredAcceleration(0.01, fc, 0), 4.0, 1e-3);
  EXPECT_NEAR(example::omegaSquaredAcceleration(2000, fc, 0) / std::pow(2 * kPi * fc, 2), 1.0,
              1e-5);
  EXPECT_EQ(example::omegaSquaredAcceleration(0, fc, 0.04), 0.0);
  // kappa multiplies by exp(-pi kappa f): a factor 1/e at f = 1/(pi kappa).
  const double f = 1 / (kPi * 0.04);
  EXPECT_NEAR(example::omegaSquaredAcceleration(f, fc, 0.04) /
                  example::omegaSquaredAcceleration(f, fc, 0), std::exp(-1.0), 1e-12);
}

TEST(Envelope, ZeroBeforeOnsetOneAtThePeakThenDecaying) {
  const example::WaveGroup g{.onset = 2, .rise = 0.5, .decay = 1, .coda = 5, .codaLevel = 0.2};
  EXPECT_EQ(example::envelope(g, 1.9), 0.0);
  EXPECT_EQ(example::envelope(g, 2.0), 0.0);
  EXPECT_NEAR(example::envelope(g, 2.25), 0.25, 1e-12);
  EXPECT_NEAR(example::envelope(g, 2.5), 1.0, 1e-12);
  double previous = 1.0;
  for (double t = 2.6; t < 30; t += 0.1) {
    const double e = example::envelope(g, t);
    EXPECT_LT(e, previous);
    previous = e;
  }
  // After the main phase only the coda is left: e-folding time 5 s.
  EXPECT_NEAR(example::envelope(g, 22.5) / example::envelope(g, 27.5), std::exp(1.0), 1e-3);
}

TEST(Element, IsDeterministicAndDependsOnTheSeed) {
  const example::ElementSpec s = smallSpec();
  EXPECT_EQ(example::makeElement(s), example::makeElement(s));
  example::ElementSpec other = s;
  other.seed = 8;
  EXPECT_NE(example::makeElement(s), example::makeElement(other));
}

TEST(Element, QuietBeforePThenPeakInTheSWaveAtTheRequestedLevel) {
  const example::ElementSpec s = smallSpec();
  const std::vector<double> a = example::makeElement(s);
  ASSERT_EQ(a.size(), 2000u);
  double peak = 0;
  int peakAt = 0;
  for (int i = 0; i < 2000; ++i) {
    if (std::fabs(a[i]) > peak) {
      peak = std::fabs(a[i]);
      peakAt = i;
    }
  }
  EXPECT_NEAR(peak, s.peak, 1e-9);
  // Nothing arrives before the gate that opens 0.1 s before the P onset.
  for (int i = 0; i < 390; ++i) EXPECT_EQ(a[i], 0.0) << "sample " << i;
  // The peak lies in the S wave's main phase (onset 6 s, e-folding 1.2 s).
  EXPECT_GE(peakAt, 600);
  EXPECT_LT(peakAt, 900);
  // The record comes to rest at its end.
  EXPECT_EQ(a.back(), 0.0);
}

TEST(Element, BackgroundNoiseHasTheRequestedRms) {
  example::ElementSpec s = smallSpec();
  s.noise = 0.5;
  const std::vector<double> a = example::makeElement(s);
  // The first 3.9 s carry noise only: 390 deviates, standard error of the
  // rms about 0.018, so 0.06 is more than three standard errors.
  double sumSquares = 0;
  for (int i = 0; i < 390; ++i) sumSquares += a[i] * a[i];
  EXPECT_NEAR(std::sqrt(sumSquares / 390), 0.5, 0.06);
}

TEST(Element, SpectrumFollowsTheOmegaSquaredShape) {
  // Band means of the Fourier amplitude of one noise draw scatter by some
  // 10-20 % (a few dozen bins per band), and the envelope's own spectrum
  // (a few tenths of a hertz wide) fills the lowest band a little. The model
  // ratio between the bands is about 7 against 1 for a flat spectrum and 2
  // for a spectrum rising as f; a factor of 2 either way of the model keeps
  // both of those out.
  example::ElementSpec s = smallSpec();
  s.samples = 4096;
  const std::vector<double> a = example::makeElement(s);
  const double low = bandAmplitude(a, s.dt, 0.25, 0.5);
  const double mid = bandAmplitude(a, s.dt, 0.75, 1.5);
  const double high = bandAmplitude(a, s.dt, 12.0, 16.0);
  const double flat = bandAmplitude(a, s.dt, 3.0, 6.0);
  const double modelLowToMid = example::omegaSquaredAcceleration(1.1, 2.4, 0.04) /
                               example::omegaSquaredAcceleration(0.37, 2.4, 0.04);
  EXPECT_GT(mid / low, modelLowToMid / 2.0);
  EXPECT_LT(mid / low, modelLowToMid * 2.0);
  // Above the corner the spectrum no longer rises, and kappa cuts the top.
  EXPECT_LT(high, flat);
}

}  // namespace
