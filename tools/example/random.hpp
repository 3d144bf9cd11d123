// A small pseudo-random source whose output is fixed by its seed on every
// machine and with every standard library: splitmix64 for the bits, and the
// Box-Muller transform, written out here, for normal deviates (the standard
// library's distributions may differ between library versions).
#pragma once

#include <cmath>
#include <cstdint>

namespace example {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Uniform in (0, 1]: never 0, so its logarithm is always finite.
  double uniform() { return static_cast<double>((next() >> 11) + 1) * 0x1.0p-53; }

  // Standard normal deviate. Only the cosine branch of the pair is used, so
  // each deviate costs two uniforms and no state is carried between calls.
  double normal() {
    const double u1 = uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }

 private:
  std::uint64_t state_;
};

}  // namespace example
