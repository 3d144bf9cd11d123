#include <gtest/gtest.h>

#include <vector>

#include "dsp/dsp.hpp"

namespace {

// dt = 0.25 keeps every partial sum exact: the first sample is a full
// rectangle (dt*x(1)), every later one half a trapezoid on each side.
TEST(Inac, RectangleThenTrapezoidsAndGuards) {
  const int n = 12;
  for (int k : {1, 5, 12}) {  // impulse at sample k, counted from 1
    std::vector<float> x(n, 0.0f), y(n, 99.0f);
    x[k - 1] = 1.0f;
    dsp::inac(0.25f, n, x, y);
    for (int i = 1; i <= n; ++i) {
      const float half = k == 1 ? 0.25f : 0.125f;
      EXPECT_EQ(y[i - 1], i < k ? 0.0f : (i == k ? half : half + 0.125f)) << k << " " << i;
    }
  }
  std::vector<float> x{1.0f, 2.0f}, y{7.0f, 7.0f};
  dsp::inac(0.5f, 0, x, y);
  EXPECT_EQ(y, (std::vector<float>{7.0f, 7.0f}));
  EXPECT_THROW(dsp::inac(0.5f, 3, x, y), textio::InputRejected);
}

}  // namespace
