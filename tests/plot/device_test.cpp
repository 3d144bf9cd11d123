#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include "plot_fixture.hpp"

namespace {

using plottest::Page;

TEST(Device, PrologYokoAndPageEndByteForByte) {
  Page page;
  page.dev.plots(6);
  page.dev.yoko(6);
  page.dev.plote(6);
  EXPECT_EQ(page.out.str(),
            "%!\n%%Page:1\n initmatrix\n /pM {stroke newpath moveto} def\n /pL {lineto} def\n"
            " /rM {rmoveto} def\n /rL {rlineto} def\n"
            " /AR {stroke newpath 0 360 arc closepath stroke} def\n"
            " /cAR {stroke newpath 0 360 arc closepath fill} def\n"
            " /PLUS {stroke newpath moveto\n    -0.5 0 rlineto 1 0 rlineto\n"
            "    -0.5 -0.5 rmoveto 0 1 rlineto} def\n"
            " /SQR {stroke newpath moveto\n    -4 -4 rmoveto 0 8 rlineto 8 0 rlineto\n"
            " 0 -8 rlineto -8 0 rlineto closepath fill} def\n"
            " /TRI {stroke newpath moveto\n    -4 -4 rmoveto 4 8 rlineto\n"
            " 4 -8 rlineto -8 0 rlineto closepath fill} def\n 1 setlinejoin\n"
            " /pR {/Palatino-Roman findfont \n   exch scalefont setfont} def\n"
            " /pI {/Palatino-Italic findfont \n   exch scalefont setfont} def\n"
            " /pB {/Palatino-Bold findfont \n   exch scalefont setfont} def\n"
            " /pBI {/Palatino-BoldItalic findfont \n   exch scalefont setfont} def\n"
            " /hV {/Helvetica-Bold findfont \n   exch scalefont setfont} def\n"
            " newpath \n 0.8 setlinewidth\n"
            " -2.8 841.6 translate\n -90 rotate\n stroke\n showpage\n");
}

// One call per row, in order; "" means the call writes nothing. Expected
// fields worked out by hand: cm times 72/2.54, as F9.3. A field that fills
// all nine columns gets a separating blank; values F9.3 cannot show are
// clamped and NaN is drawn at 0.
TEST(Device, PenCodesAndCoordinateFields) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct Row {
    float x, y;
    int pen;
    const char* line;
  } rows[] = {
      {-0.0f, -0.00001f, 3, "    0.000    0.000 pM"},
      {5.0f, -50.0f, 2, "  141.732 -1417.323 pL"},
      {400.0f, -35.0f, 2, " 11338.583 -992.126 pL"},
      {1.0e6f, -1.0e6f, 3, " 99999.992 -9999.999 pM"},
      {inf, std::numeric_limits<float>::quiet_NaN(), 2, " 99999.992    0.000 pL"},
      {3.0f, 3.0f, 0, ""},
      {3.0f, 3.0f, INT_MAX, ""},
      {4.0f, 16.0f, -3, "  113.386  453.543 pM"},  // origin now (4, 16) cm
      {1.0f, 2.0f, -2, "  141.732  510.236 pL"},   // origin now (5, 18) cm
      {1.0f, 2.0f, -1, ""},                         // shifts without drawing
      {1.0f, 2.0f, INT_MIN, ""},
      {1.0f, 1.0f, 2, "  226.772  651.969 pL"},  // (7, 22) cm origin plus (1, 1)
  };
  Page page;
  page.start();
  for (const Row& row : rows) {
    page.dev.plot(row.x, row.y, row.pen);
    const auto lines = page.lines();
    EXPECT_EQ(lines.empty() ? "" : lines.back(), row.line) << row.x << " " << row.y << " " << row.pen;
    page.out.str("");
  }
}

}  // namespace
