#include <gtest/gtest.h>

#include <vector>

#include "dsp/dsp.hpp"

namespace {

// dt = 0.25 keeps every partial sum of these small cases exact in float, so
// the identities are checked for equality; dt = 0.01 checks them with a
// tolerance of a few rounding steps per sample.
TEST(Inac, SingleSampleIsARectangle) {
  std::vector<float> x{3.0f}, y{-1.0f};
  dsp::inac(0.25f, 1, x, y);
  EXPECT_EQ(y[0], 0.75f);
  dsp::inac(0.01f, 1, x, y);
  EXPECT_EQ(y[0], 0.01f * 3.0f);
}

TEST(Inac, ConstantGrowsByOneStepPerSample) {
  const int n = 200;
  std::vector<float> x(n, 2.0f), y(n);
  dsp::inac(0.25f, n, x, y);
  for (int i = 0; i < n; ++i) EXPECT_EQ(y[i], 0.5f * static_cast<float>(i + 1)) << i;

  dsp::inac(0.01f, n, x, y);
  for (int i = 0; i < n; ++i) {
    const double expected = 2.0 * 0.01 * (i + 1);
    EXPECT_NEAR(y[i], expected, 1e-6 * (i + 1)) << i;
  }
}

TEST(Inac, ImpulseAtFirstSample) {
  const int n = 10;
  std::vector<float> x(n, 0.0f), y(n);
  x[0] = 1.0f;
  dsp::inac(0.25f, n, x, y);
  EXPECT_EQ(y[0], 0.25f);
  for (int i = 1; i < n; ++i) EXPECT_EQ(y[i], 0.375f) << i;
}

TEST(Inac, ImpulseLaterInTheSeries) {
  const int n = 12;
  for (int k : {2, 5, 12}) {  // sample numbers counted from 1
    std::vector<float> x(n, 0.0f), y(n, 99.0f);
    x[k - 1] = 1.0f;
    dsp::inac(0.25f, n, x, y);
    for (int i = 1; i <= n; ++i) {
      const float expected = i < k ? 0.0f : (i == k ? 0.125f : 0.25f);
      EXPECT_EQ(y[i - 1], expected) << "k=" << k << " i=" << i;
    }
  }
}

TEST(Inac, NothingToDoAndShortArrays) {
  std::vector<float> x{1.0f, 2.0f}, y{7.0f, 7.0f};
  dsp::inac(0.5f, 0, x, y);
  EXPECT_EQ(y[0], 7.0f);
  EXPECT_EQ(y[1], 7.0f);
  EXPECT_THROW(dsp::inac(0.5f, 3, x, y), textio::InputRejected);
}

}  // namespace
