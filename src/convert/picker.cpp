// The STA/LTA picker of first arrivals.
#include <cmath>

#include "convert/convert.hpp"

namespace convert {

std::optional<Pick> pickFirstArrival(std::span<const float> x, int isps, std::size_t from,
                                     const PickerSettings& how) {
  const std::size_t n = x.size();
  const auto nsta = static_cast<std::size_t>(std::max(1.0, std::round(how.sta * isps)));
  const auto nlta = static_cast<std::size_t>(std::max(1.0, std::round(how.lta * isps)));
  // An arrival early in the record is measured against the shorter noise
  // before it, down to a second (or the STA window, if longer).
  const std::size_t minLta = std::min(nlta, std::max(nsta, static_cast<std::size_t>(isps)));
  if (n < nsta + minLta) return std::nullopt;
  // The characteristic function: squares of the samples less the record's
  // mean, summed in double so that windows are differences of two sums.
  double mean = 0.0;
  for (float v : x) mean += v;
  mean /= static_cast<double>(n);
  std::vector<double> energy(n), sum(n + 1, 0.0);
  for (std::size_t k = 0; k < n; ++k) {
    const double d = static_cast<double>(x[k]) - mean;
    energy[k] = d * d;
    sum[k + 1] = sum[k] + energy[k];
  }
  // The STA window ends at k; the LTA window ends where the STA window begins.
  for (std::size_t k = std::max(from, nsta + minLta - 1); k < n; ++k) {
    const std::size_t before = k + 1 - nsta;
    const std::size_t len = std::min(nlta, before);
    const double sta = (sum[k + 1] - sum[before]) / static_cast<double>(nsta);
    const double lta = (sum[before] - sum[before - len]) / static_cast<double>(len);
    if (!(lta > 0.0) || sta < how.ratio * lta) continue;
    // The onset: the first sample of the triggering STA window that is
    // itself as loud as the ratio asks.
    std::size_t onset = k + 1 - nsta;
    while (onset < k && energy[onset] < how.ratio * lta) ++onset;
    return Pick{onset, k, sta / lta};
  }
  return std::nullopt;
}

}  // namespace convert
