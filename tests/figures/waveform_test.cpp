// The waveform figure: element axis units, trace geometry and scaling, the
// console peak lines and the zero-peak guard.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "figures/capture.hpp"
#include "figures/figures.hpp"

namespace {

using figures_test::Capture;
using figures_test::kScale;

// ---- Element axis units ----------------------------------------------------

struct AxisRow {
  int column;
  float emax;
  const char* title;
  int nchar;
  float top;
  float rescaled;
};

TEST(ElementAxis, UnitAndScaleFollowThePeakSize) {
  // Each threshold is a strict comparison: a peak equal to it takes the
  // scaled branch.
  const AxisRow rows[] = {
      {0, 0.5f, "gal  ", 5, 0.5f, 0.5f},
      {0, 0.1f, "m/s/s**-2", 9, 10.0f, 10.0f},
      {0, 0.05f, "m/s/s**-2", 9, 5.0f, 5.0f},
      {1, 0.002f, "cm/s", 4, 0.2f, 0.002f},
      {1, 0.001f, "cm/s**-2", 8, 10.0f, 0.1f},
      {1, 0.0005f, "cm/s**-2", 8, 5.0f, 0.05f},
      {2, 0.002f, "cm", 2, 0.2f, 0.002f},
      {2, 0.001f, "cm**-2", 6, 10.0f, 0.1f},
      {2, 0.00002f, "cm**-2", 6, 0.2f, 0.002f},
      {2, 0.00001f, "cm**-4", 6, 10.0f, 0.1f},
      {2, 0.000003f, "cm**-4", 6, 3.0f, 0.03f},
      {2, 0.0f, "cm**-4", 6, 0.0f, 0.0f},
  };
  for (const AxisRow& r : rows) {
    SCOPED_TRACE(testing::Message() << "column " << r.column << " emax " << r.emax);
    const figures::ElementAxis a = figures::elementAxis(r.column, r.emax, "gal");
    EXPECT_EQ(a.title, r.title);
    EXPECT_EQ(a.nchar, r.nchar);
    EXPECT_FLOAT_EQ(a.top, r.top);
    EXPECT_FLOAT_EQ(a.emax, r.rescaled);
  }
}

// ---- Whole figure on the console -------------------------------------------

// A run with short windows: dt = 0.25 s and tscl = 0.5 s/cm put sample k of
// a window at x = k / 2 cm, exactly.
struct Figure {
  run::Params p;
  run::Workspace w;
  figures::FigureTexts t;

  Figure() {
    p.iuwav = 6;
    p.tscl = 0.5f;
    p.cfac = 2.0f;
    p.ksm = 1;
    p.kem = 8;
    p.ksa = 1;
    p.kea = 8;
    p.ns = 300;
    w.dt = 0.25f;
    w.nmain = 6000;
    w.naft = 4000;
    t.dunit = "gal";
    t.rcode = "AB";
  }

  std::vector<std::string> draw() {
    Capture c;
    figures::waveformFigure(c.io, c.dev, p, w, t);
    return c.lines();
  }
};

// The trace that follows a peak line: the panel's pen-up at its origin, then
// one move and the draws. Returned in centimetres from the panel origin.
struct Cm {
  float x, y;
};
std::vector<Cm> traceAfter(const std::vector<std::string>& lines, int peakLine, float ox, float oy) {
  std::vector<Cm> r;
  std::size_t i = static_cast<std::size_t>(peakLine) + 2;  // skip the pen-up at (0, 0)
  for (; i < lines.size() && figures_test::isPath(lines[i]); ++i) {
    const auto pt = figures_test::pathPoint(lines[i]);
    if (!r.empty() && !pt.draw) break;
    r.push_back({pt.px / kScale - ox, pt.py / kScale - oy});
  }
  return r;
}

TEST(WaveformFigure, ConsoleLinesInOrder) {
  Figure f;
  f.w.dm[2] = 0.5f;
  f.w.ds[3] = -0.25f;
  f.w.da[4] = 3.0f;  // 1.5 without the factor 2
  const auto lines = f.draw();
  std::vector<std::string> console;
  for (const auto& l : lines) {
    if (l.rfind("  max", 0) == 0 || l.rfind(" ****", 0) == 0 || l.rfind(" amplitude", 0) == 0) {
      console.push_back(l);
    }
  }
  const std::vector<std::string> expected = {
      " *****************************",
      " amplitude of event waveform",
      "  max of obs.  0.5 6000",
      "  max of syn.  0.25 300",
      "  max of ele.  1.5 4000",
      " *****************************",
      " amplitude of integrated waveform",
      "  max of obs.  0. 6000",
      "  max of syn.  0. 300",
      "  max of ele.  0. 4000",
      " *****************************",
      " amplitude of double integrated waveform",
      "  max of obs.  0. 6000",
      "  max of syn.  0. 300",
      "  max of ele.  0. 4000",
  };
  EXPECT_EQ(console, expected);
  EXPECT_EQ(lines.back(), " showpage");
}

TEST(WaveformFigure, ThreeScalings) {
  Figure f;
  // Observed peak 0.5 at sample 3; synthetic twice as large; element peak
  // 0.75 after removing cfac = 2.
  const float obs[8] = {0.1f, -0.2f, 0.5f, 0.25f, 0, 0, 0, -0.5f};
  const float syn[8] = {0, 1.0f, 0, -0.5f, 0, 0, 0, 0};
  const float ele[8] = {0, 0, 0.75f, 0, -1.5f, 0, 0.3f, 0};
  for (int i = 0; i < 8; ++i) {
    f.w.dm[static_cast<std::size_t>(i)] = obs[i];
    f.w.ds[static_cast<std::size_t>(i)] = syn[i];
    f.w.da[static_cast<std::size_t>(i)] = ele[i];
  }
  const auto lines = f.draw();
  const int o = figures_test::indexOf(lines, "  max of obs.  0.5 6000");
  const int s = figures_test::indexOf(lines, "  max of syn.  1. 300");
  const int e = figures_test::indexOf(lines, "  max of ele.  0.75 4000");
  ASSERT_GE(o, 0);
  ASSERT_GE(s, 0);
  ASSERT_GE(e, 0);

  // Positions are read back from F9.3 points: 0.001 pt is well below
  // 0.0001 cm, so 0.0005 cm covers the print rounding.
  const float tol = 0.0005f;
  const auto to = traceAfter(lines, o, 4.0f, 16.0f);
  const auto ts = traceAfter(lines, s, 4.0f, 10.5f);
  const auto te = traceAfter(lines, e, 4.0f, 5.0f);
  ASSERT_EQ(to.size(), 8u);
  ASSERT_EQ(ts.size(), 8u);
  ASSERT_EQ(te.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    const auto k = static_cast<std::size_t>(i);
    EXPECT_NEAR(to[k].x, 0.5f * static_cast<float>(i), tol);
    EXPECT_NEAR(to[k].y, 4.0f * obs[i], tol);        // 2 / 0.5
    EXPECT_NEAR(ts[k].y, 4.0f * syn[i], tol);        // observed scale, unclipped
    EXPECT_NEAR(te[k].y, ele[i] / 0.75f, tol);       // 2 / 1.5 own peak, cfac removed
  }
  EXPECT_NEAR(ts[1].y, 4.0f, tol);
  EXPECT_NEAR(te[4].y, -2.0f, tol);
}

TEST(WaveformFigure, TraceEndsBeforeSixCentimetres) {
  Figure f;
  f.p.kem = 40;
  f.p.ksa = 3;
  f.p.kea = 14;  // 12 samples: x = 0 .. 5.5 cm, all drawn
  f.w.dm[0] = 1.0f;
  f.w.ds[5] = 1.0f;
  f.w.da[5] = 1.0f;
  const auto lines = f.draw();
  const int o = figures_test::indexOf(lines, "  max of obs.  1. 6000");
  const int s = figures_test::indexOf(lines, "  max of syn.  1. 300");
  ASSERT_GE(o, 0);
  ASSERT_GE(s, 0);
  const auto to = traceAfter(lines, o, 4.0f, 16.0f);
  // Samples 1..12 lie at 0 .. 5.5 cm; sample 13 would fall on 6.0 cm.
  ASSERT_EQ(to.size(), 12u);
  EXPECT_NEAR(to.back().x, 5.5f, 0.0005f);
  const auto ts = traceAfter(lines, s, 4.0f, 10.5f);
  ASSERT_EQ(ts.size(), 12u);
  EXPECT_NEAR(ts[3].y, 2.0f, 0.0005f);  // sample 6 is the 4th of the window from 3
}

TEST(WaveformFigure, SmallElementDisplacementScaledBy100) {
  Figure f;
  f.p.cfac = 4.0f;
  f.w.dmmm[0] = 0.01f;
  f.w.daaa[3] = -0.00002f * 4.0f;
  const auto lines = f.draw();
  const int e = figures_test::indexOf(lines, "  max of ele.  1.99999995E-05 4000");
  ASSERT_GE(e, 0);
  std::vector<std::string> texts;
  for (std::size_t i = static_cast<std::size_t>(e); i < lines.size(); ++i) {
    const std::string s = figures_test::shown(lines[i]);
    if (!s.empty()) texts.push_back(s);
  }
  const std::vector<std::string> expected = {
      "Element eq.", "-0.20", "-0.10", "0", " 0.10", " 0.20", "cm**-2",
      "0", " 0.5", " 1.0", " 1.5", " 2.0", " 2.5", " 3.0", "s"};
  EXPECT_EQ(texts, expected);
}

TEST(WaveformFigure, ZeroPeaksDrawFlatTracesAndZeroAxes) {
  Figure f;  // every array zero
  f.p.cfac = 0.0f;
  const auto lines = f.draw();
  EXPECT_FALSE(figures_test::hasNanOrInf(lines));
  for (const auto& l : lines) {
    if (l.size() == 21 && (l.substr(18) == " pM" || l.substr(18) == " pL")) {
      EXPECT_EQ(l.find('*'), std::string::npos) << l;
    }
  }
  const int o = figures_test::indexOf(lines, "  max of obs.  0. 6000");
  const int e = figures_test::indexOf(lines, "  max of ele.  0. 4000");
  ASSERT_GE(o, 0);
  ASSERT_GE(e, 0);
  for (const auto& pt : traceAfter(lines, o, 4.0f, 16.0f)) EXPECT_NEAR(pt.y, 0.0f, 0.0005f);
  for (const auto& pt : traceAfter(lines, e, 4.0f, 5.0f)) EXPECT_NEAR(pt.y, 0.0f, 0.0005f);
  // Observed amplitude axis: five annotations, all "0" (blank labels are
  // not collected).
  std::vector<std::string> texts;
  for (std::size_t i = static_cast<std::size_t>(o); i < lines.size() && texts.size() < 8; ++i) {
    const std::string s = figures_test::shown(lines[i]);
    if (!s.empty()) texts.push_back(s);
  }
  const std::vector<std::string> expected = {"AB", "Target Obs.", "0", "0", "0", "0", "0", "gal"};
  EXPECT_EQ(texts, expected);
}

TEST(WaveformFigure, WindowsOutsideTheArraysAreNotRead) {
  // The run's parameter checks keep windows inside 1..15000; the figure
  // still stays inside the arrays if they are not (ASan watches the reads).
  Figure f;
  f.p.ksm = -3;
  f.p.kem = 20000;
  f.p.ksa = 14990;
  f.p.kea = 15100;
  f.w.dm[0] = 1.0f;
  f.w.ds[14999] = 1.0f;
  const auto lines = f.draw();
  EXPECT_GE(figures_test::indexOf(lines, "  max of obs.  1. 6000"), 0);
  EXPECT_GE(figures_test::indexOf(lines, "  max of syn.  1. 300"), 0);
}

}  // namespace

namespace {

// ---- A small figure against its expected text ----------------------------------

// Three-sample windows in every panel, each amplitude branch of the axes
// exercised (acceleration element in the record's unit, velocity element
// in cm/s, displacement element scaled by 100), all labels filled. The
// expected file was derived from the drawing rules independently of this
// code and checked line by line (panel origins, trace points, annotations).
TEST(WaveformFigure, SmallFigureMatchesExpectedText) {
  Figure f;
  f.p.tscl = 1.0f;
  f.p.cfac = 2.0f;
  f.p.ksm = 2;
  f.p.kem = 4;
  f.p.ksa = 1;
  f.p.kea = 3;
  f.p.ns = 3;
  f.p.ttl1 = "TTL001";
  f.p.ttl2 = "TTL0002";
  f.w.dt = 0.5f;
  f.w.nmain = 4;
  f.w.naft = 3;
  f.t = {"RC001", "STATION NAME", "gal", "N=16", "C=2.000", "SZ=1.0,1.0,1.0", "T=0.5", "NS= 300",
         "BP=0.10- 10.00Hz", "R=0.1234", "C=0.9876"};
  auto set = [](std::vector<float>& a, std::initializer_list<float> v) {
    std::size_t k = 0;
    for (float x : v) a[k++] = x;
  };
  set(f.w.dm, {0, 0.02f, -0.04f, 0.01f});
  set(f.w.ds, {0.03f, -0.05f, 0.01f});
  set(f.w.da, {2 * 0.2f, 2 * -0.1f, 2 * 0.05f});
  set(f.w.dmm, {0, 0.001f, 0.003f, -0.002f});
  set(f.w.dss, {0.002f, 0.001f, -0.001f});
  set(f.w.daa, {2 * 0.0005f, 2 * -0.002f, 2 * 0.001f});
  set(f.w.dmmm, {0, 0.0001f, -0.0002f, 0.00005f});
  set(f.w.dsss, {0.0001f, 0.0002f, -0.0001f});
  set(f.w.daaa, {2 * 0.00002f, 2 * -0.00003f, 2 * 0.00001f});
  const auto lines = f.draw();

  const char* dir = std::getenv("EGF_SOURCE_DIR");
  ASSERT_NE(dir, nullptr) << "EGF_SOURCE_DIR names the source tree";
  std::ifstream in(std::string(dir) + "/tests/figures/data/waveform_small.txt");
  ASSERT_TRUE(in.good());
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i], expected[i]) << "line " << i + 1;
  }
}

}  // namespace
