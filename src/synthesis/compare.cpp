// Residual and correlation of the observed and synthetic motion.
#include <cmath>
#include <string>

#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace synthesis {
namespace {

// Sample `index` (counted from 1) widened to double; samples the series does
// not hold read as zero, so a window may reach past either end.
double sampleAt(std::span<const float> x, long long index) {
  if (index < 1 || index > static_cast<long long>(x.size())) return 0.0;
  return static_cast<double>(x[static_cast<std::size_t>(index - 1)]);
}

std::string window(const char* name, long long first, long long last) {
  return std::string(name) + "(" + std::to_string(first) + ".." + std::to_string(last) + ")";
}

}  // namespace

void correlateOverLags(std::span<const float> x, std::span<const float> y, int ix, int iy, int n, float& res,
          float& cor, int& lag) {
  cor = 0.0f;
  for (int l = -kMaxLag; l <= kMaxLag; ++l) {
    double sxy = 0.0, sxx = 0.0, syy = 0.0;
    for (long long k = 1; k <= n; ++k) {
      const double a = sampleAt(x, ix + k);
      const double b = sampleAt(y, iy + k + l);
      sxy += a * b;
      sxx += a * a;
      syy += b * b;
    }
    // An all-zero window gives 0/0, a NaN, which never compares greater.
    const float c = static_cast<float>(sxy / (std::sqrt(sxx) * std::sqrt(syy)));
    if (c > cor) {
      cor = c;
      lag = l;
    }
  }

  double sxx = 0.0, syy = 0.0, sdd = 0.0;
  for (long long k = 1; k <= n; ++k) {
    const double a = sampleAt(x, ix + k);
    const double b = sampleAt(y, static_cast<long long>(iy) + k + lag);
    sxx += a * a;
    syy += b * b;
    sdd += (a - b) * (a - b);
  }
  if (sxx == 0.0 || syy == 0.0) {
    const long long first = static_cast<long long>(iy) + 1 + lag;
    throw textio::InputRejected(
        std::string("the residual cannot be formed: ") +
        (sxx == 0.0 ? "the observed window " + window("x", ix + 1LL, ix + static_cast<long long>(n))
                    : "the synthetic window " + window("y", first, first + n - 1) + " at lag " +
                          std::to_string(lag)) +
        " is all zero");
  }
  res = static_cast<float>(sdd / (std::sqrt(sxx) * std::sqrt(syy)));
}

Comparison compare(const model::Params& p, const model::Motion& observed,
                   const model::Motion& synthetic) {
  struct Pair {
    const char* name;
    const char* arrays;
  };
  static constexpr Pair kPairs[3] = {{"acc", "observed dm, synthetic ds"},
                                     {"vel", "observed dmm, synthetic dss"},
                                     {"dis", "observed dmmm, synthetic dsss"}};
  const auto o = observed.series();
  const auto s = synthetic.series();
  Comparison result{};
  // One lag variable for the three comparisons: a quantity with no positive
  // coefficient keeps the lag of the one before.
  int mtime = 0;
  for (std::size_t q = 0; q < 3; ++q) {
    float res = 0.0f, cor = 0.0f;
    try {
      correlateOverLags(o[q], s[q], p.ksm, p.ksa, kWindow, res, cor, mtime);
    } catch (const textio::InputRejected& e) {
      throw ComparisonRefused(std::string(kPairs[q].name) + " (" + kPairs[q].arrays + "): " + e.message,
                              static_cast<int>(q), result);
    }
    result[q] = {res, cor, mtime};
  }
  return result;
}

}  // namespace synthesis
