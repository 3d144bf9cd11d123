// Conversions shared by the plot routines (not part of the public interface).
#pragma once

#include <climits>
#include <cmath>

namespace plot::detail {

// Truncates toward zero; NaN gives 0 and values beyond the 32-bit range
// saturate, so no out-of-range conversion is ever performed.
inline int truncToInt(float f) {
  if (std::isnan(f)) return 0;
  if (f >= 2147483648.0f) return INT_MAX;
  if (f < -2147483648.0f) return INT_MIN;
  return static_cast<int>(f);
}

}  // namespace plot::detail
