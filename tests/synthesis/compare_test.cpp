// Residual and correlation at their edges: ties, windows without a positive
// coefficient, windows beyond the arrays (the golden run pins their values
// on the bundled example).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/limits.hpp"
#include "synthesis/synthesis.hpp"

namespace {

// A band-limited, non-periodic test signal over the whole capacity.
std::vector<float> signal(double f1 = 0.031, double f2 = 0.0073) {
  std::vector<float> x(model::kMaxSamples);
  for (int n = 0; n < model::kMaxSamples; ++n)
    x[n] = static_cast<float>(std::sin(f1 * n) + 0.6 * std::cos(f2 * n * (1.0 + 1e-5 * n)));
  return x;
}

TEST(CorrelateOverLags, TiesGoToTheMostNegativeLagAndNoPositiveCoefficientKeepsIt) {
  // Period 100: lags -200, -100, 0, 100, 200 see bit-identical windows.
  std::vector<float> x(model::kMaxSamples), spike(x.size(), 0.0f), negative(x.size(), 0.0f);
  for (int n = 0; n < model::kMaxSamples; ++n)
    x[n] = static_cast<float>(std::sin(n % 100 * 0.0628) + (n % 100 == 7));
  float res = 0, cor = 0;
  int lag = 0;
  synthesis::correlateOverLags(x, x, 1000, 1000, synthesis::kWindow, res, cor, lag);
  EXPECT_EQ(lag, -200);
  // A spike against its negation: -1 aligned, exactly 0 elsewhere.
  spike[1100] = 1.0f;
  negative[1100] = -1.0f;
  lag = 17;
  synthesis::correlateOverLags(spike, negative, 1000, 1000, synthesis::kWindow, res, cor, lag);
  EXPECT_EQ(cor, 0.0f);
  EXPECT_EQ(lag, 17);
  EXPECT_EQ(res, 2.0f);  // at lag 17 the spikes do not meet
}

TEST(CorrelateOverLags, WindowsBeyondTheArraysReadZeros) {
  // The oracle pads both series with 300 explicit zeros on each side.
  const std::vector<float> x = signal(0.05, 0.002), y = signal(0.047, 0.0021);
  std::vector<float> xp(x.size() + 600, 0.0f), yp(y.size() + 600, 0.0f);
  std::copy(x.begin(), x.end(), xp.begin() + 300);
  std::copy(y.begin(), y.end(), yp.begin() + 300);
  for (auto [ix, iy] : {std::pair{14500, 0}, {0, 14100}, {150, 14150}}) {
    float res = 0, cor = 0, resp = 0, corp = 0;
    int lag = 0, lagp = 0;
    synthesis::correlateOverLags(x, y, ix, iy, synthesis::kWindow, res, cor, lag);
    synthesis::correlateOverLags(xp, yp, ix + 300, iy + 300, synthesis::kWindow, resp, corp, lagp);
    EXPECT_EQ(lag, lagp);
    EXPECT_EQ(cor, corp);
    EXPECT_EQ(res, resp);
  }
}

}  // namespace
