// Whole sample rates, linear resampling and calendar texts.
#include <gtest/gtest.h>

#include "convert/convert.hpp"

namespace {

TEST(WholeRate, Rows) {
  struct Row {
    double dt;
    std::optional<int> sps;
  };
  const Row rows[] = {
      {static_cast<double>(0.01f), 100},   // 0.0099999998: a float interval still counts
      {static_cast<double>(0.005f), 200}, {0.02, 50}, {1.0, 1}, {1.0 / 3.0, 3},
      {static_cast<double>(1.0f / 3.0f), 3},
      {0.0051, std::nullopt},              // 196.08 samples per second
      {0.333, std::nullopt},               // 3.003: a thousandth off
      {0.01 * (1 + 1e-5), std::nullopt},   // ten parts in a million off
      {2.0, std::nullopt},                 // half a sample per second
      {0.0, std::nullopt},  {-0.01, std::nullopt}, {1e-7, std::nullopt},
  };
  for (const auto& r : rows) EXPECT_EQ(convert::wholeRate(r.dt), r.sps) << r.dt;
}

TEST(Resample, LinearSeriesStaysOnItsLine) {
  // x(t) = 2 + 3 t sampled every 0.0051 s; interpolation onto 1/200 s must
  // give 2 + 3 t' at every new time t' (up to float rounding).
  const double dt = 0.0051;
  std::vector<float> x(101);
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(2.0 + 3.0 * dt * k);
  const auto y = convert::resampleLinear(x, dt, 200);
  // The last new time at or before 100 * 0.0051 = 0.51 s is 0.51 s itself.
  ASSERT_EQ(y.size(), 103u);
  for (std::size_t j = 0; j < y.size(); ++j) EXPECT_NEAR(y[j], 2.0 + 3.0 * j / 200.0, 2e-6) << j;
}

TEST(Resample, SameRateReproducesTheSamples) {
  const std::vector<float> x = {1.0f, -4.0f, 0.25f, 9.0f};
  EXPECT_EQ(convert::resampleLinear(x, 0.01, 100), x);
}

TEST(CalendarText, Rows) {
  EXPECT_EQ(convert::isoText(0), "1970-01-01T00:00:00.000");
  EXPECT_EQ(convert::isoText(convert::epochMs(2020, 60, 12, 30, 15, 250)), "2020-02-29T12:30:15.250");
  EXPECT_EQ(convert::isoText(convert::epochMs(1999, 365, 23, 59, 59, 999) + 1), "2000-01-01T00:00:00.000");
  EXPECT_EQ(convert::isoText(convert::epochMs(1940, 140, 4, 36, 40, 0)), "1940-05-19T04:36:40.000");
  EXPECT_EQ(convert::isoText(-1), "1969-12-31T23:59:59.999");
  EXPECT_EQ(convert::minuteText(convert::epochMs(2019, 187, 3, 19, 53, 40)), "2019/07/06 03:19");
}

}  // namespace
