// The spectrum figure: window cut and taper ends, the amplitude-axis floor,
// the console lines of a row for an impulse, the zero-peak row and the
// frequency clamping carried between panels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "figures/capture.hpp"
#include "figures/figures.hpp"

namespace {

constexpr int kNe = 8192;

// Taper weights evaluated independently in double precision; the figure forms
// the angle in single precision, so 1e-6 relative covers the difference.
TEST(SpectrumWindow, CutPaddedAndTaperedAtBothEnds) {
  std::vector<float> series(15000);
  for (std::size_t k = 0; k < series.size(); ++k) series[k] = static_cast<float>(k + 1);
  std::vector<float> window(20000, 7.0f);
  // 100 samples from sample 11, taper 10: rising on 1..10 (the first not
  // brought to zero), falling on 90..100 from weight 1, zeros up to ne.
  ASSERT_EQ(figures::spectrumWindow(series, 11, 110, 10, kNe, window), 100);
  EXPECT_NEAR(window[0], 11 * std::sin(1.5708 / 10), 1e-5);
  EXPECT_NEAR(window[9], 20 * std::sin(1.5708), 1e-5);
  EXPECT_EQ(window[10], 21.0f);
  EXPECT_EQ(window[89], 100.0f);
  EXPECT_NEAR(window[94], 105 * std::cos(5 * 1.5708 / 10), 1e-4);
  EXPECT_NEAR(window[99], 110 * std::cos(1.5708), 1e-4);
  for (int i = 100; i < kNe; ++i) ASSERT_EQ(window[static_cast<std::size_t>(i)], 0.0f) << i;
  EXPECT_EQ(window[kNe], 7.0f);  // nothing beyond the transform length is touched
  // A longer window is cut to ne samples; the falling taper ends on the last.
  ASSERT_EQ(figures::spectrumWindow(series, 5, 5 + 9000, 4, kNe, window), kNe);
  EXPECT_FLOAT_EQ(window[kNe - 5], 8192.0f);  // weight cos 0
  EXPECT_NEAR(window[kNe - 1], 8196 * std::cos(1.5708), 1e-2);
  EXPECT_EQ(window[kNe], 7.0f);
}

TEST(SpectrumFloor, FourDecadesBelowTheNearestPowerOfTen) {
  const struct Row {
    float peak, ylow;
  } rows[] = {
      {3000.0f, 0.1f},   // log10 = 3.48: top line 1000, the peak above it
      {4000.0f, 1.0f},   // log10 = 3.60: top line 10^4
      {0.35f, 0.0001f},  // -0.456 rounds to 0
      {0.3f, 0.00001f},  // -0.523 rounds to -1
      {0.0f, 0.0001f},   // no logarithm of 0: frame tops at 1
      {1e-44f, 10.0f},   // 10^-48 underflows single precision
  };
  for (const Row& r : rows) EXPECT_FLOAT_EQ(figures::spectrumFloor(r.peak), r.ylow) << r.peak;
}

// One row of an impulse at sample 1 (|X(k)| = 1 in every bin), or of zeros.
struct Row {
  std::vector<float> x = std::vector<float>(kNe, 0.0f);
  std::vector<float> amp = std::vector<float>(kNe / 2), fre = std::vector<float>(kNe / 2);
  std::vector<std::string> console;  // every line that is not PostScript
  std::string page;

  Row(float impulse, float dt) {
    x[0] = impulse;
    figures_test::Capture c;
    c.dev.plots(6);
    figures::pltfft(c.io, c.dev, x, kNe, dt, 1, -2, 0.01f, amp, fre);
    for (const auto& l : c.lines()) {
      page += l + "\n";
      if (l.rfind(" II", 0) == 0 || l.rfind(" sorry", 0) == 0 || l.rfind("  0.", 0) == 0) {
        console.push_back(l);
      }
    }
  }
  float trailing(std::size_t k) const {
    return std::strtof(console.at(k).substr(console[k].rfind("  ")).c_str(), nullptr);
  }
};

TEST(Pltfft, ConsoleLinesOfOneRowAtDt001) {
  const Row r(1.0f, 0.01f);  // amp = 1 * 0.01 * 100 = 1
  ASSERT_EQ(r.console.size(), 10u);
  EXPECT_EQ(r.console[0], " II inside= -2");
  EXPECT_EQ(r.console[1], " sorry now calculating, before fft.  ne= 13");
  // fre(2) = 1 / 81.92 Hz and fre(3) = 2 / 81.92 Hz.
  EXPECT_EQ(r.console[2], "  0.0122070312  0.0244140625  0.00999999978 8192");
  EXPECT_EQ(r.console[3], " sorry now calculating, after  fft");
  // Peaks at the lowest non-zero frequency: 1/w^2, 1/w, and the flat 1.
  const double w = 2 * 3.1416 / 81.92;
  EXPECT_NEAR(r.trailing(4), 1 / (w * w), 1e-5 / (w * w));
  EXPECT_EQ(r.console[5], " sorry now calculating, before plotting  0.00999999978");  // 170 -> 10^2
  EXPECT_NEAR(r.trailing(6), 1 / w, 1e-5 / w);
  EXPECT_EQ(r.console[7], " sorry now calculating, before plotting  0.00100000005");  // 13 -> 10^1
  EXPECT_EQ(r.console[8], " sorry now calculating, emAX=  1.");
  EXPECT_EQ(r.console[9], " sorry now calculating, before plotting  9.99999975E-05");
  for (int i = 1; i <= kNe / 2; ++i) {
    ASSERT_FLOAT_EQ(r.amp[static_cast<std::size_t>(i - 1)], 1.0f) << i;
    ASSERT_NEAR(r.fre[static_cast<std::size_t>(i - 1)], (i - 1) / 81.92, 1e-6 * i) << i;
  }
  EXPECT_FALSE(figures_test::hasNanOrInf(r.page));
}

TEST(Pltfft, ZeroWindowDrawsFramesWithoutNaN) {
  const Row r(0.0f, 0.01f);
  ASSERT_EQ(r.console.size(), 10u);
  for (std::size_t k : {4u, 6u, 8u}) EXPECT_EQ(r.console[k], " sorry now calculating, emAX=  0.");
  for (std::size_t k : {5u, 7u, 9u}) {
    EXPECT_EQ(r.console[k], " sorry now calculating, before plotting  9.99999975E-05");
  }
  EXPECT_FALSE(figures_test::hasNanOrInf(r.page));
}

// dt = 0.02 s puts fre(2) at 1/163.84 Hz, below the frame's 0.01 Hz. The
// displacement panel uses it as it is; its curve drawing raises it to 0.01,
// and the velocity panel then divides by 2 pi 0.01.
TEST(Pltfft, ClampedFrequencyCarriesToLaterPanels) {
  const Row r(1.0f, 0.02f);  // flat amplitude 0.02 * 100 = 2
  const double w2 = 2 * 3.1416 / 163.84, wClamped = 2 * 3.1416 * 0.01;
  EXPECT_NEAR(r.trailing(4), 2 / (w2 * w2), 1e-5 * 2 / (w2 * w2));
  EXPECT_NEAR(r.trailing(6), 2 / wClamped, 1e-5 * 2 / wClamped);
  EXPECT_EQ(r.fre[1], 0.01f);
  EXPECT_NEAR(r.fre[2], 2 / 163.84, 1e-8);  // above 0.01 Hz: kept
}

}  // namespace

namespace {

// Amplitudes at the top of the float range cannot be drawn: the run is
// refused instead of writing frames around an infinite peak.
TEST(Pltfft, SpectrumBeyondTheFloatRangeIsRefused) {
  EXPECT_THROW(Row(3e38f, 0.01f), textio::InputRejected);
}

}  // namespace
