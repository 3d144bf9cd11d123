#include "fit/map.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace fit {
namespace {

// A perceptually ordered scale from dark blue (low misfit) through green to
// yellow (high misfit).
void colour(cairo_t* cr, double t) {
  static const double stops[][3] = {{0.27, 0.00, 0.33}, {0.23, 0.32, 0.55}, {0.13, 0.57, 0.55},
                                    {0.37, 0.79, 0.38}, {0.99, 0.91, 0.14}};
  t = std::clamp(t, 0.0, 1.0) * 4;
  const int i = std::min(3, static_cast<int>(t));
  const double f = t - i;
  cairo_set_source_rgb(cr, stops[i][0] + f * (stops[i + 1][0] - stops[i][0]),
                       stops[i][1] + f * (stops[i + 1][1] - stops[i][1]),
                       stops[i][2] + f * (stops[i + 1][2] - stops[i][2]));
}

void text(cairo_t* cr, double x, double y, const std::string& s, double alignX, double alignY, double angle = 0) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, s.c_str(), &e);
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_rotate(cr, angle);
  cairo_move_to(cr, -e.width * alignX - e.x_bearing, e.height * alignY);
  cairo_show_text(cr, s.c_str());
  cairo_restore(cr);
}

std::string number(double v) {
  char s[32];
  std::snprintf(s, sizeof s, "%.4g", v);
  return s;
}

void draw(cairo_t* cr, const MisfitMap& m, double width, double height) {
  const int nx = static_cast<int>(m.xValues.size()), ny = static_cast<int>(m.yValues.size());
  const ColourRange range = colourRange(m);
  const double lo = range.lo, hi = range.hi;
  auto scale = [&](double v) {
    return range.logarithmic ? std::log(v / lo) / std::log(hi / lo) : (v - lo) / (hi - lo);
  };
  const bool unreached = std::any_of(m.misfit.begin(), m.misfit.end(), [](double v) { return std::isnan(v); });
  const double noModelGrey = 0.85;

  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  const double left = 80, right = 130, top = 64, bottom = 70;
  const double cw = (width - left - right) / nx, ch = (height - top - bottom) / ny;
  cairo_set_font_size(cr, 14);
  cairo_set_source_rgb(cr, 0, 0, 0);
  text(cr, width / 2, 24, m.title, 0.5, 0);
  cairo_set_font_size(cr, 10);
  text(cr, width / 2, 44, m.note, 0.5, 0);

  for (int r = 0; r < ny; ++r) {
    for (int c = 0; c < nx; ++c) {
      const double v = m.misfit[static_cast<std::size_t>(r * nx + c)];
      const double x = left + c * cw, y = height - bottom - (r + 1) * ch;
      if (std::isfinite(v)) colour(cr, scale(v));
      else cairo_set_source_rgb(cr, noModelGrey, noModelGrey, noModelGrey);
      cairo_rectangle(cr, x, y, cw + 0.5, ch + 0.5);
      cairo_fill(cr);
    }
  }
  if (m.bestColumn >= 0 && m.bestRow >= 0) {
    const double x = left + (m.bestColumn + 0.5) * cw, y = height - bottom - (m.bestRow + 0.5) * ch;
    cairo_set_source_rgb(cr, 1, 0.1, 0.1);
    cairo_set_line_width(cr, 2);
    cairo_arc(cr, x, y, std::min(std::min(cw, ch) * 0.35, 12.0), 0, 2 * M_PI);
    cairo_stroke(cr);
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, left, top, nx * cw, ny * ch);
  cairo_stroke(cr);

  // Labels: every value when they fit, otherwise every k-th.
  cairo_set_font_size(cr, 10);
  const int xEvery = std::max(1, static_cast<int>(std::ceil(nx * 40.0 / (width - left - right))));
  const int yEvery = std::max(1, static_cast<int>(std::ceil(ny * 14.0 / (height - top - bottom))));
  for (int c = 0; c < nx; c += xEvery) text(cr, left + (c + 0.5) * cw, height - bottom + 6, m.xValues[c], 0.5, 1);
  for (int r = 0; r < ny; r += yEvery) text(cr, left - 6, height - bottom - (r + 0.5) * ch, m.yValues[r], 1, 0.5);
  cairo_set_font_size(cr, 13);
  text(cr, left + nx * cw / 2, height - 22, m.xName, 0.5, 0);
  text(cr, 24, top + ny * ch / 2, m.yName, 0.5, 0, -M_PI / 2);

  // Colour scale, its top marked when cells lie above it, and the grey of
  // the cells no model reached.
  const double sx = width - right + 25, sw = 18, sh = ny * ch;
  for (int k = 0; k < 100; ++k) {
    colour(cr, k / 99.0);
    cairo_rectangle(cr, sx, top + sh - (k + 1) * sh / 100, sw, sh / 100 + 0.5);
    cairo_fill(cr);
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_rectangle(cr, sx, top, sw, sh);
  cairo_stroke(cr);
  cairo_set_font_size(cr, 10);
  text(cr, sx + sw + 4, top + sh, number(lo), 0, 0);
  text(cr, sx + sw + 4, top, (range.clipped ? "≥ " : "") + number(hi), 0, 1);
  const double mid = range.logarithmic ? std::sqrt(lo * hi) : 0.5 * (lo + hi);
  text(cr, sx + sw + 4, top + sh / 2, number(mid), 0, 0.5);
  text(cr, sx + sw / 2, top - 8, range.logarithmic ? "misfit (log)" : "misfit", 0.5, 0);
  double y = top + sh + 16;
  cairo_set_font_size(cr, 9);
  if (range.clipped) {
    text(cr, sx, y, "clipped at " + number(m.clip) + " x", 0, 0);
    text(cr, sx, y + 11, "the least misfit", 0, 0);
    y += 26;
  }
  if (unreached) {
    cairo_set_source_rgb(cr, noModelGrey, noModelGrey, noModelGrey);
    cairo_rectangle(cr, sx, y - 9, 12, 10);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 0.5);
    cairo_stroke(cr);
    text(cr, sx + 16, y, "no model", 0, 0);
  }
}

// Draws with `paint` on a w x h surface of the kind the file's extension
// names (.pdf, .svg, .png) and writes it.
template <class Paint>
void render(const std::filesystem::path& file, double w, double h, Paint paint) {
  const std::string name = file.string(), ext = file.extension().string();
  cairo_surface_t* s = ext == ".png"   ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(w),
                                                                    static_cast<int>(h))
                       : ext == ".svg" ? cairo_svg_surface_create(name.c_str(), w, h)
                                       : cairo_pdf_surface_create(name.c_str(), w, h);
  cairo_t* cr = cairo_create(s);
  paint(cr);
  cairo_destroy(cr);
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  if (ext == ".png") status = cairo_surface_write_to_png(s, name.c_str());
  cairo_surface_finish(s);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(s);
  cairo_surface_destroy(s);
  if (status != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cannot write " + name);
}

// Colours of the areas, in turn.
constexpr double kAreaColours[][3] = {{0.85, 0.33, 0.10}, {0.00, 0.45, 0.70}, {0.00, 0.62, 0.45},
                                      {0.80, 0.47, 0.65}, {0.90, 0.62, 0.00}, {0.34, 0.71, 0.91}};

// Tick step of about five 1-2-5 steps over `span`.
double tickStep(double span) {
  const double raw = span / 5.0;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / mag;
  return (f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10) * mag;
}

void star(cairo_t* cr, double x, double y, double r) {
  for (int k = 0; k < 10; ++k) {
    const double a = -M_PI / 2 + k * M_PI / 5, rr = k % 2 ? r * 0.45 : r;
    if (k == 0) cairo_move_to(cr, x + rr * std::cos(a), y + rr * std::sin(a));
    else cairo_line_to(cr, x + rr * std::cos(a), y + rr * std::sin(a));
  }
  cairo_close_path(cr);
}

void drawFault(cairo_t* cr, const FaultMap& m, double width, double height) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  // The extent of everything drawn, the epicentre included, with a margin;
  // one scale on both axes.
  double e0 = 0, e1 = 0, n0 = 0, n1 = 0;
  auto include = [&](double e, double n) { e0 = std::min(e0, e), e1 = std::max(e1, e), n0 = std::min(n0, n), n1 = std::max(n1, n); };
  for (const auto& a : m.areas)
    for (const auto& c : a.corners) include(c[0], c[1]);
  for (const auto& s : m.stations) include(s.east, s.north);
  const double pad = 0.08 * std::max({e1 - e0, n1 - n0, 1.0});
  e0 -= pad, e1 += pad, n0 -= pad, n1 += pad;
  const double left = 70, right = 30, top = 50, bottom = 105;
  const double scale = std::min((width - left - right) / (e1 - e0), (height - top - bottom) / (n1 - n0));
  const double x0 = left + ((width - left - right) - scale * (e1 - e0)) / 2;
  const double y0 = top + ((height - top - bottom) - scale * (n1 - n0)) / 2;
  auto px = [&](double e) { return x0 + (e - e0) * scale; };
  auto py = [&](double n) { return y0 + (n1 - n) * scale; };

  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_font_size(cr, 14);
  text(cr, width / 2, 28, m.title, 0.5, 0);
  // Frame and ticks in km.
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, px(e0), py(n1), (e1 - e0) * scale, (n1 - n0) * scale);
  cairo_stroke(cr);
  cairo_set_font_size(cr, 10);
  const double step = tickStep(std::max(e1 - e0, n1 - n0));
  for (double v = std::ceil(e0 / step) * step; v <= e1; v += step) {
    cairo_move_to(cr, px(v), py(n0));
    cairo_line_to(cr, px(v), py(n0) - 4);
    cairo_stroke(cr);
    text(cr, px(v), py(n0) + 5, number(std::fabs(v) < 1e-9 ? 0 : v), 0.5, 1);
  }
  for (double v = std::ceil(n0 / step) * step; v <= n1; v += step) {
    cairo_move_to(cr, px(e0), py(v));
    cairo_line_to(cr, px(e0) + 4, py(v));
    cairo_stroke(cr);
    text(cr, px(e0) - 5, py(v), number(std::fabs(v) < 1e-9 ? 0 : v), 1, 0.5);
  }
  cairo_set_font_size(cr, 12);
  text(cr, px((e0 + e1) / 2), py(n0) + 22, "km east of the epicentre", 0.5, 1);
  text(cr, px(e0) - 42, py((n0 + n1) / 2), "km north of the epicentre", 0.5, 0, -M_PI / 2);

  // The areas: filled, the up-dip edge drawn thick, the start a dot.
  for (std::size_t k = 0; k < m.areas.size(); ++k) {
    const auto& a = m.areas[k];
    const double* c = kAreaColours[k % 6];
    cairo_move_to(cr, px(a.corners[0][0]), py(a.corners[0][1]));
    for (int i = 1; i < 4; ++i) cairo_line_to(cr, px(a.corners[i][0]), py(a.corners[i][1]));
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, c[0], c[1], c[2], 0.25);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, c[0], c[1], c[2]);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 3);
    cairo_move_to(cr, px(a.corners[0][0]), py(a.corners[0][1]));
    cairo_line_to(cr, px(a.corners[1][0]), py(a.corners[1][1]));
    cairo_stroke(cr);
  }
  // The epicentre, then each rupture start as a ring, which leaves an
  // epicentre under it in sight.
  cairo_set_source_rgb(cr, 0.8, 0.0, 0.0);
  star(cr, px(0), py(0), 8);
  cairo_fill(cr);
  for (std::size_t k = 0; k < m.areas.size(); ++k) {
    const double* c = kAreaColours[k % 6];
    cairo_set_source_rgb(cr, c[0], c[1], c[2]);
    cairo_set_line_width(cr, 2);
    cairo_arc(cr, px(m.areas[k].start[0]), py(m.areas[k].start[1]), 6, 0, 2 * M_PI);
    cairo_stroke(cr);
  }
  // The stations: filled where a target was recorded, open where predicted.
  cairo_set_font_size(cr, 11);
  for (const auto& s : m.stations) {
    const double x = px(s.east), y = py(s.north);
    cairo_move_to(cr, x, y - 7);
    cairo_line_to(cr, x + 6, y + 4);
    cairo_line_to(cr, x - 6, y + 4);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.2);
    if (s.predicted) cairo_stroke(cr);
    else cairo_fill(cr);
    text(cr, x + 8, y, s.code, 0, 0.5);
  }
  // Legend: each area's depth range, then the symbols.
  cairo_set_font_size(cr, 10);
  double y = height - 62;
  std::string line;
  for (std::size_t k = 0; k < m.areas.size(); ++k) {
    const auto& a = m.areas[k];
    line += (k ? ";  " : "") + a.label + " " + number(a.topDepth) + "-" + number(a.bottomDepth) + " km deep";
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  text(cr, left, y, line, 0, 0.5);
  y += 15;
  text(cr, left, y, "thick edge: the top (up-dip) edge; ring: where its rupture starts; star: epicentre", 0, 0.5);
  y += 15;
  text(cr, left, y, "triangle: station with a target record; open triangle: a predicted site", 0, 0.5);
  y += 15;
  text(cr, left, y, m.note, 0, 0.5);
}

}  // namespace

ColourRange colourRange(const MisfitMap& map) {
  double least = INFINITY, largest = -INFINITY;
  for (double v : map.misfit)
    if (std::isfinite(v)) least = std::min(least, v), largest = std::max(largest, v);
  if (!std::isfinite(least)) return {};
  ColourRange r{least, largest, false, false};
  if (least > 0 && map.clip >= 1 && largest > map.clip * least) r.hi = map.clip * least, r.clipped = true;
  if (!(r.hi > r.lo)) r.hi = r.lo + 1;
  // A range of more than a factor of 3 (a clip above 3) is coloured on a
  // logarithmic scale, so that the valley around the best model keeps its
  // detail.
  r.logarithmic = r.lo > 0 && r.hi / r.lo > 3;
  return r;
}

void drawMisfitMap(const MisfitMap& map, const std::filesystem::path& stem) {
  for (const char* ext : {".pdf", ".png"}) drawMisfitMapFile(map, stem.string() + ext);
}

void drawMisfitMapFile(const MisfitMap& map, const std::filesystem::path& file) {
  const double w = 640, h = 480;
  render(file, w, h, [&](cairo_t* cr) { draw(cr, map, w, h); });
}

std::array<double, 2> stationPosition(float rm, float pm) {
  return {rm * std::sin(static_cast<double>(pm)), rm * std::cos(static_cast<double>(pm))};
}

FaultMap faultMap(const model::Params& base, const std::vector<source::AreaFacts>& areas) {
  FaultMap m;
  const double strike = base.str, dip = base.dip;
  // (u, w) in the fault plane: x = u along strike, y = w cos(dip) towards
  // the dip; east = x sin(strike) + y cos(strike), north = x cos(strike) -
  // y sin(strike).
  auto onMap = [&](double u, double w) {
    const double x = u, y = w * std::cos(dip);
    return std::array<double, 2>{x * std::sin(strike) + y * std::cos(strike), x * std::cos(strike) - y * std::sin(strike)};
  };
  for (std::size_t k = 0; k < areas.size(); ++k) {
    const source::AreaFacts& f = areas[k];
    const source::Rectangle& r = f.cells;
    // The up-dip edge first: w0 when the fault dips below 90 degrees.
    const bool w0Up = std::sin(dip) >= 0;
    const double up = w0Up ? r.w0 : r.w1, down = w0Up ? r.w1 : r.w0;
    m.areas.push_back({areas.size() == 1 ? "SMGA" : "SMGA " + std::to_string(k + 1),
                       {onMap(r.u0, up), onMap(r.u1, up), onMap(r.u1, down), onMap(r.u0, down)},
                       onMap(f.startU, f.startW),
                       f.topDepth,
                       f.bottomDepth});
  }
  constexpr double kDegrees = 180.0 / 3.14159265358979323846;
  m.note = "fault: strike " + number(strike * kDegrees) + ", dip " + number(dip * kDegrees) + ", rake " +
           number(base.rak * kDegrees) + " degrees; hypocentre " + number(base.z) + " km deep";
  return m;
}

void drawFaultMap(const FaultMap& map, const std::filesystem::path& file) {
  const double w = 640, h = 640;
  render(file, w, h, [&](cairo_t* cr) { drawFault(cr, map, w, h); });
}

void releaseDrawingCaches() {
  cairo_debug_reset_static_data();
  FcFini();
}

}  // namespace fit
