#include <gtest/gtest.h>

#include <algorithm>

#include "plot/axis.hpp"
#include "plot_fixture.hpp"

namespace {

using plottest::kCm;
using plottest::Page;

TEST(Axis, OneTickPerWholeCentimetreFromTheStart) {
  for (const auto& [axlen, ticks] : {std::pair{4.0f, 5L}, {4.5f, 5L}, {0.0f, 1L}, {-1.0f, 0L}}) {
    Page page;
    page.start();
    plot::axis(page.dev, 0.0f, 0.0f, "t", 1, axlen, 0.0f, 0.0f, 1.0f, 1);
    const auto lines = page.lines();
    // one draw for the axis line, one per tick
    const long draws = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
      return l.compare(l.size() - 3, 3, " pL") == 0;
    });
    EXPECT_EQ(draws - 1, ticks) << axlen;
  }
}

// Ticks 0.1 cm, values 0.4 cm and the title 0.8 cm off the line, on the
// counter-clockwise side for nlabel >= 0 and on the other for nlabel < 0.
TEST(Axis, TicksValuesAndTitleOnEitherSide) {
  for (int side : {1, -1}) {
    Page page;
    page.start();
    plot::axis(page.dev, 1.0f, 2.0f, "cm", 2 * side, 4.0f, 0.0f, 10.0f, 5.0f, -1);
    const auto lines = page.lines();
    EXPECT_EQ(lines[1], "  141.732   56.693 pM");  // the far end, 4 cm on
    EXPECT_EQ(lines[4], side > 0 ? "   28.346   59.528 pL" : "   28.346   53.858 pL");
    EXPECT_EQ(lines.back(), "    0.000    0.000 pM");  // pen back at the old origin
    const auto texts = plottest::labels(lines);
    ASSERT_EQ(texts.size(), 6u);
    const char* values[] = {"10", "15", "20", "25", "30", "cm"};
    for (std::size_t t = 0; t < 6; ++t) {
      EXPECT_EQ(texts[t].text, values[t]);
      EXPECT_NEAR(texts[t].px, (t < 5 ? 0.8 + t : 2.8) * kCm, 0.002);
      EXPECT_NEAR(texts[t].py, (2.0 + side * (t < 5 ? 0.4 : 0.8)) * kCm, 0.002);
    }
  }
}

// Amplitude axes run from -M to M in steps of M/2: the middle value is
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
    EXPECT_LT(texts[0].px, -1.0 * kCm);  // vertical: values left of the line
  }
}

}  // namespace
