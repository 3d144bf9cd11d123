// Whole-model evaluation: the windows line up with egfsim's synthetic, and
// results do not depend on the number of threads.
#include "evaluate/evaluator.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/dsp.hpp"
#include "parallel/parallel.hpp"

namespace {

using Series = std::array<std::vector<float>, 3>;

// The bundled example's source, station and windows, ns 6000 at 100
// samples per second.
model::Params exampleParams() {
  model::Params p;
  p.str = p.stra = 30.0f * model::kDegToRad;
  p.dip = p.dipa = 45.0f * model::kDegToRad;
  p.rak = p.raka = 90.0f * model::kDegToRad;
  p.z = p.za = 10.0f;
  p.dx = p.dw = 1.5f;
  p.tra = 0.05f;
  p.nx = p.nw = p.nt = 10;
  p.nsx = 3;
  p.nsw = 5;
  p.ns = 6000;
  p.cfac = 1.5f;
  p.vs = 3.5f;
  p.vr = 2.8f;
  p.ird = model::Rupture::Radial;
  p.ipfm = model::Radiation::Corrected;
  p.rm = p.ra = 20.0f;
  p.pm = p.pa = 60.0f * model::kDegToRad;
  p.cmp = 90.0f * model::kDegToRad;
  p.imdl = model::TimeFunction::PulseAndDecaying;
  p.ksm = p.ksa = 400;
  p.kem = p.kea = 4400;
  return p;
}

// egfsim's synthetic of p: source model, exact summation, both mean removals.
Series exactSynthetic(const model::Params& p, const Series& element, int nin, float dt) {
  model::Motion e;
  e.acc = element[0], e.vel = element[1], e.disp = element[2];
  const synthesis::Synthesis r =
      synthesis::synthesize(p, synthesis::sourceModel(p, dt), e, nin, dt, p.ns);
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
  evaluate::Record record(int maxShift) const {
    return evaluate::Record({truth,
                             dt,
                             truth.ns,
                             {observed[0], observed[1], observed[2]},
                             {element[0], element[1], element[2]},
                             nin,
                             1.0f},
                            maxShift, 12);
  }
};

TEST(Evaluator, FindsTheTrueModelAtItsShift) {
  const Fixture f;
  const evaluate::Record record = f.record(50);
  evaluate::Evaluator e;
  evaluate::Curves c;
  e.evaluate(record, f.truth, c);
  for (int q = 0; q < evaluate::kQuantities; ++q) {
    EXPECT_EQ(misfit::bestShift(c.residual[q], 50), f.lead) << q;
    EXPECT_LT(c.residual[q][50 + f.lead], 1e-5) << q;
    EXPECT_GT(c.correlation[q][50 + f.lead], 0.99999) << q;
  }
  // A model with another rupture velocity fits worse.
  model::Params other = f.truth;
  other.vr = 2.0f;
  e.evaluate(record, other, c);
  EXPECT_GT(c.residual[evaluate::kDisp][50 + f.lead], 0.01);
}

TEST(Evaluator, ResultsDoNotDependOnTheThreadCount) {
  const Fixture f;
  const evaluate::Record record = f.record(100);
  std::vector<model::Params> models;
  for (int k = 0; k < 8; ++k) {
    model::Params p = f.truth;
    p.nsx = 1 + k;
    p.vr = 2.0f + 0.1f * k;
    p.cfac = 0.8f + 0.1f * k;
    models.push_back(p);
  }
  std::vector<evaluate::Curves> results[2];
  for (const int threads : {1, 2}) {
    std::vector<evaluate::Evaluator> workers(threads);
    auto& out = results[threads - 1];
    out.resize(models.size());
    parallel::forEach(models.size(), threads, [&](std::size_t i, int w) {
      workers[static_cast<std::size_t>(w)].evaluate(record, models[i], out[i]);
    });
  }
  for (std::size_t i = 0; i < models.size(); ++i)
    for (int q = 0; q < evaluate::kQuantities; ++q) {
      EXPECT_EQ(results[0][i].residual[q], results[1][i].residual[q]) << i << " " << q;
      EXPECT_EQ(results[0][i].correlation[q], results[1][i].correlation[q]) << i << " " << q;
    }
}

TEST(Evaluator, RefusesAModelEgfsimRefuses) {
  const Fixture f;
  const evaluate::Record record = f.record(10);
  evaluate::Evaluator e;
  evaluate::Curves c;
  model::Params p = f.truth;
  p.tra = 0.0f;  // ntt 0
  EXPECT_THROW(e.evaluate(record, p, c), textio::InputRejected);
}

}  // namespace
