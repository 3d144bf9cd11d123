// Anderson's scores as the report computes them from a comparison, against
// values computed by hand; the headline over the filter's pass band; the
// page's statement of the model.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "report/report.hpp"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A record of several frequencies under an envelope, integrated in single
// precision, and a synthetic that is the record times k whose velocity and
// displacement carry a constant and a linear drift of their own, as a copy
// integrated differently does. `noiseHz` adds to the synthetic's
// acceleration a sine of that frequency (0: none).
struct Shaking {
  std::vector<float> series[6];
  report::RunView c;

  explicit Shaking(float k, double noiseHz = 0, std::size_t n = 2000, float dt = 0.01f) {
    for (auto& x : series) x.resize(n);
    float v = 0, d = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) * dt;
      const auto a = static_cast<float>(std::exp(-0.3 * t) * t *
                                        (std::sin(2 * kPi * 0.3 * t) + 0.7 * std::sin(2 * kPi * 1.7 * t + 1) +
                                         0.4 * std::sin(2 * kPi * 6.1 * t + 2) + 0.2 * std::sin(2 * kPi * 13 * t)));
      v += a * dt;
      d += v * dt;
      series[0][i] = a, series[1][i] = v, series[2][i] = d;
      series[3][i] = k * a + static_cast<float>(noiseHz > 0 ? 0.3 * std::sin(2 * kPi * noiseHz * t) : 0.0);
      series[4][i] = k * v + 0.3f + 0.05f * static_cast<float>(t);
      series[5][i] = k * d + 1.0f - 0.2f * static_cast<float>(t);
    }
    c.observed = {series[0], series[1], series[2]};
    c.synthetic = {series[3], series[4], series[5]};
    c.element = c.observed;
    c.title = "SHAKING", c.station = "STA", c.component = "NS", c.event = "EVENT", c.unit = "gal";
    c.dt = dt;
    c.ksm = 1, c.kem = static_cast<int>(n), c.ksa = 1, c.kea = static_cast<int>(n);
    c.nx = c.nw = c.nt = 5, c.nsx = 2, c.nsw = 3, c.cfac = 1.5f, c.vr = 2.5f, c.dx = c.dw = 1, c.tra = 0.2f;
    c.ird = 2, c.ipfm = 1;
    c.filter = {true, false, 0.1f, 10.0f};
  }
};

// S(p, k p) = 10 exp(-(max(k, 1/k) - 1)^2), whichever record is larger:
// for k = 2 and k = 0.5 the amplitudes (C5 to C9) score 10 exp(-1) and the
// energies (C3, C4, a factor 4) 10 exp(-9); the normalised integrals and the
// correlation (C1, C2, C10) do not see a factor. The velocity's and
// displacement's drift must not count: the criteria integrate the
// band-passed acceleration within the band.
TEST(Anderson, CopiesScoreAsComputedByHand) {
  const double amplitude = 3.6787944117144233, energy = 0.0012340980408667956;
  const struct {
    float k;
    double c[10];
  } rows[] = {
      {1.0f, {10, 10, 10, 10, 10, 10, 10, 10, 10, 10}},
      {0.5f, {10, 10, energy, energy, amplitude, amplitude, amplitude, amplitude, amplitude, 10}},
      {2.0f, {10, 10, energy, energy, amplitude, amplitude, amplitude, amplitude, amplitude, 10}},
  };
  for (const auto& r : rows) {
    const report::Measures m = report::measure(Shaking(r.k).c);
    ASSERT_EQ(m.anderson.bands.size(), 9u) << "0.05 to 50 Hz at 100 samples per second";
    for (const auto& b : m.anderson.bands)
      for (int c = 0; c < 10; ++c)
        EXPECT_NEAR(b.c[c], r.c[c], 1e-9 * r.c[c] + 1e-12)
            << "k " << r.k << ", band " << b.band.low << ", C" << c + 1;
    for (const auto* s : {&m.anderson.passBand, &m.anderson.allBands})
      for (int c = 0; c < 10; ++c) EXPECT_NEAR(s->criteria[c], r.c[c], 1e-9 * r.c[c] + 1e-12) << "k " << r.k;
  }
}

// The headline averages the bands within the run's filter; without a usable
// filter every band counts.
TEST(Anderson, HeadlineOverTheFilterPassBand) {
  const struct {
    report::RunView::Filter filter;
    int bands;          // within the pass band
    double firstLow;    // the lowest of them
  } rows[] = {
      {{true, false, 0.1f, 10.0f}, 6, 0.1},   // 0.1f is a little above 0.1
      {{true, false, 10.0f, 0.1f}, 6, 0.1},   // either order
      {{true, false, 0.0f, 10.0f}, 7, 0.05},  // a low pass
      {{true, false, 0.3f, 0.8f}, 0, 0},      // no band within
      {{false, false, 0.1f, 10.0f}, 9, 0.05}, // not requested
      {{true, true, 0.1f, 10.0f}, 9, 0.05},   // refused: the series are not filtered
  };
  for (const auto& r : rows) {
    Shaking s(1.0f, 30.0);  // a 30 Hz disturbance outside the pass band
    s.c.filter = r.filter;
    const report::Measures m = report::measure(s.c);
    EXPECT_EQ(m.anderson.passBand.bands, r.bands) << r.filter.fl << "-" << r.filter.fh;
    EXPECT_EQ(m.anderson.allBands.bands, 9);
    std::vector<double> lows;
    for (const auto& b : m.anderson.bands)
      if (b.inPassBand) lows.push_back(b.band.low);
    ASSERT_EQ(lows.size(), static_cast<std::size_t>(r.bands));
    if (r.bands == 0) {
      EXPECT_TRUE(std::isnan(m.anderson.passBand.score));
      EXPECT_TRUE(report::metricsJson(s.c, m)["anderson"]["pass_band"]["score"].is_null());
      continue;
    }
    EXPECT_EQ(lows.front(), r.firstLow);
    if (r.bands == 6 && r.firstLow == 0.1) {
      EXPECT_GT(m.anderson.passBand.score, 9.9);  // the disturbance lies outside
      EXPECT_LT(m.anderson.allBands.score, 9.5);
    }
  }
}

TEST(Page, StatesTheModelPhysically) {
  const struct {
    void (*edit)(report::RunView&);
    const char* expected;
  } rows[] = {
      {[](report::RunView& c) { c.nt = 11, c.tra = 0.15f; }, "rise time 1.65 s (nt 11 × tra 0.15 s)"},
      {[](report::RunView& c) { c.ird = 1; }, "along strike"},
      {[](report::RunView&) {}, "radiation correction: ratio of coefficients (ipfm 1)"},
      {[](report::RunView& c) { c.ipfm = 2; }, "radiation correction: sign only (ipfm 2)"},
      {[](report::RunView& c) { c.filter.fl = 0; }, "filter: low pass below 10 Hz"},
      {[](report::RunView& c) { c.filter.requested = false; }, "filter: none"},
      {[](report::RunView& c) { c.filter.refused = true; }, "filter: none (the design was refused)"},
  };
  for (const auto& r : rows) {
    Shaking s(1.0f, 0.0, 10);
    r.edit(s.c);
    std::string all;
    for (const std::string& line : report::modelLines(s.c)) all += line + "\n";
    EXPECT_NE(all.find(r.expected), std::string::npos) << r.expected << " in\n" << all;
  }
}

}  // namespace
