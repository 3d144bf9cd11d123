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

PlanArea planArea(const AreaSource& source) {
  PlanArea a;
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

std::string copyName(int k, int i, int j, std::size_t area, std::size_t areas) {
  std::string name = "the shift of copy " + std::to_string(k) + " of subfault (" +
                     std::to_string(i) + ", " + std::to_string(j) + ")";
  if (areas > 1) name += " of area " + std::to_string(area + 1);
  return name;
}

}  // namespace

SummationPlan::SummationPlan(const model::Params& p, const SubfaultModel& model, float dt)
    : SummationPlan(p, dt, std::array<AreaSource, 1>{AreaSource{model, p.nx, p.nw}}) {}

SummationPlan::SummationPlan(const model::Params& p, float dt, std::span<const AreaSource> areas)
    : dt_(dt) {
  const float span = static_cast<float>(p.nt) * p.tra;
  const float sub = span / dt;
  if (!fitsSamples(sub)) {
    throw textio::InputRejected("ntt = nt*tra/dt cannot be formed: nt = " + std::to_string(p.nt) +
                                ", tra =" + textio::listReal(p.tra) + ", dt =" +
                                textio::listReal(dt) + "; it must lie in 1.." +
                                std::to_string(kMaxShifts));
  }
  ntt_ = static_cast<int>(sub);
  if (ntt_ <= 0 || ntt_ > kMaxShifts) {
    throw SummationRefused("ntt = nt*tra/dt = " + std::to_string(ntt_) + " with nt = " +
                               std::to_string(p.nt) + ", tra =" + textio::listReal(p.tra) +
                               ", dt =" + textio::listReal(dt) + "; it must lie in 1.." +
                               std::to_string(kMaxShifts),
                           ntt_, 0);
  }
  dtau_ = span / static_cast<float>(ntt_);
  synthesis::weights(static_cast<int>(p.imdl), p.nt, ntt_, ft_);
  for (int k = 1; k <= ntt_; ++k) offsets_[k - 1] = static_cast<float>(k - 1) * dtau_ / dt;

  areas_.reserve(areas.size());
  for (const AreaSource& source : areas) areas_.push_back(planArea(source));
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
        if (fitsSamples(shiftValue(a, i, j, 1)) && fitsSamples(shiftValue(a, i, j, ntt_))) continue;
        for (int k = 1; k <= ntt_; ++k) {
          try {
            toSamples(shiftValue(a, i, j, k), copyName(k, i, j, n, areas_.size()));
          } catch (const textio::InputRejected& e) {
            throw SummationRefused(e.message, ntt_, i);
          }
        }
      }
    }
  }
}

std::size_t SummationPlan::copies() const {
  std::size_t n = 0;
  for (const PlanArea& a : areas_) n += static_cast<std::size_t>(a.nx) * a.nw * ntt_;
  return n;
}

void SummationPlan::fill(std::size_t first, std::size_t n, Copy* dst) const {
  std::size_t area = 0;
  while (area < areas_.size()) {
    const std::size_t count = static_cast<std::size_t>(areas_[area].nx) * areas_[area].nw * ntt_;
    if (first < count) break;
    first -= count;
    ++area;
  }
  if (area == areas_.size()) return;
  const std::size_t tt = static_cast<std::size_t>(ntt_);
  int k = static_cast<int>(first % tt) + 1;
  const std::size_t ij = first / tt;
  int j = static_cast<int>(ij % static_cast<std::size_t>(areas_[area].nw)) + 1;
  int i = static_cast<int>(ij / static_cast<std::size_t>(areas_[area].nw)) + 1;
  for (std::size_t t = 0; t < n; ++t) {
    const PlanArea& a = areas_[area];
    dst[t] = {shift(a, i, j, k), a.amplitude[i - 1][j - 1], ft_[k - 1], a.weight};
    if (++k > ntt_) {
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
      ntt_, rows);
}

void SummationPlan::requireFinite(const std::array<std::span<float>, 3>& series) const {
  for (const std::span<float>& s : series) {
    if (!std::all_of(s.begin(), s.end(), [](float v) { return std::isfinite(v); }))
      throw overflow();
  }
}

}  // namespace synthesis
