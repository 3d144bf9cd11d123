// Radix-2 decimation-in-frequency FFT in place, single precision.
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>

#include "dsp/dsp.hpp"

namespace dsp {

namespace {

// Advances a bit-reversed counter by one: a carry that runs from the most
// significant weight m(first) towards m(last). weights[i] = m(i), 1-based.
int reversedIncrement(int k, const int* weights, int first, int last) {
  int i = first;
  for (; i <= last; ++i) {
    if (k < weights[i]) break;
    k -= weights[i];
  }
  if (i > last) i = last;  // ran through: the carry falls off, restart at m(last)
  return k + weights[i];
}

}  // namespace

void fft(int n, std::span<std::complex<float>> x) {
  if (n < 1 || n > kMaxFftExponent) {
    throw std::invalid_argument("FFT exponent " + std::to_string(n) + " outside 1 to " +
                                std::to_string(kMaxFftExponent));
  }
  const int big = 1 << n;
  if (x.size() < static_cast<std::size_t>(big)) {
    throw std::invalid_argument("FFT of 2^" + std::to_string(n) +
                                " points: series holds fewer values");
  }
  // 2 pi rounded to single precision; the angle is formed from it in float.
  constexpr float kTwoPi = 6.2831855f;

  // Partial lengths m(i) = 2^(n-i), i = 1..n (index 0 unused).
  int weights[kMaxFftExponent + 1] = {};
  for (int i = 1; i <= n; ++i) weights[i] = 1 << (n - i);

  // Element j (1-based) of the series.
  auto at = [&x](int j) -> std::complex<float>& { return x[static_cast<std::size_t>(j - 1)]; };
  const float bigF = static_cast<float>(big);

  for (int l = 1; l <= n; ++l) {
    const int blocks = 1 << (l - 1);
    const int len = big / blocks;
    const int half = len / 2;
    int k = 0;  // n-1 bits of (b-1) reversed
    for (int b = 1; b <= blocks; ++b) {
      // The twiddle is evaluated afresh for every block (no recurrence), so
      // its error does not accumulate along a stage.
      const float v = -kTwoPi * static_cast<float>(k) / bigF;
      const float wr = static_cast<float>(std::cos(static_cast<double>(v)));
      const float wi = static_cast<float>(std::sin(static_cast<double>(v)));
      for (int i = 1; i <= half; ++i) {
        const int j = len * (b - 1) + i;
        const int jh = j + half;
        const float xr = at(jh).real();
        const float xi = at(jh).imag();
        const float qr = xr * wr - xi * wi;
        const float qi = xi * wr + xr * wi;
        const float ar = at(j).real();
        const float ai = at(j).imag();
        at(jh) = std::complex<float>(ar - qr, ai - qi);
        at(j) = std::complex<float>(ar + qr, ai + qi);
      }
      k = reversedIncrement(k, weights, 2, n);
    }
  }

  // Bit-reversal reordering: k holds the n bits of j-1 reversed; each pair is
  // exchanged once, from its lower index.
  int k = 0;
  for (int j = 1; j <= big; ++j) {
    if (k >= j) std::swap(at(j), at(k + 1));
    k = reversedIncrement(k, weights, 1, n);
  }
}

}  // namespace dsp
