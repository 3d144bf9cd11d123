// Sample rates and resampling.
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "convert/convert.hpp"

namespace convert {

std::optional<int> wholeRate(double dt) {
  // A microsecond to a second: the program counts whole samples per second.
  if (!std::isfinite(dt) || dt < 1e-6 || dt > 1.0) return std::nullopt;
  const double rate = 1.0 / dt;
  const double whole = std::round(rate);
  // One part in a million is far above the rounding of a float interval
  // (0.01f is 0.0099999998) and far below any real clock offset that
  // matters: over 15000 samples it shifts the last one by 0.015 samples.
  if (std::fabs(rate - whole) > 1e-6 * whole) return std::nullopt;
  return static_cast<int>(whole);
}

std::vector<float> resampleLinear(std::span<const float> x, double dt, int sps) {
  if (x.empty() || !(dt > 0.0) || sps <= 0) throw std::invalid_argument("resampleLinear");
  const double step = 1.0 / static_cast<double>(sps);
  const double last = static_cast<double>(x.size() - 1) * dt;
  if (last / step > 1.0e9) throw std::invalid_argument("resampleLinear: too many samples");
  // A hair of tolerance keeps the last input sample when the new grid lands
  // on it up to rounding.
  const auto n = static_cast<std::size_t>(std::floor(last / step + 1e-9)) + 1;
  std::vector<float> y(n);
  for (std::size_t j = 0; j < n; ++j) {
    const double pos = static_cast<double>(j) * step / dt;  // in input samples
    auto i = static_cast<std::size_t>(pos);
    if (i >= x.size() - 1) {
      y[j] = x.back();
      continue;
    }
    const double frac = pos - static_cast<double>(i);
    const double a = x[i], b = x[i + 1];
    y[j] = static_cast<float>(a + (b - a) * frac);
  }
  return y;
}

}  // namespace convert
