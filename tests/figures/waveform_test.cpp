// The waveform figure: element axis units, a small figure against its
// expected text, and the zero-peak guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "figures/capture.hpp"
#include "figures/figures.hpp"

namespace {

// Each threshold is a strict comparison: a peak equal to it takes the scaled
// branch. Rows in m/s/s follow the metre rules, rows in gal the centimetre
// rules (annotations not multiplied by 100).
TEST(ElementAxis, UnitAndScaleFollowThePeakSize) {
  const struct Row {
    const char* unit;
    int column;
    float emax;
    const char* title;
    int nchar;
    float top, rescaled;
  } rows[] = {
      {"m/s/s", 0, 0.5f, "m/s/s", 5, 0.5f, 0.5f},        {"m/s/s", 0, 0.1f, "m/s/s**-2", 9, 10.0f, 10.0f},
      {"m/s/s", 1, 0.002f, "cm/s", 4, 0.2f, 0.002f},     {"m/s/s", 1, 0.001f, "cm/s**-2", 8, 10.0f, 0.1f},
      {"m/s/s", 2, 0.002f, "cm", 2, 0.2f, 0.002f},       {"m/s/s", 2, 0.001f, "cm**-2", 6, 10.0f, 0.1f},
      {"m/s/s", 2, 0.00002f, "cm**-2", 6, 0.2f, 0.002f}, {"m/s/s", 2, 0.00001f, "cm**-4", 6, 10.0f, 0.1f},
      {"m/s/s", 2, 0.0f, "cm**-4", 6, 0.0f, 0.0f},       {"gal  ", 0, 0.1f, "gal**-2", 7, 10.0f, 10.0f},
      {"gal", 1, 0.1f, "cm/s**-2", 8, 10.0f, 10.0f},     {"gal", 2, 0.1f, "cm**-2", 6, 10.0f, 10.0f},
      {"gal", 2, 0.001f, "cm**-4", 6, 10.0f, 10.0f},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.unit << " column " << r.column << " emax " << r.emax);
    const figures::ElementAxis a = figures::elementAxis(r.column, r.emax, r.unit);
    EXPECT_EQ(a.title, r.title);
    EXPECT_EQ(a.nchar, r.nchar);
    EXPECT_FLOAT_EQ(a.top, r.top);
    EXPECT_FLOAT_EQ(a.emax, r.rescaled);
  }
}

std::vector<std::string> draw(const run::Params& p, const run::Workspace& w,
                              const figures::FigureTexts& t) {
  figures_test::Capture c;
  figures::waveformFigure(c.io, c.dev, p, w, t);
  return c.lines();
}

// Three-sample windows in every panel, each amplitude branch of the axes
// exercised (acceleration element in the record's unit, velocity element in
// cm/s, displacement element scaled by 100), all labels filled. The expected
// file was derived from the drawing rules independently of this code and
// checked line by line (panel origins, trace points, annotations, console);
// the records are in m/s/s, so velocity and displacement read times 100.
TEST(WaveformFigure, SmallFigureMatchesExpectedText) {
  run::Params p;
  p.iuwav = 6;
  p.tscl = 1.0f;
  p.cfac = 2.0f;
  p.ksm = 2, p.kem = 4, p.ksa = 1, p.kea = 3;
  p.ns = 3;
  p.ttl1 = "TTL001";
  p.ttl2 = "TTL0002";
  run::Workspace w;
  w.dt = 0.5f;
  w.nmain = 4;
  w.naft = 3;
  const figures::FigureTexts t = {"RC001", "STATION NAME", "m/s/s", "N=16", "C=2.000",
                                  "SZ=1.0,1.0,1.0", "T=0.5", "NS= 300", "BP=0.10- 10.00Hz",
                                  "R=0.1234", "C=0.9876"};
  const std::vector<std::pair<std::vector<float>*, std::vector<float>>> series = {
      {&w.dm, {0, 0.02f, -0.04f, 0.01f}},       {&w.ds, {0.03f, -0.05f, 0.01f}},
      {&w.da, {2 * 0.2f, 2 * -0.1f, 2 * 0.05f}}, {&w.dmm, {0, 0.001f, 0.003f, -0.002f}},
      {&w.dss, {0.002f, 0.001f, -0.001f}},      {&w.daa, {2 * 0.0005f, 2 * -0.002f, 2 * 0.001f}},
      {&w.dmmm, {0, 0.0001f, -0.0002f, 0.00005f}}, {&w.dsss, {0.0001f, 0.0002f, -0.0001f}},
      {&w.daaa, {2 * 0.00002f, 2 * -0.00003f, 2 * 0.00001f}}};
  for (const auto& [a, v] : series) std::copy(v.begin(), v.end(), a->begin());
  const auto lines = draw(p, w, t);

  std::ifstream in(std::string(EGF_TEST_SOURCE_DIR) + "/tests/figures/data/waveform_small.txt");
  ASSERT_TRUE(in.good());
  std::vector<std::string> expected;
  for (std::string line; std::getline(in, line);) expected.push_back(line);
  ASSERT_EQ(lines.size(), expected.size());
  for (std::size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i], expected[i]) << "line " << i + 1;
}

// One small figure per unit family: title and top annotation of every
// amplitude axis (observed, synthetic, element of each column). Peaks:
// acceleration 0.04 (element 0.05), velocity 0.5 (0.3), displacement 0.02
// (0.0005). Metre-based, gravity-based and unrecognised units share the
// metre rules.
TEST(WaveformFigure, AxesStateTrueValuesForEachUnitFamily) {
  run::Params p;
  p.iuwav = 6, p.tscl = 1.0f, p.cfac = 2.0f;
  p.ksm = 2, p.kem = 4, p.ksa = 1, p.kea = 3;
  run::Workspace w;
  w.dt = 0.5f;
  w.dm = {0, 0.02f, -0.04f, 0.01f}, w.da = {0.1f, -0.04f, 0};
  w.dmm = {0, 0.5f, -0.2f, 0.1f}, w.daa = {0.6f, -0.2f, 0};
  w.dmmm = {0, 0.02f, -0.01f, 0}, w.daaa = {0.001f, -0.0004f, 0};
  for (const std::string unit : {"gal", "m/s/s", "g", "cnt"}) {
    const std::vector<std::string> want =
        unit == "gal" ? std::vector<std::string>{"gal 0.04", "gal 0.04", "gal**-2 5.00",
                                                 "cm/s 0.50", "cm/s 0.50", "cm/s 0.30",
                                                 "cm 0.02",   "cm 0.02",   "cm**-4 5.00"}
                      : std::vector<std::string>{unit + " 0.04", unit + " 0.04", "m/s/s**-2 5.00",
                                                 "cm/s 50.00",   "cm/s 50.00",   "cm/s 30.00",
                                                 "cm 2.00",      "cm 2.00",      "cm**-2 5.00"};
    figures::FigureTexts t;
    t.dunit = unit;
    // The texts drawn; an amplitude axis is five annotations (0 in the
    // middle) then its title, the time axis seven then "s".
    std::vector<std::string> texts, axes;
    for (const std::string& l : draw(p, w, t)) {
      if (l.rfind(" (", 0) != 0) continue;
      std::string text = l.substr(2, l.find_last_not_of(" )") - 1);
      texts.push_back(text.erase(0, text.find_first_not_of(' ')));
    }
    for (std::size_t i = 5; i < texts.size(); ++i) {
      if (texts[i - 3] == "0" && texts[i] != "s" && texts[i].find_first_not_of("-.0123456789 ") != std::string::npos)
        axes.push_back(texts[i] + " " + texts[i - 1]);
    }
    EXPECT_EQ(axes, want) << unit;
  }
}

// All-zero series and cfac = 0: every peak is 0, traces lie flat and the
// amplitude axes read 0; windows reaching beyond the arrays are cut to them
// (ASan watches the reads).
TEST(WaveformFigure, ZeroPeaksAndOutsizedWindows) {
  run::Params p;
  p.iuwav = 6;
  p.tscl = 0.5f;
  p.ksm = -3, p.kem = 20000, p.ksa = 14990, p.kea = 15100;
  run::Workspace w;
  w.dt = 0.25f;
  figures::FigureTexts t;
  t.dunit = "gal";
  const auto lines = draw(p, w, t);
  std::string page;
  for (const auto& l : lines) page += l + "\n";
  EXPECT_FALSE(figures_test::hasNanOrInf(page));
  const auto obs = std::find(lines.begin(), lines.end(), "  max of obs.  0. 0");
  ASSERT_NE(obs, lines.end());
  std::vector<std::string> shown;
  for (auto l = obs; l != lines.end() && shown.size() < 6; ++l) {
    if (l->rfind(" (", 0) != 0) continue;
    std::string text = l->substr(2, l->size() - 3);
    text.erase(text.find_last_not_of(' ') + 1);
    if (!text.empty()) shown.push_back(text);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"Target Obs.", "0", "0", "0", "0", "0"}));
}

// A velocity peak above 3.4e36 overflows the axis top (100 times the peak):
// the run is refused rather than drawn with meaningless annotations.
TEST(WaveformFigure, AmplitudesBeyondTheFloatRangeAreRefused) {
  run::Params p;
  p.iuwav = 6;
  p.tscl = 0.5f;
  p.cfac = 1.0f;
  p.ksm = p.ksa = 1, p.kem = p.kea = 100;
  run::Workspace w;
  w.dt = 0.01f;
  w.dm[10] = w.dmm[10] = 1e37f;
  figures::FigureTexts t;
  EXPECT_THROW(draw(p, w, t), textio::InputRejected);
}

}  // namespace
