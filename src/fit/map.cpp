#include "fit/map.hpp"

#include <cairo-pdf.h>
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
  double lo = INFINITY, hi = -INFINITY;
  for (double v : m.misfit)
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  if (!(hi > lo)) hi = lo + 1;
  // A misfit that spans a wide range is coloured on a logarithmic scale, so that
  // the valley around the best model keeps its detail.
  const bool logarithmic = lo > 0 && hi / lo > 3;
  auto scale = [&](double v) {
    return logarithmic ? std::log(v / lo) / std::log(hi / lo) : (v - lo) / (hi - lo);
  };

  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  const double left = 80, right = 110, top = 50, bottom = 70;
  const double cw = (width - left - right) / nx, ch = (height - top - bottom) / ny;
  cairo_set_font_size(cr, 14);
  cairo_set_source_rgb(cr, 0, 0, 0);
  text(cr, width / 2, 28, m.title, 0.5, 0);

  for (int r = 0; r < ny; ++r) {
    for (int c = 0; c < nx; ++c) {
      const double v = m.misfit[static_cast<std::size_t>(r * nx + c)];
      const double x = left + c * cw, y = height - bottom - (r + 1) * ch;
      if (std::isfinite(v)) colour(cr, scale(v));
      else cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
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

  // Colour scale.
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
  text(cr, sx + sw + 4, top, number(hi), 0, 1);
  const double mid = logarithmic ? std::sqrt(lo * hi) : 0.5 * (lo + hi);
  text(cr, sx + sw + 4, top + sh / 2, number(mid), 0, 0.5);
  text(cr, sx + sw / 2, top - 8, logarithmic ? "misfit (log)" : "misfit", 0.5, 0);
}

}  // namespace

void drawMisfitMap(const MisfitMap& map, const std::filesystem::path& stem) {
  const double w = 640, h = 480;
  const std::string pdf = stem.string() + ".pdf", png = stem.string() + ".png";
  cairo_surface_t* s = cairo_pdf_surface_create(pdf.c_str(), w, h);
  cairo_t* cr = cairo_create(s);
  draw(cr, map, w, h);
  cairo_destroy(cr);
  cairo_surface_finish(s);
  const cairo_status_t pdfStatus = cairo_surface_status(s);
  cairo_surface_destroy(s);
  if (pdfStatus != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cannot write " + pdf);

  s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(w), static_cast<int>(h));
  cr = cairo_create(s);
  draw(cr, map, w, h);
  cairo_destroy(cr);
  const cairo_status_t pngStatus = cairo_surface_write_to_png(s, png.c_str());
  cairo_surface_destroy(s);
  if (pngStatus != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cannot write " + png);
}

void releaseDrawingCaches() {
  cairo_debug_reset_static_data();
  FcFini();
}

}  // namespace fit
