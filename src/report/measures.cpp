// metrics.json: the measures of observed and synthetic motion over the
// compared windows.
#include <algorithm>
#include <cmath>

#include "metrics/metrics.hpp"
#include "report/files.hpp"
#include "report/report.hpp"

namespace report {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kGravity = 9.80665;  // m/s/s
constexpr int kPeriods = 100;         // 0.01 .. 10 s
constexpr int kFrequencies = 100;     // 0.05 Hz .. the Nyquist frequency

using nlohmann::json;

json number(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

json numbers(const std::vector<double>& v) {
  json a = json::array();
  for (double x : v) a.push_back(number(x));
  return a;
}

// Samples first..last (from 1) of x, cut to the series, widened to double.
std::vector<double> window(std::span<const float> x, int first, int last) {
  const long lo = std::max(first, 1), hi = std::min<long>(last, static_cast<long>(x.size()));
  std::vector<double> w;
  for (long k = lo; k <= hi; ++k) w.push_back(x[static_cast<std::size_t>(k - 1)]);
  return w;
}

struct Windows {
  std::vector<double> acc, vel, dis;
  metrics::Motion motion() const { return {acc, vel, dis}; }
};

Windows windows(const Motion& m, int first, int last) {
  return {window(m.acc, first, last), window(m.vel, first, last), window(m.dis, first, last)};
}

// Metres per second squared per unit of the record's acceleration; 0 when
// the unit is not known.
double toMetres(const std::string& unit) {
  const auto u = quantityUnits(unit);
  if (u[1] == "cm/s") return 0.01;
  if (u[1] == "m/s") return 1.0;
  if (u[1] == "g*s") return kGravity;
  return 0.0;
}

double arias(const std::vector<double>& acc, double dt, double scale) {
  const auto c = metrics::cumulativeSquare(acc, dt);
  if (scale == 0.0 || c.empty()) return std::nan("");
  return kPi / (2.0 * kGravity) * c.back() * scale * scale;
}

json perQuantity(const std::array<float, 3>& v) {
  return {{"acceleration", number(v[0])}, {"velocity", number(v[1])}, {"displacement", number(v[2])}};
}

}  // namespace

json measure(const Comparison& c) {
  const double dt = c.dt;
  const Windows o = windows(c.observed, c.ksm, c.kem);
  const Windows s = windows(c.synthetic, c.ksa, c.kea);
  const auto units = quantityUnits(c.unit);

  const auto periods = metrics::logSpaced(0.01, 10.0, kPeriods);
  const auto psaO = metrics::pseudoSpectralAcceleration(o.acc, dt, periods);
  const auto psaS = metrics::pseudoSpectralAcceleration(s.acc, dt, periods);
  std::vector<double> lnRatio(periods.size());
  for (std::size_t k = 0; k < periods.size(); ++k) lnRatio[k] = std::log(psaO[k] / psaS[k]);

  const auto frequencies = metrics::logSpaced(0.05, 0.5 / dt, kFrequencies);
  auto smoothed = [&](const std::vector<double>& acc) {
    if (metrics::peak(acc) == 0.0) return std::vector<double>(frequencies.size(), std::nan(""));
    return metrics::konnoOhmachi(metrics::fourierAmplitude(acc, dt), frequencies);
  };
  const auto fasO = smoothed(o.acc), fasS = smoothed(s.acc);

  const metrics::GoodnessOfFit gof =
      metrics::anderson(o.motion(), s.motion(), dt, periods, frequencies, fasO, fasS);

  json m;
  m["title"] = c.title;
  m["station"] = c.station;
  m["component"] = c.component;
  m["event"] = c.event;
  m["dt"] = dt;
  m["windows"] = {{"observed", {c.ksm, c.kem}}, {"synthetic", {c.ksa, c.kea}}};
  m["units"] = {{"acceleration", units[0]}, {"velocity", units[1]}, {"displacement", units[2]},
                {"arias_intensity", "m/s"}, {"fourier", units[1]}, {"duration", "s"}};
  m["model"] = {{"N", c.nx},     {"nx", c.nx},   {"nw", c.nw},   {"nt", c.nt},
                {"C", c.cfac},   {"vr", c.vr},   {"dx", c.dx},   {"dw", c.dw},
                {"tra", c.tra},  {"start_subfault", {c.nsx, c.nsw}}};
  auto peaks = [](const Windows& w) {
    return json{{"acceleration", number(metrics::peak(w.acc))},
                {"velocity", number(metrics::peak(w.vel))},
                {"displacement", number(metrics::peak(w.dis))}};
  };
  m["peak_observed"] = peaks(o);
  m["peak_synthetic"] = peaks(s);
  m["damping"] = metrics::kDamping;
  m["periods"] = numbers(periods);
  m["psa_observed"] = numbers(psaO);
  m["psa_synthetic"] = numbers(psaS);
  m["psa_ln_ratio"] = numbers(lnRatio);
  m["fourier_smoothing"] = {{"window", "Konno-Ohmachi"}, {"b", metrics::kKonnoOhmachiB}};
  m["fourier_frequencies"] = numbers(frequencies);
  m["fourier_observed"] = numbers(fasO);
  m["fourier_synthetic"] = numbers(fasS);
  const double scale = toMetres(c.unit);
  m["arias_intensity_observed"] = number(arias(o.acc, dt, scale));
  m["arias_intensity_synthetic"] = number(arias(s.acc, dt, scale));
  m["significant_duration_observed"] = number(metrics::significantDuration(o.acc, dt));
  m["significant_duration_synthetic"] = number(metrics::significantDuration(s.acc, dt));

  json bands = json::array();
  for (const auto& b : gof.bands) {
    bands.push_back({{"low", b.band.low}, {"high", b.band.high},
                     {"criteria", numbers({b.c.begin(), b.c.end()})}, {"score", number(b.score)}});
  }
  m["anderson"] = {{"criteria_names",
                    {"C1 Arias duration", "C2 energy duration", "C3 Arias intensity",
                     "C4 energy integral", "C5 peak acceleration", "C6 peak velocity",
                     "C7 peak displacement", "C8 response spectrum", "C9 Fourier spectrum",
                     "C10 cross correlation"}},
                   {"bands", bands},
                   {"criteria", numbers({gof.criteria.begin(), gof.criteria.end()})},
                   {"overall", number(gof.overall)}};
  m["residuals"] = perQuantity(c.residual);
  m["correlations"] = perQuantity(c.correlation);
  m["lags"] = {{"acceleration", c.lag[0]}, {"velocity", c.lag[1]}, {"displacement", c.lag[2]}};
  return m;
}

void writeReport(const std::filesystem::path& dir, const Comparison& c) {
  makeFolder(dir);
  const json m = measure(c);
  writeFile(dir, "metrics.json", m.dump(1) + "\n");
  drawReport(dir / "report.pdf", c, m);
  drawReport(dir / "report.svg", c, m);
}

}  // namespace report
