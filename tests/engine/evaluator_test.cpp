// Whole-model evaluation: the windows line up with egfsim's synthetic, a
// model egfsim refuses is refused with egfsim's text, the records' curves
// combine at one shift, and results do not depend on the number of threads.
#include "engine/evaluator.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/simulation.hpp"
#include "dsp/dsp.hpp"
#include "support/example.hpp"

namespace {

using Series = std::array<std::vector<float>, 3>;

// The bundled example's parameter file, with C 1.5 (so that the element's
// scaling shows) and ns 6000 at 100 samples per second.
model::Params exampleParams() {
  model::Params p = testsupport::bundledExample().params;
  p.cfac = 1.5f, p.ns = 6000;
  return p;
}

model::Motion motion(const Series& s) {
  model::Motion m(model::kMaxSamples);
  for (int q = 0; q < 3; ++q) std::copy(s[q].begin(), s[q].end(), m.series()[q].begin());
  return m;
}

// egfsim's synthetic of p: source model, exact summation, both mean removals.
Series exactSynthetic(const model::Params& p, const Series& element, int nin, float dt) {
  const synthesis::Synthesis r =
      synthesis::synthesize(p, synthesis::sourceModel(p, dt), motion(element), nin, dt, p.ns);
  Series s;
  for (int q = 0; q < 3; ++q) s[q].assign(r.motion.series()[q].begin(), r.motion.series()[q].begin() + p.ns);
  return s;
}

struct Fixture {
  model::Params truth = exampleParams();
  Series element, observed;
  int nin = 3000;
  float dt = 0.01f;
  int lead = 7;  // the observed motion is egfsim's synthetic 7 samples earlier

  Fixture() {
    std::mt19937 rng(5);
    std::normal_distribution<float> g(0.0f, 1.0f);
    for (auto& s : element) {
      s.resize(static_cast<std::size_t>(nin));
      for (int n = 0; n < nin; ++n) s[n] = g(rng) * std::exp(-0.002f * n);
      float mean = 0;
      dsp::removeMean(s, 1, nin, mean);  // as the record stage leaves it
    }
    // egfsim's element carries cfac; the record is given the element
    // before that scaling.
    Series scaled = element;
    for (auto& v : scaled)
      for (float& x : v) x *= truth.cfac;
    const Series syn = exactSynthetic(truth, scaled, nin, dt);
    for (int q = 0; q < 3; ++q) {
      observed[q].assign(syn[q].size(), 0.0f);
      for (std::size_t n = 0; n + lead < syn[q].size(); ++n) observed[q][n] = syn[q][n + lead];
    }
  }
  std::shared_ptr<const engine::Record> record(int maxShift, const char* name = "sta",
                                               const engine::SpectralSettings& spectral = {}) const {
    return std::make_shared<const engine::Record>(
        engine::RecordInput{name,
                            1.0,
                            truth,
                            dt,
                            truth.ns,
                            {observed[0], observed[1], observed[2]},
                            {element[0], element[1], element[2]},
                            nin,
                            1.0f},
        maxShift, 12, spectral);
  }
};

engine::SpectralSettings spectralTerms(double psa, double fourier) {
  engine::SpectralSettings s;
  s.psa = psa;
  s.fourier = fourier;
  return s;
}

constexpr engine::Weights kAll{1.0, 1.0, 1.0, 1.0};

TEST(Evaluator, FindsTheTrueModelAtItsShift) {
  const Fixture f;
  engine::Evaluator e({f.record(50)}, kAll);
  const engine::ModelResult r = e.evaluate(std::span(&f.truth, 1));
  ASSERT_FALSE(r.refused) << r.note;
  EXPECT_EQ(r.shift, f.lead * static_cast<double>(f.dt));
  const engine::RecordCurves& c = e.curves(0);
  for (int q = 0; q < engine::kQuantities; ++q) {
    EXPECT_EQ(engine::bestShift(c.residual[q], 50), f.lead) << q;
    EXPECT_LT(c.residual[q][50 + f.lead], 1e-5) << q;
    EXPECT_GT(c.correlation[q][50 + f.lead], 0.99999) << q;
  }
  // A model with another rupture velocity fits worse.
  model::Params other = f.truth;
  other.vr = 2.0f;
  e.evaluate(std::span(&other, 1));
  EXPECT_GT(e.curves(0).residual[engine::kDis][50 + f.lead], 0.01);
}

// The spectral terms compare the windows at the model's shift, of the
// synthetic as scaled for its record: observed motion half the true
// model's gives (ln 2)^2 for both, added to the waveform terms with their
// weights, whatever the shift.
TEST(Evaluator, SpectralTermsOfASyntheticTwiceTheObserved) {
  Fixture f;
  for (auto& s : f.observed)
    for (float& v : s) v *= 0.5f;
  const double ln2 = std::log(2.0);
  engine::Evaluator e({f.record(50, "half", spectralTerms(0.5, 2.0))}, {0.0, 1.0, 1.0, 0.0});
  const engine::ModelResult r = e.evaluate(std::span(&f.truth, 1));
  ASSERT_FALSE(r.refused) << r.note;
  EXPECT_EQ(r.shift, f.lead * static_cast<double>(f.dt));
  ASSERT_EQ(r.spectral.size(), 1u);
  EXPECT_NEAR(r.spectral[0].psa, ln2 * ln2, 1e-5);
  EXPECT_NEAR(r.spectral[0].fourier, ln2 * ln2, 1e-5);
  const double waveform = r.records[0][engine::kVel].residual + r.records[0][engine::kDis].residual;
  EXPECT_NEAR(r.misfit, waveform + 0.5 * r.spectral[0].psa + 2.0 * r.spectral[0].fourier, 1e-12);
  // With the terms off, none is computed and the misfit is the waveforms'.
  engine::Evaluator off({f.record(50, "half")}, {0.0, 1.0, 1.0, 0.0});
  const engine::ModelResult w = off.evaluate(std::span(&f.truth, 1));
  EXPECT_TRUE(w.spectral.empty());
  EXPECT_EQ(w.misfit, waveform);
}

// Several records and models on 1, 2 and 3 threads: the same bits.
TEST(Evaluator, ResultsDoNotDependOnTheThreadCount) {
  const Fixture f;
  const engine::SpectralSettings spectral = spectralTerms(0.5, 2.0);
  const std::vector<std::shared_ptr<const engine::Record>> records = {
      f.record(100, "a", spectral), f.record(100, "b", spectral), f.record(100, "c", spectral)};
  std::vector<model::Params> models;
  for (int k = 0; k < 6; ++k) {
    model::Params p = f.truth;
    p.nsx = 1 + k;
    p.vr = 2.0f + 0.1f * k;
    p.cfac = 0.8f + 0.1f * k;
    models.push_back(p);
  }
  std::vector<std::vector<engine::RecordCurves>> results[3];
  std::vector<engine::ModelResult> combined[3];
  for (const int threads : {1, 2, 3}) {
    engine::Evaluator e(records, kAll);
    for (const model::Params& p : models) {
      // A different model for each record, so that a mix-up would show.
      const std::vector<model::Params> perRecord = {p, models[0], models[5]};
      combined[threads - 1].push_back(e.evaluate(perRecord, threads));
      results[threads - 1].push_back({e.curves(0), e.curves(1), e.curves(2)});
    }
  }
  for (int t = 1; t < 3; ++t)
    for (std::size_t i = 0; i < models.size(); ++i) {
      EXPECT_EQ(combined[0][i].misfit, combined[t][i].misfit) << i;
      for (std::size_t r = 0; r < 3; ++r) {
        EXPECT_EQ(combined[0][i].spectral[r].psa, combined[t][i].spectral[r].psa) << i << r;
        EXPECT_EQ(combined[0][i].spectral[r].fourier, combined[t][i].spectral[r].fourier) << i << r;
        EXPECT_EQ(results[0][i][r].residual, results[t][i][r].residual) << i << r;
        EXPECT_EQ(results[0][i][r].correlation, results[t][i][r].correlation) << i << r;
      }
    }
}

// egfsim's refusal of p on the fixture's records: the element scaled by
// cfac as its preparation does (refused when that overflows), then the
// core's stages; "" when it takes the model.
std::string egfsimRefusal(const Fixture& f, const model::Params& p) {
  records::PreparedRecord observed, element;
  observed.motion = motion(f.observed);
  element.motion = motion(f.element);
  element.count = f.nin;
  observed.dt = element.dt = f.dt;
  try {
    for (const std::span<float> s : element.motion.series())
      for (float& v : s) {
        v *= p.cfac;
        if (!std::isfinite(v)) throw records::overflowRefusal(p.faft);
      }
    core::simulate(p, observed, element);
  } catch (const textio::InputRejected& x) {
    return x.message;
  }
  return "";
}

// Each stage's refusal of a model (the source model's, the summation
// plan's, the element's scaling, the amplitude factors), with egfsim's own
// text.
TEST(Evaluator, RefusesWhatEgfsimRefusesWithItsText) {
  // No records at all is the caller's fault, not a model's.
  EXPECT_THROW(engine::Evaluator(std::vector<std::shared_ptr<const engine::Record>>{}, kAll), std::invalid_argument);
  const Fixture f;
  engine::Evaluator e({f.record(10)}, kAll);
  struct Row {
    const char* name;
    void (*change)(model::Params&);
  };
  const Row rows[] = {
      {"ntt 0", [](model::Params& p) { p.tra = 0.0f; }},
      {"a delay beyond +-1e9", [](model::Params& p) { p.vr = 1e-6f; }},
      // The station above the starting subfault at the surface.
      {"a subfault at the station", [](model::Params& p) { p.rm = 0.0f, p.z = 0.0f; }},
      {"the element times cfac beyond single precision", [](model::Params& p) { p.cfac = 1e38f; }},
      {"amplitude factors beyond single precision", [](model::Params& p) { p.ra = 1e30f; }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    model::Params p = f.truth;
    r.change(p);
    const std::string egfsim = egfsimRefusal(f, p);
    ASSERT_FALSE(egfsim.empty());
    const engine::ModelResult result = e.evaluate(std::span(&p, 1));
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.note, "sta: " + egfsim);
  }
  EXPECT_EQ(egfsimRefusal(f, f.truth), "");
}

// Two records with given residual curves over shifts -2..2.
engine::Misfit twoRecords(double weight2) {
  engine::Misfit m;
  m.weights = {0.0, 1.0, 1.0, 0.0};
  m.maxShift = 2;
  m.dt = 0.01;
  m.records = {{"sta1", 1.0}, {"sta2", weight2}};
  return m;
}

engine::RecordCurves curves(std::vector<double> vel, std::vector<double> dis) {
  engine::RecordCurves c;
  c.residual[engine::kVel] = vel;
  c.residual[engine::kDis] = dis;
  c.residual[engine::kAcc].assign(vel.size(), 9);
  for (int q : {engine::kAcc, engine::kVel, engine::kDis})
    for (double v : c.residual[q]) c.correlation[q].push_back(1 - v / 2);
  return c;
}

TEST(Combine, OneShiftForAllRecordsWeighedAndTiesToTheSmallerShift) {
  const struct {
    const char* name;
    double weight2;
    std::vector<double> vel1, vel2;
    double misfit, shift;
  } cases[] = {
      // Record 1 alone prefers -2, record 2 alone +1; together +1 wins.
      {"shared", 1.0, {1, 2, 3, 3, 3}, {5, 5, 5, 1, 5}, 3 + 1 + 2 * 0.5, 0.01},
      // A tenth of the weight for record 2 moves the shared shift to -2.
      {"weighted", 0.1, {1, 2, 3, 3, 3}, {5, 5, 5, 1, 5}, 1 + 0.5 + 0.1 * (5 + 0.5), -0.02},
      // Equal sums at -1, 0 and +1: zero wins; at -1 and +1 only: -1 wins.
      {"tie at zero", 1.0, {4, 1, 1, 1, 4}, {1, 1, 1, 1, 1}, 2 + 1, 0.0},
      {"tie either side", 1.0, {4, 1, 2, 1, 4}, {1, 1, 1, 1, 1}, 2 + 1, -0.01},
  };
  for (const auto& c : cases) {
    const std::vector<double> half(5, 0.5);
    const std::vector<engine::RecordCurves> records = {curves(c.vel1, half), curves(c.vel2, half)};
    const engine::ModelResult r = engine::combine(twoRecords(c.weight2), records);
    ASSERT_FALSE(r.refused) << c.name;
    EXPECT_DOUBLE_EQ(r.misfit, c.misfit) << c.name;
    EXPECT_NEAR(r.shift, c.shift, 1e-9) << c.name;
    const std::size_t at = static_cast<std::size_t>(std::lround(c.shift / 0.01) + 2);
    EXPECT_EQ(r.records[1][engine::kVel].residual, c.vel2[at]) << c.name;
    EXPECT_EQ(r.records[0][engine::kAcc].residual, 9) << c.name;  // reported though its weight is 0
  }
  // The first refused record's note; a weighted window without energy.
  engine::RecordCurves refused;
  refused.refused = true;
  refused.note = "sta2: rl=0";
  const std::vector<engine::RecordCurves> withRefusal = {curves({1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}), refused};
  EXPECT_EQ(engine::combine(twoRecords(1), withRefusal).note, "sta2: rl=0");
  const std::vector<engine::RecordCurves> silent = {
      curves({1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}),
      curves(std::vector<double>(5, engine::kNoEnergyResidual), {1, 1, 1, 1, 1})};
  const engine::ModelResult r = engine::combine(twoRecords(1), silent);
  EXPECT_TRUE(r.refused);
  EXPECT_EQ(r.note, "sta2: the vel window has no energy at the best shift (a silent synthetic or record)");
}

}  // namespace
