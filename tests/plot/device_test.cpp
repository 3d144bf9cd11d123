#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plot_fixture.hpp"

namespace {

using plottest::Page;

const char* const kProlog =
    "%!\n"
    "%%Page:1\n"
    " initmatrix\n"
    " /pM {stroke newpath moveto} def\n"
    " /pL {lineto} def\n"
    " /rM {rmoveto} def\n"
    " /rL {rlineto} def\n"
    " /AR {stroke newpath 0 360 arc closepath stroke} def\n"
    " /cAR {stroke newpath 0 360 arc closepath fill} def\n"
    " /PLUS {stroke newpath moveto\n"
    "    -0.5 0 rlineto 1 0 rlineto\n"
    "    -0.5 -0.5 rmoveto 0 1 rlineto} def\n"
    " /SQR {stroke newpath moveto\n"
    "    -4 -4 rmoveto 0 8 rlineto 8 0 rlineto\n"
    " 0 -8 rlineto -8 0 rlineto closepath fill} def\n"
    " /TRI {stroke newpath moveto\n"
    "    -4 -4 rmoveto 4 8 rlineto\n"
    " 4 -8 rlineto -8 0 rlineto closepath fill} def\n"
    " 1 setlinejoin\n"
    " /pR {/Palatino-Roman findfont \n"
    "   exch scalefont setfont} def\n"
    " /pI {/Palatino-Italic findfont \n"
    "   exch scalefont setfont} def\n"
    " /pB {/Palatino-Bold findfont \n"
    "   exch scalefont setfont} def\n"
    " /pBI {/Palatino-BoldItalic findfont \n"
    "   exch scalefont setfont} def\n"
    " /hV {/Helvetica-Bold findfont \n"
    "   exch scalefont setfont} def\n"
    " newpath \n"
    " 0.8 setlinewidth\n";

TEST(Device, StateIsZeroBeforeThePageAndTheQueryStops) {
  Page page;
  EXPECT_EQ(page.dev.unit(), 0);
  EXPECT_EQ(page.dev.scale(), 0.0f);
  EXPECT_EQ(page.dev.xorg(), 0.0f);
  EXPECT_EQ(page.dev.yorg(), 0.0f);
  float x = 1.0f, y = 2.0f;
  try {
    page.dev.origin(x, y, -1);
    FAIL() << "origin query with zero scale must stop the run";
  } catch (const textio::StopRun& stop) {
    EXPECT_EQ(stop.text, "ORIGIN error: zero scale");
  }
  EXPECT_EQ(page.out.str(), "");
}

TEST(Device, PrologYokoAndPageEndByteForByte) {
  Page page;
  page.dev.plots(6);
  page.dev.yoko(6);
  page.dev.plote(6);
  EXPECT_EQ(page.out.str(), std::string(kProlog) +
                                " -2.8 841.6 translate\n -90 rotate\n stroke\n showpage\n");
  EXPECT_EQ(page.lines().size(), 35u);
  EXPECT_EQ(page.dev.unit(), 6);
  EXPECT_EQ(page.dev.scale(), 28.346457f);
}

TEST(Device, SecondPageRepeatsThePrologAndResetsTheOrigin) {
  Page page;
  page.dev.plots(6);
  page.dev.plot(2.0f, 3.0f, -3);
  page.dev.plote(6);
  page.clear();
  page.dev.plots(6);
  EXPECT_EQ(page.out.str(), kProlog);
  EXPECT_EQ(page.dev.xorg(), 0.0f);
  EXPECT_EQ(page.dev.yorg(), 0.0f);
}

// Expected fields worked out by hand: x cm times 72/2.54, rounded to 3 decimals.
TEST(Device, PenCodesThreeTwoAndNegative) {
  Page page;
  page.start();
  page.dev.plot(0.0f, 0.0f, 3);
  page.dev.plot(1.0f, 1.0f, 2);
  page.dev.plot(4.0f, 16.0f, -3);  // origin now (4, 16) cm
  page.dev.plot(0.0f, 0.0f, 2);
  page.dev.plot(1.0f, 2.0f, -2);  // origin now (5, 18) cm
  const std::vector<std::string> expected = {
      "    0.000    0.000 pM",
      "   28.346   28.346 pL",
      "  113.386  453.543 pM",
      "  113.386  453.543 pL",
      "  141.732  510.236 pL",
  };
  EXPECT_EQ(page.lines(), expected);
}

TEST(Device, IgnoredPenCodesWriteNothingButNegativeOnesShift) {
  Page page;
  page.start();
  for (int pen : {0, 1, 4, 7, std::numeric_limits<int>::max()}) page.dev.plot(3.0f, 3.0f, pen);
  float x = 0.0f, y = 0.0f;
  page.dev.origin(x, y, -1);
  EXPECT_EQ(x, 0.0f);
  EXPECT_EQ(y, 0.0f);
  page.dev.plot(1.0f, 2.0f, -1);
  page.dev.plot(1.0f, 2.0f, -4);
  page.dev.plot(1.0f, 2.0f, std::numeric_limits<int>::min());
  EXPECT_EQ(page.out.str(), "");
  page.dev.origin(x, y, -1);
  EXPECT_NEAR(x, 3.0, 1e-5);
  EXPECT_NEAR(y, 6.0, 1e-5);
}

TEST(Device, ZeroAndNearZeroPrintWithoutSign) {
  Page page;
  page.start();
  page.dev.xplot(-0.0f, -0.00001f, 3);
  page.dev.xplot(0.00001f, -0.0f, 2);
  const std::vector<std::string> expected = {"    0.000    0.000 pM", "    0.000    0.000 pL"};
  EXPECT_EQ(page.lines(), expected);
}

TEST(Device, OriginSetShiftAndQuery) {
  Page page;
  page.dev.plots(6);
  float x = 4.0f, y = 16.0f;
  page.dev.plot(x, y, -3);
  page.clear();  // origin itself writes nothing
  float qx = 0.0f, qy = 0.0f;
  page.dev.origin(qx, qy, -1);
  EXPECT_NEAR(qx, 4.0, 4.0 * 1e-6);
  EXPECT_NEAR(qy, 16.0, 16.0 * 1e-6);

  float sx = 1.0f, sy = -0.5f;
  page.dev.origin(sx, sy, 1);
  page.dev.origin(qx, qy, -1);
  EXPECT_NEAR(qx, 5.0, 1e-5);
  EXPECT_NEAR(qy, 15.5, 1e-5);

  float ax = 2.0f, ay = 3.0f;
  page.dev.origin(ax, ay, 0);
  EXPECT_EQ(ax, 2.0f);  // set and shift leave the arguments alone
  page.dev.origin(qx, qy, -7);
  EXPECT_NEAR(qx, 2.0, 1e-6);
  EXPECT_NEAR(qy, 3.0, 1e-6);
  EXPECT_EQ(page.out.str(), "");
}

// Fields inside (-1000, 10000) points are plain F9.3; a field that fills all
// nine columns gets one blank in front so the two numbers stay apart; values
// beyond what F9.3 can show are clamped, and NaN is drawn at 0.
TEST(Device, WideAndHugeCoordinatesStayValid) {
  Page page;
  page.start();
  page.dev.xplot(5.0f, -35.0f, 2);    //  141.732, -992.126
  page.dev.xplot(5.0f, -50.0f, 2);    //  141.732, -1417.323
  page.dev.xplot(400.0f, 5.0f, 2);    //  11338.583, 141.732
  page.dev.xplot(1.0e6f, -1.0e6f, 3);
  page.dev.xplot(std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), 2);
  const std::vector<std::string> expected = {
      "  141.732 -992.126 pL",
      "  141.732 -1417.323 pL",
      " 11338.583  141.732 pL",
      " 99999.992 -9999.999 pM",
      " 99999.992    0.000 pL",
  };
  EXPECT_EQ(page.lines(), expected);
}

}  // namespace
