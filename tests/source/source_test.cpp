// The source in physical terms: its exact parameter sets, the synthetic of
// one SMGA against egfsim's run of the same parameter file, several SMGAs
// against their single synthetics moved by their onsets, the physical
// refusals and the facts reported.
#include "source/source.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "core/simulation.hpp"
#include "support/example.hpp"

namespace {

float decimal(const char* text) { return static_cast<float>(std::strtod(text, nullptr)); }

source::Smga smga(double L, double W, int N, double C, double tau) {
  source::Smga a;
  a.L = L, a.W = W, a.N = N, a.C = C, a.tau = tau;
  a.start = {true, 0.5, 0.5, 0, 0};
  return a;
}

// Every mapped value, against the single-precision value of its decimal
// written out by hand, and the subfault a fractional start falls in.
TEST(AreaParams, MapPhysicalValuesToTheParameterSet) {
  struct Row {
    double L, W, tau, C, x, w;
    int N;
    source::Start start;
    const char *dx, *dw, *tra, *dx0, *dw0;
    int nsx, nsw;
  };
  const Row rows[] = {
      {15, 15, 0.5, 1, 0, 0, 10, {false, 0, 0, 3, 5}, "1.5", "1.5", "0.05", "0", "0", 3, 5},
      {25.6, 14.2, 2.3, 1.7, -3.5, 2.25, 11, {true, 0, 1, 0, 0}, "2.327272727272727",
       "1.290909090909091", "0.2090909090909091", "3.5", "-2.25", 1, 11},
      {10, 8, 1, 2, 6, -2, 4, {true, 0.5, 0.999, 0, 0}, "2.5", "2", "0.25", "-6", "2", 3, 4},
      {10, 8, 1, 2, 0, 0, 4, {true, 0.2499, 0.75, 0, 0}, "2.5", "2", "0.25", "0", "0", 1, 4},
  };
  model::Params base;
  base.nx = base.nw = base.nt = 30, base.dx = base.dw = 9, base.vr = 2.0f;
  base.ird = model::Rupture::AlongStrike;
  for (const Row& r : rows) {
    source::Source s;
    s.vr = 2.8;
    s.rupture = model::Rupture::Radial;
    source::Smga a = smga(r.L, r.W, r.N, r.C, r.tau);
    a.x = r.x, a.w = r.w, a.start = r.start;
    s.smgas = {a};
    const model::Params p = source::areaParams(base, s, 0);
    SCOPED_TRACE(r.dx);
    EXPECT_EQ(p.nx, r.N);
    EXPECT_EQ(p.nw, r.N);
    EXPECT_EQ(p.nt, r.N);
    EXPECT_EQ(p.dx, decimal(r.dx));
    EXPECT_EQ(p.dw, decimal(r.dw));
    EXPECT_EQ(p.tra, decimal(r.tra));
    EXPECT_EQ(p.cfac, static_cast<float>(r.C));
    EXPECT_EQ(p.dx0, decimal(r.dx0));
    EXPECT_FALSE(std::signbit(p.dx0) && p.dx0 == 0.0f) << "a start at the hypocentre gives +0";
    EXPECT_EQ(p.dw0, decimal(r.dw0));
    EXPECT_EQ(p.nsx, r.nsx);
    EXPECT_EQ(p.nsw, r.nsw);
    EXPECT_EQ(p.vr, 2.8f);
    EXPECT_EQ(p.ird, model::Rupture::Radial);
  }
}

// The example's fault as one SMGA: 15 x 15 km, N 10, C 1, rise time 0.5 s,
// starting at subfault (3, 5) at the hypocentre.
source::Source exampleSource() {
  source::Source s;
  source::Smga a = smga(15, 15, 10, 1, 0.5);
  a.start = {false, 0, 0, 3, 5};
  s.smgas = {a};
  s.vr = 2.8;
  return s;
}

// A model of one SMGA at the hypocentre is egfsim's model: its parameter set
// is the parameter file's, and its synthetic and fit are egfsim's bit for
// bit, whatever the file's own lines 9 to 11 said.
TEST(OneSmga, IsEgfsimsRunOfTheSameParameterFile) {
  const testsupport::BundledExample e = testsupport::bundledExample();
  const core::Simulation egfsim = core::simulate(e.params, e.prepared.target, e.prepared.element);

  model::Params base = e.params;
  base.dx = 7, base.nx = 3, base.nsx = 1, base.cfac = 5, base.vr = 1, base.tra = 0.3f;
  const source::Source s = exampleSource();
  const model::Params area = source::areaParams(base, s, 0);

  source::Planner planner;
  const records::PreparedRecord element =
      records::prepareRecord(e.element.samples, e.element.dt, records::elementPreparation(area));
  const synthesis::SummationPlan plan = planner.plan(base, s, element.dt, area.cfac);
  core::Simulation mine;
  core::simulate(area, plan, &e.prepared.target, element,
                 core::syntheticSamples(area, e.prepared.target), mine);
  ASSERT_EQ(mine.done, core::Simulation::Comparison);
  for (std::size_t q = 0; q < 3; ++q) {
    const std::span<const float> a = mine.synthetic.motion.series()[q];
    const std::span<const float> b = egfsim.synthetic.motion.series()[q];
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << q;
    EXPECT_EQ(mine.fits[q].res, egfsim.fits[q].res);
    EXPECT_EQ(mine.fits[q].cor, egfsim.fits[q].cor);
  }
}

// Two SMGAs of different size, rise time and C, the second starting 14 km
// along strike and 2 km up dip of the hypocentre with a delay: their
// synthetic is the sum of each one's egfsim synthetic, moved by its onset
// (and the difference of the lagmins) and weighed by its C relative to the
// first one's, to single-precision rounding.
TEST(TwoSmgas, SumTheirOwnSynthesesShiftedByTheirOnsets) {
  const testsupport::BundledExample e = testsupport::bundledExample();
  source::Source s = exampleSource();
  source::Smga second = smga(6, 4, 4, 1.6, 0.8);
  second.x = 14, second.w = -2, second.delay = 0.3;
  second.start = {true, 0.1, 0.9, 0, 0};
  s.smgas.push_back(second);
  // sqrt(14^2 + 2^2) / 2.8 + 0.3 = 5.3508 s: 535 samples at 100 per second.
  const int onset = 535;
  EXPECT_EQ(source::onsetSamples(source::onsetSeconds(s, 1, e.params), 0.01f), onset);

  const int nout = 6000, nin = e.prepared.element.count;
  const auto element = e.prepared.element.motion.series();  // carries the first SMGA's C, 1
  source::Planner planner;
  const synthesis::SummationPlan both = planner.plan(e.params, s, 0.01f, 1.0f);
  std::array<std::vector<float>, 3> sum;
  for (auto& x : sum) x.assign(nout, 0.0f);
  synthesis::syntPlan({sum[0], sum[1], sum[2]}, nout, {element[0], element[1], element[2]}, nin, both);

  std::array<std::vector<double>, 3> expected;
  for (auto& x : expected) x.assign(nout, 0.0);
  const int onsets[2] = {0, onset};
  for (std::size_t k = 0; k < 2; ++k) {
    const model::Params p = source::areaParams(e.params, s, k);
    const synthesis::SubfaultModel m = synthesis::sourceModel(p, 0.01f);
    const synthesis::SummationPlan alone(p, m, 0.01f);  // egfsim's plan of that file
    std::array<std::vector<float>, 3> part;
    for (auto& x : part) x.assign(nout, 0.0f);
    synthesis::syntPlan({part[0], part[1], part[2]}, nout, {element[0], element[1], element[2]}, nin, alone);
    const int moved = onsets[k] + alone.lagmin() - both.lagmin();
    for (std::size_t q = 0; q < 3; ++q)
      for (int n = std::max(moved, 0); n < nout; ++n)
        expected[q][static_cast<std::size_t>(n)] +=
            static_cast<double>(s.smgas[k].C) * part[q][static_cast<std::size_t>(n - moved)];
  }
  for (std::size_t q = 0; q < 3; ++q) {
    double peak = 0, worst = 0;
    for (int n = 0; n < nout; ++n) {
      peak = std::max(peak, std::fabs(expected[q][n]));
      worst = std::max(worst, std::fabs(expected[q][n] - sum[q][n]));
    }
    EXPECT_GT(peak, 0);
    EXPECT_LT(worst, 1e-5 * peak) << q;
  }
}

// Each refusal with the numbers that decide it, and the models just inside.
TEST(Refusal, StartsOutsideAboveGroundOverlapsAndEarlyStarts) {
  struct Row {
    const char* name;
    double z, dipDegrees;
    std::vector<source::Smga> smgas;
    const char* reason;  // a part of it; "" for none
  };
  auto at = [](source::Smga a, double x, double w, source::Start st, double delay = 0) {
    a.x = x, a.w = w, a.start = st, a.delay = delay;
    return a;
  };
  const source::Smga box = smga(10, 10, 5, 1, 1);
  const source::Start centre{true, 0.5, 0.5, 0, 0};
  const Row rows[] = {
      {"one SMGA, deep enough", 10, 45, {at(box, 0, 0, centre)}, ""},
      {"start by subfault beyond N", 10, 45, {at(box, 0, 0, {false, 0, 0, 6, 3})},
       "SMGA 1 starts outside itself: its starting subfault (6, 3) is not one of its 5 x 5"},
      {"start by subfault 0", 10, 45, {at(box, 0, 0, {false, 0, 0, 3, 0})}, "starting subfault (3, 0)"},
      {"start by fraction beyond 1", 10, 45, {at(box, 0, 0, {true, 1.2, 0.5, 0, 0})},
       "SMGA 1 starts outside itself: its start along = 1.2, down = 0.5 must lie within 0..1"},
      {"a fraction of exactly 1 is inside", 10, 45, {at(box, 0, 0, {true, 1, 0, 0, 0})}, ""},
      // Vertical fault, hypocentre 4 km deep, start in the middle row: the
      // top edge is 5 km up dip, 1 km above the ground.
      {"above the surface", 4, 90, {at(box, 0, 0, centre)}, "SMGA 1 reaches above the ground surface: its top edge lies 1 km above it"},
      {"top edge at the surface", 5, 90, {at(box, 0, 0, centre)}, ""},
      {"above the surface on a 30-degree dip", 2, 30, {at(box, 0, -0.5, centre)},
       "top edge lies 0.75 km above it"},
      {"overlapping", 10, 45, {at(box, 0, 0, centre), at(box, 9, 1, centre)},
       "SMGA 1 and SMGA 2 overlap: 1 km along strike by 9 km down dip"},
      {"edge to edge", 10, 45, {at(box, 0, 0, centre), at(box, 10, 1, centre)}, ""},
      {"third overlaps first", 10, 45,
       {at(box, 0, 0, centre), at(box, 10, 0, centre), at(box, -5, 5, centre)}, "SMGA 1 and SMGA 3 overlap"},
      {"before the origin time", 10, 45, {at(box, 0, 0, centre), at(box, 10, 0, centre, -5)},
       "SMGA 2 would start 1 s before the origin time"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    model::Params base;
    base.z = static_cast<float>(r.z);
    base.dip = static_cast<float>(r.dipDegrees) * model::kDegToRad;
    base.vr = 2.5f;
    source::Source s;
    s.smgas = r.smgas;
    const std::string why = source::refusal(s, base);
    if (*r.reason == '\0') {
      EXPECT_EQ(why, "");
    } else {
      EXPECT_NE(why.find(r.reason), std::string::npos) << why;
    }
  }
}

// Values no model may hold are named before any model is made (N beyond 30
// is a configuration's refusal row).
TEST(BadValue, NamesTheValueAndTheSmga) {
  source::Source s;
  EXPECT_EQ(source::badValue(s), "a source model needs at least one SMGA");
  s.smgas = {smga(10, 10, 5, 1, 1), smga(10, 10, 5, 1, 1)};
  EXPECT_EQ(source::badValue(s), "");
  s.smgas[1].tau = 0;
  EXPECT_EQ(source::badValue(s), "SMGA 2: tau = 0: must be positive");
  s.smgas[1].tau = 1, s.smgas[0].x = NAN;
  EXPECT_EQ(source::badValue(s), "SMGA 1: x must be finite");
  s.smgas[0].x = 0, s.vr = -1;
  EXPECT_EQ(source::badValue(s), "vr = -1: must be positive");
}

// An SMGA 8 km wide on a 30-degree dip from a hypocentre 10 km deep,
// starting in the middle of its third row: its cells reach 5 km up dip and
// 3 km down dip, 2.5 km and 1.5 km in depth.
TEST(Facts, OfAnSmgaAsASeismologistReadsThem) {
  model::Params base;
  base.z = 10, base.dip = 30 * model::kDegToRad, base.vr = 2;
  source::Source s;
  source::Smga a = smga(10, 8, 4, 1.5, 1.2);
  a.x = 3, a.w = 0;
  s.smgas = {a};
  const source::AreaFacts f = source::facts(source::areaParams(base, s, 0), 1.5);
  EXPECT_DOUBLE_EQ(f.length, 10);
  EXPECT_DOUBLE_EQ(f.width, 8);
  EXPECT_NEAR(f.topDepth, 7.5, 1e-6);
  EXPECT_NEAR(f.bottomDepth, 11.5, 1e-6);
  EXPECT_NEAR(f.riseTime, 1.2, 1e-6);
  EXPECT_DOUBLE_EQ(f.momentRatio, 96);  // 1.5 x 4^3
  EXPECT_EQ(f.nsx, 3);
  EXPECT_EQ(f.nsw, 3);
  EXPECT_DOUBLE_EQ(f.cells.u0, 3 - 6.25);
  EXPECT_DOUBLE_EQ(f.cells.u1, 3 + 3.75);
  EXPECT_DOUBLE_EQ(f.onset, 1.5);

  EXPECT_NEAR(source::magnitudeMomentRatio(6.0, 4.0), 1000.0, 1e-9);
  EXPECT_EQ(source::momentComparison(2000, 6.0, 4.0),
            "total moment ratio (sum of C N^3): 2000; the magnitudes 6 and 4 give 10^(1.5 x 2) = "
            "1000: the model has 2 times that (magnitude 6.201)");
}

TEST(Fields, ReadTheirNamesAndSetTheirValues) {
  struct Row {
    const char* name;
    bool found;
    int smga;
    source::Field::Name field;
  };
  const Row rows[] = {
      {"smga.1.C", true, 1, source::Field::C},     {"smga.12.along", true, 12, source::Field::Along},
      {"smga.2.w", true, 2, source::Field::Wpos},  {"vr", true, 0, source::Field::Vr},
      {"smga.3.vr", true, 3, source::Field::Vr},   {"ipfm", true, 0, source::Field::Ipfm},
      {"smga.0.C", false, 0, source::Field::L},    {"smga.1.c", false, 0, source::Field::L},
      {"smga.1", false, 0, source::Field::L},      {"smga..L", false, 0, source::Field::L},
      {"smga.1x.L", false, 0, source::Field::L},   {"smga.1000.L", false, 0, source::Field::L},
      {"L", false, 0, source::Field::L},           {"smga.-1.L", false, 0, source::Field::L},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::optional<source::Field> f = source::findField(r.name);
    ASSERT_EQ(f.has_value(), r.found);
    if (!f) continue;
    EXPECT_EQ(f->smga, r.smga);
    EXPECT_EQ(f->name, r.field);
    EXPECT_EQ(source::fieldName(*f), r.name);
  }
  source::Source s;
  s.smgas = {smga(10, 10, 5, 1, 1)};
  model::Params base;
  base.vr = 2.5f;
  const source::Field vr{1, source::Field::Vr}, nsx{1, source::Field::Nsx};
  EXPECT_EQ(source::fieldValue(s, vr, base), 2.5);  // the record's until the model gives one
  source::setField(s, vr, 3.1);
  EXPECT_EQ(source::fieldValue(s, vr, base), 3.1);
  EXPECT_NE(source::fieldProblem(s, nsx).find("give start = { nsx"), std::string::npos);
  EXPECT_TRUE(source::integerField(*source::findField("smga.1.N")));
  EXPECT_FALSE(source::integerField(*source::findField("smga.1.tau")));
}

}  // namespace
