// The fast synthetic against the exact single-precision summation, both
// consuming one summation plan.
#include "engine/synthesizer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "dsp/dsp.hpp"

namespace {

using Series = std::array<std::vector<float>, 3>;

struct RandomModel {
  synthesis::SubfaultModel model;
  model::Params params;
  int nin, nout;
  float dt;
  Series element;
  synthesis::SummationPlan plan() const { return synthesis::SummationPlan(params, model, dt); }
};

// Subfault delays spread over up to `lagSpread` samples (some negative, as
// lagij may be), amplitudes and weights of several magnitudes, shift
// spacings of about one sample, an element that may be longer or shorter
// than the synthetic.
RandomModel randomModel(std::mt19937& rng, int lagSpread, bool impulse = false) {
  RandomModel r;
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  model::Params& p = r.params;
  p.nx = 1 + static_cast<int>(rng() % 12);
  p.nw = 1 + static_cast<int>(rng() % 12);
  p.nt = 1 + static_cast<int>(rng() % 10);
  p.imdl = static_cast<model::TimeFunction>(1 + rng() % 4);
  r.nin = 200 + static_cast<int>(rng() % 5000);
  r.nout = 300 + static_cast<int>(rng() % 6000);
  r.dt = 0.01f;
  p.tra = r.dt * (1.0f + 299.0f * u(rng)) / static_cast<float>(p.nt);  // ntt 1..300
  for (int i = 0; i < p.nx; ++i)
    for (int j = 0; j < p.nw; ++j) {
      r.model.lagij[i][j] = static_cast<int>(rng() % (lagSpread + 1)) - lagSpread / 4;
      r.model.ampij[i][j] = std::pow(10.0f, 2.0f * u(rng) - 1.0f);
    }
  for (auto& s : r.element) {
    s.resize(static_cast<std::size_t>(r.nin));
    for (float& v : s) v = (u(rng) - 0.5f) * 30.0f;
  }
  // A unit impulse makes the synthetic the taps themselves: a copy placed
  // one sample off would stand out at once.
  if (impulse) {
    std::fill(r.element[0].begin(), r.element[0].end(), 0.0f);
    r.element[0][0] = 1.0f;
  }
  return r;
}

// The exact summation's three series, nout samples each.
Series exact(const RandomModel& r, const synthesis::SummationPlan& grid) {
  Series out;
  for (auto& s : out) s.assign(static_cast<std::size_t>(r.nout), 0.0f);
  synthesis::syntPlan({out[0], out[1], out[2]}, r.nout, {r.element[0], r.element[1], r.element[2]},
                      r.nin, grid);
  return out;
}

// The three series of a synthetic made from `plan` (means not removed).
std::array<std::vector<double>, 3> fastSeries(const engine::Element& e,
                                              const synthesis::SummationPlan& plan, int nout,
                                              engine::Method method = engine::Method::Auto,
                                              double* scale = nullptr) {
  engine::Synthesizer synth(e.samples(), nout);
  synth.prepare(e, plan, nout, method);
  engine::ConvolutionScratch scratch;
  std::array<std::vector<double>, 3> out;
  for (int q = 0; q < 3; ++q) {
    out[q].resize(static_cast<std::size_t>(nout));
    synth.series(q, scratch, out[q]);
  }
  if (scale != nullptr) *scale = synth.scale();
  return out;
}

engine::Element element(const Series& s, int nin, int nout) {
  return engine::Element({s[0], s[1], s[2]}, nin, nout);
}

// Largest |fast - exact| over the samples, as a fraction of exact's peak.
template <class T>
double worstError(const std::vector<T>& ref, std::span<const double> fast) {
  double peak = 0.0, worst = 0.0;
  for (std::size_t n = 0; n < ref.size(); ++n) {
    peak = std::max(peak, std::fabs(static_cast<double>(ref[n])));
    worst = std::max(worst, std::fabs(fast[n] - static_cast<double>(ref[n])));
  }
  return peak > 0.0 ? worst / peak : worst;
}

TEST(Synthesizer, AgreesWithTheExactSummationOnRandomModels) {
  std::mt19937 rng(16);
  for (int trial = 0; trial < 24; ++trial) {
    const RandomModel r = randomModel(rng, trial % 2 == 0 ? 40 : 3000, trial % 3 == 0);
    const synthesis::SummationPlan grid = r.plan();
    const Series ref = exact(r, grid);
    const engine::Element e = element(r.element, r.nin, r.nout);
    for (const auto method : {engine::Method::Direct, engine::Method::Fft}) {
      const auto fast = fastSeries(e, grid, r.nout, method);
      for (int q = 0; q < 3; ++q)
        EXPECT_LT(worstError(ref[q], fast[q]), 1e-4)
            << "trial " << trial << " series " << q << " fft " << (method == engine::Method::Fft);
    }
  }
}

TEST(Synthesizer, RemovesTheMeansAsTheSummationDoes) {
  std::mt19937 rng(7);
  const RandomModel r = randomModel(rng, 100);
  const synthesis::SummationPlan grid = r.plan();
  Series ref = exact(r, grid);
  const int ksa = r.nout / 4, kea = r.nout / 2;
  float mean = 0;
  for (auto& s : ref) {
    dsp::removeMean(s, 1, r.nout, mean);
    dsp::removeMean(s, ksa, kea, mean);
  }
  auto fast = fastSeries(element(r.element, r.nin, r.nout), grid, r.nout);
  for (int q = 0; q < 3; ++q) {
    engine::removeMeans(fast[q], ksa, kea);
    EXPECT_LT(worstError(ref[q], fast[q]), 1e-4) << q;
  }
}

// Two areas, the second 37 samples late with weight 0.6 and sub-events of
// its own: the fast synthetic of their one plan is egfsim's loop's, to
// single-precision rounding (that the plan is the sum of each area's own,
// moved by its onset, is the source planner's test).
TEST(Synthesizer, TwoAreasAgreeWithTheExactSummation) {
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::array<synthesis::SubfaultModel, 2> models{};
  for (auto& m : models)
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 2; ++j) {
        m.lagij[i][j] = static_cast<int>(rng() % 300) - 100;
        m.ampij[i][j] = u(rng);
      }
  model::Params p;
  p.nt = 2, p.tra = 0.25f, p.imdl = model::TimeFunction::PulseAndDecaying;
  const float dt = 0.125f;  // ntt 4, sub-events exactly one sample apart
  const int nin = 700, nout = 1500;
  Series element;
  for (auto& s : element) {
    s.resize(nin);
    for (float& v : s) v = u(rng);
  }
  const synthesis::TimeFunction own{3, 0.125f, model::TimeFunction::PulseAndFlat};  // ntt 3
  const std::vector<synthesis::AreaSource> both = {{models[0], 3, 2, 1.5f, 0},
                                                   {models[1], 3, 2, 0.9f, 37, own}};
  const synthesis::SummationPlan plan(p, dt, both);
  double scale = 0;
  const auto sum = fastSeries(::element(element, nin, nout), plan, nout, engine::Method::Auto, &scale);
  const Series exactSum = exact({models[0], p, nin, nout, dt, element}, plan);
  for (int q = 0; q < 3; ++q) {
    std::vector<double> got(nout);
    for (int n = 0; n < nout; ++n) got[n] = scale * sum[q][n];
    EXPECT_LT(worstError(exactSum[q], got), 1e-5) << q;
  }
}

// A synthetic beyond single precision is refused by both summations with
// the plan's one text; one just inside it by neither.
TEST(Synthesizer, RefusesAnOverflowAsTheExactSummationDoes) {
  synthesis::SubfaultModel m{};
  m.ampij[0][0] = m.ampij[0][1] = 1e30f;
  model::Params p;
  p.nx = 1, p.nw = 2, p.nt = 1, p.tra = 0.01f, p.imdl = model::TimeFunction::Uniform;
  const int nin = 50, nout = 100;
  for (const float peak : {1e8f, 3e8f}) {  // two copies: 2e38 fits, 6e38 does not
    SCOPED_TRACE(peak);
    Series element;
    for (auto& s : element) s.assign(nin, peak);
    const synthesis::SummationPlan plan(p, m, 0.01f);
    std::string exactRefusal, fastRefusal;
    try {
      exact({m, p, nin, nout, 0.01f, element}, plan);
      model::Motion motion(model::kMaxSamples);
      for (int q = 0; q < 3; ++q) std::copy(element[q].begin(), element[q].end(), motion.series()[q].begin());
      synthesis::synthesize(plan, motion, nin, nout, 1, nout);
    } catch (const synthesis::SummationRefused& e) {
      exactRefusal = e.message;
    }
    try {
      fastSeries(::element(element, nin, nout), plan, nout);
    } catch (const synthesis::SummationRefused& x) {
      fastRefusal = x.message;
    }
    EXPECT_EQ(fastRefusal, exactRefusal);
    EXPECT_EQ(fastRefusal.empty(), peak < 2e8f);
  }
}

}  // namespace
