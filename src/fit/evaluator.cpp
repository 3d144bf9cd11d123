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

int windowLength(const run::Params& p) { return std::min(p.kem - p.ksm, p.kea - p.ksa) + 1; }

}  // namespace

void shiftCurves(const std::vector<float>& observed, int ksm, int kem, const std::vector<float>& synthetic,
                 int ksa, int kea, int maxShift, std::vector<QuantityFit>& curve) {
  const int n = std::min(kem - ksm, kea - ksa) + 1;
  curve.resize(static_cast<std::size_t>(2 * maxShift + 1));
  for (int s = -maxShift; s <= maxShift; ++s)
    curve[static_cast<std::size_t>(s + maxShift)] = fitAt(observed, ksm, n, synthetic, ksa + s);
}

struct Evaluator::Scratch {
  Console console;
  run::Workspace w;
  // Per record: the three synthetics and the envelope of the acceleration.
  std::vector<std::array<std::vector<float>, kQuantities>> synthetic;
  std::vector<std::array<std::vector<QuantityFit>, kQuantities>> curves;
};

Evaluator::Evaluator(const Problem& problem) : problem_(problem), scratch_(std::make_unique<Scratch>()) {
  scratch_->synthetic.resize(problem.records.size());
  scratch_->curves.resize(problem.records.size());
}

Evaluator::~Evaluator() = default;

ModelResult Evaluator::evaluate(const std::vector<double>& values) {
  const Config& c = problem_.config;
  Scratch& s = *scratch_;
  run::Workspace& w = s.w;
  textio::Channels& io = s.console.io();
  const std::size_t count = problem_.records.size();
  const float dt = problem_.records.front().dt;
  const int maxShift =
      c.misfit.shift == ShiftMode::None ? 0 : static_cast<int>(std::lround(c.misfit.maxShift / dt));
  const double weights[kQuantities] = {c.misfit.acc, c.misfit.vel, c.misfit.dis, c.misfit.envelope};

  ModelResult result;
  result.records.resize(count);
  std::vector<double> total(static_cast<std::size_t>(2 * maxShift + 1), 0.0);
  for (std::size_t r = 0; r < count; ++r) {
    const PreparedRecord& rec = problem_.records[r];
    run::Params p = rec.params;
    c.space.apply(p, values);
    try {
      synthesis::SubfaultModel model;
      synthesis::sourceModel(io, p, rec.dt, model);
      w.dt = rec.dt;
      w.nmain = rec.nmain;
      w.naft = rec.naft;
      std::vector<float>* scaled[3] = {&w.da, &w.daa, &w.daaa};
      for (int q = 0; q < 3; ++q) {
        std::vector<float>& a = *scaled[q];
        for (int i = 0; i < rec.naft; ++i) a[i] = rec.element[q][i] * p.cfac;
        std::fill(a.begin() + rec.naft, a.end(), 0.0f);
        float mean = 0;
        records::zero(a, 1, rec.naft, mean);
      }
      for (std::vector<float>* out : {&w.ds, &w.dss, &w.dsss}) std::fill(out->begin(), out->end(), 0.0f);
      synthesis::summation(io, p, model, w);
    } catch (const textio::InputRejected& x) {
      result.refused = true;
      result.note = rec.name + ": " + x.message;
      return result;
    }
    auto& syn = s.synthetic[r];
    syn[kAcc] = w.ds;
    syn[kVel] = w.dss;
    syn[kDis] = w.dsss;
    if (weights[kEnv] > 0) syn[kEnv] = envelope(w.ds, run::kSeriesCapacity, envelopeHalfWidth(rec.dt));
    for (int q = 0; q < kQuantities; ++q) {
      if (weights[q] <= 0) continue;
      const std::vector<float>& obs = q == kEnv ? rec.observedEnvelope : rec.observed[q];
      shiftCurves(obs, p.ksm, p.kem, syn[q], p.ksa, p.kea, maxShift, s.curves[r][q]);
      for (std::size_t k = 0; k < total.size(); ++k) total[k] += rec.weight * weights[q] * s.curves[r][q][k].residual;
    }
  }

  // The shift of least misfit; ties go to the smaller shift, the earlier
  // (negative) one first.
  int best = 0;
  for (int m = 1; m <= maxShift; ++m) {
    for (int shift : {-m, m}) {
      if (total[static_cast<std::size_t>(shift + maxShift)] < total[static_cast<std::size_t>(best + maxShift)])
        best = shift;
    }
  }
  result.misfit = total[static_cast<std::size_t>(best + maxShift)];
  result.shift = static_cast<double>(best) * static_cast<double>(dt);
  if (!std::isfinite(result.misfit)) {
    result.refused = true;
    result.note = "the synthetic window is silent at every shift";
    return result;
  }
  for (std::size_t r = 0; r < count; ++r) {
    const PreparedRecord& rec = problem_.records[r];
    const run::Params& p = rec.params;
    const int n = windowLength(p);
    for (int q = 0; q < kQuantities; ++q) {
      if (q == kEnv && weights[kEnv] <= 0) continue;
      const std::vector<float>& obs = q == kEnv ? rec.observedEnvelope : rec.observed[q];
      result.records[r][q] = weights[q] > 0 ? s.curves[r][q][static_cast<std::size_t>(best + maxShift)]
                                            : fitAt(obs, p.ksm, n, s.synthetic[r][q], p.ksa + best);
    }
  }
  return result;
}

}  // namespace fit
