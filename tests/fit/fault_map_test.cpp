// The map view of a source model: the projection of its cells onto the
// ground by hand, and the drawing of a small fixed map against a stored SVG
// (checked by eye as a picture when it was made; EGF_UPDATE_GOLDEN=1 writes
// it again).
#include <gtest/gtest.h>

#include <filesystem>

#include "fit/map.hpp"
#include "support/files.hpp"
#include "support/svg.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kGolden = fs::path(EGF_TEST_SOURCE_DIR) / "tests" / "fit" / "data" / "fault_map.svg";

model::Params fault(float strikeDegrees, float dipDegrees, float depth) {
  model::Params p;
  p.str = strikeDegrees * model::kDegToRad;
  p.dip = dipDegrees * model::kDegToRad;
  p.rak = 90 * model::kDegToRad;
  p.z = depth;
  p.vr = 2.5f;
  return p;
}

source::Smga smga(double L, double W, int N, double x, double w, double along, double down) {
  source::Smga a;
  a.L = L, a.W = W, a.N = N, a.C = 1, a.tau = 1, a.x = x, a.w = w;
  a.start = {true, along, down, 0, 0};
  return a;
}

// Strike east, dip 30 degrees towards the south: 10 x 6 km of cells from 5
// km west to 5 km east and from 2 km up dip to 4 km down dip of the
// hypocentre lie between 1.732 km north and 3.464 km south (w cos 30).
TEST(FaultMap, ProjectsTheCellsOntoTheGround) {
  source::Source s;
  s.smgas = {smga(10, 6, 5, 0, 1, 0.5, 0.5)};
  const model::Params base = fault(90, 30, 8);
  const fit::FaultMap m = fit::faultMap(base, {source::facts(source::areaParams(base, s, 0))});
  ASSERT_EQ(m.areas.size(), 1u);
  const double expected[4][2] = {{-5, 1.7320508}, {5, 1.7320508}, {5, -3.4641016}, {-5, -3.4641016}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(m.areas[0].corners[k][0], expected[k][0], 1e-5) << k;
    EXPECT_NEAR(m.areas[0].corners[k][1], expected[k][1], 1e-5) << k;
  }
  EXPECT_NEAR(m.areas[0].start[1], -std::cos(30 * M_PI / 180), 1e-6);  // 1 km down dip
  const std::array<double, 2> east = fit::stationPosition(10, 90 * model::kDegToRad);
  EXPECT_NEAR(east[0], 10, 1e-6);
  EXPECT_NEAR(east[1], 0, 1e-6);
}

TEST(FaultMap, MatchesTheStoredDrawing) {
  source::Source s;
  s.smgas = {smga(8, 6, 4, 0, 0, 0.5, 0.5), smga(5, 4, 4, 9, -2, 0.1, 0.9)};
  const model::Params base = fault(320, 84, 8);
  std::vector<source::AreaFacts> facts;
  for (std::size_t k = 0; k < 2; ++k) facts.push_back(source::facts(source::areaParams(base, s, k), 1.0 * k));
  fit::FaultMap m = fit::faultMap(base, facts);
  m.title = "Fixed map";
  m.stations = {{"AAA", 12, 9, false}, {"BBB", -6, -14, false}, {"CCC", 3, -4, true}};
  const testsupport::TempFolder dir;
  fit::drawFaultMap(m, dir.path() / "map.svg");
  testsupport::expectStoredDrawing(kGolden, dir.read("map.svg"));
}

}  // namespace
