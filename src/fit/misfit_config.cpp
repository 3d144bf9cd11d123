#include "fit/misfit_config.hpp"

#include <cstdio>

#include "fit/config.hpp"

#include <string>

namespace fit {
namespace {

// A band of two positive numbers, the first below the second.
std::array<double, 2> readBand(const Reader& r, const toml::node& n, const std::string& key, const char* unit) {
  const toml::array* a = n.as_array();
  if (a == nullptr || a->size() != 2)
    r.fail(n.source(), key + " must be two numbers, [lowest, highest] in " + unit);
  const std::array<double, 2> band{r.number(*a->get(0), key), r.number(*a->get(1), key)};
  if (!(band[0] > 0.0) || !(band[1] > band[0]))
    r.fail(n.source(), key + " must be two positive numbers in increasing order (" + unit + ")");
  return band;
}

int readCount(const Reader& r, const toml::node& n, const std::string& key, int least) {
  const long long v = r.integer(n, key);
  if (v < least || v > 1000)
    r.fail(n.source(), key + " must be from " + std::to_string(least) + " to 1000");
  return static_cast<int>(v);
}

}  // namespace

std::string misfitTerms(const MisfitWeights& m) {
  std::string text;
  for (const auto& [name, weight] : {std::pair{"acc", m.acc}, {"vel", m.vel}, {"dis", m.dis}, {"env", m.envelope},
                                     {"psa", m.spectral.psa}, {"fourier", m.spectral.fourier}}) {
    if (weight <= 0) continue;
    char w[32] = "";
    if (weight != 1.0) std::snprintf(w, sizeof w, "%g ", weight);
    text += (text.empty() ? "" : " + ") + std::string(w) + name;
  }
  return text;
}

engine::SpectralSettings readSpectralTerms(const Reader& r, const toml::table& t) {
  engine::SpectralSettings s;
  for (auto [key, target] : {std::pair{"psa", &s.psa}, {"fourier", &s.fourier}}) {
    if (const toml::node* n = t.get(key)) {
      *target = r.number(*n, key);
      if (*target < 0) r.fail(n->source(), std::string(key) + " must be 0 or positive");
    }
  }
  if (const toml::node* n = t.get("psa_periods")) s.periods = readBand(r, *n, "psa_periods", "s");
  if (const toml::node* n = t.get("fourier_band")) s.band = readBand(r, *n, "fourier_band", "Hz");
  if (const toml::node* n = t.get("psa_count"))
    s.periodCount = readCount(r, *n, "psa_count", kMinPsaPeriods);
  if (const toml::node* n = t.get("fourier_count")) s.frequencyCount = readCount(r, *n, "fourier_count", 2);
  return s;
}

}  // namespace fit
