// What the best model's files and summaries say about its fit beyond the
// misfit: the common shift carried into the parameter files' windows,
// egfsim's own comparison read back from its transcript, and the radiation
// coefficients that a correlation below 0 points to.
#pragma once

#include <optional>
#include <string>

#include "model/params.hpp"
#include "synthesis/synthesis.hpp"

namespace fit {

// The common shift (seconds, as models.csv holds it) in samples of `dt`.
int shiftSamples(double shiftSeconds, float dt);

// The synthetic window ksa..kea moved by `shift` samples, so that egfsim
// compares at lag 0 what the search compared at the common shift. A window
// that would leave samples 1..15000 stops at the edge; `note` then says by
// how many samples it falls short of the shift.
struct ShiftedWindow {
  int ksa = 0, kea = 0;
  std::string note;
};
ShiftedWindow shiftedWindow(const model::Params& p, int shift);

// egfsim's comparison in its transcript ("acc res =", "acc cor =", "acc
// mtime =" and the same for vel and dis); nothing when a line is missing.
std::optional<synthesis::Comparison> transcriptFits(const std::string& transcript);

// The radiation coefficients of a model at its station on the recorded
// component, computed whatever ipfm says (ipfm 0 computes none): the
// element's rada and the range of radt/rada over the subfaults.
struct RadiationFacts {
  model::Radiation ipfm = model::Radiation::NotCorrected;
  float rada = 0;
  double ratioLo = 0, ratioHi = 0;  // NaN when rada is 0
};
RadiationFacts radiationFacts(const model::Params& p, float dt);

// "ipfm 0 (no correction); element rada -0.312; radt/rada over the
// subfaults -1.9 to -0.41".
std::string radiationText(const RadiationFacts& f);

}  // namespace fit
