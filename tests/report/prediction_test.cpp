// Predictions: the percentiles of a spread against values worked out by
// hand, a prediction's files without an observed motion, and the model
// lines of several SMGAs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>

#include "report/report.hpp"
#include "support/files.hpp"
#include "support/svg.hpp"

namespace {

namespace fs = std::filesystem;

// Order statistics of ln v at p (n - 1), linearly between them.
TEST(LogPercentile, InterpolatesTheLogarithmsOfTheOrderStatistics) {
  const double e = std::exp(1.0);
  struct Row {
    std::vector<double> values;
    double p, expected;
  };
  const Row rows[] = {
      {{e * e, 1, e}, 0.5, e},                       // the middle one, whatever the order
      {{1, e, e * e}, 0.16, std::exp(0.32)},         // 0.32 of the way from ln 1 to ln e
      {{1, e, e * e}, 0.84, std::exp(1.68)},
      {{1, e, e * e}, 0.0, 1},
      {{1, e, e * e}, 1.0, e * e},
      {{5}, 0.84, 5},
      {{2, 8}, 0.5, 4},                              // the geometric mean of two
  };
  for (const Row& r : rows) EXPECT_NEAR(report::logPercentile(r.values, r.p), r.expected, 1e-12 * r.expected);
  EXPECT_TRUE(std::isnan(report::logPercentile({}, 0.5)));
  EXPECT_TRUE(std::isnan(report::logPercentile({1, 0, 2}, 0.5)));
  EXPECT_TRUE(std::isnan(report::logPercentile({1, NAN}, 0.5)));
}

TEST(Spread, OfSpectraThatDifferByFactors) {
  std::vector<report::Predicted> list(3);
  const double factors[3] = {4, 1, 2};
  for (int m = 0; m < 3; ++m) {
    list[m].periods = report::spectrumPeriods();
    for (double t : list[m].periods) list[m].psa.push_back(factors[m] * (1 + t));
    list[m].peaks = {factors[m], 10 * factors[m], 100 * factors[m]};
  }
  const report::Spread s = report::spread(list);
  EXPECT_EQ(s.models, 3);
  ASSERT_EQ(s.periods.size(), 100u);
  EXPECT_EQ(s.periods.front(), 0.01);
  EXPECT_EQ(s.periods.back(), 10.0);
  for (std::size_t k = 0; k < s.periods.size(); k += 33) {
    EXPECT_NEAR(s.psa[1][k], 2 * (1 + s.periods[k]), 1e-12);
    EXPECT_NEAR(s.psa[0][k], std::pow(2.0, 0.32) * (1 + s.periods[k]), 1e-12);
    EXPECT_NEAR(s.psa[2][k], std::pow(2.0, 1.68) * (1 + s.periods[k]), 1e-12);
  }
  EXPECT_NEAR(s.peaks[1][2], 200, 1e-9);
  EXPECT_NEAR(s.peaks[2][0], std::pow(2.0, 1.68), 1e-12);
  // Its figure, the given model the slowest, against a stored drawing
  // (checked by eye as a picture when it was made; EGF_UPDATE_GOLDEN=1
  // writes it again).
  const testsupport::TempFolder dir;
  report::drawSpread(dir.path() / "spread.svg", s, list[0], "Predicted response spectra at STA", "gal");
  testsupport::expectStoredDrawing(fs::path(EGF_TEST_SOURCE_DIR) / "tests" / "report" / "data" / "spread.svg",
                                   dir.read("spread.svg"));
}

// A decaying 2-Hz tone: its prediction has no observed files or columns,
// its peaks are the series', and at 0.01 s the response spectrum is the
// peak acceleration (a stiff oscillator moves with the ground).
TEST(Prediction, WritesTheSyntheticItsPeaksAndItsSpectrum) {
  std::vector<float> series[6];
  for (int m = 0; m < 2; ++m)
    for (int q = 0; q < 3; ++q)
      for (int k = 0; k < 1000; ++k)
        series[3 * m + q].push_back(static_cast<float>((q + 1) * std::sin(2 * M_PI * 2 * k * 0.01) * std::exp(-0.005 * k)));
  report::RunView c;
  c.synthetic = {series[0], series[1], series[2]};
  c.element = {series[3], series[4], series[5]};
  c.station = "PRD", c.component = "EW", c.unit = "gal", c.dt = 0.01f;
  const testsupport::TempFolder dir;
  report::writePrediction(dir.path() / "p", c);
  EXPECT_FALSE(fs::exists(dir.path() / "p" / "observed.acc.sac"));
  EXPECT_TRUE(fs::exists(dir.path() / "p" / "synthetic.acc.sac"));
  const std::string csv = testsupport::readFile(dir.path() / "p" / "series.csv");
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "time,synthetic.acc,synthetic.vel,synthetic.dis,element.acc,element.vel,element.dis");
  const auto j = nlohmann::json::parse(testsupport::readFile(dir.path() / "p" / "prediction.json"));
  float peak = 0;
  for (float v : series[0]) peak = std::max(peak, std::fabs(v));
  EXPECT_DOUBLE_EQ(j["peak"]["acceleration"].get<double>(), peak);
  EXPECT_NEAR(j["peak"]["displacement"].get<double>(), 3 * static_cast<double>(peak), 1e-6 * peak);
  EXPECT_NEAR(j["psa"][0].get<double>(), peak, 0.02 * peak);
  EXPECT_EQ(j["damping"].get<double>(), 0.05);
  const std::string spectrum = testsupport::readFile(dir.path() / "p" / "response_spectrum.csv");
  EXPECT_EQ(std::count(spectrum.begin(), spectrum.end(), '\n'), 101);
  EXPECT_EQ(spectrum.rfind("period_s,psa_gal\n0.01,", 0), 0u);
}

TEST(ModelLines, OneLinePerSmgaThenTheirTotal) {
  report::RunView c;
  c.ird = 2, c.ipfm = 0;
  c.areas = {{4, 4, 4, 3, 3, 1.5f, 2.8f, 1.5f, 1.5f, 0.1f, 0, 0, 0}, {5, 5, 5, 1, 4, 1.0f, 2.8f, 1.0f, 0.8f, 0.06f, 9, -3, 3.688}};
  const std::vector<std::string> lines = report::modelLines(c);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "SMGA 1: 6 × 6 km, N 4, rise time 0.4 s, C 1.5 (C N³ 96); from subfault (3, 3) at 0, 0 km, 0 s, 2.8 km/s");
  EXPECT_EQ(lines[1].rfind("SMGA 2: 5 × 4 km, N 5, rise time 0.3 s, C 1 (", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find("at 9, -3 km, 3.69 s"), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2].rfind("Rupture radial; total C N³ 221 (the target's moment over the element's)", 0), 0u) << lines[2];
}

}  // namespace
