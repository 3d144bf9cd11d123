#include "plot/loglog.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "plot/convert.hpp"
#include "plot/labels.hpp"

namespace plot {

namespace {

// y titles (20 characters) and y units (6 characters) by title index 1..5.
constexpr std::array<std::string_view, 5> kYTitle = {
    "DISPLACEMENT SPECTRA", "  VELOCITY SPECTRA  ", "ACCERELATION SPECTRA",
    " SPECTRAL RATIO     ", " SPECTRAL AMPLITUDE "};
constexpr std::array<std::string_view, 5> kYUnit = {" CM*S ", "  CM  ", "GAL*S ", "      ",
                                                     "      "};

// 10^p formed in double and rounded once to single precision.
float powerOfTen(int p) { return static_cast<float>(std::pow(10.0, static_cast<double>(p))); }

float lg10(float v) { return static_cast<float>(std::log10(static_cast<double>(v))); }

// The decade exponent of v, log10(v) rounded half away from zero.
int decadeExponent(float v) {
  const float e = lg10(v);
  return e >= 0.0f ? detail::truncToInt(e + 0.5f) : detail::truncToInt(e - 0.5f);
}

// The annotation of one decade: "10" (m = 1), the number 1.0 or 0.1 (m = 0 or
// -1), or "10" with the exponent half size and raised. (tx, ty) places "10",
// (nx, ny) the written-out number, (ex, ey) the exponent.
void decadeLabel(Device& dev, int m, float h, float tx, float ty, float nx, float ny, float ex,
                 float ey) {
  if (m == 0 || m == -1) {
    number(dev, nx, ny, h, powerOfTen(m), 0.0f, 1);
    return;
  }
  symbol(dev, tx, ty, h, "10", 0.0f, 2);
  if (m != 1) number(dev, ex, ey, h / 2.0f, static_cast<float>(m), 0.0f, -1);
}

}  // namespace

void pltlog(Device& dev, int nbx, int nby, float dx, float dy, float h, float t, float xlow,
            float ylow, int kk) {
  for (int i = 0; i <= nbx; ++i) {
    const float at = static_cast<float>(i) * dx;
    const int m = decadeExponent(xlow * powerOfTen(i));
    decadeLabel(dev, m, h, at - h, -0.3f - h, at - 2.0f * h, -0.3f - h, at + h, -0.3f);
  }
  for (int j = 0; j <= nby; ++j) {
    const float at = static_cast<float>(j) * dy;
    const int m = decadeExponent(ylow * powerOfTen(j));
    decadeLabel(dev, m, h, -0.3f - 3.0f * h, at, -0.3f - 4.0f * h, at, -0.3f - h, at + h);
  }

  const float width = static_cast<float>(nbx) * dx;
  const float height = static_cast<float>(nby) * dy;
  symbol(dev, width / 2.0f - 5.0f * h, -1.0f - 5.0f * h, 1.3f * h, "(HZ)", 0.0f, 4);
  symbol(dev, width / 2.0f - 7.5f * h, -1.0f - 3.0f * h, 1.5f * h, "FREQUENCY ", 0.0f, 10);
  // Title indices outside 1..5 have no y title.
  if (kk >= 1 && kk <= 5) {
    const auto k = static_cast<std::size_t>(kk - 1);
    if (kk <= 3) {
      std::string unit(1, '(');
      unit += kYUnit[k];
      unit += ')';
      symbol(dev, -5.0f * h, height / 2.0f - 3.0f * h, 1.3f * h, unit, 90.0f, 8);
    }
    symbol(dev, -7.0f * h, height / 2.0f - 15.0f * h, 1.5f * h, kYTitle[k], 90.0f, 20);
  }

  const float log5 = lg10(5.0f);
  for (int i = 0; i <= nbx; ++i) {
    const float at = static_cast<float>(i) * dx;
    dev.plot(at, 0.0f, 3);
    dev.plot(at, height, 2);
    if (i == nbx) continue;
    for (int m = 2; m <= 9; ++m) {
      const float u = lg10(static_cast<float>(m)) * dx + at;
      dev.plot(u, 0.0f, 3);
      dev.plot(u, t, 2);
    }
    const float u5 = log5 * dx + at;
    dev.plot(u5, 0.0f, 3);
    dev.plot(u5, 1.5f * t, 2);
  }
  for (int j = 0; j <= nby; ++j) {
    const float at = static_cast<float>(j) * dy;
    dev.plot(0.0f, at, 3);
    dev.plot(width, at, 2);
    if (j == nby) continue;
    for (int m = 2; m <= 9; ++m) {
      const float u = lg10(static_cast<float>(m)) * dy + at;
      dev.plot(0.0f, u, 3);
      dev.plot(t, u, 2);
    }
    const float u5 = log5 * dy + at;
    dev.plot(0.0f, u5, 3);
    dev.plot(1.5f * t, u5, 2);
  }
}

void ptline(Device& dev, std::span<float> x, std::span<float> y, float dx, float dy, float xlow,
            float ylow, int n) {
  // Never more points than the working capacity or the arrays hold.
  const std::size_t count = std::min<std::size_t>(
      {n > 0 ? static_cast<std::size_t>(n) : 0, static_cast<std::size_t>(kMaxCurvePoints),
       x.size(), y.size()});
  for (std::size_t i = 0; i < count; ++i) {
    if (y[i] <= ylow) y[i] = ylow;
    if (x[i] <= xlow) x[i] = xlow;
    const float px = lg10(x[i] / xlow) * dx;
    const float py = lg10(y[i] / ylow) * dy;
    dev.plot(px, py, i == 0 ? 3 : 2);
  }
}

}  // namespace plot
