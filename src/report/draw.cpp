// The report page, A4 portrait, drawn with cairo into PDF or SVG: a text
// block, the three waveforms of observed and synthetic motion overlaid, the
// smoothed Fourier spectra, the response spectra and their log ratio.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include "report/report.hpp"

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer: fontconfig, which cairo's text goes through, keeps
// a few process-wide objects it never frees; they are its own, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace report {
namespace {

constexpr double kPageWidth = 595.28, kPageHeight = 841.89;  // A4 in points
constexpr double kLeft = 72, kRight = 560;
constexpr double kWaveformsTop = 232, kWaveformHeight = 82;  // unless the text block reaches them
struct Colour {
  double r, g, b;
};
constexpr Colour kObserved{0, 0, 0}, kSynthetic{0.80, 0.10, 0.10}, kGrey{0.6, 0.6, 0.6};

std::string format(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

std::string value(double v, const char* fmt) { return std::isfinite(v) ? format(fmt, v) : std::string("-"); }

void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool bold = false,
          double align = 0.0, double angle = 0.0) {
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr, s.c_str(), &e);
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_rotate(cr, angle);
  cairo_move_to(cr, -align * e.x_advance, 0);
  cairo_show_text(cr, s.c_str());
  cairo_restore(cr);
}

// A rectangle of the page with a linear or logarithmic scale on each axis.
struct Frame {
  double x0, y0, w, h;  // page points, y0 the top
  double xmin, xmax, ymin, ymax;
  bool xlog, ylog;

  double px(double x) const {
    const double f = xlog ? std::log10(x / xmin) / std::log10(xmax / xmin) : (x - xmin) / (xmax - xmin);
    return x0 + f * w;
  }
  double py(double y) const {
    const double f = ylog ? std::log10(y / ymin) / std::log10(ymax / ymin) : (y - ymin) / (ymax - ymin);
    return y0 + h - f * h;
  }
  bool usable(double x, double y) const {
    return std::isfinite(x) && std::isfinite(y) && (!xlog || x > 0) && (!ylog || y > 0);
  }
};

// Tick values: decades on a log axis, 1-2-5 steps (about five) on a linear one.
std::vector<double> ticks(double lo, double hi, bool log) {
  std::vector<double> t;
  if (log) {
    for (double d = std::pow(10.0, std::floor(std::log10(lo) + 1e-9)); d <= hi * 1.0001; d *= 10)
      if (d >= lo * 0.9999) t.push_back(d);
    return t;
  }
  const double raw = (hi - lo) / 5.0;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  const double step = raw / mag < 1.5 ? mag : raw / mag < 3.5 ? 2 * mag : raw / mag < 7.5 ? 5 * mag : 10 * mag;
  for (double v = std::ceil(lo / step - 1e-9) * step; v <= hi + 1e-9 * step; v += step)
    t.push_back(std::fabs(v) < 1e-12 * step ? 0.0 : v);
  return t;
}

std::string tickText(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

void drawFrame(cairo_t* cr, const Frame& f, const std::string& xlabel, const std::string& ylabel,
               bool xnumbers = true) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 0.6);
  cairo_rectangle(cr, f.x0, f.y0, f.w, f.h);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 0.4);
  for (double x : ticks(f.xmin, f.xmax, f.xlog)) {
    const double p = f.px(x);
    cairo_move_to(cr, p, f.y0 + f.h);
    cairo_line_to(cr, p, f.y0 + f.h - 3);
    cairo_stroke(cr);
    if (xnumbers) text(cr, p, f.y0 + f.h + 9, tickText(x), 7, false, 0.5);
  }
  for (double y : ticks(f.ymin, f.ymax, f.ylog)) {
    const double p = f.py(y);
    cairo_move_to(cr, f.x0, p);
    cairo_line_to(cr, f.x0 + 3, p);
    cairo_stroke(cr);
    text(cr, f.x0 - 2, p + 2.5, tickText(y), 7, false, 1.0);
  }
  if (!xlabel.empty()) text(cr, f.x0 + f.w / 2, f.y0 + f.h + 19, xlabel, 8, false, 0.5);
  if (!ylabel.empty()) text(cr, f.x0 - 30, f.y0 + f.h / 2, ylabel, 8, false, 0.5, -M_PI / 2);
}

void curve(cairo_t* cr, const Frame& f, const std::vector<double>& x, const std::vector<double>& y,
           Colour c, double width) {
  cairo_save(cr);
  cairo_rectangle(cr, f.x0, f.y0, f.w, f.h);
  cairo_clip(cr);
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
  cairo_set_line_width(cr, width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  bool pen = false;
  for (std::size_t k = 0; k < std::min(x.size(), y.size()); ++k) {
    if (!f.usable(x[k], y[k])) {
      pen = false;
      continue;
    }
    if (pen) cairo_line_to(cr, f.px(x[k]), f.py(y[k]));
    else cairo_move_to(cr, f.px(x[k]), f.py(y[k]));
    pen = true;
  }
  cairo_stroke(cr);
  cairo_restore(cr);
}

// Range of the positive finite values, widened to whole decades and cut to
// at most `decades` below the top.
std::pair<double, double> logRange(const std::vector<std::vector<double>>& sets, double decades) {
  double lo = INFINITY, hi = 0;
  for (const auto& s : sets)
    for (double v : s)
      if (std::isfinite(v) && v > 0) lo = std::min(lo, v), hi = std::max(hi, v);
  if (!(hi > 0)) return {0.1, 1.0};
  hi = std::pow(10.0, std::ceil(std::log10(hi) - 1e-9));
  lo = std::max(std::pow(10.0, std::floor(std::log10(lo) + 1e-9)), hi / std::pow(10.0, decades));
  if (lo >= hi) lo = hi / 10;
  return {lo, hi};
}

std::vector<double> window(std::span<const float> x, int first, int last) {
  std::vector<double> w;
  for (long k = std::max(first, 1); k <= std::min<long>(last, static_cast<long>(x.size())); ++k)
    w.push_back(x[static_cast<std::size_t>(k - 1)]);
  return w;
}

// The two line styles and their names, 136 points wide from x, on the
// baseline y, without a background, so that it hides no curve.
constexpr double kLegendWidth = 136;
void legend(cairo_t* cr, double x, double y) {
  const std::pair<const char*, Colour> items[] = {{"observed", kObserved}, {"synthetic", kSynthetic}};
  for (const auto& [name, c] : items) {
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    cairo_set_line_width(cr, 1.2);
    cairo_move_to(cr, x, y - 3);
    cairo_line_to(cr, x + 16, y - 3);
    cairo_stroke(cr);
    text(cr, x + 20, y, name, 8);
    x += 70;
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
}

const char* verdict(double s) {
  if (!std::isfinite(s)) return "undefined";
  return s < 4 ? "poor" : s < 6 ? "fair" : s < 8 ? "good" : "excellent";
}

std::string bandText(metrics::Band b) { return tickText(b.low) + "-" + tickText(b.high) + " Hz"; }

// The headline: the score over the bands within the filter's pass band
// (over every band for a run without a filter).
std::string andersonHeadline(const Measures& m) {
  const metrics::ScoreSummary& pass = m.anderson.passBand;
  const std::string s = "Anderson (2004) goodness of fit ";
  if (!std::isfinite(m.passBand.high))
    return s + value(pass.score, "%.2f") + " of 10 (" + verdict(pass.score) + ") over all " +
           std::to_string(pass.bands) + " bands (the run is not filtered)";
  if (pass.bands == 0) return s + "undefined: no band lies within the filter's " + bandText(m.passBand);
  return s + value(pass.score, "%.2f") + " of 10 (" + verdict(pass.score) + ") over the " +
         std::to_string(pass.bands) + " bands within the filter's " + bandText(m.passBand);
}

// The line under it: the score over every band, introducing the bands' scores.
std::string allBandsLine(const Measures& m) {
  const metrics::ScoreSummary& all = m.anderson.allBands;
  if (!std::isfinite(m.passBand.high)) return "band scores (Hz):";
  std::string s = value(all.score, "%.2f") + " over all " + std::to_string(all.bands) + " bands";
  if (!m.anderson.bands.empty()) s += " up to " + tickText(m.anderson.bands.back().band.high) + " Hz";
  return s + "; band scores (Hz), in parentheses those outside the pass band:";
}

// The search's spectral fit of the best and the starting model, as a small
// table from the baseline y, what it measures beside it; returns the
// baseline of its last row.
double searchSpectraTable(cairo_t* cr, const SearchSpectra& s, double x, double y) {
  const double col[] = {x, x + 70, x + 124, x + 160, x + 235, x + 310};
  const std::string notes[] = {
      "the search's, each model at its own common shift;", "Anderson over the bands within the filter;",
      "bias ln(PSA obs./syn.), " + std::to_string(s.periods) + " periods " + tickText(s.from) + "-" + tickText(s.to) +
          " s"};
  const char* heads[] = {"spectral fit", "Anderson", "bands", "PSA bias mean", "PSA bias RMS"};
  for (int k = 0; k < 5; ++k) text(cr, col[k], y, heads[k], 8, true);
  text(cr, col[5], y, notes[0], 7);
  int row = 0;
  for (const auto& [name, v] : {std::pair{"best model", &s.best}, {"starting model", &s.start}}) {
    y += 10.5;
    const std::string cells[] = {name, value(v->anderson, "%.2f"),
                                 std::isfinite(v->anderson) ? std::to_string(v->bands) : "",
                                 value(v->biasMean, "%+.3f"), value(v->biasRms, "%.3f")};
    for (int k = 0; k < 5; ++k) text(cr, col[k], y, cells[k], 8);
    text(cr, col[5], y, notes[++row], 7);
  }
  return y;
}

// Returns the baseline of the block's last line.
double textBlock(cairo_t* cr, const RunView& c, const Measures& m) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  const double x = kLeft - 30;
  double y = 40;
  text(cr, x, y, "Observed and synthetic motion: " + c.title, 14, true);
  y += 15;
  text(cr, x, y,
       "station " + c.station + "    component " + c.component + "    event " + c.event + "    dt " +
           format("%g s", m.dt),
       9);
  y += 1;
  for (const std::string& line : modelLines(c)) {
    y += 11;
    text(cr, x, y, line, 8);
  }
  y += 15;
  // A small table per quantity: the search's comparison (when the run is a
  // search's best model), egfsim's own and the peaks, each group labelled
  // with its window and lag; then what deserves a second look.
  const auto units = quantityUnits(c.unit);
  const char* names[3] = {"acceleration", "velocity", "displacement"};
  const double col[] = {x, x + 70, x + 124, x + 196, x + 248, x + 302, x + 338, x + 418};
  if (c.search)
    text(cr, col[1], y, "search: shift " + std::to_string(c.search->shift) + ", " +
                            std::to_string(c.search->length) + " samples", 7);
  text(cr, col[3], y, "egfsim: 800 samples, best lag within +-200", 7);
  y += 10;
  const char* heads[] = {"", "residual", "correlation", "residual", "correlation", "lag", "peak observed",
                         "peak synthetic"};
  for (int k = 0; k < 8; ++k) text(cr, col[k], y, heads[k], 8, true);
  for (std::size_t q = 0; q < 3; ++q) {
    y += 10.5;
    const std::string unit = " " + units[q];
    const std::string cells[] = {names[q],
                                 c.search ? value(c.search->residual[q], "%.3g") : "",
                                 c.search ? value(c.search->correlation[q], "%.3f") : "",
                                 value(c.fits[q].res, "%.3g"),
                                 value(c.fits[q].cor, "%.3f"),
                                 std::to_string(c.fits[q].lag),
                                 value(m.peakObserved[q], "%.4g") + unit,
                                 value(m.peakSynthetic[q], "%.4g") + unit};
    for (int k = 0; k < 8; ++k) text(cr, col[k], y, cells[k], 8);
  }
  y += 10.5;
  std::string check;
  for (const Flag& f : comparisonFlags(c)) check += (check.empty() ? "Check: " : "; ") + flagText(f, c, true);
  cairo_set_source_rgb(cr, kSynthetic.r, kSynthetic.g, kSynthetic.b);
  text(cr, x, y, check, 7);
  cairo_set_source_rgb(cr, 0, 0, 0);
  y += 13;
  text(cr, x, y, andersonHeadline(m), 9, true);
  y += 11;
  text(cr, x, y, allBandsLine(m), 8);
  y += 11;
  std::string bands;
  for (const auto& b : m.anderson.bands) {
    const std::string item =
        tickText(b.band.low) + "-" + tickText(b.band.high) + " " + value(b.score, "%.1f");
    bands += (bands.empty() ? "" : "   ") + (b.inPassBand ? item : "(" + item + ")");
  }
  text(cr, x, y, bands, 8);
  y += 11;
  std::string crit = std::isfinite(m.passBand.high) ? "criteria within the pass band:" : "criteria:";
  for (std::size_t k = 0; k < m.anderson.passBand.criteria.size(); ++k)
    crit += "   C" + std::to_string(k + 1) + " " + value(m.anderson.passBand.criteria[k], "%.1f");
  text(cr, x, y, crit, 8);
  y += 11;
  char line[320];
  std::snprintf(line, sizeof line,
                "Arias intensity observed %s, synthetic %s m/s    5-95%% significant duration observed %s, "
                "synthetic %s s",
                value(m.ariasObserved, "%.3g").c_str(), value(m.ariasSynthetic, "%.3g").c_str(),
                value(m.durationObserved, "%.3g").c_str(), value(m.durationSynthetic, "%.3g").c_str());
  text(cr, x, y, line, 8);
  if (c.search && c.search->spectra) y = searchSpectraTable(cr, *c.search->spectra, x, y + 13);
  return y;
}

// The three waveform panels from `top` down to the same bottom edge
// whatever the text block above them took.
void waveforms(cairo_t* cr, const RunView& c, double top) {
  const char* names[3] = {"acceleration", "velocity", "displacement"};
  const auto units = quantityUnits(c.unit);
  const double gap = 14, bottom = kWaveformsTop + 3 * kWaveformHeight + 2 * gap;
  const double height = (bottom - top - 2 * gap) / 3;
  for (int q = 0; q < 3; ++q) {
    auto pick = [q](const model::MotionView& mo) { return mo[q]; };
    const auto o = window(pick(c.observed), c.ksm, c.kem);
    const auto s = window(pick(c.synthetic), c.ksa, c.kea);
    double amp = 0;
    for (double v : o) amp = std::max(amp, std::fabs(v));
    for (double v : s) amp = std::max(amp, std::fabs(v));
    if (!(amp > 0) || !std::isfinite(amp)) amp = 1;
    const double length = std::max<double>(std::max(o.size(), s.size()), 2) - 1;
    const Frame f{kLeft, top + q * (height + gap), kRight - kLeft, height, 0, length * c.dt, -1.1 * amp, 1.1 * amp,
                  false, false};
    drawFrame(cr, f, q == 2 ? "time from the start of each window (s)" : "",
              names[q] + std::string(" (") + units[static_cast<std::size_t>(q)] + ")");
    cairo_set_source_rgb(cr, kGrey.r, kGrey.g, kGrey.b);
    cairo_set_line_width(cr, 0.3);
    cairo_move_to(cr, f.x0, f.py(0));
    cairo_line_to(cr, f.x0 + f.w, f.py(0));
    cairo_stroke(cr);
    auto times = [&](std::size_t n) {
      std::vector<double> t(n);
      for (std::size_t k = 0; k < n; ++k) t[k] = static_cast<double>(k) * c.dt;
      return t;
    };
    curve(cr, f, times(o.size()), o, kObserved, 0.5);
    curve(cr, f, times(s.size()), s, kSynthetic, 0.5);
    if (q == 0) legend(cr, f.x0 + f.w - kLegendWidth, f.y0 - 4);  // above the frame: no trace under it
  }
}

void spectra(cairo_t* cr, const RunView& c, const Measures& m, double top) {
  const auto units = quantityUnits(c.unit);
  const auto& freq = m.frequencies;
  const auto [flo, fhi] = logRange({m.fourierObserved, m.fourierSynthetic}, 5);
  const Frame fourier{kLeft, top, 215, 235, freq.front(), freq.back(), flo, fhi, true, true};
  drawFrame(cr, fourier, "frequency (Hz)", "Fourier amplitude (" + units[1] + ")");
  curve(cr, fourier, freq, m.fourierObserved, kObserved, 0.9);
  curve(cr, fourier, freq, m.fourierSynthetic, kSynthetic, 0.9);
  text(cr, fourier.x0 + 4, fourier.y0 - 4, "Fourier spectra of acceleration, Konno-Ohmachi b = 40", 7.5);
  // Bottom left: a record's spectrum reaches the lowest decade of the axis
  // only where it has fallen off, towards the Nyquist frequency.
  legend(cr, fourier.x0 + 6, fourier.y0 + fourier.h - 6);

  const auto& periods = m.periods;
  const auto& po = m.psaObserved;
  const auto& ps = m.psaSynthetic;
  const auto [plo, phi] = logRange({po, ps}, 4);
  const double x0 = kLeft + 265, w = kRight - x0;
  const Frame psa{x0, top, w, 145, periods.front(), periods.back(), plo, phi, true, true};
  drawFrame(cr, psa, "", "PSA (" + units[0] + ")", false);
  curve(cr, psa, periods, po, kObserved, 0.9);
  curve(cr, psa, periods, ps, kSynthetic, 0.9);
  text(cr, psa.x0 + 4, psa.y0 - 4, "5%-damped pseudo-spectral acceleration", 7.5);

  const auto& ratio = m.psaLnRatio;
  double r = 1;
  for (double v : ratio)
    if (std::isfinite(v)) r = std::max(r, std::fabs(v));
  r = std::ceil(r);
  const Frame ln{x0, top + 155, w, 80, periods.front(), periods.back(), -r, r, true, false};
  drawFrame(cr, ln, "period (s)", "ln(obs./syn.)");
  cairo_set_source_rgb(cr, kGrey.r, kGrey.g, kGrey.b);
  cairo_set_line_width(cr, 0.6);
  cairo_move_to(cr, ln.x0, ln.py(0));
  cairo_line_to(cr, ln.x0 + ln.w, ln.py(0));
  cairo_stroke(cr);
  curve(cr, ln, periods, ratio, {0.1, 0.3, 0.8}, 0.9);
}

// The percentiles' band shaded between the 16th and 84th, the median and
// the given model's spectrum drawn over it.
void spreadFigure(cairo_t* cr, const Spread& s, const Predicted& given, const std::string& title,
                  const std::string& unit, double width, double height) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  text(cr, 60, 28, title, 11, true);
  const auto [lo, hi] = logRange({s.psa[0], s.psa[2], given.psa}, 4);
  const Frame f{70, 45, width - 100, height - 100, s.periods.front(), s.periods.back(), lo, hi, true, true};
  drawFrame(cr, f, "period (s)", "PSA, 5% damped (" + quantityUnits(unit)[0] + ")");
  cairo_save(cr);
  cairo_rectangle(cr, f.x0, f.y0, f.w, f.h);
  cairo_clip(cr);
  bool started = false;
  for (std::size_t k = 0; k < s.periods.size(); ++k) {
    if (!f.usable(s.periods[k], s.psa[2][k])) continue;
    if (started) cairo_line_to(cr, f.px(s.periods[k]), f.py(s.psa[2][k]));
    else cairo_move_to(cr, f.px(s.periods[k]), f.py(s.psa[2][k]));
    started = true;
  }
  for (std::size_t k = s.periods.size(); k-- > 0;)
    if (f.usable(s.periods[k], s.psa[0][k])) cairo_line_to(cr, f.px(s.periods[k]), f.py(s.psa[0][k]));
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.80, 0.86, 0.95);
  if (started) cairo_fill(cr);
  cairo_new_path(cr);
  cairo_restore(cr);
  curve(cr, f, s.periods, s.psa[1], {0.1, 0.3, 0.8}, 1.4);
  curve(cr, f, s.periods, given.psa, kSynthetic, 0.9);
  drawFrame(cr, f, "", "", false);
  const double x = f.x0 + 8, y = f.y0 + f.h - 10;
  const std::pair<std::string, Colour> items[] = {
      {"median of " + std::to_string(s.models) + " models", {0.1, 0.3, 0.8}}, {"the given model", kSynthetic}};
  double at = x;
  cairo_set_source_rgb(cr, 0.80, 0.86, 0.95);
  cairo_rectangle(cr, at, y - 7, 16, 7);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  text(cr, at + 20, y, "16th to 84th percentile", 8);
  at += 125;
  for (const auto& [name, c] : items) {
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    cairo_set_line_width(cr, 1.2);
    cairo_move_to(cr, at, y - 3);
    cairo_line_to(cr, at + 16, y - 3);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    text(cr, at + 20, y, name, 8);
    at += 130;
  }
}

void finish(cairo_surface_t* surface, const std::filesystem::path& file) {
  cairo_surface_finish(surface);
  const cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS)
    throw WriteError("cannot write " + file.string() + " in the folder " + file.parent_path().string() + ": " +
                     cairo_status_to_string(status) + "; give a folder you may write to");
}

}  // namespace

void drawSpread(const std::filesystem::path& file, const Spread& s, const Predicted& given,
                const std::string& title, const std::string& unit) {
  const double w = 640, h = 480;
  const std::string name = file.string();
  const std::string ext = file.extension().string();
  cairo_surface_t* surface = ext == ".png"   ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, 640, 480)
                             : ext == ".svg" ? cairo_svg_surface_create(name.c_str(), w, h)
                                             : cairo_pdf_surface_create(name.c_str(), w, h);
  cairo_t* cr = cairo_create(surface);
  spreadFigure(cr, s, given, title, unit, w, h);
  cairo_show_page(cr);
  cairo_destroy(cr);
  if (ext == ".png" && cairo_surface_write_to_png(surface, name.c_str()) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    throw WriteError("cannot write " + name + " in the folder " + file.parent_path().string() +
                     "; give a folder you may write to");
  }
  finish(surface, file);
}

void drawReport(const std::filesystem::path& file, const RunView& c, const Measures& m) {
  const std::string name = file.string();
  cairo_surface_t* surface = file.extension() == ".svg"
                                 ? cairo_svg_surface_create(name.c_str(), kPageWidth, kPageHeight)
                                 : cairo_pdf_surface_create(name.c_str(), kPageWidth, kPageHeight);
  cairo_t* cr = cairo_create(surface);
  // The panels move down, and shrink, only when the text block reaches them
  // (several SMGAs, the search's spectral fit), so that no line is hidden.
  const double textEnd = textBlock(cr, c, m);
  waveforms(cr, c, std::max(kWaveformsTop, textEnd + 18));
  spectra(cr, c, m, 550);
  text(cr, kLeft - 30, kPageHeight - 20,
       "Measures over the compared windows (observed samples " + std::to_string(c.ksm) + "-" +
           std::to_string(c.kem) + ", synthetic " + std::to_string(c.ksa) + "-" + std::to_string(c.kea) +
           "); waveforms overlaid from each window's start, no lag.",
       7);
  cairo_show_page(cr);
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS)
    throw WriteError("cannot write " + name + " in the folder " + file.parent_path().string() + ": " +
                     cairo_status_to_string(status) + "; give a folder you may write to");
}

}  // namespace report
