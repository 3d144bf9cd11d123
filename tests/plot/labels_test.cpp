#include <gtest/gtest.h>

#include <limits>

#include "plot/labels.hpp"
#include "plot_fixture.hpp"

namespace {

using plottest::Page;

std::string padded(const std::string& body, std::size_t blanks) {
  return " (" + body + std::string(blanks, ' ') + ")";
}

// Size is |height| * 72/2.54 * 1.5 points; the font code picks the procedure.
TEST(Symbol, WorkedExampleAndFonts) {
  Page page;
  page.start();
  plot::symbol(page.dev, 3.0f, 1.5f, 0.3f, "Target Obs.", 0.0f, 11);
  const std::vector<std::string> expected = {
      "   85.039   42.520 pM", "    0.000 rotate", "   12.756  hV",
      padded("Target Obs.", 69),  " show",            "    0.000 rotate"};
  EXPECT_EQ(page.lines(), expected);
  for (const auto& [ifont, size] : {std::pair{1, "   17.008  pR"}, {2, "   17.008  pB"},
                                    {3, "   17.008  pI"}, {4, "   17.008  pBI"}, {0, "   17.008  hV"}}) {
    page.start();
    plot::xsymbol(page.dev, 0.0f, 0.0f, 0.4f, "a", 90.0f, 1, ifont);
    EXPECT_EQ(page.lines().at(2), size) << ifont;
  }
}

// The shown string is nchar characters (0..80) padded to 80. Balanced
// parentheses pass unchanged; unbalanced ones and backslashes are escaped so
// the literal always ends at our closing parenthesis; control characters
// become octal escapes so the text stays one line.
TEST(Symbol, CutPadAndEscape) {
  struct Row {
    std::string text;
    int nchar;
    std::string body;
    std::size_t blanks;
  };
  const std::vector<Row> rows = {
      {"Target Obs.", 6, "Target", 74}, {"Target Obs.", -3, "", 80},
      {"ab", 5, "ab", 78},  // shorter than nchar: padded, never over-read
      {std::string(100, 'x'), 200, std::string(80, 'x'), 0},
      {"( 1, 4)", 7, "( 1, 4)", 73},    {"a)b(", 4, "a\\)b\\(", 76},
      {"((a)", 4, "\\((a)", 76},         {"x\\y", 3, "x\\\\y", 77},
      {"t\tz", 3, "t\\011z", 77},
  };
  for (const Row& row : rows) {
    Page page;
    page.start();
    plot::symbol(page.dev, 0.0f, 0.0f, 0.3f, row.text, 0.0f, row.nchar);
    EXPECT_EQ(page.lines().at(3), padded(row.body, row.blanks)) << row.text << " " << row.nchar;
  }
}

TEST(Number, TextRules) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct Row {
    float value;
    int ndec;
    std::string text;
  } rows[] = {
      // zero, either sign, is the single character 0 whatever ndec says
      {0.0f, 2, "0"}, {-0.0f, -1, "0"},
      // fixed point: k digits before the point, width ndec + k + 2
      {0.5f, 2, " 0.50"}, {-0.5f, 2, "-0.50"}, {150.0f, 2, " 150.00"}, {0.05f, 2, " 0.05"},
      {12.3f, 0, " 12."}, {10.0f, 1, " 10.0"},
      // a rounding carry uses the sign column, or overflows with a sign
      {9.996f, 2, "10.00"}, {-9.996f, 2, "*****"},
      // log10 just below 2 rounds to 2.0 in single precision: one more blank
      {99.999992f, 5, "  99.99999"},
      // integer form: truncated, k columns, one more for a minus sign
      {12.7f, -1, "12"}, {-12.7f, -1, "-12"}, {1000.0f, -1, "1000"}, {-0.4f, -1, " 0"},
      // never an out-of-range conversion: asterisks instead
      {1.0e10f, -1, "***********"}, {-3.0e9f, -1, "***********"}, {nan, -1, "*"},
      {inf, 2, "*****"}, {1.0e38f, 2, std::string(43, '*')}, {1.5f, 10, std::string(13, '*')},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(plot::numberText(row.value, row.ndec), row.text) << row.value << " ndec " << row.ndec;
  }
}

}  // namespace
