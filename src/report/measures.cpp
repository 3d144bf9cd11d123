// The measures of observed and synthetic motion over the compared windows,
// and metrics.json.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "metrics/metrics.hpp"
#include "report/files.hpp"
#include "report/report.hpp"
#include "synthesis/synthesis.hpp"

namespace report {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kGravity = 9.80665;  // m/s/s
constexpr int kPeriods = 100;         // 0.01 .. 10 s
constexpr int kFrequencies = 100;     // 0.05 Hz .. the Nyquist frequency
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

using nlohmann::json;

json number(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

json numbers(std::span<const double> v) {
  json a = json::array();
  for (double x : v) a.push_back(number(x));
  return a;
}

// The decimal a single-precision value stands for: the double nearest to
// its shortest text, so that 0.01f is measured and written as 0.01.
double decimal(float v) {
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  double d = v;
  std::from_chars(buf, end, d);
  return d;
}

// Samples first..last (from 1) of x, cut to the series, widened to double.
std::vector<double> window(std::span<const float> x, int first, int last) {
  const long lo = std::max(first, 1), hi = std::min<long>(last, static_cast<long>(x.size()));
  std::vector<double> w;
  for (long k = lo; k <= hi; ++k) w.push_back(x[static_cast<std::size_t>(k - 1)]);
  return w;
}

struct Windows {
  std::array<std::vector<double>, 3> q;  // acceleration, velocity, displacement
};

Windows windows(const model::MotionView& m, int first, int last) {
  return {{window(m.acc, first, last), window(m.vel, first, last), window(m.disp, first, last)}};
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
  if (scale == 0.0 || c.empty()) return kNaN;
  return kPi / (2.0 * kGravity) * c.back() * scale * scale;
}

std::vector<double> smoothedSpectrum(const std::vector<double>& acc, double dt,
                                     const std::vector<double>& frequencies) {
  if (metrics::peak(acc) == 0.0) return std::vector<double>(frequencies.size(), kNaN);
  return metrics::konnoOhmachi(metrics::fourierAmplitude(acc, dt), frequencies);
}

json perQuantity(const std::array<float, 3>& v) {
  return {{"acceleration", number(v[0])}, {"velocity", number(v[1])}, {"displacement", number(v[2])}};
}

json perQuantity(const std::array<double, 3>& v) {
  return {{"acceleration", number(v[0])}, {"velocity", number(v[1])}, {"displacement", number(v[2])}};
}

json summary(const metrics::ScoreSummary& s) {
  return {{"score", number(s.score)}, {"criteria", numbers(s.criteria)}, {"bands", s.bands}};
}

std::string formatted(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

std::string filterText(const RunView::Filter& f) {
  if (!f.requested) return "none";
  if (f.refused) return "none (the design was refused)";
  const metrics::Band b = passBand(f);
  if (b.low == 0.0) return "low pass below " + formatted("%g", b.high) + " Hz";
  return "band pass " + formatted("%g", b.low) + "-" + formatted("%g", b.high) + " Hz";
}

const char* ruptureText(int ird) { return ird == 1 ? "along strike" : ird == 2 ? "radial" : "unknown"; }

const char* radiationText(int ipfm) {
  return ipfm == 1 ? "ratio of coefficients" : ipfm == 2 ? "sign only" : "none";
}

json areasJson(const RunView& c) {
  json list = json::array();
  double total = 0;
  for (const RunView::Area& a : c.areas) {
    const double dx = decimal(a.dx), dw = decimal(a.dw), tra = decimal(a.tra), cfac = decimal(a.cfac);
    total += cfac * a.nx * a.nw * a.nt;
    list.push_back({{"N", a.nx},
                    {"C", cfac},
                    {"vr", decimal(a.vr)},
                    {"dx", dx},
                    {"dw", dw},
                    {"tra", tra},
                    {"start_subfault", {a.nsx, a.nsw}},
                    {"start_km", {a.x, a.w}},
                    {"onset_s", a.onset},
                    {"length_km", a.nx * dx},
                    {"width_km", a.nw * dw},
                    {"rise_time_s", a.nt * tra},
                    {"moment_ratio", cfac * a.nx * a.nw * a.nt}});
  }
  return {{"smgas", list}, {"ird", c.ird}, {"ipfm", c.ipfm}, {"moment_ratio", total}};
}

json modelJson(const RunView& c) {
  if (!c.areas.empty()) return areasJson(c);
  return {{"N", c.nx},
          {"nx", c.nx},
          {"nw", c.nw},
          {"nt", c.nt},
          {"C", decimal(c.cfac)},
          {"vr", decimal(c.vr)},
          {"dx", decimal(c.dx)},
          {"dw", decimal(c.dw)},
          {"tra", decimal(c.tra)},
          {"start_subfault", {c.nsx, c.nsw}},
          {"ird", c.ird},
          {"ipfm", c.ipfm},
          {"fault_length_km", c.nx * decimal(c.dx)},
          {"fault_width_km", c.nw * decimal(c.dw)},
          {"rise_time_s", c.nt * decimal(c.tra)},
          {"moment_ratio", decimal(c.cfac) * c.nx * c.nw * c.nt}};
}

}  // namespace

metrics::Band passBand(const RunView::Filter& f) {
  if (!f.requested || f.refused) return {0.0, kInfinity};
  const double fl = decimal(f.fl), fh = decimal(f.fh);
  if (fl == 0.0) return {0.0, fh};
  return {std::min(fl, fh), std::max(fl, fh)};
}

namespace {

// One line per SMGA, then the rupture, moment, radiation and filter (one
// line that fits the page's width).
std::vector<std::string> areaLines(const RunView& c) {
  std::vector<std::string> lines;
  double total = 0;
  for (std::size_t k = 0; k < c.areas.size(); ++k) {
    const RunView::Area& a = c.areas[k];
    const double dx = decimal(a.dx), dw = decimal(a.dw), tra = decimal(a.tra), cfac = decimal(a.cfac);
    total += cfac * a.nx * a.nw * a.nt;
    char line[300];
    std::snprintf(line, sizeof line,
                  "SMGA %zu: %.4g × %.4g km, N %d, rise time %.4g s, C %g (C N³ %.4g); from subfault "
                  "(%d, %d) at %.3g, %.3g km, %.3g s, %g km/s",
                  k + 1, a.nx * dx, a.nw * dw, a.nx, a.nt * tra, cfac, cfac * a.nx * a.nw * a.nt, a.nsx,
                  a.nsw, a.x, a.w, a.onset, decimal(a.vr));
    lines.push_back(line);
  }
  char rupture[300];
  std::snprintf(rupture, sizeof rupture,
                "Rupture %s; total C N³ %.4g (the target's moment over the element's); radiation: %s "
                "(ipfm %d); filter: %s",
                ruptureText(c.ird), total, radiationText(c.ipfm), c.ipfm, filterText(c.filter).c_str());
  lines.push_back(rupture);
  return lines;
}

}  // namespace

std::vector<std::string> modelLines(const RunView& c) {
  if (!c.areas.empty()) return areaLines(c);
  const double dx = decimal(c.dx), dw = decimal(c.dw), tra = decimal(c.tra), cfac = decimal(c.cfac);
  char source[200], rupture[200], scaling[200];
  std::snprintf(source, sizeof source,
                "Source: fault %.4g × %.4g km, %d × %d subfaults of %g × %g km; "
                "rise time %.4g s (nt %d × tra %g s)",
                c.nx * dx, c.nw * dw, c.nx, c.nw, dx, dw, c.nt * tra, c.nt, tra);
  std::snprintf(rupture, sizeof rupture,
                "Rupture %g km/s, %s, from subfault (%d, %d); radiation correction: %s (ipfm %d); filter: %s",
                decimal(c.vr), ruptureText(c.ird), c.nsx, c.nsw, radiationText(c.ipfm), c.ipfm,
                filterText(c.filter).c_str());
  std::snprintf(scaling, sizeof scaling,
                "C = %g; C N³ = C nx nw nt = %.4g, the ratio of the target's seismic moment to the element's",
                cfac, cfac * c.nx * c.nw * c.nt);
  return {source, rupture, scaling};
}

std::vector<double> spectrumPeriods() { return metrics::logSpaced(0.01, 10.0, kPeriods); }

Measures measure(const RunView& c) {
  Measures m;
  const double dt = m.dt = decimal(c.dt);
  const Windows o = windows(c.observed, c.ksm, c.kem);
  const Windows s = windows(c.synthetic, c.ksa, c.kea);
  const auto& accO = o.q[0];
  const auto& accS = s.q[0];
  for (std::size_t q = 0; q < 3; ++q) {
    m.peakObserved[q] = metrics::peak(o.q[q]);
    m.peakSynthetic[q] = metrics::peak(s.q[q]);
  }

  m.periods = spectrumPeriods();
  m.psaObserved = metrics::pseudoSpectralAcceleration(accO, dt, m.periods);
  m.psaSynthetic = metrics::pseudoSpectralAcceleration(accS, dt, m.periods);
  m.psaLnRatio.resize(m.periods.size());
  for (std::size_t k = 0; k < m.periods.size(); ++k)
    m.psaLnRatio[k] = std::log(m.psaObserved[k] / m.psaSynthetic[k]);

  m.frequencies = metrics::logSpaced(0.05, 0.5 / dt, kFrequencies);
  m.fourierObserved = smoothedSpectrum(accO, dt, m.frequencies);
  m.fourierSynthetic = smoothedSpectrum(accS, dt, m.frequencies);

  const double scale = toMetres(c.unit);
  m.ariasObserved = arias(accO, dt, scale);
  m.ariasSynthetic = arias(accS, dt, scale);
  m.durationObserved = metrics::significantDuration(accO, dt);
  m.durationSynthetic = metrics::significantDuration(accS, dt);

  m.passBand = passBand(c.filter);
  m.anderson = metrics::anderson(accO, accS, dt, m.passBand, m.periods, m.frequencies, m.fourierObserved,
                                 m.fourierSynthetic);
  return m;
}

json metricsJson(const RunView& c, const Measures& m) {
  const auto units = quantityUnits(c.unit);
  json j;
  j["title"] = c.title;
  j["station"] = c.station;
  j["component"] = c.component;
  j["event"] = c.event;
  j["dt"] = m.dt;
  j["windows"] = {{"observed", {c.ksm, c.kem}}, {"synthetic", {c.ksa, c.kea}}};
  j["units"] = {{"acceleration", units[0]}, {"velocity", units[1]}, {"displacement", units[2]},
                {"arias_intensity", "m/s"}, {"fourier", units[1]}, {"duration", "s"}};
  j["model"] = modelJson(c);
  j["filter"] = {{"text", filterText(c.filter)},
                 {"pass_band", std::isfinite(m.passBand.high) ? json{m.passBand.low, m.passBand.high}
                                                              : json(nullptr)}};
  j["peak_observed"] = perQuantity(m.peakObserved);
  j["peak_synthetic"] = perQuantity(m.peakSynthetic);
  j["damping"] = metrics::kDamping;
  j["periods"] = numbers(m.periods);
  j["psa_observed"] = numbers(m.psaObserved);
  j["psa_synthetic"] = numbers(m.psaSynthetic);
  j["psa_ln_ratio"] = numbers(m.psaLnRatio);
  j["fourier_smoothing"] = {{"window", "Konno-Ohmachi"}, {"b", metrics::kKonnoOhmachiB}};
  j["fourier_frequencies"] = numbers(m.frequencies);
  j["fourier_observed"] = numbers(m.fourierObserved);
  j["fourier_synthetic"] = numbers(m.fourierSynthetic);
  j["arias_intensity_observed"] = number(m.ariasObserved);
  j["arias_intensity_synthetic"] = number(m.ariasSynthetic);
  j["significant_duration_observed"] = number(m.durationObserved);
  j["significant_duration_synthetic"] = number(m.durationSynthetic);

  json bands = json::array();
  for (const auto& b : m.anderson.bands) {
    bands.push_back({{"low", b.band.low}, {"high", b.band.high}, {"in_pass_band", b.inPassBand},
                     {"criteria", numbers(b.c)}, {"score", number(b.score)}});
  }
  j["anderson"] = {{"criteria_names",
                    {"C1 Arias duration", "C2 energy duration", "C3 Arias intensity",
                     "C4 energy integral", "C5 peak acceleration", "C6 peak velocity",
                     "C7 peak displacement", "C8 response spectrum", "C9 Fourier spectrum",
                     "C10 cross correlation"}},
                   {"bands", bands},
                   {"pass_band", summary(m.anderson.passBand)},
                   {"all_bands", summary(m.anderson.allBands)}};
  j["residuals"] = perQuantity(std::array{c.fits[0].res, c.fits[1].res, c.fits[2].res});
  j["correlations"] = perQuantity(std::array{c.fits[0].cor, c.fits[1].cor, c.fits[2].cor});
  j["lags"] = {{"acceleration", c.fits[0].lag}, {"velocity", c.fits[1].lag}, {"displacement", c.fits[2].lag}};
  j["comparison"] = {{"samples", synthesis::kWindow},
                     {"observed_first", c.ksm + 1},
                     {"synthetic_first", c.ksa + 1},
                     {"lag_range", {-synthesis::kMaxLag, synthesis::kMaxLag}}};
  j["flags"] = json::array();
  for (const Flag& f : comparisonFlags(c)) j["flags"].push_back(flagText(f, c, false));
  if (c.search) {
    const RunView::SearchFit& f = *c.search;
    j["search"] = {{"samples", f.length},
                   {"observed_first", c.ksm},
                   {"synthetic_first", c.ksa},
                   {"shift_samples", f.shift},
                   {"residuals", perQuantity(f.residual)},
                   {"correlations", perQuantity(f.correlation)}};
    if (f.spectra) {
      const SearchSpectra& sp = *f.spectra;
      auto scores = [](const SpectralScores& v) {
        return json{{"anderson", number(v.anderson)},
                    {"anderson_bands", v.bands},
                    {"psa_bias_mean", number(v.biasMean)},
                    {"psa_bias_rms", number(v.biasRms)}};
      };
      j["search"]["spectral_fit"] = {{"periods", {{"from", sp.from}, {"to", sp.to}, {"count", sp.periods}}},
                                     {"best", scores(sp.best)},
                                     {"start", scores(sp.start)}};
    }
  }
  return j;
}

std::vector<Flag> comparisonFlags(const RunView& c) {
  std::vector<Flag> flags;
  for (int q = 0; q < 3; ++q) {
    const auto k = static_cast<std::size_t>(q);
    if (std::abs(c.fits[k].lag) == synthesis::kMaxLag) flags.push_back({Flag::LagAtEdge, q});
    if (!(c.fits[k].cor > 0.0f)) flags.push_back({Flag::NoPositiveCorrelation, q});
    if (c.search && c.search->correlation[k] < 0.0) flags.push_back({Flag::OppositePolarity, q});
  }
  return flags;
}

std::string flagText(const Flag& f, const RunView& c, bool brief) {
  static const char* const names[3] = {"acceleration", "velocity", "displacement"};
  static const char* const short_[3] = {"acc.", "vel.", "dis."};
  const auto q = static_cast<std::size_t>(f.quantity);
  const std::string name = brief ? short_[q] : names[q];
  const std::string range = "+-" + std::to_string(synthesis::kMaxLag);
  switch (f.kind) {
    case Flag::LagAtEdge:
      return brief ? name + " lag " + std::to_string(c.fits[q].lag) + " at the edge of " + range
                   : name + ": egfsim's lag " + std::to_string(c.fits[q].lag) + " is at the edge of the lags it tries (" +
                         range + " samples); the best match may lie beyond";
    case Flag::NoPositiveCorrelation:
      return brief ? name + " no positive correlation at any lag"
                   : name + ": no lag gives egfsim a positive correlation; its lag and residual are not this "
                            "quantity's";
    case Flag::OppositePolarity: {
      char text[32];
      std::snprintf(text, sizeof text, "%.3f", c.search ? c.search->correlation[q] : 0.0);
      return brief ? name + " search correlation " + text + " < 0: opposite polarity"
                   : name + ": the search's correlation " + text +
                         " is below 0: opposite polarity at the common shift";
    }
  }
  return name;
}

void writeReport(const std::filesystem::path& dir, const RunView& c) {
  makeFolder(dir);
  const Measures m = measure(c);
  // The station and titles come from the records as written: bytes that are
  // not UTF-8 become U+FFFD rather than stopping the JSON writer.
  writeFile(dir, "metrics.json",
            metricsJson(c, m).dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  drawReport(dir / "report.pdf", c, m);
  drawReport(dir / "report.svg", c, m);
}

}  // namespace report
