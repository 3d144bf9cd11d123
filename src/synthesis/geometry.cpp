// Fault and station geometry, rupture times, radiation coefficients and the
// per-subfault amplitude factors and delays.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace synthesis {
namespace {

// Widened evaluations of the elementary functions, rounded to single
// precision where the result is stored.
float fsin(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
float fcos(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
float fsqrt(float x) { return static_cast<float>(std::sqrt(static_cast<double>(x))); }
float fatan2(float y, float x) {
  return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
}

// Loop bounds never leave the 30 x 30 tables, whatever the counts say.
int gridCount(int n) { return std::clamp(n, 0, kMaxGrid); }

std::string subfaultName(int i, int j) {
  return "subfault (" + std::to_string(i) + ", " + std::to_string(j) + ")";
}

}  // namespace

void toFaultFrame(float r, float az, float str, float& x, float& y) {
  const float d = az - str;
  x = r * fcos(d);
  y = r * fsin(d);
}

void stationFromSubfaults(float xs, float ys, float z, float dx, float dw, int nx, int nw, int nsx,
                          int nsw, float dip, float dx0, float dw0, Table& rij, Table& azij,
                          Table& tkij) {
  // This routine's own pi, rounded to single precision.
  constexpr float pi = 3.1415927f;
  const int ni = gridCount(nx);
  const int nj = gridCount(nw);
  for (int i = 1; i <= ni; ++i) {
    for (int j = 1; j <= nj; ++j) {
      const float u = static_cast<float>(i - nsx) * dx - dx0;
      const float w = static_cast<float>(j - nsw) * dw - dw0;
      const float X = xs - u;
      const float Y = ys - w * fcos(dip);
      const float Z = z + w * fsin(dip);
      const float r = fsqrt(X * X + Y * Y + Z * Z);
      rij[i - 1][j - 1] = r;
      if (r == 0.0f) {
        throw ZeroDistance(subfaultName(i, j) +
                               " lies at zero distance from the station (rl=0): its "
                               "amplitude factor ra0/rij cannot be formed; check rm, pm, z, "
                               "dx0, dw0, nsx, nsw",
                           X, Y, Z);
      }
      azij[i - 1][j - 1] = fatan2(Y, X);
      tkij[i - 1][j - 1] = pi - fatan2(fsqrt(X * X + Y * Y), Z);
    }
  }
}

void ruptureTimes(float dx, float dw, int nx, int nw, int nsx, int nsw, int ird, float vr, Table& trij) {
  const int ni = gridCount(nx);
  const int nj = gridCount(nw);
  for (int i = 1; i <= ni; ++i) {
    for (int j = 1; j <= nj; ++j) {
      float t = 0.0f;
      if (ird == static_cast<int>(model::Rupture::AlongStrike)) {
        t = static_cast<float>(std::abs(i - nsx)) * dx / vr;
      } else if (ird == static_cast<int>(model::Rupture::Radial)) {
        const float a = static_cast<float>(std::abs(i - nsx)) * dx;
        const float b = static_cast<float>(std::abs(j - nsw)) * dw;
        t = fsqrt(a * a + b * b) / vr;
      }
      trij[i - 1][j - 1] = t;
    }
  }
}

void doubleCoupleRadiation(float str, float dip, float rak, float az, float tk, float& sh, float& sv) {
  // Every sine and cosine is rounded to single precision before it is used,
  // and each double angle is formed from them as cos^2 - sin^2.
  const float phi = az - str;
  const float sp = fsin(phi), cp = fcos(phi);
  const float sd = fsin(dip), cd = fcos(dip);
  const float sl = fsin(rak), cl = fcos(rak);
  const float si = fsin(tk), ci = fcos(tk);
  const float c2p = cp * cp - sp * sp;
  const float c2d = cd * cd - sd * sd;
  const float c2i = ci * ci - si * si;
  sh = cl * cd * ci * sp + cl * sd * si * c2p + sl * c2d * ci * cp -
       2.0f * sl * sd * cd * si * sp * cp;
  sv = sl * c2d * c2i * sp - cl * cd * c2i * cp + 2.0f * cl * sd * si * ci * sp * cp -
       2.0f * sl * sd * cd * si * ci * (1.0f + sp * sp);
}

float componentRadiation(float sh, float sv, float tk, float az, float cmp) {
  if (cmp == model::kVerticalUp) return fsin(tk) * sv;
  if (cmp == model::kVerticalDown) return -(fsin(tk) * sv);
  const float d = cmp - az;
  return fcos(tk) * sv * fcos(d) + fsin(d) * sh;
}

bool fitsSamples(float value) {
  // Beyond 1e9 samples no record could hold the result; the check also keeps
  // the conversion to a 32-bit integer inside its range.
  return std::isfinite(value) && std::fabs(value) <= 1.0e9f;
}

int toSamples(float value, const std::string& what) {
  if (!fitsSamples(value)) {
    throw textio::InputRejected(what + " is " + textio::listReal(value) +
                                " samples, not a finite value within +-1e9");
  }
  return static_cast<int>(value);  // truncation toward zero
}

SubfaultModel sourceModel(const model::Params& p, float dt) {
  SubfaultModel m;
  // The pi of the scalar quantities, as the driver carries it.
  constexpr float pi = 3.1415927f;

  toFaultFrame(p.rm, p.pm, p.str, m.xs, m.ys);
  stationFromSubfaults(m.xs, m.ys, p.z, p.dx, p.dw, p.nx, p.nw, p.nsx, p.nsw, p.dip, p.dx0, p.dw0, m.rij,
        m.azij, m.tkij);
  ruptureTimes(p.dx, p.dw, p.nx, p.nw, p.nsx, p.nsw, static_cast<int>(p.ird), p.vr, m.trij);

  m.tka = pi - fatan2(p.ra, p.za);
  m.r0 = fsqrt(p.rm * p.rm + p.z * p.z);
  m.ra0 = fsqrt(p.ra * p.ra + p.za * p.za);

  using model::Radiation;
  m.rada = 0.0f;
  if (p.ipfm != Radiation::NotCorrected) {
    float sh = 0.0f, sv = 0.0f;
    doubleCoupleRadiation(p.stra, p.dipa, p.raka, p.pa, m.tka, sh, sv);
    m.rada = componentRadiation(sh, sv, m.tka, p.pa, p.cmp);
    if (p.ipfm == Radiation::Corrected && m.rada == 0.0f) {
      throw textio::InputRejected(
          "ipfm 1 divides by the element event's radiation coefficient on the recorded "
          "component, which is exactly 0 for stra, dipa, raka, pa and cmp; use ipfm 0 or 2");
    }
  }

  const int ni = gridCount(p.nx);
  const int nj = gridCount(p.nw);
  for (int i = 1; i <= ni; ++i) {
    for (int j = 1; j <= nj; ++j) {
      float radt = 0.0f;
      if (p.ipfm != Radiation::NotCorrected) {
        const float phi = m.azij[i - 1][j - 1] + p.str;
        const float tk = m.tkij[i - 1][j - 1];
        float sh = 0.0f, sv = 0.0f;
        doubleCoupleRadiation(p.str, p.dip, p.rak, phi, tk, sh, sv);
        radt = componentRadiation(sh, sv, tk, phi, p.cmp);
      }
      m.radt[i - 1][j - 1] = radt;

      float fac = 1.0f;
      if (p.ipfm == Radiation::Corrected) {
        fac = radt / m.rada;
      } else if (p.ipfm == Radiation::SignOnly) {
        // A nodal subfault (radt exactly 0) contributes nothing.
        fac = radt == 0.0f ? 0.0f : radt / std::fabs(radt);
      }

      const float r = m.rij[i - 1][j - 1];
      m.ampij[i - 1][j - 1] = (m.ra0 / r) * fac;
      const float delay = ((r - m.r0) / p.vs + m.trij[i - 1][j - 1]) / dt + 0.5f;
      // The message is only built for a delay that is refused: a search
      // builds thousands of source models a second.
      const int lag = fitsSamples(delay) ? static_cast<int>(delay)
                                         : toSamples(delay, "the delay of " + subfaultName(i, j));
      m.lagij[i - 1][j - 1] = lag;
    }
  }
  return m;
}

}  // namespace synthesis
