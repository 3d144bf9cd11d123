#include "fit/diagnose.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/limits.hpp"

namespace fit {

int shiftSamples(double shiftSeconds, float dt) {
  return static_cast<int>(std::lround(shiftSeconds / static_cast<double>(dt)));
}

ShiftedWindow shiftedWindow(const model::Params& p, int shift) {
  // Both ends move together, so the window keeps its length; at the edges
  // of the stored samples the move stops short.
  const int room = shift < 0 ? 1 - std::min(p.ksa, p.kea) : model::kMaxSamples - std::max(p.ksa, p.kea);
  const int moved = shift < 0 ? std::max(shift, room) : std::min(shift, room);
  ShiftedWindow w{p.ksa + moved, p.kea + moved, ""};
  if (moved != shift)
    w.note = "ksa and kea moved by " + std::to_string(moved) + " samples, not the common shift's " +
             std::to_string(shift) + ": the window reaches the edge of the stored samples";
  return w;
}

namespace {

// The number after `label` on its transcript line.
std::optional<double> transcriptNumber(const std::string& transcript, const std::string& label) {
  const std::size_t at = transcript.find(label);
  if (at == std::string::npos) return std::nullopt;
  const char* from = transcript.c_str() + at + label.size();
  char* end = nullptr;
  const double v = std::strtod(from, &end);
  if (end == from) return std::nullopt;
  return v;
}

}  // namespace

std::optional<synthesis::Comparison> transcriptFits(const std::string& transcript) {
  static const char* const names[3] = {"acc", "vel", "dis"};
  synthesis::Comparison fits{};
  for (std::size_t q = 0; q < 3; ++q) {
    const auto res = transcriptNumber(transcript, std::string(names[q]) + " res =");
    const auto cor = transcriptNumber(transcript, std::string(names[q]) + " cor =");
    const auto lag = transcriptNumber(transcript, std::string(names[q]) + " mtime =");
    if (!res || !cor || !lag) return std::nullopt;
    fits[q] = {static_cast<float>(*res), static_cast<float>(*cor), static_cast<int>(*lag)};
  }
  return fits;
}

RadiationFacts radiationFacts(const model::Params& p, float dt) {
  RadiationFacts f;
  f.ipfm = p.ipfm;
  // Sign-only asks the geometry for every coefficient and refuses none.
  model::Params q = p;
  q.ipfm = model::Radiation::SignOnly;
  const synthesis::SubfaultModel m = synthesis::sourceModel(q, dt);
  f.rada = m.rada;
  f.ratioLo = f.ratioHi = NAN;
  if (m.rada == 0.0f) return f;
  double lo = INFINITY, hi = -INFINITY;
  for (int i = 0; i < std::min(p.nx, synthesis::kMaxGrid); ++i) {
    for (int j = 0; j < std::min(p.nw, synthesis::kMaxGrid); ++j) {
      const double ratio = static_cast<double>(m.radt[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]) /
                           static_cast<double>(m.rada);
      lo = std::min(lo, ratio), hi = std::max(hi, ratio);
    }
  }
  if (lo <= hi) f.ratioLo = lo, f.ratioHi = hi;
  return f;
}

std::string radiationText(const RadiationFacts& f) {
  static const char* const settings[3] = {"no correction", "corrected by radt/rada", "the sign of radt"};
  const int ipfm = static_cast<int>(f.ipfm);
  char text[200];
  std::snprintf(text, sizeof text, "ipfm %d (%s); element rada %.4g on this component; ", ipfm,
                ipfm >= 0 && ipfm <= 2 ? settings[ipfm] : "no correction", static_cast<double>(f.rada));
  std::string s = text;
  if (std::isnan(f.ratioLo)) return s + "radt/rada undefined (rada is 0)";
  std::snprintf(text, sizeof text, "radt/rada over the subfaults %.4g to %.4g", f.ratioLo, f.ratioHi);
  return s + text;
}

}  // namespace fit
