// Source geometry, rupture times, radiation coefficients and the subfault
// amplitude factors and delays.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "run/params.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace {

using synthesis::SubfaultModel;

constexpr float kDeg = run::kDegToRad;

struct Console {
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io{in, out, err};
};

// A target event with a 3 x 3 grid and a station 20 km away; the element
// event sits at the target hypocentre with the target's mechanism.
run::Params coincidentElement(int ipfm) {
  run::Params p;
  p.str = 320.0f * kDeg;
  p.dip = 70.0f * kDeg;
  p.rak = -150.0f * kDeg;
  p.z = 8.0f;
  p.stra = p.str;
  p.dipa = p.dip;
  p.raka = p.rak;
  p.za = p.z;
  p.dx = 2.0f;
  p.dw = 1.5f;
  p.nx = 3;
  p.nw = 3;
  p.nsx = 2;
  p.nsw = 2;
  p.vs = 3.5f;
  p.vr = 2.5f;
  p.ird = 2;
  p.ipfm = ipfm;
  p.rm = 20.0f;
  p.pm = 35.0f * kDeg;
  p.ra = p.rm;
  p.pa = p.pm;
  p.cmp = 90.0f * kDeg;
  return p;
}

TEST(Crdchg, StationOnTheStrikeLine) {
  float x = -1, y = -1;
  synthesis::crdchg(12.5f, 0.75f, 0.75f, x, y);
  EXPECT_EQ(x, 12.5f);
  EXPECT_EQ(y, 0.0f);
  // A quarter turn off strike puts the station on the +y (dip) side.
  synthesis::crdchg(10.0f, 90.0f * kDeg, 0.0f, x, y);
  EXPECT_NEAR(x, 0.0f, 1e-6f);
  EXPECT_NEAR(y, 10.0f, 1e-6f);
}

TEST(Rlcal, TablesAgainstDoublePrecisionGeometry) {
  Console c;
  synthesis::Table rij{}, azij{}, tkij{};
  const float xs = 7.0f, ys = -4.0f, z = 6.0f, dx = 1.5f, dw = 2.0f, dip = 60.0f * kDeg;
  const float dx0 = 0.4f, dw0 = -0.3f;
  synthesis::rlcal(c.io, xs, ys, z, dx, dw, 4, 3, 2, 1, dip, dx0, dw0, rij, azij, tkij);
  EXPECT_EQ(c.out.str(), "");
  for (int i = 1; i <= 4; ++i) {
    for (int j = 1; j <= 3; ++j) {
      const double u = (i - 2) * 1.5 - 0.4;
      const double w = (j - 1) * 2.0 + 0.3;
      const double X = xs - u, Y = ys - w * std::cos(double(dip)), Z = z + w * std::sin(double(dip));
      const double r = std::sqrt(X * X + Y * Y + Z * Z);
      EXPECT_NEAR(rij[i - 1][j - 1], r, 1e-5 * r) << i << "," << j;
      EXPECT_NEAR(azij[i - 1][j - 1], std::atan2(Y, X), 1e-5);
      // Take-off angle from the downward vertical: the angle between the
      // ray to the station (upward) and straight down.
      const double tk = std::acos(-Z / r);
      EXPECT_NEAR(tkij[i - 1][j - 1], tk, 1e-5);
    }
  }
}

TEST(Rlcal, ZeroDistanceStopsAfterTheRl0Line) {
  Console c;
  synthesis::Table rij{}, azij{}, tkij{};
  // Station straight above the epicentre, a horizontal fault at depth 0:
  // the point of subfault (2, 1) coincides with the station.
  try {
    synthesis::rlcal(c.io, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 3, 1, 2, 1, 0.0f, 0.0f, 0.0f, rij, azij,
                     tkij);
    FAIL() << "no rejection";
  } catch (const textio::InputRejected& e) {
    EXPECT_NE(e.message.find("subfault (2, 1)"), std::string::npos) << e.message;
  }
  EXPECT_EQ(c.out.str().rfind(" rl=0", 0), 0u) << c.out.str();
}

TEST(Gscal, AlongStrikeAndRadialRupture) {
  synthesis::Table t1{}, t2{};
  synthesis::gscal(2.0f, 1.5f, 5, 4, 3, 2, 1, 2.5f, t1);
  synthesis::gscal(2.0f, 1.5f, 5, 4, 3, 2, 2, 2.5f, t2);
  EXPECT_EQ(t1[2][1], 0.0f);
  EXPECT_EQ(t2[2][1], 0.0f);
  for (int i = 1; i <= 5; ++i) {
    for (int j = 1; j <= 4; ++j) {
      // Along strike only: one time per column i.
      EXPECT_EQ(t1[i - 1][j - 1], t1[i - 1][0]);
      EXPECT_NEAR(t1[i - 1][j - 1], std::abs(i - 3) * 2.0 / 2.5, 1e-6);
      EXPECT_NEAR(t2[i - 1][j - 1], std::hypot((i - 3) * 2.0, (j - 2) * 1.5) / 2.5, 1e-6);
      EXPECT_GE(t2[i - 1][j - 1], t1[i - 1][j - 1]);
    }
  }
}

// Independent evaluation of the double-couple S radiation from the fault
// normal n and slip vector s (x north, y east, z down): the S polarisation
// vector is (g.n) s + (g.s) n - 2 (g.n)(g.s) g for the ray direction g. Its
// components on the horizontal transverse direction and on the take-off
// direction's companion are the SH and SV coefficients.
struct Radiation {
  double sh, sv;
};
Radiation radiationFromVectors(double phis, double delta, double lambda, double phi, double i) {
  const double n[3] = {-std::sin(delta) * std::sin(phis), std::sin(delta) * std::cos(phis),
                       -std::cos(delta)};
  const double s[3] = {
      std::cos(lambda) * std::cos(phis) + std::cos(delta) * std::sin(lambda) * std::sin(phis),
      std::cos(lambda) * std::sin(phis) - std::cos(delta) * std::sin(lambda) * std::cos(phis),
      -std::sin(lambda) * std::sin(delta)};
  const double g[3] = {std::sin(i) * std::cos(phi), std::sin(i) * std::sin(phi), std::cos(i)};
  const double gn = g[0] * n[0] + g[1] * n[1] + g[2] * n[2];
  const double gs = g[0] * s[0] + g[1] * s[1] + g[2] * s[2];
  double u[3];
  for (int k = 0; k < 3; ++k) u[k] = gn * s[k] + gs * n[k] - 2.0 * gn * gs * g[k];
  const double eh[3] = {-std::sin(phi), std::cos(phi), 0.0};
  const double ev[3] = {std::cos(i) * std::cos(phi), std::cos(i) * std::sin(phi), -std::sin(i)};
  return {u[0] * eh[0] + u[1] * eh[1] + u[2] * eh[2], u[0] * ev[0] + u[1] * ev[1] + u[2] * ev[2]};
}

TEST(Rdatn, AgainstSlipAndNormalVectors) {
  const float strikes[] = {0.0f, 40.0f, 135.0f, 320.8f};
  const float dips[] = {10.0f, 45.0f, 83.9f, 90.0f};
  const float rakes[] = {-171.3f, -90.0f, 0.0f, 30.0f, 90.0f};
  const float azimuths[] = {0.0f, 77.0f, 200.0f, 338.5f};
  const float takeoffs[] = {20.0f, 90.0f, 100.0f, 170.0f};
  for (float st : strikes)
    for (float dp : dips)
      for (float rk : rakes)
        for (float az : azimuths)
          for (float tk : takeoffs) {
            float sh = 0, sv = 0;
            synthesis::rdatn(st * kDeg, dp * kDeg, rk * kDeg, az * kDeg, tk * kDeg, sh, sv);
            const Radiation r = radiationFromVectors(st * kDeg, dp * kDeg, rk * kDeg, az * kDeg,
                                                     tk * kDeg);
            // Single-precision trigonometry of a handful of terms: 1e-5 absolute.
            ASSERT_NEAR(sh, r.sh, 1e-5) << st << " " << dp << " " << rk << " " << az << " " << tk;
            ASSERT_NEAR(sv, r.sv, 1e-5) << st << " " << dp << " " << rk << " " << az << " " << tk;
          }
}

TEST(Rdatn, VerticalStrikeSlipNodalCase) {
  const float dip = 90.0f * kDeg, tk = 90.0f * kDeg;
  for (float phi : {0.0f, 10.0f, 30.0f, 60.0f, 100.0f}) {
    float sh = 0, sv = 0;
    synthesis::rdatn(0.0f, dip, 0.0f, phi * kDeg, tk, sh, sv);
    EXPECT_NEAR(sv, 0.0f, 1e-6f);
    EXPECT_NEAR(sh, std::cos(2.0 * phi * kDeg), 1e-6) << phi;
  }
  float sh = 1, sv = 1;
  synthesis::rdatn(0.0f, dip, 0.0f, 45.0f * kDeg, tk, sh, sv);
  EXPECT_NEAR(sh, 0.0f, 1e-6f);
  EXPECT_NEAR(sv, 0.0f, 1e-6f);
}

TEST(Rdcmp, VerticalMarkersGiveOppositeSigns) {
  const float sh = 0.3f, sv = -0.7f, tk = 2.0f, az = 1.0f;
  const float up = synthesis::rdcmp(sh, sv, tk, az, run::kVerticalUp);
  const float down = synthesis::rdcmp(sh, sv, tk, az, run::kVerticalDown);
  EXPECT_EQ(up, -down);
  EXPECT_NEAR(up, std::sin(2.0) * -0.7, 1e-6);
  // A horizontal component along the station azimuth sees only SV times
  // cos(tk); one across it only SH.
  EXPECT_NEAR(synthesis::rdcmp(sh, sv, tk, az, az), std::cos(2.0) * -0.7, 1e-6);
  EXPECT_NEAR(synthesis::rdcmp(sh, sv, tk, az, az + 90.0f * kDeg), 0.3, 1e-6);
}

TEST(SourceModel, ElementAtTheTargetHypocentre) {
  for (int ipfm : {0, 1, 2}) {
    Console c;
    run::Params p = coincidentElement(ipfm);
    SubfaultModel m;
    synthesis::sourceModel(c.io, p, 0.01f, m);
    SCOPED_TRACE(ipfm);
    EXPECT_NEAR(m.rij[1][1], m.ra0, 1e-5f * m.ra0);
    EXPECT_NEAR(m.r0, m.ra0, 1e-6f * m.ra0);
    EXPECT_EQ(m.lagij[1][1], 0);
    EXPECT_EQ(m.trij[1][1], 0.0f);
    if (ipfm == 0) {
      EXPECT_EQ(m.ampij[1][1], m.ra0 / m.rij[1][1]);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(m.ampij[i][j], m.ra0 / m.rij[i][j]);
    } else {
      EXPECT_NE(m.rada, 0.0f);
      EXPECT_NEAR(m.radt[1][1], m.rada, 1e-5f);
      const float expected = ipfm == 1 ? 1.0f : (m.rada > 0 ? 1.0f : -1.0f);
      EXPECT_NEAR(m.ampij[1][1], expected, 1e-5f);
    }
    if (ipfm == 2) {
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
          EXPECT_EQ(std::fabs(m.ampij[i][j]), m.ra0 / m.rij[i][j]);
    }
    const char* line = ipfm == 0   ? " radiation not corrected\n"
                       : ipfm == 1 ? " radiation taken into account\n"
                                   : " sign of radiation taken into account\n";
    EXPECT_EQ(c.out.str(), line);
  }
}

TEST(SourceModel, VerticalComponentSignDoesNotChangeTheRatio) {
  Console c1, c2;
  run::Params p = coincidentElement(1);
  p.raka = 10.0f * kDeg;  // a different element mechanism, so the ratios vary
  SubfaultModel up, down;
  p.cmp = run::kVerticalUp;
  synthesis::sourceModel(c1.io, p, 0.01f, up);
  p.cmp = run::kVerticalDown;
  synthesis::sourceModel(c2.io, p, 0.01f, down);
  EXPECT_EQ(up.rada, -down.rada);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      EXPECT_EQ(up.radt[i][j], -down.radt[i][j]);
      EXPECT_EQ(up.ampij[i][j], down.ampij[i][j]);
    }
}

TEST(SourceModel, ZeroElementCoefficientRejectedUnderIpfm1) {
  // A horizontal strike-slip element seen along its strike at a take-off
  // angle of 135 degrees (ra = za): cos 2i is exactly 0 in single precision
  // and every other term carries sin 0, so both coefficients are exactly 0.
  run::Params p = coincidentElement(1);
  p.stra = 0.0f;
  p.dipa = 0.0f;
  p.raka = 0.0f;
  p.pa = 0.0f;
  p.za = p.ra;
  Console c;
  SubfaultModel m;
  try {
    synthesis::sourceModel(c.io, p, 0.01f, m);
    FAIL() << "no rejection";
  } catch (const textio::InputRejected& e) {
    EXPECT_NE(e.message.find("ipfm 0 or 2"), std::string::npos) << e.message;
  }
  EXPECT_EQ(c.out.str(), " radiation taken into account\n");
  // Under ipfm 2 the run goes on.
  p.ipfm = 2;
  Console c2;
  EXPECT_NO_THROW(synthesis::sourceModel(c2.io, p, 0.01f, m));
  EXPECT_EQ(m.rada, 0.0f);
}

TEST(SourceModel, NodalSubfaultGetsNoWeightUnderIpfm2) {
  // The target itself is the horizontal strike-slip fault, the station at
  // 10 km straight along strike and the fault 10 km deep: the point of
  // subfault (1, 1) sees the station at a take-off of 135 degrees along
  // strike, where both coefficients vanish exactly.
  run::Params p = coincidentElement(2);
  p.str = p.dip = p.rak = 0.0f;
  p.rm = 10.0f;
  p.pm = 0.0f;
  p.z = 10.0f;
  p.nx = p.nw = 1;
  p.nsx = p.nsw = 1;
  Console c;
  SubfaultModel m;
  synthesis::sourceModel(c.io, p, 0.01f, m);
  ASSERT_EQ(m.radt[0][0], 0.0f);
  EXPECT_EQ(m.ampij[0][0], 0.0f);
}

// One subfault whose point lies straight below the station when `below`, or
// 20 km along strike from the epicentre (under a station at the epicentre)
// otherwise: rij - r0 is -10 km or +10 km exactly, so with vs = 4 the delay
// is -2.5 s or +2.5 s, and dt sets it in samples.
int singleDelay(bool below, float dt) {
  run::Params p;
  p.nx = p.nw = 1;
  p.nsx = p.nsw = 1;
  p.dx = p.dw = 1.0f;
  p.z = 15.0f;
  p.vs = 4.0f;
  p.vr = 1.0f;
  p.ird = 1;
  p.ra = 10.0f;
  if (below) {
    p.rm = 20.0f;     // r0 = 25, rij = 15
    p.dx0 = -20.0f;
  } else {
    p.rm = 0.0f;      // r0 = 15, rij = 25
    p.dx0 = 20.0f;
  }
  Console c;
  SubfaultModel m;
  synthesis::sourceModel(c.io, p, dt, m);
  EXPECT_EQ(m.lagmin, std::min(0, m.lagij[0][0]));
  return m.lagij[0][0];
}

TEST(SourceModel, DelaysRoundHalfUpAndTruncateTowardZero) {
  EXPECT_EQ(singleDelay(false, 1.0f), 3);                 // 2.5 samples
  EXPECT_EQ(singleDelay(false, 2.5f / 1.99f), 2);         // 2.49 after the half
  EXPECT_EQ(singleDelay(true, 2.5f / 1.2f), 0);           // -0.7 truncated
  EXPECT_EQ(singleDelay(true, 2.5f / 2.2f), -1);          // -1.7 truncated
  EXPECT_EQ(singleDelay(true, 1.0f), -2);                 // -2.5 + 0.5 exactly
}

TEST(SourceModel, DelayOutsideTheIntegerRangeIsRejected) {
  EXPECT_THROW(singleDelay(false, 1e-12f), textio::InputRejected);
  EXPECT_THROW(singleDelay(false, 0.0f), textio::InputRejected);
  EXPECT_THROW(synthesis::toSamples(std::nanf(""), "x"), textio::InputRejected);
  EXPECT_THROW(synthesis::toSamples(-2e9f, "x"), textio::InputRejected);
  EXPECT_EQ(synthesis::toSamples(1e9f, "x"), 1000000000);
  EXPECT_EQ(synthesis::toSamples(-3.99f, "x"), -3);
  EXPECT_TRUE(synthesis::fitsSamples(-1e9f));
  EXPECT_FALSE(synthesis::fitsSamples(1.0001e9f));
  EXPECT_FALSE(synthesis::fitsSamples(INFINITY));
}

}  // namespace
