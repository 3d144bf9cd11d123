#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include "dsp/dsp.hpp"

namespace {

using Series = std::vector<std::complex<float>>;

Series tone(int n, int bin) {
  const int big = 1 << n;
  Series x(big);
  for (int j = 0; j < big; ++j) {
    const double a = 2.0 * M_PI * bin * j / big;
    x[j] = {static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a))};
  }
  return x;
}

Series noise(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  Series x(1 << n);
  for (auto& v : x) v = {u(gen), u(gen)};
  return x;
}

TEST(Nlogn, TwoPoints) {
  Series x{{3.0f, 1.0f}, {0.5f, -2.0f}};
  dsp::nlogn(1, x, -1.0f);
  EXPECT_EQ(x[0], std::complex<float>(3.5f, -1.0f));
  EXPECT_EQ(x[1], std::complex<float>(2.5f, 3.0f));
}

TEST(Nlogn, ImpulseAtTimeZero) {
  for (int n : {1, 4, 13}) {
    const int big = 1 << n;
    Series x(big);
    x[0] = 1.0f;
    dsp::nlogn(n, x, -1.0f);
    for (int k = 0; k < big; ++k) ASSERT_EQ(x[k], std::complex<float>(1.0f, 0.0f)) << n << " " << k;

    Series y(big);
    y[0] = 1.0f;
    dsp::nlogn(n, y, 1.0f);
    const float inv = 1.0f / static_cast<float>(big);  // exact: N is a power of two
    for (int k = 0; k < big; ++k) ASSERT_EQ(y[k], std::complex<float>(inv, 0.0f)) << n << " " << k;
  }
}

TEST(Nlogn, ConstantLandsInBinZero) {
  const int n = 10, big = 1 << n;
  Series x(big, {1.0f, 0.0f});
  dsp::nlogn(n, x, -1.0f);
  EXPECT_NEAR(x[0].real(), big, 1e-3);
  EXPECT_NEAR(x[0].imag(), 0.0, 1e-3);
  for (int k = 1; k < big; ++k) ASSERT_LT(std::abs(x[k]), 1e-3f) << k;
}

// A tone of bin 5 lands in bin 5 under the negative exponent and in bin N-5
// (scaled by 1/N) under the positive one; leakage elsewhere is rounding only.
TEST(Nlogn, PureToneForwardAndInverse) {
  const int n = 10, big = 1 << n;
  Series x = tone(n, 5);
  dsp::nlogn(n, x, -1.0f);
  for (int k = 0; k < big; ++k) {
    const std::complex<float> expected = k == 5 ? std::complex<float>(big, 0) : 0.0f;
    ASSERT_LT(std::abs(x[k] - expected), 2e-3f) << k;
  }
  Series y = tone(n, 5);
  dsp::nlogn(n, y, 1.0f);
  for (int k = 0; k < big; ++k) {
    const std::complex<float> expected = k == big - 5 ? std::complex<float>(1, 0) : 0.0f;
    ASSERT_LT(std::abs(y[k] - expected), 2e-6f) << k;
  }
}

TEST(Nlogn, RoundTripReturnsTheInput) {
  for (int n : {3, 13, 16}) {
    const Series original = noise(n, 7u + n);
    Series x = original;
    dsp::nlogn(n, x, -1.0f);
    dsp::nlogn(n, x, 1.0f);
    double worst = 0;
    for (std::size_t j = 0; j < x.size(); ++j) {
      worst = std::max(worst, static_cast<double>(std::abs(x[j] - original[j])));
    }
    EXPECT_LT(worst, 1e-5) << "n=" << n;
  }
}

// With sgn = 0 every twiddle is 1 and only the butterflies' own signs remain:
// the result is a Walsh-Hadamard transform in bit-reversed order, still
// divided by N. Bin 0 is the mean. Small integers keep every sum exact.
TEST(Nlogn, ZeroSignLeavesOnlyTheButterflySigns) {
  const int n = 6, big = 1 << n;
  Series x(big);
  for (int j = 0; j < big; ++j) {
    x[j] = {static_cast<float>(j % 7), static_cast<float>(j % 3) - 1.0f};
  }
  Series y = x;
  dsp::nlogn(n, y, 0.0f);
  for (int k = 0; k < big; ++k) {
    int reversed = 0;
    for (int b = 0; b < n; ++b) {
      if ((k >> b) & 1) reversed |= 1 << (n - 1 - b);
    }
    std::complex<double> sum = 0;
    for (int j = 0; j < big; ++j) {
      const double sign = std::popcount(static_cast<unsigned>(j & reversed)) % 2 ? -1.0 : 1.0;
      sum += sign * std::complex<double>(x[j].real(), x[j].imag());
    }
    EXPECT_EQ(y[k].real(), sum.real() / big) << k;
    EXPECT_EQ(y[k].imag(), sum.imag() / big) << k;
  }
}

// Independent oracle: a direct DFT in double precision. Signal-to-noise ratio
// of the float FFT against it; single precision over 13 stages gives about
// 130 dB, a wrong twiddle or misplaced element drops it to a few dB.
TEST(Nlogn, MatchesDoublePrecisionDftAt8192Points) {
  const int n = 13, big = 1 << n;
  const Series x = noise(n, 2026u);
  Series fx = x;
  dsp::nlogn(n, fx, -1.0f);

  std::vector<std::complex<double>> twiddle(big);
  for (int j = 0; j < big; ++j) twiddle[j] = std::polar(1.0, -2.0 * M_PI * j / big);
  double signal = 0, error = 0;
  for (int k = 0; k < big; ++k) {
    std::complex<double> acc = 0;
    for (int j = 0; j < big; ++j) {
      acc += std::complex<double>(x[j].real(), x[j].imag()) *
             twiddle[(static_cast<long>(j) * k) % big];
    }
    signal += std::norm(acc);
    error += std::norm(acc - std::complex<double>(fx[k].real(), fx[k].imag()));
  }
  const double snr = 10.0 * std::log10(signal / error);
  EXPECT_GT(snr, 110.0);
  RecordProperty("snr_db", std::to_string(snr));
}

TEST(Nlogn, RejectsUnsupportedSizes) {
  Series x(8);
  EXPECT_THROW(dsp::nlogn(0, x, -1.0f), textio::InputRejected);
  EXPECT_THROW(dsp::nlogn(dsp::kMaxFftExponent + 1, x, -1.0f), textio::InputRejected);
  EXPECT_THROW(dsp::nlogn(4, x, -1.0f), textio::InputRejected);  // 16 points, room for 8
}

}  // namespace
