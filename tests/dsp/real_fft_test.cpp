// FFTW's real transforms through the process's one plan cache: against a
// direct DFT, and shared by threads that ask for the same sizes at once.
#include "dsp/real_fft.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

namespace {

// The transforms of x for one size: forward bins, and the inverse of them.
struct Transformed {
  std::vector<dsp::Complex> bins;
  std::vector<double> back;
};

Transformed transform(const std::vector<double>& x) {
  const dsp::RealFft fft(static_cast<int>(x.size()));
  dsp::FftBuffer<double> in(x.size()), out(x.size());
  dsp::FftBuffer<dsp::Complex> bins(static_cast<std::size_t>(fft.bins()));
  std::copy(x.begin(), x.end(), in.data());
  fft.forward(in.data(), bins.data());
  Transformed t{{bins.data(), bins.data() + bins.size()}, {}};
  fft.inverse(bins.data(), out.data());
  t.back.assign(out.data(), out.data() + out.size());
  return t;
}

std::vector<double> signal(int n) {
  std::vector<double> x(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) x[k] = std::sin(0.37 * k) + 0.25 * std::cos(1.9 * k) + 1e-3 * k;
  return x;
}

TEST(RealFft, AgreesWithADirectTransformAndInvertsTimesN) {
  for (const int n : {1, 2, 7, 96, 250}) {
    const std::vector<double> x = signal(n);
    const Transformed t = transform(x);
    ASSERT_EQ(t.bins.size(), static_cast<std::size_t>(n / 2 + 1));
    for (int k = 0; k <= n / 2; ++k) {
      dsp::Complex direct = 0;
      for (int j = 0; j < n; ++j)
        direct += x[j] * std::polar(1.0, -2.0 * std::numbers::pi * k * j / n);
      EXPECT_LT(std::abs(t.bins[k] - direct), 1e-11 * n) << n << " bin " << k;
    }
    for (int j = 0; j < n; ++j) EXPECT_NEAR(t.back[j], n * x[j], 1e-11 * n) << n;
  }
  EXPECT_THROW(dsp::RealFft(0), std::invalid_argument);
}

// Threads that all ask for the same new sizes at once share one plan of
// each size and kind, and get the bits a lone thread gets.
TEST(RealFft, ThreadsShareOnePlanPerSizeAndKind) {
  const std::vector<int> sizes = {1001, 1536, 2187, 4099};
  const std::size_t before = dsp::cachedFftPlans();
  std::vector<std::vector<Transformed>> got(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < got.size(); ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round)
        for (const int n : sizes) {
          Transformed r = transform(signal(n));
          if (round == 0) got[t].push_back(std::move(r));
        }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(dsp::cachedFftPlans(), before + 2 * sizes.size());
  for (std::size_t s = 0; s < sizes.size(); ++s) {
    const Transformed alone = transform(signal(sizes[s]));
    for (const auto& g : got) {
      EXPECT_EQ(g[s].bins, alone.bins) << sizes[s];
      EXPECT_EQ(g[s].back, alone.back) << sizes[s];
    }
  }
}

TEST(FastSize, SmallestProductOfTwosAndThrees) {
  const int rows[][2] = {{0, 1}, {1, 1}, {5, 6}, {7, 8}, {13, 16}, {17, 18}, {25, 27}, {100, 108}, {4097, 4374}};
  for (const auto& r : rows) EXPECT_EQ(dsp::fastSize(r[0]), r[1]) << r[0];
}

}  // namespace
