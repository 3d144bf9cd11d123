#include <gtest/gtest.h>

#include <cmath>

#include "plot/axis.hpp"
#include "plot_fixture.hpp"

namespace {

using plottest::kCm;
using plottest::Page;

TEST(Rot, TurnsAboutTheOrigin) {
  float xr = 0.0f, yr = 0.0f;
  plot::rot(1.25f, -3.5f, xr, yr, 0.0f);
  EXPECT_EQ(xr, 1.25f);
  EXPECT_EQ(yr, -3.5f);

  // A turn keeps the length and moves the point by the angle.
  for (float angle : {30.0f, 45.0f, 137.0f, -60.0f}) {
    plot::rot(2.0f, 1.0f, xr, yr, angle);
    const double a = angle * M_PI / 180.0;
    EXPECT_NEAR(xr, 2.0 * std::cos(a) - std::sin(a), 1e-5) << angle;
    EXPECT_NEAR(yr, 2.0 * std::sin(a) + std::cos(a), 1e-5) << angle;
  }

  // pi is taken as 3.14159: a quarter turn leaves cos(theta) at
  // pi/2 - 1.5707950 (the float of 0.5 * 3.14159), about 1.27e-6, not 0.
  plot::rot(1.0f, 0.0f, xr, yr, 90.0f);
  EXPECT_NEAR(xr, 1.27e-6, 0.05e-6);
  EXPECT_NEAR(yr, 1.0, 1e-7);
}

int tickCount(float axlen) {
  Page page;
  page.start();
  plot::axis(page.dev, 0.0f, 0.0f, "t", 1, axlen, 0.0f, 0.0f, 1.0f, 1);
  // one draw for the axis line, one per tick
  return plottest::countSuffix(page.lines(), " pL") - 1;
}

TEST(Axis, OneTickPerWholeCentimetreFromTheStart) {
  EXPECT_EQ(tickCount(4.0f), 5);
  EXPECT_EQ(tickCount(4.5f), 5);
  EXPECT_EQ(tickCount(6.0f), 7);
  EXPECT_EQ(tickCount(0.0f), 1);
  EXPECT_EQ(tickCount(-1.0f), 0);
  EXPECT_EQ(tickCount(-5.0f), 0);
}

TEST(Axis, LineFromEndToStartThenTicksValuesAndTitle) {
  Page page;
  page.start();
  plot::axis(page.dev, 1.0f, 2.0f, "cm", 2, 4.0f, 0.0f, 10.0f, 5.0f, -1);
  const auto lines = page.lines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "   28.346   56.693 pM");  // to the start, origin shifted there
  EXPECT_EQ(lines[1], "  141.732   56.693 pM");  // to the end, 4 cm on
  EXPECT_EQ(lines[2], "   28.346   56.693 pL");  // back to the start
  EXPECT_EQ(lines[3], "   28.346   56.693 pM");  // first tick
  EXPECT_EQ(lines[4], "   28.346   59.528 pL");  // 0.1 cm up

  const auto texts = plottest::labels(lines);
  ASSERT_EQ(texts.size(), 6u);
  const std::vector<std::string> values = {"10", "15", "20", "25", "30"};
  for (std::size_t t = 0; t < values.size(); ++t) {
    EXPECT_EQ(texts[t].text, values[t]);
    EXPECT_EQ(texts[t].size, "   10.630  hV");
    EXPECT_NEAR(texts[t].px, (1.0 + t - 0.2) * kCm, 0.002);
    EXPECT_NEAR(texts[t].py, (2.0 + 0.4) * kCm, 0.002);
  }
  EXPECT_EQ(texts[5].text, "cm");
  EXPECT_EQ(texts[5].size, "   12.756  hV");
  EXPECT_NEAR(texts[5].px, (1.0 + 2.0 - 0.2) * kCm, 0.002);
  EXPECT_NEAR(texts[5].py, (2.0 + 0.8) * kCm, 0.002);
  EXPECT_EQ(lines.back(), "    0.000    0.000 pM");  // pen back at the old origin
}

// The amplitude axes run from -M to M in steps of M/2: the middle value is
// exactly zero and drawn as the single character 0.
TEST(Axis, SymmetricAmplitudeAxisHasAnExactZero) {
  for (float top : {0.5f, 0.37f, 1234.5f, 3.0e-5f}) {
    Page page;
    page.start();
    plot::axis(page.dev, -1.0f, -2.0f, "cm/s", 4, 4.0f, 90.0f, -top, top / 2.0f, 2);
    const auto texts = plottest::labels(page.lines());
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[2].text, "0") << top;
    EXPECT_EQ(texts[0].rotate, "   90.000 rotate");
  }
  Page page;
  page.start();
  plot::axis(page.dev, -1.0f, -2.0f, "cm/s", 4, 4.0f, 90.0f, -0.5f, 0.25f, 2);
  const auto texts = plottest::labels(page.lines());
  const std::vector<std::string> values = {"-0.50", "-0.25", "0", "0.25", "0.50", "cm/s"};
  ASSERT_EQ(texts.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::string t = texts[i].text;
    t.erase(0, t.find_first_not_of(' '));
    EXPECT_EQ(t, values[i]);
  }
  // Vertical axis: values stand left of the line (side +1 is counter-clockwise).
  EXPECT_LT(texts[0].px, -1.0 * kCm);
}

TEST(Axis, NegativeLabelCountPutsEverythingBelow) {
  Page page;
  page.start();
  plot::axis(page.dev, 0.0f, 5.0f, "s", -1, 6.0f, 0.0f, 0.0f, 2.5f, 1);
  const auto lines = page.lines();
  EXPECT_EQ(lines[4], "    0.000  138.898 pL");  // tick 0.1 cm below the line at 5 cm
  const auto texts = plottest::labels(lines);
  ASSERT_EQ(texts.size(), 8u);
  EXPECT_EQ(texts[0].text, "0");
  EXPECT_EQ(texts[1].text, " 2.5");
  EXPECT_EQ(texts[6].text, " 15.0");
  for (std::size_t i = 0; i < 7; ++i) EXPECT_NEAR(texts[i].py, (5.0 - 0.4) * kCm, 0.002);
  EXPECT_EQ(texts[7].text, "s");
  EXPECT_NEAR(texts[7].px, (3.0 - 0.1) * kCm, 0.002);
  EXPECT_NEAR(texts[7].py, (5.0 - 0.8) * kCm, 0.002);
}

TEST(Axis, OriginIsRestored) {
  Page page;
  page.dev.plots(6);
  page.dev.plot(13.0f, 10.5f, -3);
  float bx = 0.0f, by = 0.0f;
  page.dev.origin(bx, by, -1);
  plot::axis(page.dev, -1.0f, -2.0f, "cm", 2, 4.0f, 90.0f, -1.0f, 0.5f, 2);
  plot::axis(page.dev, 0.0f, -2.5f, "s", -1, 6.0f, 0.0f, 0.0f, 1.0f, 1);
  float ax = 0.0f, ay = 0.0f;
  page.dev.origin(ax, ay, -1);
  EXPECT_NEAR(ax, bx, 1e-5);
  EXPECT_NEAR(ay, by, 1e-5);
}

}  // namespace
