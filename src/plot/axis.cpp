#include "plot/axis.hpp"

#include <climits>
#include <cmath>

#include "plot/convert.hpp"
#include "plot/labels.hpp"

namespace plot {

namespace {

// Fixed geometry in centimetres.
constexpr float kTickLength = 0.1f;
constexpr float kValueAlong = -0.2f;
constexpr float kValueAcross = 0.4f;
constexpr float kValueHeight = 0.25f;
constexpr float kTitleAcross = 0.8f;
constexpr float kTitleHeight = 0.3f;
constexpr float kTitleCharWidth = 0.1f;

}  // namespace

void rot(float x, float y, float& xr, float& yr, float angle) {
  // This routine's own pi, 3.14159; the axes' directions (0 and 90 degrees
  // in practice) carry exactly this rounding.
  const float theta = angle / 180.0f * 3.14159f;
  const float c = static_cast<float>(std::cos(static_cast<double>(theta)));
  const float s = static_cast<float>(std::sin(static_cast<double>(theta)));
  xr = c * x - s * y;
  yr = s * x + c * y;
}

void axis(Device& dev, float x, float y, std::string_view label, int nlabel, float axlen,
          float angle, float firstv, float deltav, int ndec) {
  const int n = nlabel == INT_MIN ? INT_MAX : (nlabel < 0 ? -nlabel : nlabel);
  const float side = nlabel >= 0 ? 1.0f : -1.0f;

  // Work in a frame whose origin is the axis start.
  dev.plot(x, y, -3);

  float xr = 0.0f;
  float yr = 0.0f;
  rot(axlen, 0.0f, xr, yr, angle);
  dev.plot(xr, yr, 3);
  dev.plot(0.0f, 0.0f, 2);

  // One tick per whole centimetre, the first at the start.
  const int ticks = detail::truncToInt(axlen + 1.0f);
  for (int i = 0; i < ticks; ++i) {
    const float t = static_cast<float>(i);
    const float v = firstv + t * deltav;
    rot(t, 0.0f, xr, yr, angle);
    dev.plot(xr, yr, 3);
    rot(t, side * kTickLength, xr, yr, angle);
    dev.plot(xr, yr, 2);
    rot(t + kValueAlong, side * kValueAcross, xr, yr, angle);
    number(dev, xr, yr, kValueHeight, v, angle, ndec);
  }

  rot(axlen / 2.0f - static_cast<float>(n) * kTitleCharWidth, side * kTitleAcross, xr, yr, angle);
  symbol(dev, xr, yr, kTitleHeight, label, angle, n);

  dev.plot(-x, -y, -3);
}

}  // namespace plot
