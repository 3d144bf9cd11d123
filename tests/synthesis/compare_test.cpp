// Residual and correlation, the fit labels and the comparison stage.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "run/params.hpp"
#include "run/workspace.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace {

struct Console {
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io{in, out, err};
};

// A band-limited, non-periodic test signal over the whole capacity.
std::vector<float> signal(double f1 = 0.031, double f2 = 0.0073) {
  std::vector<float> x(run::kSeriesCapacity);
  for (int n = 0; n < run::kSeriesCapacity; ++n)
    x[n] = static_cast<float>(std::sin(f1 * n) + 0.6 * std::cos(f2 * n * (1.0 + 1e-5 * n)));
  return x;
}

TEST(Cor2, IdenticalDoubledAndShiftedSynthetics) {
  const std::vector<float> x = signal();
  float res = -1, cor = -1;
  int lag = 99;
  synthesis::cor2(x, x, 1000, 1000, 800, res, cor, lag);
  EXPECT_EQ(lag, 0);
  EXPECT_NEAR(cor, 1.0f, 1e-6f);
  EXPECT_EQ(res, 0.0f);

  std::vector<float> twice(x.size());
  for (std::size_t n = 0; n < x.size(); ++n) twice[n] = 2.0f * x[n];
  synthesis::cor2(x, twice, 1000, 1000, 800, res, cor, lag);
  EXPECT_EQ(lag, 0);
  EXPECT_NEAR(cor, 1.0f, 1e-6f);
  EXPECT_NEAR(res, 0.5f, 1e-6f);

  // The synthetic 30 samples late: y(n) = x(n - 30).
  std::vector<float> late(x.size(), 0.0f);
  for (std::size_t n = 30; n < x.size(); ++n) late[n] = x[n - 30];
  synthesis::cor2(x, late, 1000, 1000, 800, res, cor, lag);
  EXPECT_EQ(lag, 30);
  EXPECT_NEAR(cor, 1.0f, 1e-6f);
  EXPECT_NEAR(res, 0.0f, 1e-6f);
}

TEST(Cor2, EqualCoefficientsGoToTheMostNegativeLag) {
  // A series of period 100 correlated with itself: lags -200, -100, 0, 100
  // and 200 see bit-identical windows, hence equal coefficients.
  std::vector<float> x(run::kSeriesCapacity);
  for (int n = 0; n < run::kSeriesCapacity; ++n) x[n] = static_cast<float>(std::sin(n % 100 * 0.0628) + (n % 100 == 7));
  float res = 0, cor = 0;
  int lag = 0;
  synthesis::cor2(x, x, 1000, 1000, 800, res, cor, lag);
  EXPECT_EQ(lag, -200);
  EXPECT_NEAR(cor, 1.0f, 1e-6f);
}

TEST(Cor2, NoPositiveCoefficientKeepsTheLag) {
  // A spike against its negation: the aligned lag gives -1, every other lag
  // exactly 0, so no coefficient is positive.
  std::vector<float> spike(run::kSeriesCapacity, 0.0f), negative(run::kSeriesCapacity, 0.0f);
  spike[1100] = 1.0f;
  negative[1100] = -1.0f;
  float res = 0, cor = 0;
  int lag = 17;
  synthesis::cor2(spike, negative, 1000, 1000, 800, res, cor, lag);
  EXPECT_EQ(cor, 0.0f);
  EXPECT_EQ(lag, 17);
  // Residual at lag 17: the spikes do not meet; sdd = 2, norms 1 and 1.
  EXPECT_EQ(res, 2.0f);
}

TEST(Cor2, WindowsBeyondTheArraysReadZeros) {
  // ksa = 0 and ksm = 14500: windows reach below sample 1 and above 15000.
  // The oracle pads both series with 300 explicit zeros on each side.
  const std::vector<float> x = signal(0.05, 0.002);
  const std::vector<float> y = signal(0.047, 0.0021);
  std::vector<float> xp(x.size() + 600, 0.0f), yp(y.size() + 600, 0.0f);
  std::copy(x.begin(), x.end(), xp.begin() + 300);
  std::copy(y.begin(), y.end(), yp.begin() + 300);
  struct Case {
    int ix, iy;
  };
  for (Case k : {Case{14500, 0}, Case{0, 14100}, Case{150, 14150}}) {
    float res = 0, cor = 0, resp = 0, corp = 0;
    int lag = 0, lagp = 0;
    synthesis::cor2(x, y, k.ix, k.iy, 800, res, cor, lag);
    synthesis::cor2(xp, yp, k.ix + 300, k.iy + 300, 800, resp, corp, lagp);
    EXPECT_EQ(lag, lagp);
    EXPECT_EQ(cor, corp);
    EXPECT_EQ(res, resp);
  }
}

TEST(Cor2, AllZeroWindowsAreRejected) {
  const std::vector<float> x = signal();
  const std::vector<float> zeros(x.size(), 0.0f);
  float res = 0, cor = 0;
  int lag = 0;
  try {
    synthesis::cor2(zeros, x, 500, 500, 800, res, cor, lag);
    FAIL();
  } catch (const textio::InputRejected& e) {
    EXPECT_NE(e.message.find("observed window x(501..1300)"), std::string::npos) << e.message;
  }
  try {
    synthesis::cor2(x, zeros, 500, 600, 800, res, cor, lag);
    FAIL();
  } catch (const textio::InputRejected& e) {
    EXPECT_NE(e.message.find("synthetic window y(601..1400)"), std::string::npos) << e.message;
  }
  EXPECT_EQ(lag, 0);
}

TEST(FitLabels, F42Fields) {
  struct Row {
    float res, cor;
    const char* resLabel;
    const char* corLabel;
  };
  const Row rows[] = {
      {0.45f, 0.987f, "Res.=0.45", "Cor.=0.99"},
      {12.3f, 1.0f, "Res.=****", "Cor.=1.00"},
      {0.0f, 0.5f, "Res.=0.00", "Cor.=0.50"},
      {9.994f, 0.004f, "Res.=9.99", "Cor.=0.00"},
  };
  for (const Row& r : rows) {
    const synthesis::FitLabels f = synthesis::fitLabels(r.res, r.cor);
    EXPECT_EQ(f.res, r.resLabel);
    EXPECT_EQ(f.cor, r.corLabel);
  }
}

TEST(Compare, ConsoleLinesSharedLagAndLabels) {
  run::Params p;
  p.ksm = 1000;
  p.ksa = 1000;
  run::Workspace w;
  const std::vector<float> x = signal();
  // Acceleration: synthetic 30 samples late. Velocity: a negated spike, no
  // positive coefficient, so the acceleration lag stays. Displacement: equal.
  for (int n = 0; n < run::kSeriesCapacity; ++n) {
    w.dm[n] = x[n];
    w.ds[n] = n >= 30 ? x[n - 30] : 0.0f;
    w.dmmm[n] = x[n];
    w.dsss[n] = x[n];
  }
  w.dmm[1100] = 1.0f;
  w.dss[1100] = -1.0f;
  Console c;
  const synthesis::FitLabels f = synthesis::compare(c.io, p, w);
  std::istringstream lines(c.out.str());
  std::vector<std::string> got;
  for (std::string s; std::getline(lines, s);) got.push_back(s);
  ASSERT_EQ(got.size(), 10u) << c.out.str();
  EXPECT_EQ(got[0], " calculate residual and correlation");
  EXPECT_EQ(got[1].rfind(" acc res = ", 0), 0u);
  EXPECT_EQ(got[3], " acc mtime = 30");
  EXPECT_EQ(got[4], " vel res =  2.");
  EXPECT_EQ(got[5], " vel cor =  0.");
  EXPECT_EQ(got[6], " vel mtime = 30");
  EXPECT_EQ(got[7], " dis res =  0.");
  EXPECT_EQ(got[9], " dis mtime = 0");
  EXPECT_EQ(f.res, "Res.=0.00");
  EXPECT_EQ(f.cor, "Cor.=1.00");
}

}  // namespace
