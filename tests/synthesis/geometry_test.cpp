// Source geometry, radiation coefficients and the subfault amplitude factors
// and delays, against independent double-precision evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "model/params.hpp"
#include "synthesis/synthesis.hpp"

namespace {

constexpr float kDeg = model::kDegToRad;

// A 3 x 3 target 8 km deep, a station 20 km away; the element event sits at
// the target hypocentre with the target's mechanism.
model::Params coincidentElement(int ipfm) {
  model::Params p;
  p.str = p.stra = 320.0f * kDeg;
  p.dip = p.dipa = 70.0f * kDeg;
  p.rak = p.raka = -150.0f * kDeg;
  p.z = p.za = 8.0f;
  p.dx = 2.0f, p.dw = 1.5f, p.nx = p.nw = 3, p.nsx = p.nsw = 2;
  p.vs = 3.5f, p.vr = 2.5f, p.ird = model::Rupture::Radial;
  p.ipfm = static_cast<model::Radiation>(ipfm);
  p.rm = p.ra = 20.0f;
  p.pm = p.pa = 35.0f * kDeg;
  p.cmp = 90.0f * kDeg;
  return p;
}

TEST(StationFromSubfaults, TablesAgainstDoublePrecisionGeometry) {
  synthesis::Table rij{}, azij{}, tkij{};
  const float xs = 7.0f, ys = -4.0f, z = 6.0f, dip = 60.0f * kDeg;
  synthesis::stationFromSubfaults(xs, ys, z, 1.5f, 2.0f, 4, 3, 2, 1, dip, 0.4f, -0.3f, rij, azij, tkij);
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 3; ++j) {
      const double u = (i - 2) * 1.5 - 0.4, w = (j - 1) * 2.0 + 0.3;
      const double X = xs - u, Y = ys - w * std::cos(double(dip)), Z = z + w * std::sin(double(dip));
      const double r = std::sqrt(X * X + Y * Y + Z * Z);
      EXPECT_NEAR(rij[i - 1][j - 1], r, 1e-5 * r) << i << "," << j;
      EXPECT_NEAR(azij[i - 1][j - 1], std::atan2(Y, X), 1e-5);
      EXPECT_NEAR(tkij[i - 1][j - 1], std::acos(-Z / r), 1e-5);  // from the downward vertical
    }
}

// Double-couple S radiation from the fault normal n and slip s (x north,
// y east, z down): polarisation (g.n) s + (g.s) n - 2 (g.n)(g.s) g for the ray
// g, projected on the horizontal transverse (SH) and in-plane (SV) directions.
void radiationFromVectors(double phis, double delta, double lambda, double phi, double i,
                          double& sh, double& sv) {
  using std::cos, std::sin;
  const double n[3] = {-sin(delta) * sin(phis), sin(delta) * cos(phis), -cos(delta)};
  const double s[3] = {cos(lambda) * cos(phis) + cos(delta) * sin(lambda) * sin(phis),
                       cos(lambda) * sin(phis) - cos(delta) * sin(lambda) * cos(phis),
                       -sin(lambda) * sin(delta)};
  const double g[3] = {sin(i) * cos(phi), sin(i) * sin(phi), cos(i)};
  const double eh[3] = {-sin(phi), cos(phi), 0.0};
  const double ev[3] = {cos(i) * cos(phi), cos(i) * sin(phi), -sin(i)};
  const double gn = g[0] * n[0] + g[1] * n[1] + g[2] * n[2];
  const double gs = g[0] * s[0] + g[1] * s[1] + g[2] * s[2];
  sh = sv = 0;
  for (int k = 0; k < 3; ++k) {
    const double u = gn * s[k] + gs * n[k] - 2.0 * gn * gs * g[k];
    sh += u * eh[k];
    sv += u * ev[k];
  }
}

TEST(DoubleCoupleRadiation, AgainstSlipAndNormalVectors) {
  for (float st : {0.0f, 40.0f, 135.0f, 320.8f})
    for (float dp : {10.0f, 45.0f, 83.9f, 90.0f})
      for (float rk : {-171.3f, -90.0f, 0.0f, 30.0f, 90.0f})
        for (float az : {0.0f, 77.0f, 200.0f, 338.5f})
          for (float tk : {20.0f, 90.0f, 100.0f, 170.0f}) {
            float sh = 0, sv = 0;
            double wsh = 0, wsv = 0;
            synthesis::doubleCoupleRadiation(st * kDeg, dp * kDeg, rk * kDeg, az * kDeg, tk * kDeg, sh, sv);
            radiationFromVectors(st * kDeg, dp * kDeg, rk * kDeg, az * kDeg, tk * kDeg, wsh, wsv);
            // Single-precision trigonometry of a handful of terms: 1e-5 absolute.
            ASSERT_NEAR(sh, wsh, 1e-5) << st << " " << dp << " " << rk << " " << az << " " << tk;
            ASSERT_NEAR(sv, wsv, 1e-5) << st << " " << dp << " " << rk << " " << az << " " << tk;
          }
}

TEST(ComponentRadiation, VerticalMarkersAndHorizontalComponents) {
  const float sh = 0.3f, sv = -0.7f, tk = 2.0f, az = 1.0f;
  const float up = synthesis::componentRadiation(sh, sv, tk, az, model::kVerticalUp);
  EXPECT_EQ(up, -synthesis::componentRadiation(sh, sv, tk, az, model::kVerticalDown));
  EXPECT_NEAR(up, std::sin(2.0) * -0.7, 1e-6);
  // A component along the station azimuth sees only SV cos(tk), one across it only SH.
  EXPECT_NEAR(synthesis::componentRadiation(sh, sv, tk, az, az), std::cos(2.0) * -0.7, 1e-6);
  EXPECT_NEAR(synthesis::componentRadiation(sh, sv, tk, az, az + 90.0f * kDeg), 0.3, 1e-6);
}

TEST(SourceModel, ElementAtTheTargetHypocentre) {
  for (int ipfm : {0, 1, 2}) {
    SCOPED_TRACE(ipfm);
    const synthesis::SubfaultModel m = synthesis::sourceModel(coincidentElement(ipfm), 0.01f);
    EXPECT_NEAR(m.rij[1][1], m.ra0, 1e-5f * m.ra0);
    EXPECT_NEAR(m.r0, m.ra0, 1e-6f * m.ra0);
    EXPECT_EQ(m.lagij[1][1], 0);
    EXPECT_NEAR(m.radt[1][1], m.rada, 1e-5f);
    EXPECT_EQ(m.rada == 0.0f, ipfm == 0);
    EXPECT_NEAR(m.ampij[1][1], ipfm == 2 && m.rada < 0 ? -1.0f : 1.0f, 1e-5f);
  }
}

// One subfault straight below the station (`below`, rij - r0 = -10 km) or
// 20 km along strike from it (+10 km); vs = 4 makes the delay -/+2.5 s.
int singleDelay(bool below, float dt) {
  model::Params p;
  p.nx = p.nw = p.nsx = p.nsw = 1;
  p.dx = p.dw = 1.0f, p.z = 15.0f, p.vs = 4.0f, p.vr = 1.0f, p.ra = 10.0f;
  p.ird = model::Rupture::AlongStrike;
  p.rm = below ? 20.0f : 0.0f;
  p.dx0 = below ? -20.0f : 20.0f;
  const synthesis::SubfaultModel m = synthesis::sourceModel(p, dt);
  return m.lagij[0][0];
}

TEST(SourceModel, DelaysRoundHalfUpAndTruncateTowardZero) {
  struct Row { bool below; float dt; int lag; };
  const Row rows[] = {
      {false, 1.0f, 3},           // 2.5 samples
      {false, 2.5f / 1.99f, 2},   // 2.49 after the half
      {true, 2.5f / 1.2f, 0},     // -0.7 truncated
      {true, 2.5f / 2.2f, -1},    // -1.7 truncated
      {true, 1.0f, -2},           // -2.5 + 0.5 exactly
  };
  for (const Row& r : rows) EXPECT_EQ(singleDelay(r.below, r.dt), r.lag) << r.dt;
}

}  // namespace
