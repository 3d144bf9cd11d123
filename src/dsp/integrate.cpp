// Running trapezoidal integration and mean removal.
#include <cstddef>
#include <stdexcept>
#include <string>

#include "dsp/dsp.hpp"

namespace dsp {

void runningIntegral(float dt, int n, std::span<const float> x, std::span<float> y) {
  if (n <= 0) return;
  const auto count = static_cast<std::size_t>(n);
  if (x.size() < count || y.size() < count) {
    throw std::logic_error("integration of " + std::to_string(n) +
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

void removeMean(std::span<float> x, int i1, int i2, float& mean) {
  if (i2 >= i1 && (i1 < 1 || static_cast<std::size_t>(i2) > x.size()))
    throw std::out_of_range("removeMean: samples " + std::to_string(i1) + ".." + std::to_string(i2) +
                            " outside a series of " + std::to_string(x.size()));
  float sum = 0.0f;
  for (int i = i1; i <= i2; ++i) sum = sum + x[static_cast<std::size_t>(i - 1)];
  mean = sum / static_cast<float>(i2 - i1 + 1);
  for (int i = i1; i <= i2; ++i) x[static_cast<std::size_t>(i - 1)] -= mean;
}

}  // namespace dsp
