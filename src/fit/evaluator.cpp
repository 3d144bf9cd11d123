#include "fit/evaluator.hpp"

#include <cmath>
#include <limits>

#include "fit/console.hpp"
#include "records/records.hpp"
#include "run/workspace.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace fit {
namespace {

// Observed window o(ksm..ksm+n-1) against synthetic y(first..first+n-1);
// samples outside the series read as zero.
QuantityFit fitAt(const std::vector<float>& o, int ksm, int n, const std::vector<float>& y, long long first) {
  const long long size = static_cast<long long>(y.size());
  double soo = 0, syy = 0, sos = 0;
  for (int k = 0; k < n; ++k) {
    const double a = o[static_cast<std::size_t>(ksm - 1 + k)];
    const long long at = first - 1 + k;
    const double b = (at >= 0 && at < size) ? double(y[static_cast<std::size_t>(at)]) : 0.0;
    soo += a * a;
    syy += b * b;
    sos += a * b;
  }
  const double norm = std::sqrt(soo) * std::sqrt(syy);
  if (norm == 0) return {std::numeric_limits<double>::infinity(), 0.0};
  return {(soo + syy - 2 * sos) / norm, sos / norm};
}

}  // namespace

int maxShiftSamples(const Problem& problem) {
  const MisfitWeights& m = problem.config.misfit;
  if (m.shift == ShiftMode::None) return 0;
  return static_cast<int>(std::lround(m.maxShift / problem.records.front().dt));
}

struct Evaluator::Scratch {
  Console console;
  run::Workspace w;
  std::vector<RecordCurves> records;
};

Evaluator::Evaluator(const Problem& problem) : problem_(problem), scratch_(std::make_unique<Scratch>()) {
  // The search spreads models over the workers; each summation stays on
  // the worker that runs it.
  synthesis::useSummationThreads(1);
  scratch_->records.resize(problem.records.size());
}

Evaluator::~Evaluator() = default;

void Evaluator::evaluate(std::size_t r, const std::vector<double>& values, RecordCurves& out) {
  const PreparedRecord& rec = problem_.records[r];
  run::Workspace& w = scratch_->w;
  textio::Channels& io = scratch_->console.io();
  run::Params p = rec.params;
  problem_.config.space.apply(p, values);
  out.refused = false;
  try {
    synthesis::SubfaultModel model;
    synthesis::sourceModel(io, p, rec.dt, model);
    w.dt = rec.dt;
    w.nmain = rec.nmain;
    w.naft = rec.naft;
    // The element scaled by this model's cfac, as the record stage scales it.
    std::vector<float>* scaled[3] = {&w.da, &w.daa, &w.daaa};
    for (int q = 0; q < 3; ++q) {
      std::vector<float>& a = *scaled[q];
      for (int i = 0; i < rec.naft; ++i) a[i] = rec.element[q][i] * p.cfac;
      std::fill(a.begin() + rec.naft, a.end(), 0.0f);
      float mean = 0;
      records::zero(a, 1, rec.naft, mean);
    }
    for (std::vector<float>* s : {&w.ds, &w.dss, &w.dsss}) std::fill(s->begin(), s->end(), 0.0f);
    synthesis::summation(io, p, model, w);
  } catch (const textio::InputRejected& x) {
    out.refused = true;
    out.note = rec.name + ": " + x.message;
    return;
  }
  const int maxShift = maxShiftSamples(problem_);
  const int n = std::min(p.kem - p.ksm, p.kea - p.ksa) + 1;
  const std::vector<float> envelopeOfSynthetic =
      problem_.config.misfit.envelope > 0 ? envelope(w.ds, run::kSeriesCapacity, envelopeHalfWidth(rec.dt))
                                          : std::vector<float>();
  for (int q = 0; q < kQuantities; ++q) {
    std::vector<QuantityFit>& curve = out.curves[static_cast<std::size_t>(q)];
    curve.clear();
    if (q == kEnv && envelopeOfSynthetic.empty()) continue;
    const std::vector<float>& obs = q == kEnv ? rec.observedEnvelope : rec.observed[q];
    const std::vector<float>& syn = q == kAcc ? w.ds : q == kVel ? w.dss : q == kDis ? w.dsss : envelopeOfSynthetic;
    for (int s = -maxShift; s <= maxShift; ++s) curve.push_back(fitAt(obs, p.ksm, n, syn, p.ksa + s));
  }
}

ModelResult Evaluator::evaluate(const std::vector<double>& values) {
  for (std::size_t r = 0; r < problem_.records.size(); ++r) {
    evaluate(r, values, scratch_->records[r]);
    if (scratch_->records[r].refused) break;
  }
  return combine(problem_, scratch_->records);
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
      const auto& curve = records[r].curves[static_cast<std::size_t>(q)];
      for (std::size_t k = 0; k < total.size(); ++k)
        total[k] += problem.records[r].weight * weights[q] * curve[k].residual;
    }
  }
  int best = 0;
  for (int s = 1; s <= maxShift; ++s) {
    for (int shift : {-s, s}) {
      if (total[static_cast<std::size_t>(shift + maxShift)] < total[static_cast<std::size_t>(best + maxShift)])
        best = shift;
    }
  }
  const std::size_t at = static_cast<std::size_t>(best + maxShift);
  result.misfit = total[at];
  result.shift = static_cast<double>(best) * static_cast<double>(problem.records.front().dt);
  if (!std::isfinite(result.misfit)) {
    result.refused = true;
    result.note = "the synthetic window is silent at every shift";
    return result;
  }
  result.records.resize(records.size());
  for (std::size_t r = 0; r < records.size(); ++r)
    for (int q = 0; q < kQuantities; ++q)
      if (!records[r].curves[static_cast<std::size_t>(q)].empty())
        result.records[r][static_cast<std::size_t>(q)] = records[r].curves[static_cast<std::size_t>(q)][at];
  return result;
}

}  // namespace fit
