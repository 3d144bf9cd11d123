// Predictions: a synthetic motion without an observed one, its peaks and
// response spectrum, and the spread of the predictions of several models.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "metrics/metrics.hpp"
#include "report/files.hpp"
#include "report/report.hpp"
#include "textio/shortest.hpp"

namespace report {
namespace {

using nlohmann::json;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

json number(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

std::vector<double> widened(std::span<const float> x) { return {x.begin(), x.end()}; }

// The shortest text that reads back as v; nothing for a value that is not
// finite.
std::string text(double v) { return std::isfinite(v) ? textio::shortest(v) : ""; }

}  // namespace

Predicted predict(const model::MotionView& synthetic, float dt) {
  Predicted p;
  const std::vector<double> acc = widened(synthetic.acc);
  p.peaks = {metrics::peak(acc), metrics::peak(widened(synthetic.vel)), metrics::peak(widened(synthetic.disp))};
  p.periods = spectrumPeriods();
  p.psa = metrics::pseudoSpectralAcceleration(acc, dt, p.periods);
  return p;
}

void writePrediction(const std::filesystem::path& dir, const RunView& c) {
  writeSeries(dir, c);
  const Predicted p = predict(c.synthetic, c.dt);
  const auto units = quantityUnits(c.unit);
  json j;
  j["title"] = c.title;
  j["station"] = c.station;
  j["component"] = c.component;
  j["element_event"] = c.elementEvent;
  j["dt"] = static_cast<double>(c.dt);
  j["samples"] = c.synthetic.acc.size();
  j["units"] = {{"acceleration", units[0]}, {"velocity", units[1]}, {"displacement", units[2]}};
  j["model_lines"] = modelLines(c);
  j["peak"] = {{"acceleration", number(p.peaks[0])}, {"velocity", number(p.peaks[1])},
               {"displacement", number(p.peaks[2])}};
  j["damping"] = metrics::kDamping;
  json periods = json::array(), psa = json::array();
  for (std::size_t k = 0; k < p.periods.size(); ++k) {
    periods.push_back(p.periods[k]);
    psa.push_back(number(p.psa[k]));
  }
  j["periods"] = periods;
  j["psa"] = psa;
  writeFile(dir, "prediction.json", j.dump(1) + "\n");
  std::string csv = "period_s,psa_" + units[0] + "\n";
  for (std::size_t k = 0; k < p.periods.size(); ++k) csv += text(p.periods[k]) + "," + text(p.psa[k]) + "\n";
  writeFile(dir, "response_spectrum.csv", csv);
}

double logPercentile(std::vector<double> values, double p) {
  if (values.empty()) return kNaN;
  for (double& v : values) {
    if (!(v > 0) || !std::isfinite(v)) return kNaN;
    v = std::log(v);
  }
  std::sort(values.begin(), values.end());
  const double at = std::clamp(p, 0.0, 1.0) * static_cast<double>(values.size() - 1);
  const std::size_t below = static_cast<std::size_t>(std::floor(at));
  const std::size_t above = std::min(below + 1, values.size() - 1);
  const double f = at - static_cast<double>(below);
  return std::exp(values[below] + f * (values[above] - values[below]));
}

Spread spread(const std::vector<Predicted>& predictions) {
  constexpr double kLevels[3] = {0.16, 0.50, 0.84};
  Spread s;
  s.models = static_cast<int>(predictions.size());
  s.periods = spectrumPeriods();
  std::vector<double> values(predictions.size());
  for (int level = 0; level < 3; ++level) {
    for (std::size_t k = 0; k < s.periods.size(); ++k) {
      for (std::size_t m = 0; m < predictions.size(); ++m) values[m] = predictions[m].psa[k];
      s.psa[level].push_back(logPercentile(values, kLevels[level]));
    }
    for (std::size_t q = 0; q < 3; ++q) {
      for (std::size_t m = 0; m < predictions.size(); ++m) values[m] = predictions[m].peaks[q];
      s.peaks[level][q] = logPercentile(values, kLevels[level]);
    }
  }
  return s;
}

void writeSpread(const std::filesystem::path& dir, const Spread& s, const Predicted& given,
                 const std::string& title, const std::string& unit) {
  makeFolder(dir);
  const auto units = quantityUnits(unit);
  std::string csv = "period_s,psa16_" + units[0] + ",psa50_" + units[0] + ",psa84_" + units[0] + ",psa_given_" +
                    units[0] + "\n";
  for (std::size_t k = 0; k < s.periods.size(); ++k)
    csv += text(s.periods[k]) + "," + text(s.psa[0][k]) + "," + text(s.psa[1][k]) + "," + text(s.psa[2][k]) + "," +
           text(given.psa[k]) + "\n";
  writeFile(dir, "spread.csv", csv);
  const char* names[3] = {"acceleration", "velocity", "displacement"};
  std::string peaks = "quantity,unit,p16,p50,p84,given\n";
  for (std::size_t q = 0; q < 3; ++q)
    peaks += std::string(names[q]) + "," + units[q] + "," + text(s.peaks[0][q]) + "," + text(s.peaks[1][q]) + "," +
             text(s.peaks[2][q]) + "," + text(given.peaks[q]) + "\n";
  writeFile(dir, "spread_peaks.csv", peaks);
  drawSpread(dir / "spread.pdf", s, given, title, unit);
  drawSpread(dir / "spread.png", s, given, title, unit);
}

}  // namespace report
