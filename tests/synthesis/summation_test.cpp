// Copy placement, time-function weights, the plan's refusals, and the
// exactness of the fast three-series kernel (the golden run pins the
// summation stage on the bundled example).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "synthesis/synthesis.hpp"

namespace {

using synthesis::Copy;

TEST(SyntOneCopy, NeverLeavesTheArrays) {
  // nout and nin beyond both arrays, a negative shift: only the samples both
  // arrays hold are used (the sanitizer build checks the accesses).
  const std::vector<float> in = {1, 2, 3, 4, 5};
  std::vector<float> out(6, 0.0f);
  synthesis::synt(out, 100, in, 100, 4, 1.0f, 1.0f);
  synthesis::synt(out, 100, in, 100, -2, 2.0f, 0.5f);
  EXPECT_EQ(out, std::vector<float>({3, 4, 5, 0, 1, 2}));
}

TEST(Weights, EveryModelCarriesAboutNtInAll) {
  // Model 1 sums to nt, model 2 to 1 + (ntt-1)(nt-1)/ntt; the decaying and
  // the inverse-square-root models approximate 1 + (nt-1) times the integral
  // of a unit-area shape, within their discretisation error. Unknown: zeros.
  struct Row { int imdl, nt, ntt; double sum, tol; };
  const Row rows[] = {{1, 7, 350, 7.0, 1e-4},  {2, 7, 350, 1.0 + 349.0 * 6.0 / 350.0, 1e-4},
                      {3, 5, 400, 5.0, 0.02},  {4, 5, 400, 5.0, 0.2},
                      {5, 5, 400, 0.0, 0.0}};
  for (const Row& r : rows) {
    std::array<float, synthesis::kMaxShifts> ft;
    ft.fill(-1.0f);
    synthesis::weights(r.imdl, r.nt, r.ntt, ft);
    double sum = 0;
    for (int k = 0; k < r.ntt; ++k) sum += ft[k];
    EXPECT_NEAR(sum, r.sum, r.tol) << r.imdl;
  }
}

// Random copies over random series, including copies that start beyond
// nout, run past it, or cover it only partly. The fast kernel, under every
// instruction set this processor offers and on 1, 2 or 3 threads, must equal
// the plain scalar loop bit for bit, and both must equal synt copy after
// copy. The full-length trials are large enough to be spread over threads.
class SyntAllExact
    : public ::testing::TestWithParam<std::tuple<synthesis::KernelIsa, int>> {
 protected:
  void SetUp() override {
    const synthesis::KernelIsa isa = std::get<0>(GetParam());
    previous_ = synthesis::kernelIsa();
    if (synthesis::useKernelIsa(isa) != isa)
      GTEST_SKIP() << "instruction set not available on this processor";
    synthesis::useSummationThreads(std::get<1>(GetParam()));
  }
  void TearDown() override {
    synthesis::useKernelIsa(previous_);
    synthesis::useSummationThreads(0);
  }
  synthesis::KernelIsa previous_{};
};

std::string isaThreadsName(
    const ::testing::TestParamInfo<std::tuple<synthesis::KernelIsa, int>>& info) {
  const char* isa[] = {"Baseline", "Avx2", "Avx512"};
  return isa[static_cast<int>(std::get<0>(info.param))] + std::string("_") +
         std::to_string(std::get<1>(info.param)) + "threads";
}

INSTANTIATE_TEST_SUITE_P(IsaThreads, SyntAllExact,
                         ::testing::Combine(::testing::Values(synthesis::KernelIsa::Baseline,
                                                              synthesis::KernelIsa::Avx2,
                                                              synthesis::KernelIsa::Avx512),
                                            ::testing::Values(1, 2, 3)),
                         isaThreadsName);

TEST_P(SyntAllExact, BitIdenticalToThePlainLoop) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<float> val(-1.0f, 1.0f);
  for (int trial = 0; trial < 4; ++trial) {
    const int size = 15000;
    const int nin = trial == 0 ? 4300 : 1000 + static_cast<int>(rng() % 14000);
    const int nout = trial == 3 ? 15000 : 500 + static_cast<int>(rng() % 14500);
    std::array<std::vector<float>, 3> in, fast, plain, single;
    for (int s = 0; s < 3; ++s) {
      in[s].assign(size, 0.0f);
      for (int n = 0; n < nin; ++n) in[s][n] = val(rng) * std::pow(10.0f, float(s));
      fast[s].assign(size, 0.0f);
      for (float& x : fast[s]) x = val(rng);
      plain[s] = fast[s];
      single[s] = fast[s];
    }
    std::vector<Copy> copies;
    for (int c = 0; c < 3000; ++c) {
      copies.push_back({static_cast<int>(rng() % (nout + 200)), val(rng) * 3.0f, val(rng)});
    }
    copies.push_back({0, 1.0f, 1.0f});
    copies.push_back({nout - 1, 0.25f, 0.75f});
    copies.push_back({nout, 2.0f, 2.0f});
    synthesis::syntAll({fast[0], fast[1], fast[2]}, nout, {in[0], in[1], in[2]}, nin, copies);
    synthesis::syntAllScalar({plain[0], plain[1], plain[2]}, nout, {in[0], in[1], in[2]}, nin,
                             copies);
    for (const Copy& c : copies)
      for (int s = 0; s < 3; ++s) synthesis::synt(single[s], nout, in[s], nin, c.shift, c.a, c.b);
    for (int s = 0; s < 3; ++s) {
      EXPECT_EQ(std::memcmp(fast[s].data(), plain[s].data(), size * sizeof(float)), 0)
          << "trial " << trial << " series " << s;
      EXPECT_EQ(std::memcmp(single[s].data(), plain[s].data(), size * sizeof(float)), 0)
          << "trial " << trial << " series " << s;
    }
  }
}

// A plan's copies, made chunk by chunk as the summation needs them, must be
// those of its definition listed here by hand: areas in order, then
// (i, j, k), the shift formed in single precision and truncated, each
// area's onset added to its delays, lagmin taken over every area, and each
// area's sub-events from its own time function (the first area's from p).
TEST_P(SyntAllExact, PlanCopiesMatchTheirDefinition) {
  std::mt19937 rng(777);
  std::uniform_real_distribution<float> val(-1.0f, 1.0f);
  struct Area { int nx, nw, onset; float weight; synthesis::SubfaultModel model; synthesis::TimeFunction time; };
  model::Params p;
  p.nt = 7, p.tra = 0.4757f, p.imdl = model::TimeFunction::PulseAndDecaying;
  std::vector<Area> areas = {{7, 5, 0, 1.0f, {}, synthesis::timeFunction(p)},
                             {3, 4, -60, 0.7f, {}, {3, 0.1134f, model::TimeFunction::PulseAndInverseRoot}}};
  for (Area& a : areas)
    for (int i = 0; i < a.nx; ++i)
      for (int j = 0; j < a.nw; ++j) {
        a.model.lagij[i][j] = static_cast<int>(rng() % 3000) - 40;
        a.model.ampij[i][j] = val(rng);
      }
  const float dt = 0.01f;
  const std::vector<synthesis::AreaSource> sources = {
      {areas[0].model, 7, 5, areas[0].weight, 0},
      {areas[1].model, 3, 4, areas[1].weight, -60, areas[1].time}};
  const synthesis::SummationPlan plan(p, dt, sources);
  ASSERT_EQ(plan.ntt(), 332);  // 7*0.4757/0.01 = 332.99, truncated
  ASSERT_EQ(plan.areas()[1].ntt, 34);  // 3*0.1134/0.01 = 34.02
  int lagmin = 0;
  for (const Area& a : areas)
    for (int i = 0; i < a.nx; ++i)
      for (int j = 0; j < a.nw; ++j) lagmin = std::min(lagmin, a.model.lagij[i][j] + a.onset);
  EXPECT_EQ(plan.lagmin(), lagmin);
  std::vector<Copy> listed;
  for (const Area& a : areas) {
    const float span = static_cast<float>(a.time.nt) * a.time.tra;
    const int ntt = static_cast<int>(span / dt);
    const float dtau = span / static_cast<float>(ntt);
    std::vector<float> ft(ntt);
    synthesis::weights(static_cast<int>(a.time.imdl), a.time.nt, ntt, ft);
    for (int i = 1; i <= a.nx; ++i)
      for (int j = 1; j <= a.nw; ++j)
        for (int k = 1; k <= ntt; ++k) {
          const float shift = static_cast<float>(a.model.lagij[i - 1][j - 1] + a.onset) +
                              static_cast<float>(k - 1) * dtau / dt + 0.5f -
                              static_cast<float>(lagmin);
          listed.push_back({static_cast<int>(shift), a.model.ampij[i - 1][j - 1], ft[k - 1], a.weight});
        }
  }
  int longest = 0;
  for (const Copy& c : listed) longest = std::max(longest, c.shift);
  EXPECT_EQ(plan.longestShift(), longest);
  ASSERT_EQ(plan.copies(), listed.size());
  const int size = 15000, nin = 4300, nout = 9000;
  std::array<std::vector<float>, 3> in, fromPlan, fromList;
  for (int s = 0; s < 3; ++s) {
    in[s].assign(size, 0.0f);
    for (int n = 0; n < nin; ++n) in[s][n] = val(rng);
    fromPlan[s].assign(size, 0.0f);
    fromList[s].assign(size, 0.0f);
  }
  synthesis::syntPlan({fromPlan[0], fromPlan[1], fromPlan[2]}, nout, {in[0], in[1], in[2]}, nin,
                      plan);
  synthesis::syntAllScalar({fromList[0], fromList[1], fromList[2]}, nout, {in[0], in[1], in[2]},
                           nin, listed);
  for (int s = 0; s < 3; ++s)
    EXPECT_EQ(std::memcmp(fromPlan[s].data(), fromList[s].data(), size * sizeof(float)), 0) << s;
}

// Every refusal a plan makes, with egfsim's texts: how far the stage got
// (ntt, subfault rows) goes with the summation's own refusals.
TEST(SummationPlan, RefusesAsEgfsimDoes) {
  synthesis::SubfaultModel model{};
  // Within +-1e9 itself (999999680 in single precision); its copies from
  // k = 354 on are not: 999999680 + 353 rounds to 1000000064.
  model.lagij[1][2] = 999999700;
  model.lagij[0][0] = -20;
  struct Row {
    const char* name;
    float tra;
    int onset2;           // onset of a second area (none when 0)
    const char* message;  // "" for none
    int ntt, rows;        // -1: a plain refusal before ntt is known
    bool first = false;   // the far subfault moved to (1, 1)
  };
  const Row rows[] = {
      {"ntt beyond +-1e9", 1e30f, 0,
       "ntt = nt*tra/dt cannot be formed: nt = 10, tra =  1.00000002E+30, dt =  0.00999999978; "
       "it must lie in 1..500", -1, 0},
      {"ntt 0", 0.0f, 0,
       "ntt = nt*tra/dt = 0 with nt = 10, tra =  0., dt =  0.00999999978; it must lie in 1..500",
       0, 0},
      {"ntt 600", 0.6f, 0,
       "ntt = nt*tra/dt = 600 with nt = 10, tra =  0.600000024, dt =  0.00999999978; it must lie "
       "in 1..500", 600, 0},
      {"ntt 10, shifts in range", 0.01f, 0, "", 10, 0},
      {"a late copy out of range", 0.5f, 0,
       "the shift of copy 354 of subfault (2, 3) is   1.00000006E+09 samples, not a finite value "
       "within +-1e9", 500, 2},
      {"a late copy of the first subfault out of range", 0.5f, 0,
       "the shift of copy 354 of subfault (1, 1) is   1.00000006E+09 samples, not a finite value "
       "within +-1e9", 500, 1, true},
      {"an onset takes a second area out of range", 0.01f, 1000,
       "the shift of copy 1 of subfault (2, 3) of area 2 is   1.0000007E+09 samples, not a "
       "finite value within +-1e9", 10, 2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    model::Params p;
    p.nx = 2, p.nw = 3, p.nt = 10, p.tra = r.tra, p.imdl = model::TimeFunction::Uniform;
    synthesis::SubfaultModel m = model;
    if (r.first) std::swap(m.lagij[0][0], m.lagij[1][2]);
    std::vector<synthesis::AreaSource> areas = {{m, 2, 3}};
    if (r.onset2 != 0) areas.push_back({m, 2, 3, 1.0f, r.onset2});
    try {
      const synthesis::SummationPlan plan(p, 0.01f, areas);
      EXPECT_STREQ(r.message, "");
      EXPECT_EQ(plan.ntt(), r.ntt);
    } catch (const synthesis::SummationRefused& e) {
      EXPECT_EQ(e.message, r.message);
      EXPECT_EQ(e.ntt, r.ntt);
      EXPECT_EQ(e.rows, r.rows);
    } catch (const textio::InputRejected& e) {
      EXPECT_EQ(e.message, r.message);
      EXPECT_EQ(r.ntt, -1);
    }
  }
}

}  // namespace
