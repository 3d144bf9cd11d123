// The spectrum figure: window cut and taper, the amplitude-axis floor, the
// console lines of a row with the amplitude spectrum of an impulse, the
// zero-peak panel and the frequency clamping carried between panels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "figures/capture.hpp"
#include "figures/figures.hpp"

namespace {

using figures_test::Capture;

constexpr int kNe = 8192;

// ---- Window and taper --------------------------------------------------------

// Weights of the taper evaluated independently in double precision; the
// figure forms the angle in single precision, so 1e-6 covers the difference.
double rise(int i, int iw) { return std::sin(i * 1.5708 / iw); }
double fall(int j, int iw) { return std::cos(j * 1.5708 / iw); }

TEST(SpectrumWindow, ShortWindowIsPaddedAndTaperedAtBothEnds) {
  std::vector<float> series(15000, 1.0f);
  std::vector<float> window(20000, 7.0f);
  const int length = figures::spectrumWindow(series, 11, 110, 10, kNe, window);
  ASSERT_EQ(length, 100);
  // Rising taper on samples 1..10: the first is not brought to zero.
  for (int i = 1; i <= 10; ++i) EXPECT_NEAR(window[static_cast<std::size_t>(i - 1)], rise(i, 10), 1e-6) << i;
  EXPECT_GT(window[0], 0.15f);
  for (int i = 11; i <= 89; ++i) EXPECT_EQ(window[static_cast<std::size_t>(i - 1)], 1.0f) << i;
  // Falling taper on samples 90..100, weight 1 on the first of them.
  for (int j = 0; j <= 10; ++j) EXPECT_NEAR(window[static_cast<std::size_t>(89 + j)], fall(j, 10), 1e-6) << j;
  EXPECT_EQ(window[89], 1.0f);
  EXPECT_LT(std::fabs(window[99]), 1e-5f);
  // Zero padding up to the transform length; beyond it nothing is touched.
  for (int i = 101; i <= kNe; ++i) ASSERT_EQ(window[static_cast<std::size_t>(i - 1)], 0.0f) << i;
  EXPECT_EQ(window[kNe], 7.0f);
}

TEST(SpectrumWindow, LongWindowIsCutTo8192Samples) {
  std::vector<float> series(15000);
  for (std::size_t k = 0; k < series.size(); ++k) series[k] = static_cast<float>(k + 1);
  std::vector<float> window(20000, 7.0f);
  const int length = figures::spectrumWindow(series, 5, 5 + 9000, 4, kNe, window);
  ASSERT_EQ(length, kNe);
  // Sample i of the window is sample 5 + i - 1 of the series.
  EXPECT_FLOAT_EQ(window[4], 9.0f);
  EXPECT_FLOAT_EQ(window[999], 1004.0f);
  EXPECT_NEAR(window[0], 5.0 * rise(1, 4), 1e-5);
  // The falling taper ends on the last transformed sample, 8196 of the series.
  EXPECT_FLOAT_EQ(window[kNe - 5], 8192.0f);  // weight cos 0
  EXPECT_NEAR(window[kNe - 2], 8195.0 * fall(3, 4), 1e-2);
  EXPECT_LT(std::fabs(window[kNe - 1]), 0.05f);  // 8196 * cos 1.5708
  EXPECT_EQ(window[kNe], 7.0f);
}

TEST(SpectrumWindow, NoTaperForZeroOrNegativeLength) {
  std::vector<float> series(15000, 2.0f);
  for (int iw : {0, -5}) {
    std::vector<float> window(20000, 7.0f);
    ASSERT_EQ(figures::spectrumWindow(series, 1, 100, iw, kNe, window), 100);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(window[static_cast<std::size_t>(i)], 2.0f);
    EXPECT_EQ(window[100], 0.0f);
  }
}

TEST(SpectrumWindow, EmptyOrOversizedTaperStaysInsideTheWindow) {
  std::vector<float> series(15000, 1.0f);
  std::vector<float> window(20000, 7.0f);
  EXPECT_EQ(figures::spectrumWindow(series, 50, 40, 10, kNe, window), 0);
  for (int i = 0; i < kNe; ++i) ASSERT_EQ(window[static_cast<std::size_t>(i)], 0.0f);
  // A taper longer than the window: only samples 1..L carry weights.
  EXPECT_EQ(figures::spectrumWindow(series, 1, 5, 10, kNe, window), 5);
  for (int i = 5; i < kNe; ++i) ASSERT_EQ(window[static_cast<std::size_t>(i)], 0.0f);
}

// ---- Amplitude-axis floor -----------------------------------------------------

TEST(SpectrumFloor, FourDecadesBelowTheNearestPowerOfTen) {
  struct Row {
    float peak, ylow;
  } rows[] = {
      {3000.0f, 0.1f},     // log10 = 3.48: top line 1000, the peak above it
      {4000.0f, 1.0f},     // log10 = 3.60: top line 10^4
      {1.0f, 0.0001f},     // log10 = 0
      {0.35f, 0.0001f},    // -0.456 rounds to 0
      {0.3f, 0.00001f},    // -0.523 rounds to -1
      {0.0f, 0.0001f},     // no logarithm of 0: frame tops at 1
      {1e-44f, 10.0f},     // 10^-48 underflows single precision
  };
  for (const Row& r : rows) EXPECT_FLOAT_EQ(figures::spectrumFloor(r.peak), r.ylow) << r.peak;
}

// ---- pltfft -------------------------------------------------------------------

// The console lines written by one call (everything not PostScript).
std::vector<std::string> consoleLines(const std::vector<std::string>& lines) {
  std::vector<std::string> r;
  for (const auto& l : lines) {
    if (l.rfind(" II", 0) == 0 || l.rfind(" sorry", 0) == 0 || l.rfind("  0.", 0) == 0 ||
        l.rfind(" ***", 0) == 0 || l.rfind(" observed", 0) == 0 || l.rfind(" synthetic", 0) == 0 ||
        l.rfind("  ne =", 0) == 0) {
      r.push_back(l);
    }
  }
  return r;
}

float trailingValue(const std::string& line) {
  return std::strtof(line.substr(line.rfind("  ")).c_str(), nullptr);
}

struct Row {
  std::vector<float> x = std::vector<float>(20000, 0.0f);
  std::vector<float> amp = std::vector<float>(10000, 0.0f);
  std::vector<float> fre = std::vector<float>(10000, 0.0f);
  std::vector<std::string> lines;

  void draw(float dt) {
    Capture c;
    c.dev.plots(6);
    figures::pltfft(c.io, c.dev, x, kNe, dt, 1, -2, 0.01f, amp, fre);
    lines = c.lines();
  }
};

TEST(Pltfft, ConsoleLinesOfOneRowAtDt001) {
  // A unit impulse has |X(k)| = 1 in every bin: amp = 1 * 0.01 * 100 = 1.
  Row r;
  r.x[0] = 1.0f;
  r.draw(0.01f);
  const auto con = consoleLines(r.lines);
  ASSERT_EQ(con.size(), 10u);
  EXPECT_EQ(con[0], " II inside= -2");
  EXPECT_EQ(con[1], " sorry now calculating, before fft.  ne= 13");
  // fre(2) = 1 / 81.92 Hz and fre(3) = 2 / 81.92 Hz.
  EXPECT_EQ(con[2], "  0.0122070312  0.0244140625  0.00999999978 8192");
  EXPECT_EQ(con[3], " sorry now calculating, after  fft");
  // Peaks at the lowest non-zero frequency: 1/w^2, 1/w, and the flat 1.
  const double w = 2 * 3.1416 / 81.92;
  EXPECT_EQ(con[4].rfind(" sorry now calculating, emAX=", 0), 0u);
  EXPECT_NEAR(trailingValue(con[4]), 1 / (w * w), 1e-5 / (w * w));
  EXPECT_EQ(con[5], " sorry now calculating, before plotting  0.00999999978");  // 170 -> 10^2
  EXPECT_NEAR(trailingValue(con[6]), 1 / w, 1e-5 / w);
  EXPECT_EQ(con[7], " sorry now calculating, before plotting  0.00100000005");  // 13 -> 10^1
  EXPECT_EQ(con[8], " sorry now calculating, emAX=  1.");
  EXPECT_EQ(con[9], " sorry now calculating, before plotting  9.99999975E-05");

  for (int i = 1; i <= kNe / 2; ++i) {
    ASSERT_FLOAT_EQ(r.amp[static_cast<std::size_t>(i - 1)], 1.0f) << i;
    ASSERT_NEAR(r.fre[static_cast<std::size_t>(i - 1)], (i - 1) / 81.92, 1e-6 * i) << i;
  }
  EXPECT_NEAR(r.fre[4095], 4095 / 81.92, 1e-4);  // last plotted, just under 50 Hz
  EXPECT_FALSE(figures_test::hasNanOrInf(r.lines));
}

TEST(Pltfft, ZeroWindowDrawsFramesAndFlatCurves) {
  Row r;
  r.draw(0.01f);
  const auto con = consoleLines(r.lines);
  ASSERT_EQ(con.size(), 10u);
  for (int k : {4, 6, 8}) EXPECT_EQ(con[static_cast<std::size_t>(k)], " sorry now calculating, emAX=  0.");
  for (int k : {5, 7, 9}) {
    EXPECT_EQ(con[static_cast<std::size_t>(k)], " sorry now calculating, before plotting  9.99999975E-05");
  }
  EXPECT_FALSE(figures_test::hasNanOrInf(r.lines));
  // Every curve point lies on the bottom edge of its frame, y = 0 from the
  // row origin (read back from the F9.3 points). A curve is the only path of
  // more than a few points: one move and 4094 draws.
  std::vector<std::vector<float>> curves;
  for (std::size_t i = 0; i < r.lines.size(); ++i) {
    if (!figures_test::isPath(r.lines[i]) || figures_test::pathPoint(r.lines[i]).draw) continue;
    std::vector<float> ys{figures_test::pathPoint(r.lines[i]).py};
    for (std::size_t j = i + 1; j < r.lines.size() && figures_test::isPath(r.lines[j]); ++j) {
      const auto pt = figures_test::pathPoint(r.lines[j]);
      if (!pt.draw) break;
      ys.push_back(pt.py);
    }
    if (ys.size() > 100) curves.push_back(ys);
  }
  ASSERT_EQ(curves.size(), 3u);
  for (const auto& ys : curves) {
    EXPECT_EQ(ys.size(), static_cast<std::size_t>(kNe / 2 - 1));
    for (float y : ys) ASSERT_EQ(y, 0.0f);
  }
}

TEST(Pltfft, ClampedFrequencyCarriesToLaterPanels) {
  // dt = 0.02 s puts fre(2) at 1/163.84 Hz, below the frame's 0.01 Hz. The
  // displacement panel uses it as it is; its curve drawing raises it to 0.01,
  // and the velocity panel then divides by 2 pi 0.01.
  Row r;
  r.x[0] = 1.0f;  // flat amplitude 0.02 * 100 = 2
  r.draw(0.02f);
  const auto con = consoleLines(r.lines);
  ASSERT_EQ(con.size(), 10u);
  const double w2 = 2 * 3.1416 / 163.84;
  const double wClamped = 2 * 3.1416 * 0.01;
  EXPECT_NEAR(trailingValue(con[4]), 2 / (w2 * w2), 1e-5 * 2 / (w2 * w2));
  EXPECT_NEAR(trailingValue(con[6]), 2 / wClamped, 1e-5 * 2 / wClamped);
  EXPECT_EQ(r.fre[1], 0.01f);
  EXPECT_NEAR(r.fre[2], 2 / 163.84, 1e-8);  // above 0.01 Hz: kept
}

// ---- Whole figure ---------------------------------------------------------------

TEST(SpectrumFigure, RowsOfTheSameRecordDifferOnlyInTitles) {
  run::Params p;
  p.iuspc = 6;
  p.ksm = 1;
  p.kem = 300;
  p.ksa = 1;
  p.kea = 300;
  p.IW = 20;
  p.ttl1 = "TITLE1";
  p.ttl2 = "TITLE22";
  run::Workspace w;
  w.dt = 0.01f;
  for (int i = 0; i < 300; ++i) {
    const float v = static_cast<float>(std::sin(0.3 * i)) * static_cast<float>(std::exp(-0.01 * i));
    w.dm[static_cast<std::size_t>(i)] = v;
    w.ds[static_cast<std::size_t>(i)] = v;
  }
  figures::FigureTexts t;
  t.rcode = "R1";
  Capture c;
  figures::spectrumFigure(c.io, c.dev, p, w, t);
  const auto lines = c.lines();

  const auto con = consoleLines(lines);
  ASSERT_EQ(con.size(), 26u);
  EXPECT_EQ(con[0], " ***********************");
  EXPECT_EQ(con[1], " observed spectra");
  EXPECT_EQ(con[2], "  ne = 8192");
  EXPECT_EQ(con[13], " ***********************");
  EXPECT_EQ(con[14], " synthetic spectra");
  for (std::size_t k = 2; k < 13; ++k) EXPECT_EQ(con[k], con[k + 13]) << k;

  std::vector<std::string> texts;
  for (const auto& l : lines) {
    const std::string s = figures_test::shown(l);
    if (s == "TITLE22" || s == "TITLE1" || s == "OBSERVED" || s == "SYNTHETIC" || s == "R1") texts.push_back(s);
  }
  const std::vector<std::string> expected = {"TITLE22", "TITLE1", "OBSERVED", "R1",
                                             "TITLE22", "TITLE1", "SYNTHETIC", "R1"};
  EXPECT_EQ(texts, expected);
  EXPECT_EQ(lines.back(), " showpage");
  EXPECT_FALSE(figures_test::hasNanOrInf(lines));
}

}  // namespace
