// The spectral terms' keys of [misfit]: psa and fourier (weights),
// psa_periods, psa_count, fourier_band, fourier_count.
#pragma once

#include <string>

#include <toml++/toml.h>

#include "engine/spectral.hpp"
#include "fit/toml_reader.hpp"

namespace fit {

// The fewest periods the psa term takes: the response spectrum of a real
// record has peaks and troughs a few tenths of a decade apart.
inline constexpr int kMinPsaPeriods = 30;

// The misfit's weighted terms as text: "vel + dis + 0.5 psa + fourier".
struct MisfitWeights;
std::string misfitTerms(const MisfitWeights& m);

// Reads the spectral keys of the [misfit] table `t`; ConfigError at the
// key's place for a value that cannot be used.
engine::SpectralSettings readSpectralTerms(const Reader& r, const toml::table& t);

}  // namespace fit
