// The physical checks of a source model and the facts reported about it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "source/source.hpp"

namespace source {
namespace {

// Edges closer than this (km, a millimetre) count as touching: a
// rectangle's edge computed at -1e-15 km is at the surface, and two SMGAs
// placed edge to edge do not overlap.
constexpr double kEdgeTolerance = 1e-6;

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", v);
  return text;
}

std::string smgaName(std::size_t k) { return "SMGA " + std::to_string(k + 1); }

bool positive(double v) { return std::isfinite(v) && v > 0; }

std::string startProblem(const Smga& a, std::size_t k) {
  const std::array<int, 2> s = startSubfault(a);
  if (s[0] >= 1 && s[0] <= a.N && s[1] >= 1 && s[1] <= a.N) return "";
  if (a.start.fraction) {
    return smgaName(k) + " starts outside itself: its start along = " + number(a.start.along) +
           ", down = " + number(a.start.down) + " must lie within 0..1";
  }
  return smgaName(k) + " starts outside itself: its starting subfault (" + std::to_string(s[0]) +
         ", " + std::to_string(s[1]) + ") is not one of its " + std::to_string(a.N) + " x " +
         std::to_string(a.N);
}

double depthAt(const model::Params& base, double w) {
  return static_cast<double>(base.z) + w * std::sin(static_cast<double>(base.dip));
}

}  // namespace

std::string badValue(const Source& s) {
  if (s.smgas.empty()) return "a source model needs at least one SMGA";
  if (s.vs && !positive(*s.vs)) return "vs = " + number(*s.vs) + ": must be positive";
  if (s.vr && !positive(*s.vr)) return "vr = " + number(*s.vr) + ": must be positive";
  for (std::size_t k = 0; k < s.smgas.size(); ++k) {
    const Smga& a = s.smgas[k];
    const std::string name = smgaName(k) + ": ";
    for (const auto& [what, v] : {std::pair{"L", a.L}, {"W", a.W}, {"C", a.C}, {"tau", a.tau}})
      if (!positive(v)) return name + what + " = " + number(v) + ": must be positive";
    if (a.N < 1 || a.N > model::kMaxGrid)
      return name + "N = " + std::to_string(a.N) + ": allowed 1 to " + std::to_string(model::kMaxGrid);
    for (const auto& [what, v] : {std::pair{"x", a.x}, {"w", a.w}, {"delay", a.delay},
                                  {"along", a.start.along}, {"down", a.start.down}})
      if (!std::isfinite(v)) return name + what + " must be finite";
    if (a.vr && !positive(*a.vr)) return name + "vr = " + number(*a.vr) + ": must be positive";
  }
  return "";
}

Rectangle cells(const model::Params& p) {
  // Subfault i's point lies at (i - nsx) dx - dx0, the centre of its cell.
  const double dx = p.dx, dw = p.dw;
  const double u = -static_cast<double>(p.dx0), w = -static_cast<double>(p.dw0);
  return {u + (0.5 - p.nsx) * dx, u + (p.nx + 0.5 - p.nsx) * dx, w + (0.5 - p.nsw) * dw,
          w + (p.nw + 0.5 - p.nsw) * dw};
}

std::string refusal(const Source& s, const model::Params& base) {
  std::vector<Rectangle> r;
  for (std::size_t k = 0; k < s.smgas.size(); ++k) {
    if (std::string why = startProblem(s.smgas[k], k); !why.empty()) return why;
    const model::Params p = areaParams(base, s, k);
    r.push_back(cells(p));
    const double top = std::min(depthAt(base, r.back().w0), depthAt(base, r.back().w1));
    if (top < -kEdgeTolerance) {
      return smgaName(k) + " reaches above the ground surface: its top edge lies " + number(-top) +
             " km above it (hypocentre depth " + number(base.z) + " km, dip " +
             number(static_cast<double>(base.dip) / static_cast<double>(model::kDegToRad)) +
             " degrees, the edge " + number(-r.back().w0) + " km up dip of the hypocentre)";
    }
    const double onset = onsetSeconds(s, k, base);
    if (onset < 0) {
      return smgaName(k) + " would start " + number(-onset) +
             " s before the origin time: its delay is more negative than the rupture front's "
             "travel time from the hypocentre";
    }
  }
  for (std::size_t a = 0; a < r.size(); ++a) {
    for (std::size_t b = a + 1; b < r.size(); ++b) {
      const double along = std::min(r[a].u1, r[b].u1) - std::max(r[a].u0, r[b].u0);
      const double down = std::min(r[a].w1, r[b].w1) - std::max(r[a].w0, r[b].w0);
      if (along > kEdgeTolerance && down > kEdgeTolerance) {
        return smgaName(a) + " and " + smgaName(b) + " overlap: " + number(along) + " km along strike by " +
               number(down) + " km down dip of their cells are shared";
      }
    }
  }
  return "";
}

AreaFacts facts(const model::Params& p, double onset) {
  AreaFacts f;
  f.cells = cells(p);
  f.nx = p.nx, f.nw = p.nw, f.nt = p.nt, f.nsx = p.nsx, f.nsw = p.nsw;
  f.dx = p.dx, f.dw = p.dw, f.tra = p.tra, f.cfac = p.cfac, f.vr = p.vr;
  f.length = f.nx * static_cast<double>(f.dx);
  f.width = f.nw * static_cast<double>(f.dw);
  f.area = f.length * f.width;
  const double a = depthAt(p, f.cells.w0), b = depthAt(p, f.cells.w1);
  f.topDepth = std::min(a, b);
  f.bottomDepth = std::max(a, b);
  f.riseTime = p.nt * static_cast<double>(p.tra);
  f.momentRatio = static_cast<double>(f.cfac) * f.nx * f.nw * f.nt;
  f.startU = 0.0 - static_cast<double>(p.dx0);
  f.startW = 0.0 - static_cast<double>(p.dw0);
  f.onset = onset;
  return f;
}

double magnitudeMomentRatio(double target, double element) {
  return std::pow(10.0, 1.5 * (target - element));
}

std::string momentComparison(double total, std::optional<double> targetMagnitude,
                             std::optional<double> elementMagnitude) {
  std::string line = "total moment ratio (sum of C N^3): " + number(total);
  if (!targetMagnitude || !elementMagnitude) return line;
  const double ratio = magnitudeMomentRatio(*targetMagnitude, *elementMagnitude);
  // The target magnitude the model's moment implies: Mw_e + (2/3) log10(total).
  const double implied = *elementMagnitude + 2.0 / 3.0 * std::log10(total);
  return line + "; the magnitudes " + number(*targetMagnitude) + " and " + number(*elementMagnitude) +
         " give 10^(1.5 x " + number(*targetMagnitude - *elementMagnitude) + ") = " + number(ratio) +
         ": the model has " + number(total / ratio) + " times that (magnitude " + number(implied) + ")";
}

}  // namespace source
