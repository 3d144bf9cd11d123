#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plot/labels.hpp"
#include "plot_fixture.hpp"

namespace {

using plottest::Page;

std::string padded(const std::string& text) { return text + std::string(80 - text.size(), ' '); }

TEST(Symbol, WorkedExampleSixLines) {
  Page page;
  page.start();
  plot::symbol(page.dev, 3.0f, 1.5f, 0.3f, "Target Obs.", 0.0f, 11);
  const std::vector<std::string> expected = {
      "   85.039   42.520 pM",
      "    0.000 rotate",
      "   12.756  hV",
      " (" + padded("Target Obs.") + ")",
      " show",
      "    0.000 rotate",
  };
  EXPECT_EQ(page.lines(), expected);
  EXPECT_EQ(page.lines()[3].size(), 83u);
}

TEST(Symbol, AngleSizesAndFonts) {
  Page page;
  page.start();
  plot::xsymbol(page.dev, 0.0f, 0.0f, 0.4f, "a", 90.0f, 1, 1);
  plot::xsymbol(page.dev, 0.0f, 0.0f, 0.25f, "a", -30.5f, 1, 2);
  plot::xsymbol(page.dev, 0.0f, 0.0f, 0.3f, "a", 0.0f, 1, 3);
  plot::xsymbol(page.dev, 0.0f, 0.0f, 0.3f, "a", 0.0f, 1, 4);
  plot::xsymbol(page.dev, 0.0f, 0.0f, 0.3f, "a", 0.0f, 1, 0);
  const auto lines = page.lines();
  ASSERT_EQ(lines.size(), 30u);
  EXPECT_EQ(lines[1], "   90.000 rotate");
  EXPECT_EQ(lines[2], "   17.008  pR");
  EXPECT_EQ(lines[5], "  -90.000 rotate");
  EXPECT_EQ(lines[7], "  -30.500 rotate");
  EXPECT_EQ(lines[8], "   10.630  pB");
  EXPECT_EQ(lines[11], "   30.500 rotate");
  EXPECT_EQ(lines[14], "   12.756  pI");
  EXPECT_EQ(lines[20], "   12.756  pBI");
  EXPECT_EQ(lines[26], "   12.756  hV");
}

TEST(Symbol, CharacterCountCutsAndPads) {
  struct Row {
    std::string text;
    int nchar;
    std::string shown;
  };
  const std::string long100(100, 'x');
  const std::vector<Row> rows = {
      {"Target Obs.", 6, "Target"},
      {"Target Obs.", 0, ""},
      {"Target Obs.", -3, ""},
      {"ab", 5, "ab"},  // a text shorter than nchar is padded, never over-read
      {long100, 200, std::string(80, 'x')},
  };
  for (const Row& row : rows) {
    Page page;
    page.start();
    plot::symbol(page.dev, 0.0f, 0.0f, 0.3f, row.text, 0.0f, row.nchar);
    EXPECT_EQ(page.lines()[3], " (" + padded(row.shown) + ")") << row.text << " " << row.nchar;
  }
}

TEST(Symbol, NegativeHeightShiftsTheOrigin) {
  Page page;
  page.start();
  plot::symbol(page.dev, 2.0f, 1.0f, -0.3f, "s", 0.0f, 1);
  const auto lines = page.lines();
  EXPECT_EQ(lines[0], "   56.693   28.346 pM");
  EXPECT_EQ(lines[2], "   12.756  hV");
  float x = 0.0f, y = 0.0f;
  page.dev.origin(x, y, -1);
  EXPECT_NEAR(x, 2.0, 1e-6);
  EXPECT_NEAR(y, 1.0, 1e-6);
}

// Balanced parentheses pass unchanged; unbalanced ones and backslashes are
// escaped so the string literal always ends at our closing parenthesis.
TEST(Symbol, StringLiteralEscapes) {
  struct Row {
    std::string text;
    std::string body;
  };
  const std::vector<Row> rows = {
      {"( 1, 4)", "( 1, 4)"},
      {"f(a(b)c)", "f(a(b)c)"},
      {"a(b", "a\\(b"},
      {"a)b(", "a\\)b\\("},
      {"((a)", "\\((a)"},
      {"x\\y", "x\\\\y"},
      {"\\)", "\\\\\\)"},
      {"t\tz", "t\\011z"},
  };
  for (const Row& row : rows) {
    Page page;
    page.start();
    plot::symbol(page.dev, 0.0f, 0.0f, 0.3f, row.text, 0.0f, static_cast<int>(row.text.size()));
    const std::string blanks(80 - row.text.size(), ' ');
    EXPECT_EQ(page.lines()[3], " (" + row.body + blanks + ")") << row.text;
  }
}

TEST(Number, TextRules) {
  struct Row {
    float value;
    int ndec;
    std::string text;
  };
  const std::vector<Row> rows = {
      // zero, either sign, is the single character 0 whatever ndec says
      {0.0f, 2, "0"},
      {-0.0f, 1, "0"},
      {0.0f, -1, "0"},
      // fixed point: k digits before the point, width ndec + k + 2
      {0.5f, 2, " 0.50"},
      {-0.5f, 2, "-0.50"},
      {12.5f, 2, " 12.50"},
      {150.0f, 2, " 150.00"},
      {3.0f, 1, " 3.0"},
      {0.05f, 2, " 0.05"},
      {0.1f, 1, " 0.1"},
      {12.3f, 0, " 12."},
      {10.0f, 1, " 10.0"},
      {1000.0f, 1, " 1000.0"},
      // rounding that carries into a new digit uses the sign column, or
      // does not fit when there is a sign
      {9.996f, 2, "10.00"},
      {-9.996f, 2, "*****"},
      // just below 100: log10 rounds to 2.0 in single precision, so one
      // extra blank and no lost digit
      {99.999992f, 5, "  99.99999"},
      // integer form: truncated, k columns, one more for a minus sign
      {12.7f, -1, "12"},
      {-12.7f, -1, "-12"},
      {3.0f, -1, "3"},
      {-2.0f, -3, "-2"},
      {1000.0f, -1, "1000"},
      {0.4f, -1, "0"},
      {-0.4f, -1, " 0"},  // the sign column stays, the truncated value is 0
      // never an out-of-range conversion: asterisks instead
      {1.0e10f, -1, "***********"},
      {-3.0e9f, -1, "***********"},
      {std::numeric_limits<float>::quiet_NaN(), -1, "*"},
      {std::numeric_limits<float>::infinity(), 2, "*****"},
      {1.0e38f, 2, std::string(43, '*')},
      {1.5f, 10, std::string(13, '*')},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(plot::numberText(row.value, row.ndec), row.text) << row.value << " ndec " << row.ndec;
  }
}

TEST(Number, DrawsItsTextWithItsOwnLength) {
  Page page;
  page.start();
  plot::number(page.dev, 1.0f, 1.0f, 0.25f, -12.7f, 0.0f, -1);
  plot::number(page.dev, 1.0f, 1.0f, 0.25f, 0.0f, 0.0f, 2);
  plot::xnumber(page.dev, 1.0f, 1.0f, 0.25f, 0.5f, 0.0f, 2, 1);
  const auto lines = page.lines();
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines[0], "   28.346   28.346 pM");
  EXPECT_EQ(lines[2], "   10.630  hV");
  EXPECT_EQ(lines[3], " (" + padded("-12") + ")");
  EXPECT_EQ(lines[9], " (" + padded("0") + ")");
  EXPECT_EQ(lines[14], "   10.630  pR");
  EXPECT_EQ(lines[15], " (" + padded(" 0.50") + ")");
}

}  // namespace
