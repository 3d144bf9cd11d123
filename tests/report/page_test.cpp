// The report page of a small fixed comparison against a stored SVG,
// compared as a picture (tests/support/svg.hpp). The stored page was checked
// by eye when it was made; EGF_UPDATE_GOLDEN=1 writes it again.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "report/report.hpp"
#include "support/svg.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kGolden = fs::path(EGF_TEST_SOURCE_DIR) / "tests" / "report" / "data" / "page.svg";

// 300 samples at 50 per second; the synthetic a weaker, later copy; a
// 0.2-5 Hz filter, so that bands lie on both sides of the pass band.
report::RunView fixedRun(std::vector<float> (&series)[6]) {
  constexpr double kPi = 3.14159265358979323846;
  const std::size_t n = 300;
  const float dt = 0.02f;
  for (auto& x : series) x.assign(n, 0.0f);
  for (int m = 0; m < 2; ++m) {
    float v = 0, d = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) * dt - (m == 1 ? 0.3 : 0.0);
      const double a = t > 0 ? (m == 1 ? 0.6 : 1.0) * 200 * t * std::exp(-t) *
                                   (std::sin(2 * kPi * 0.8 * t) + 0.5 * std::sin(2 * kPi * 3.1 * t + 1))
                             : 0.0;
      v += static_cast<float>(a) * dt;
      d += v * dt;
      series[3 * m][i] = static_cast<float>(a), series[3 * m + 1][i] = v, series[3 * m + 2][i] = d;
    }
  }
  report::RunView c;
  c.observed = {series[0], series[1], series[2]};
  c.synthetic = {series[3], series[4], series[5]};
  c.element = c.synthetic;
  c.title = "FIXED PAGE", c.station = "STA", c.component = "NS", c.event = "FIXED EVENT", c.unit = "gal";
  c.dt = dt;
  c.ksm = 1, c.kem = 300, c.ksa = 11, c.kea = 300;
  c.nx = 4, c.nw = 3, c.nt = 4, c.nsx = 2, c.nsw = 3, c.cfac = 1.2f, c.vr = 2.8f, c.dx = 1.5f, c.dw = 1.25f,
  c.tra = 0.1f, c.ird = 2, c.ipfm = 0;
  c.filter = {true, false, 0.2f, 5.0f};
  // egfsim's displacement lag at the edge of its range, and the search's
  // velocity correlation below 0: both flagged under the table.
  c.fits = {{{0.512f, 0.61f, 3}, {0.433f, 0.72f, -2}, {0.301f, 0.83f, -200}}};
  // The search's spectral fit under the text block, which then reaches
  // down to where the waveforms start: the panels move and shrink.
  c.search = report::RunView::SearchFit{290, 10, {0.7, 1.9, 0.45}, {0.52, -0.41, 0.77},
                                        report::SearchSpectra{0.05, 5.0, 30, {5.2, 4, 0.12, 0.35}, {3.9, 4, 0.61, 0.74}}};
  return c;
}

TEST(Page, MatchesTheStoredDrawing) {
  std::vector<float> series[6];
  const report::RunView c = fixedRun(series);
  const testsupport::TempFolder dir;
  report::drawReport(dir.path() / "page.svg", c, report::measure(c));
  testsupport::expectStoredDrawing(kGolden, dir.read("page.svg"));
}

}  // namespace
