// The plain form of the three-series summation: one loop per copy and
// series, exactly as the copies are listed. This translation unit is built
// without vectorisation; it is the reference the fast form must match bit
// for bit, and the baseline it is measured against.
#include "synthesis/copy_range.hpp"
#include "synthesis/synthesis.hpp"

namespace synthesis {

void syntAllScalar(const std::array<std::span<float>, 3>& out, int nout,
                   const std::array<std::span<const float>, 3>& in, int nin,
                   std::span<const Copy> copies) {
  for (const Copy& cp : copies) {
    for (int s = 0; s < 3; ++s) {
      const detail::OutputRange r =
          detail::outputRange(cp.shift, nin, nout, in[s].size(), out[s].size());
      for (long long n = r.lo; n < r.hi; ++n) {
        out[s][static_cast<std::size_t>(n)] +=
            ((cp.a * cp.b) * cp.w) * in[s][static_cast<std::size_t>(n - cp.shift)];
      }
    }
  }
}

}  // namespace synthesis
