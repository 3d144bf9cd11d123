// An SMGA's parameter set, its starting subfault and onset, and the plan of
// several SMGAs.
#include <algorithm>
#include <cmath>
#include <string>

#include "source/source.hpp"
#include "textio/stop.hpp"

namespace source {
namespace {

// A fraction's subfault: floor(f N) + 1, with f = 1 in the last cell. The
// product is kept within +-1e6 before the conversion, so that any finite
// fraction gives an index (outside 1..N when f lies outside 0..1).
int subfaultOf(double f, int n) {
  if (f == 1.0) return n;
  const double cell = std::clamp(std::floor(f * static_cast<double>(n)), -1e6, 1e6);
  return static_cast<int>(cell) + 1;
}

}  // namespace

std::array<int, 2> startSubfault(const Smga& a) {
  if (!a.start.fraction) return {a.start.nsx, a.start.nsw};
  return {subfaultOf(a.start.along, a.N), subfaultOf(a.start.down, a.N)};
}

double ruptureVelocity(const Source& s, std::size_t k, const model::Params& base) {
  if (s.smgas[k].vr) return *s.smgas[k].vr;
  if (s.vr) return *s.vr;
  return static_cast<double>(base.vr);
}

model::Params areaParams(const model::Params& base, const Source& s, std::size_t k) {
  const Smga& a = s.smgas[k];
  model::Params p = base;
  const double n = static_cast<double>(a.N);
  p.nx = p.nw = p.nt = a.N;
  p.dx = static_cast<float>(a.L / n);
  p.dw = static_cast<float>(a.W / n);
  p.tra = static_cast<float>(a.tau / n);
  p.cfac = static_cast<float>(a.C);
  // 0 - x rather than -x: a start at the hypocentre gives +0, as a
  // parameter file's "0.0" does.
  p.dx0 = static_cast<float>(0.0 - a.x);
  p.dw0 = static_cast<float>(0.0 - a.w);
  const std::array<int, 2> start = startSubfault(a);
  p.nsx = start[0];
  p.nsw = start[1];
  p.vr = static_cast<float>(ruptureVelocity(s, k, base));
  if (s.vs) p.vs = static_cast<float>(*s.vs);
  if (s.rupture) p.ird = *s.rupture;
  if (s.radiation) p.ipfm = *s.radiation;
  if (s.timeFunction) p.imdl = *s.timeFunction;
  return p;
}

double onsetSeconds(const Source& s, std::size_t k, const model::Params& base) {
  const Smga& a = s.smgas[k];
  return std::sqrt(a.x * a.x + a.w * a.w) / ruptureVelocity(s, k, base) + a.delay;
}

int onsetSamples(double seconds, float dt) {
  const double samples = seconds / static_cast<double>(dt);
  if (!std::isfinite(samples) || std::fabs(samples) > 1e9) {
    throw textio::InputRejected("the onset of an SMGA, " + std::to_string(seconds) +
                                " s, is not a finite number of samples within +-1e9");
  }
  return static_cast<int>(std::lround(samples));
}

synthesis::SummationPlan Planner::plan(const model::Params& base, const Source& s, float dt,
                                       float elementCfac) {
  const std::size_t n = s.smgas.size();
  params_.resize(n);
  models_.resize(n);
  std::vector<synthesis::AreaSource> areas;
  areas.reserve(n);
  for (std::size_t k = 0; k < n; ++k) {
    params_[k] = areaParams(base, s, k);
    const model::Params& p = params_[k];
    models_[k] = synthesis::sourceModel(p, dt);
    // C_k over the element's factor in single precision: x / x is exactly 1.
    const float weight = p.cfac / elementCfac;
    areas.push_back({models_[k], p.nx, p.nw, weight, onsetSamples(onsetSeconds(s, k, base), dt),
                     synthesis::timeFunction(p)});
  }
  return synthesis::SummationPlan(base, dt, areas);
}

}  // namespace source
