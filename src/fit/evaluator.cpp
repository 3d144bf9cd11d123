#include "fit/evaluator.hpp"

#include <cmath>

#include "misfit/misfit.hpp"
#include "textio/stop.hpp"

namespace fit {

int maxShiftSamples(const Problem& problem) {
  const MisfitWeights& m = problem.config.misfit;
  if (m.shift == ShiftMode::None) return 0;
  return static_cast<int>(std::lround(m.maxShift / problem.records.front().dt));
}

Evaluator::Evaluator(const Problem& problem) : problem_(problem), records_(problem.records.size()) {}

Evaluator::~Evaluator() = default;

void Evaluator::evaluate(std::size_t r, const std::vector<double>& values, RecordCurves& out) {
  const PreparedRecord& rec = problem_.records[r];
  model::Params p = rec.params;
  problem_.config.space.apply(p, values);
  out.refused = false;
  const std::array<bool, evaluate::kQuantities> wanted{true, true, true, problem_.config.misfit.envelope > 0};
  try {
    if (!problem_.config.source) {
      engine_.evaluate(*rec.engine, p, out.curves, wanted);
      return;
    }
    source_ = *problem_.config.source;
    problem_.config.space.applySource(source_, values);
    if (std::string why = source::refusal(source_, p); !why.empty()) {
      out.refused = true;
      out.note = std::move(why);
      return;
    }
    engine_.evaluate(*rec.engine, planner_.plan(p, source_, rec.dt, 1.0f), out.curves, wanted);
  } catch (const textio::InputRejected& x) {
    out.refused = true;
    out.note = rec.name + ": " + x.message;
  }
}

ModelResult Evaluator::evaluate(const std::vector<double>& values) {
  for (std::size_t r = 0; r < problem_.records.size(); ++r) {
    evaluate(r, values, records_[r]);
    if (records_[r].refused) break;
  }
  return combine(problem_, records_);
}

ModelResult combine(const Problem& problem, const std::vector<RecordCurves>& records) {
  const MisfitWeights& m = problem.config.misfit;
  const double weights[kQuantities] = {m.acc, m.vel, m.dis, m.envelope};
  const int maxShift = maxShiftSamples(problem);
  ModelResult result;
  for (const RecordCurves& r : records) {
    if (r.refused) {
      result.refused = true;
      result.note = r.note;
      return result;
    }
  }
  std::vector<double> total(static_cast<std::size_t>(2 * maxShift + 1), 0.0);
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (int q = 0; q < kQuantities; ++q) {
      if (weights[q] <= 0) continue;
      const std::vector<double>& residual = records[r].curves.residual[static_cast<std::size_t>(q)];
      for (std::size_t k = 0; k < total.size(); ++k) total[k] += problem.records[r].weight * weights[q] * residual[k];
    }
  }
  const int best = misfit::bestShift(total, maxShift);
  const std::size_t at = static_cast<std::size_t>(best + maxShift);
  result.misfit = total[at];
  result.shift = static_cast<double>(best) * static_cast<double>(problem.records.front().dt);
  result.records.resize(records.size());
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (int q = 0; q < kQuantities; ++q) {
      const evaluate::Curves& c = records[r].curves;
      if (c.residual[static_cast<std::size_t>(q)].empty()) continue;
      const QuantityFit fit{c.residual[static_cast<std::size_t>(q)][at], c.correlation[static_cast<std::size_t>(q)][at]};
      result.records[r][static_cast<std::size_t>(q)] = fit;
      // A window without energy has no defined ratio: no fit to report.
      if (weights[q] > 0 && fit.residual >= misfit::kNoEnergyResidual) {
        result.refused = true;
        result.note = problem.records[r].name + ": the " + kQuantityNames[q] +
                      " window has no energy at the best shift (a silent synthetic or record)";
        return result;
      }
    }
  }
  return result;
}

}  // namespace fit
