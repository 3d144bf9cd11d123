#include "fit/spectral_fit.hpp"

#include <cmath>
#include <cstdio>
#include <sstream>

#include "engine/misfit.hpp"
#include "metrics/metrics.hpp"
#include "report/report.hpp"

namespace fit {
namespace {

// The model's acceleration over its compared window at its shift, as the
// report's measures take it.
std::vector<float> shiftedWindow(const engine::Evaluator& evaluator, std::size_t r, int length, double shift) {
  const std::span<const double> acc = evaluator.acceleration(r);
  const long long at = std::llround(shift / evaluator.misfit().dt) + evaluator.misfit().maxShift;
  std::vector<float> w(static_cast<std::size_t>(length));
  for (std::size_t k = 0; k < w.size(); ++k) w[k] = static_cast<float>(acc[static_cast<std::size_t>(at) + k]);
  return w;
}

RecordSpectralFit recordFit(const PreparedRecord& rec, std::span<const float> synthetic,
                            std::span<const double> periods) {
  const int n = static_cast<int>(synthetic.size());
  report::RunView view;
  view.dt = rec.dt;
  view.observed.acc = rec.observed[0];
  view.synthetic.acc = synthetic;
  view.ksm = rec.params.ksm;
  view.kem = rec.params.ksm + n - 1;
  view.ksa = 1;
  view.kea = n;
  view.filter = {rec.params.ifilt == 1, false, rec.params.fl, rec.params.fh};
  const report::Measures m = report::measure(view);
  RecordSpectralFit fit;
  fit.scores.anderson = m.anderson.passBand.score;
  fit.scores.bands = m.anderson.passBand.bands;
  // The bias over the search's own periods, on the same windows.
  std::vector<double> obs(static_cast<std::size_t>(n)), syn(obs.size());
  for (int k = 0; k < n; ++k) {
    const int i = rec.params.ksm + k;  // from 1
    obs[static_cast<std::size_t>(k)] =
        i >= 1 && i <= static_cast<int>(rec.observed[0].size()) ? rec.observed[0][static_cast<std::size_t>(i - 1)] : 0.0;
    syn[static_cast<std::size_t>(k)] = synthetic[static_cast<std::size_t>(k)];
  }
  const auto po = metrics::pseudoSpectralAcceleration(obs, m.dt, periods);
  const auto ps = metrics::pseudoSpectralAcceleration(syn, m.dt, periods);
  double sum = 0.0, squares = 0.0;
  for (std::size_t p = 0; p < periods.size(); ++p) {
    const double d = std::log(po[p] / ps[p]);
    sum += d;
    squares += d * d;
  }
  fit.scores.biasMean = sum / static_cast<double>(periods.size());
  fit.scores.biasRms = std::sqrt(squares / static_cast<double>(periods.size()));
  return fit;
}

std::string cell(const char* format, double v) {
  if (!std::isfinite(v)) return "-";
  char s[32];
  std::snprintf(s, sizeof s, format, v);
  return s;
}

nlohmann::ordered_json number(double v) { return std::isfinite(v) ? nlohmann::ordered_json(v) : nlohmann::ordered_json(); }

}  // namespace

std::vector<double> biasPeriods(const Problem& problem) {
  const engine::SpectralSettings& s = problem.config.misfit.spectral;
  return metrics::logSpaced(s.periods[0], s.periods[1], s.periodCount);
}

ModelSpectralFit spectralFit(const Problem& problem, const std::vector<double>& values) {
  engine::Evaluator evaluator(problem.engineRecords(), problem.weights());
  evaluator.keepAcceleration();
  const engine::ModelResult result = problem.evaluate(evaluator, values);
  ModelSpectralFit fit;
  fit.refused = result.refused;
  fit.note = result.note;
  fit.shift = result.shift;
  if (result.refused) return fit;
  const std::vector<double> periods = biasPeriods(problem);
  for (std::size_t r = 0; r < problem.records.size(); ++r) {
    const PreparedRecord& rec = problem.records[r];
    const std::vector<float> window = shiftedWindow(evaluator, r, rec.engine->length(), result.shift);
    fit.records.push_back(recordFit(rec, window, periods));
    if (!result.spectral.empty()) fit.records.back().terms = result.spectral[r];
  }
  return fit;
}

report::SearchSpectra recordSpectra(const Problem& problem, std::size_t r, const ModelSpectralFit& best,
                                    const ModelSpectralFit& start) {
  const engine::SpectralSettings& s = problem.config.misfit.spectral;
  report::SearchSpectra out{s.periods[0], s.periods[1], s.periodCount, {}, {}};
  if (!best.refused) out.best = best.records[r].scores;
  if (!start.refused) out.start = start.records[r].scores;
  return out;
}

std::string spectralFitText(const Problem& problem, const ModelSpectralFit& best, const ModelSpectralFit& start) {
  const engine::SpectralSettings& s = problem.config.misfit.spectral;
  std::ostringstream t;
  char line[480];
  std::snprintf(line, sizeof line,
                "\nSpectral fit over the windows at each model's common shift: Anderson's score\n"
                "(0 to 10) over the bands inside the record's filter band, and the response-spectrum\n"
                "bias, the mean and RMS of ln(PSA observed / PSA synthetic) over %d periods from %g\n"
                "to %g s (5%% damping)%s:\n\n",
                s.periodCount, s.periods[0], s.periods[1], s.any() ? ", with the misfit's spectral terms" : "");
  t << line;
  std::snprintf(line, sizeof line, "%-20s %17s %17s %17s %17s %17s\n", "", "Anderson   ", "bias mean   ",
                "bias RMS    ", "psa term    ", "fourier term  ");
  t << line;
  std::snprintf(line, sizeof line, "%-20s %8s %8s %8s %8s %8s %8s %8s %8s %8s %8s\n", "record", "best", "start",
                "best", "start", "best", "start", "best", "start", "best", "start");
  t << line;
  const RecordSpectralFit none;
  for (std::size_t r = 0; r < problem.records.size(); ++r) {
    const RecordSpectralFit& b = best.refused ? none : best.records[r];
    const RecordSpectralFit& a = start.refused ? none : start.records[r];
    std::snprintf(line, sizeof line, "%-20s %8s %8s %8s %8s %8s %8s %8s %8s %8s %8s\n",
                  problem.records[r].name.c_str(), cell("%.2f", b.scores.anderson).c_str(), cell("%.2f", a.scores.anderson).c_str(),
                  cell("%+.3f", b.scores.biasMean).c_str(), cell("%+.3f", a.scores.biasMean).c_str(),
                  cell("%.3f", b.scores.biasRms).c_str(), cell("%.3f", a.scores.biasRms).c_str(),
                  cell("%.4g", b.terms.psa).c_str(), cell("%.4g", a.terms.psa).c_str(),
                  cell("%.4g", b.terms.fourier).c_str(), cell("%.4g", a.terms.fourier).c_str());
    t << line;
  }
  if (start.refused) t << "(the starting model is refused: " << start.note << ")\n";
  return t.str();
}

nlohmann::ordered_json spectralFitJson(const Problem& problem, const ModelSpectralFit& best,
                                       const ModelSpectralFit& start) {
  const engine::SpectralSettings& s = problem.config.misfit.spectral;
  nlohmann::ordered_json out;
  out["periods"] = {{"from", s.periods[0]}, {"to", s.periods[1]}, {"count", s.periodCount}, {"damping", metrics::kDamping}};
  for (const auto& [name, model] : {std::pair{"best", &best}, {"start", &start}}) {
    nlohmann::ordered_json& m = out[name];
    if (model->refused) {
      m["refused"] = model->note;
      continue;
    }
    m["shift_seconds"] = model->shift;
    for (std::size_t r = 0; r < problem.records.size(); ++r) {
      const RecordSpectralFit& f = model->records[r];
      m["records"][problem.records[r].name] = {{"anderson", number(f.scores.anderson)},
                                                {"anderson_bands", f.scores.bands},
                                                {"psa_bias_mean", number(f.scores.biasMean)},
                                                {"psa_bias_rms", number(f.scores.biasRms)},
                                                {"psa_term", number(f.terms.psa)},
                                                {"fourier_term", number(f.terms.fourier)}};
    }
  }
  return out;
}

}  // namespace fit
