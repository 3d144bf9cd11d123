// Copy placement, time-function weights, the summation stage and the
// exactness of the fast three-series kernel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>
#include <vector>

#include "records/records.hpp"
#include "run/params.hpp"
#include "run/workspace.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace {

using synthesis::Copy;

struct Console {
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io{in, out, err};
};

std::vector<float> ramp(int n) {
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) v[i] = static_cast<float>(i + 1);
  return v;
}

TEST(Synt, PlacesScaledCopyAndCutsAtNout) {
  const std::vector<float> in = ramp(5);
  std::vector<float> out(12, 1.0f);
  synthesis::synt(out, 10, in, 5, 3, 2.0f, 0.5f);  // samples 4..8
  const std::vector<float> want1 = {1, 1, 1, 2, 3, 4, 5, 6, 1, 1, 1, 1};
  EXPECT_EQ(out, want1);
  // Shift 7 with nout 10: only in(1..3) fits, on samples 8..10; 11 and 12
  // (beyond nout) stay untouched.
  synthesis::synt(out, 10, in, 5, 7, 1.0f, 1.0f);
  const std::vector<float> want2 = {1, 1, 1, 2, 3, 4, 5, 7, 3, 4, 1, 1};
  EXPECT_EQ(out, want2);
  // A shift of nout or more adds nothing.
  synthesis::synt(out, 10, in, 5, 10, 1.0f, 1.0f);
  synthesis::synt(out, 10, in, 5, 400, 1.0f, 1.0f);
  EXPECT_EQ(out, want2);
}

TEST(Synt, NeverLeavesTheArrays) {
  const std::vector<float> in = ramp(4);
  std::vector<float> out(6, 0.0f);
  // nout and nin larger than the arrays, and a negative shift: only the
  // samples both arrays hold are used (the sanitizer build checks this).
  synthesis::synt(out, 100, in, 100, 4, 1.0f, 1.0f);
  synthesis::synt(out, 100, in, 100, -2, 1.0f, 1.0f);
  const std::vector<float> want = {3, 4, 0, 0, 1, 2};
  EXPECT_EQ(out, want);
}

TEST(Weights, SumsAndShapes) {
  std::array<float, synthesis::kMaxShifts> ft{};
  // Model 1: nt/ntt each, summing to nt.
  synthesis::weights(1, 7, 350, ft);
  double sum = 0;
  for (int k = 0; k < 350; ++k) sum += ft[k];
  EXPECT_NEAR(sum, 7.0, 1e-4);
  EXPECT_EQ(ft[0], 7.0f / 350.0f);
  // Model 2: 1, then (nt-1)/ntt, summing to 1 + (ntt-1)(nt-1)/ntt.
  synthesis::weights(2, 7, 350, ft);
  sum = 0;
  for (int k = 0; k < 350; ++k) sum += ft[k];
  EXPECT_EQ(ft[0], 1.0f);
  EXPECT_NEAR(sum, 1.0 + 349.0 * 6.0 / 350.0, 1e-4);
  // Models 3 and 4 against double-precision formulas (single-precision
  // rounding of a few operations: relative 1e-6).
  synthesis::weights(3, 5, 40, ft);
  EXPECT_EQ(ft[0], 1.0f);
  for (int k = 2; k <= 40; ++k) {
    const double e = 2.71828;
    const double want = (4.0 / 40.0) * std::pow(e, 1.0 - (k - 1) / 40.0) / (e - 1.0);
    EXPECT_NEAR(ft[k - 1], want, 1e-6 * want) << k;
  }
  synthesis::weights(4, 5, 40, ft);
  EXPECT_EQ(ft[0], 1.0f);
  for (int k = 2; k <= 40; ++k) {
    const double want = 4.0 / (2.0 * std::sqrt((k - 1) * 40.0));
    EXPECT_NEAR(ft[k - 1], want, 1e-6 * want) << k;
  }
  // The decaying model falls from (nt-1)/ntt * e/(e-1) toward (nt-1)/ntt/(e-1).
  synthesis::weights(3, 5, 40, ft);
  for (int k = 3; k <= 40; ++k) EXPECT_LT(ft[k - 1], ft[k - 2]);
}

// Random copies over random series, including copies that start beyond
// nout, run past it, or cover it only partly. The fast kernel, under every
// instruction set this processor offers, must equal the plain scalar loop
// bit for bit, and both must equal synt copy after copy.
class SyntAllExact : public ::testing::TestWithParam<synthesis::KernelIsa> {
 protected:
  void SetUp() override {
    if (synthesis::useKernelIsa(GetParam()) != GetParam())
      GTEST_SKIP() << "instruction set not available on this processor";
  }
  void TearDown() override { synthesis::useKernelIsa(synthesis::KernelIsa::Avx512); }
};

INSTANTIATE_TEST_SUITE_P(Isa, SyntAllExact,
                         ::testing::Values(synthesis::KernelIsa::Baseline,
                                           synthesis::KernelIsa::Avx2,
                                           synthesis::KernelIsa::Avx512));

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

// The summation makes the copies of a subfault grid as it needs them; the
// result must be that of the listed copies in the order (i, j, k), with the
// shift formed in single precision and truncated.
TEST_P(SyntAllExact, GridCopiesMatchTheirList) {
  std::mt19937 rng(777);
  std::uniform_real_distribution<float> val(-1.0f, 1.0f);
  synthesis::SubfaultModel model{};
  const int nx = 7, nw = 5, ntt = 333;  // more copies than one chunk, odd sizes
  model.lagmin = -40;
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < nw; ++j) {
      model.lagij[i][j] = static_cast<int>(rng() % 3000) - 40;
      model.ampij[i][j] = val(rng);
    }
  std::vector<float> ft(ntt);
  for (float& f : ft) f = val(rng);
  const synthesis::CopyGrid grid{model, nx, nw, ntt, ft, 0.013f, 0.01f};
  std::vector<Copy> listed;
  for (int i = 1; i <= nx; ++i)
    for (int j = 1; j <= nw; ++j)
      for (int k = 1; k <= ntt; ++k) {
        const float shift = static_cast<float>(model.lagij[i - 1][j - 1]) +
                            static_cast<float>(k - 1) * 0.013f / 0.01f + 0.5f - -40.0f;
        listed.push_back({static_cast<int>(shift), model.ampij[i - 1][j - 1], ft[k - 1]});
      }
  const int size = 15000, nin = 4300, nout = 9000;
  std::array<std::vector<float>, 3> in, fromGrid, fromList;
  for (int s = 0; s < 3; ++s) {
    in[s].assign(size, 0.0f);
    for (int n = 0; n < nin; ++n) in[s][n] = val(rng);
    fromGrid[s].assign(size, 0.0f);
    fromList[s].assign(size, 0.0f);
  }
  synthesis::syntGrid({fromGrid[0], fromGrid[1], fromGrid[2]}, nout, {in[0], in[1], in[2]}, nin,
                      grid);
  synthesis::syntAllScalar({fromList[0], fromList[1], fromList[2]}, nout, {in[0], in[1], in[2]},
                           nin, listed);
  for (int s = 0; s < 3; ++s)
    EXPECT_EQ(std::memcmp(fromGrid[s].data(), fromList[s].data(), size * sizeof(float)), 0) << s;
}

// A one-subfault case with everything set so that the weights are 1.
run::Params singleSubfault() {
  run::Params p;
  p.nx = p.nw = p.nt = 1;
  p.nsx = p.nsw = 1;
  p.imdl = 1;
  p.dx = p.dw = 1.0f;
  p.vs = 3.0f;
  p.vr = 2.0f;
  p.ird = 1;
  p.ipfm = 0;
  p.z = 10.0f;
  p.rm = 30.0f;
  p.ra = 25.0f;
  p.za = 9.0f;
  p.dx0 = 6.0f;  // the point lies 6 km back along strike: a positive delay
  p.ns = 3000;
  p.ksa = 200;
  p.kea = 2500;
  return p;
}

TEST(Summation, SingleSubfaultIsTheScaledDelayedElement) {
  run::Params p = singleSubfault();
  run::Workspace w;
  w.dt = 0.01f;
  p.tra = w.dt;
  w.naft = 2000;
  for (int n = 0; n < w.naft; ++n) {
    w.da[n] = std::sin(0.05f * n);
    w.daa[n] = std::cos(0.011f * n);
    w.daaa[n] = 0.001f * n;
  }
  Console c;
  synthesis::SubfaultModel m;
  synthesis::sourceModel(c.io, p, w.dt, m);
  const int delay = m.lagij[0][0] - m.lagmin;
  ASSERT_GT(delay, 0);
  synthesis::summation(c.io, p, m, w);
  EXPECT_EQ(p.ntt, 1);

  const float amp = m.ra0 / m.rij[0][0];
  std::array<std::vector<float>, 3> want;
  const std::vector<float>* element[3] = {&w.da, &w.daa, &w.daaa};
  for (int s = 0; s < 3; ++s) {
    want[s].assign(run::kSeriesCapacity, 0.0f);
    for (int n = 0; n < w.naft && n + delay < p.ns; ++n)
      want[s][n + delay] = amp * 1.0f * (*element[s])[n];
  }
  float mean = 0;
  for (int s = 0; s < 3; ++s) records::zero(want[s], 1, p.ns, mean);
  for (int s = 0; s < 3; ++s) records::zero(want[s], p.ksa, p.kea, mean);
  EXPECT_EQ(want[0], w.ds);
  EXPECT_EQ(want[1], w.dss);
  EXPECT_EQ(want[2], w.dsss);
}

TEST(Summation, ShiftCutsAllThreeCopiesAtNs) {
  run::Params p = singleSubfault();
  p.ns = 1500;  // the element (2000 samples) is cut on all three series
  p.kea = 1400;
  run::Workspace w;
  w.dt = 0.01f;
  p.tra = w.dt;
  w.naft = 2000;
  for (int n = 0; n < w.naft; ++n) w.da[n] = w.daa[n] = w.daaa[n] = 1.0f + n;
  Console c;
  synthesis::SubfaultModel m;
  synthesis::sourceModel(c.io, p, w.dt, m);
  synthesis::summation(c.io, p, m, w);
  for (int n = p.ns; n < run::kSeriesCapacity; ++n) {
    ASSERT_EQ(w.ds[n], 0.0f) << n;
    ASSERT_EQ(w.dss[n], 0.0f) << n;
    ASSERT_EQ(w.dsss[n], 0.0f) << n;
  }
  EXPECT_EQ(w.ds, w.dss);
  EXPECT_EQ(w.ds, w.dsss);
}

TEST(Summation, NttOutsideItsRangeIsRejectedAfterItsLine) {
  struct Case {
    float tra;
    const char* line;
  };
  const Case cases[] = {{0.005f, " ntt = 0\n"}, {5.015f, " ntt = 501\n"}};
  for (const Case& k : cases) {
    run::Params p = singleSubfault();
    run::Workspace w;
    w.dt = 0.01f;
    p.tra = k.tra;
    Console c;
    synthesis::SubfaultModel m;
    synthesis::sourceModel(c.io, p, w.dt, m);
    c.out.str("");
    try {
      synthesis::summation(c.io, p, m, w);
      FAIL() << "no rejection for tra " << k.tra;
    } catch (const textio::InputRejected& e) {
      EXPECT_NE(e.message.find("1..500"), std::string::npos) << e.message;
      EXPECT_NE(e.message.find("nt = 1"), std::string::npos) << e.message;
    }
    EXPECT_EQ(c.out.str(), k.line);
  }
  // An interval of 0 cannot even form ntt.
  run::Params p = singleSubfault();
  run::Workspace w;
  w.dt = 0.0f;
  p.tra = 0.01f;
  synthesis::SubfaultModel m;
  Console c;
  EXPECT_THROW(synthesis::summation(c.io, p, m, w), textio::InputRejected);
  EXPECT_EQ(c.out.str(), "");
}

}  // namespace
