// The summation plan: ntt, dtau, the time-function weights and every copy's
// shift, with the summation's refusals.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace synthesis {
namespace {

std::string areaSuffix(std::size_t area, std::size_t areas) {
  return areas > 1 ? " of area " + std::to_string(area + 1) : "";
}

std::string copyName(int k, int i, int j, std::size_t area, std::size_t areas) {
  return "the shift of copy " + std::to_string(k) + " of subfault (" + std::to_string(i) + ", " +
         std::to_string(j) + ")" + areaSuffix(area, areas);
}

// ntt, dtau, the weights and the copies' offsets of one area's sub-events,
// with egfsim's refusals of an ntt it cannot use.
void subEvents(const TimeFunction& t, float dt, const std::string& area, PlanArea& a) {
  const float span = static_cast<float>(t.nt) * t.tra;
  const float sub = span / dt;
  if (!fitsSamples(sub)) {
    throw textio::InputRejected("ntt = nt*tra/dt cannot be formed" + area + ": nt = " +
                                std::to_string(t.nt) + ", tra =" + textio::listReal(t.tra) +
                                ", dt =" + textio::listReal(dt) + "; it must lie in 1.." +
                                std::to_string(kMaxShifts));
  }
  a.ntt = static_cast<int>(sub);
  if (a.ntt <= 0 || a.ntt > kMaxShifts) {
    throw SummationRefused("ntt = nt*tra/dt = " + std::to_string(a.ntt) + area + " with nt = " +
                               std::to_string(t.nt) + ", tra =" + textio::listReal(t.tra) +
                               ", dt =" + textio::listReal(dt) + "; it must lie in 1.." +
                               std::to_string(kMaxShifts),
                           a.ntt, 0);
  }
  a.dtau = span / static_cast<float>(a.ntt);
  synthesis::weights(static_cast<int>(t.imdl), t.nt, a.ntt, a.ft);
  for (int k = 1; k <= a.ntt; ++k) a.offsets[k - 1] = static_cast<float>(k - 1) * a.dtau / dt;
}

PlanArea planArea(const AreaSource& source, const TimeFunction& time, float dt,
                  const std::string& name) {
  PlanArea a;
  subEvents(time, dt, name, a);
  a.nx = std::clamp(source.nx, 0, kMaxGrid);
  a.nw = std::clamp(source.nw, 0, kMaxGrid);
  a.amplitude = source.model.ampij;
  a.weight = source.weight;
  a.onset = source.onset;
  for (int i = 0; i < a.nx; ++i) {
    for (int j = 0; j < a.nw; ++j) {
      // Delays and onsets are within +-1e9 samples (toSamples), so their sum
      // fits an int.
      a.delay[i][j] = source.model.lagij[i][j] + source.onset;
    }
  }
  return a;
}

}  // namespace

SummationPlan::SummationPlan(const model::Params& p, const SubfaultModel& model, float dt)
    : SummationPlan(p, dt, std::array<AreaSource, 1>{AreaSource{model, p.nx, p.nw}}) {}

SummationPlan::SummationPlan(const model::Params& p, float dt, std::span<const AreaSource> areas)
    : dt_(dt) {
  areas_.reserve(areas.size());
  for (std::size_t n = 0; n < areas.size(); ++n) {
    const AreaSource& source = areas[n];
    areas_.push_back(planArea(source, source.time.value_or(timeFunction(p)), dt,
                              areaSuffix(n, areas.size())));
  }
  lagmin_ = 0;
  for (const PlanArea& a : areas_)
    for (int i = 0; i < a.nx; ++i)
      for (int j = 0; j < a.nw; ++j) lagmin_ = std::min(lagmin_, a.delay[i][j]);
  checkShifts();
}

void SummationPlan::checkShifts() const {
  // Copies in the plan's order; the first out of range is named. A shift
  // grows (or shrinks) with k in every rounded step, so a subfault whose
  // first and last copy are in range has all of them in range.
  for (std::size_t n = 0; n < areas_.size(); ++n) {
    const PlanArea& a = areas_[n];
    for (int i = 1; i <= a.nx; ++i) {
      for (int j = 1; j <= a.nw; ++j) {
        if (fitsSamples(shiftValue(a, i, j, 1)) && fitsSamples(shiftValue(a, i, j, a.ntt))) continue;
        for (int k = 1; k <= a.ntt; ++k) {
          try {
            toSamples(shiftValue(a, i, j, k), copyName(k, i, j, n, areas_.size()));
          } catch (const textio::InputRejected& e) {
            throw SummationRefused(e.message, a.ntt, i);
          }
        }
      }
    }
  }
}

int SummationPlan::longestShift() const {
  int longest = 0;
  for (const PlanArea& a : areas_)
    for (int i = 1; i <= a.nx; ++i)
      for (int j = 1; j <= a.nw; ++j) longest = std::max(longest, shift(a, i, j, a.ntt));
  return longest;
}

std::size_t SummationPlan::copies() const {
  std::size_t n = 0;
  for (const PlanArea& a : areas_) n += static_cast<std::size_t>(a.nx) * a.nw * a.ntt;
  return n;
}

void SummationPlan::fill(std::size_t first, std::size_t n, Copy* dst) const {
  std::size_t area = 0;
  while (area < areas_.size()) {
    const std::size_t count =
        static_cast<std::size_t>(areas_[area].nx) * areas_[area].nw * areas_[area].ntt;
    if (first < count) break;
    first -= count;
    ++area;
  }
  if (area == areas_.size()) return;
  const std::size_t tt = static_cast<std::size_t>(areas_[area].ntt);
  int k = static_cast<int>(first % tt) + 1;
  const std::size_t ij = first / tt;
  int j = static_cast<int>(ij % static_cast<std::size_t>(areas_[area].nw)) + 1;
  int i = static_cast<int>(ij / static_cast<std::size_t>(areas_[area].nw)) + 1;
  for (std::size_t t = 0; t < n; ++t) {
    const PlanArea& a = areas_[area];
    dst[t] = {shift(a, i, j, k), a.amplitude[i - 1][j - 1], a.ft[k - 1], a.weight};
    if (++k > a.ntt) {
      k = 1;
      if (++j > a.nw) {
        j = 1;
        if (++i > a.nx) {
          i = 1;
          // The next area with copies.
          do {
            ++area;
          } while (area < areas_.size() && areas_[area].nx * areas_[area].nw == 0);
          if (area == areas_.size()) return;
        }
      }
    }
  }
}

SummationRefused SummationPlan::overflow() const {
  // Copies that are each finite can still overflow single precision together
  // (a large element record with large ra/rij factors); inf and nan would
  // reach the means, the fit and the figures, so the run is refused.
  const int rows = areas_.empty() ? 0 : areas_.front().nx;
  return SummationRefused(
      "the synthetic motion overflows single precision: the element record times cfac "
      "and the subfault amplitude factors (ra/rij) is too large",
      ntt(), rows);
}

void SummationPlan::requireFinite(const std::array<std::span<float>, 3>& series) const {
  for (const std::span<float>& s : series) {
    if (!std::all_of(s.begin(), s.end(), [](float v) { return std::isfinite(v); }))
      throw overflow();
  }
}

}  // namespace synthesis
