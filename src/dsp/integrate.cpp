// Running trapezoidal integration.
#include <cstddef>
#include <string>

#include "dsp/dsp.hpp"

namespace dsp {

void inac(float dt, int n, std::span<const float> x, std::span<float> y) {
  if (n <= 0) return;
  const auto count = static_cast<std::size_t>(n);
  if (x.size() < count || y.size() < count) {
    throw textio::InputRejected("integration of " + std::to_string(n) +
                                " samples: series holds fewer samples");
  }
  // The first sample is a full rectangle, not half a trapezoid: the integral
  // starts at dt*x(1) rather than at zero.
  y[0] = dt * x[0];
  for (std::size_t i = 1; i < count; ++i) {
    // Sum, halve, scale, accumulate: in this order, each step rounded to float.
    y[i] = y[i - 1] + ((x[i - 1] + x[i]) / 2.0f) * dt;
  }
}

}  // namespace dsp
