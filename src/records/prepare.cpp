// A record file read whole, and a record's samples turned into mean-free
// acceleration, velocity and displacement series.
//
// The order of the steps fixes the numbers: each integration starts from the
// mean-free series of the step before, the filter acts only once all three
// series exist, and the last mean removal acts on the filtered (and, for the
// element, scaled) copies.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "records/records.hpp"

namespace records {
namespace {

std::string trimmedName(const std::string& name) {
  return name.substr(0, name.find_last_not_of(' ') + 1);
}

}  // namespace

RecordSamples readRecordFile(textio::Channels& io, int unit, const std::string& name,
                             RecordHeader& h) {
  const std::string file = trimmedName(name);
  h.progress = {};
  io.open(unit, file);
  std::vector<float> buffer(model::kRecordCapacity);
  int npts = 0;
  int isps = 0;
  readkib(io, unit, buffer, npts, isps, h, file);
  io.close(unit);
  buffer.resize(static_cast<std::size_t>(npts));
  return {std::move(buffer), isps, 1.0f / static_cast<float>(isps), h.dunit};
}

RecordIdentity identityOf(const std::string& name, const RecordSamples& r) {
  return {trimmedName(name), r.isps, r.unit};
}

Preparation targetPreparation(const model::Params& p) {
  return {p.ifilt == 1, {p.fl, p.fh, p.fs, p.ap, p.as}, 1.0f};
}

Preparation elementPreparation(const model::Params& p) {
  return {p.ifilt == 1, {p.fl, p.fh, p.fs, p.ap, p.as}, p.cfac};
}

PreparedRecord prepareRecord(std::span<const float> samples, float dt, const Preparation& how) {
  const int n = static_cast<int>(samples.size());
  if (n > model::kMaxSamples) throw std::logic_error("prepareRecord: more samples than a series holds");
  PreparedRecord r;
  r.count = n;
  r.dt = dt;
  // The record and its two running integrals; each integration starts from
  // the mean-free series before it.
  model::Motion record(static_cast<std::size_t>(n));
  std::copy(samples.begin(), samples.end(), record.acc.begin());
  dsp::removeMean(record.acc, 1, n, r.recordMeans[0]);
  dsp::runningIntegral(dt, n, record.acc, record.vel);
  dsp::removeMean(record.vel, 1, n, r.recordMeans[1]);
  dsp::runningIntegral(dt, n, record.vel, record.disp);
  dsp::removeMean(record.disp, 1, n, r.recordMeans[2]);
  if (how.filter) {
    const dsp::FilterDesign design = dsp::designFilter(dt, how.band);
    r.filterRefused = design.refused();
    // A refused design leaves the series unfiltered.
    if (!r.filterRefused) {
      for (const std::span<float> x : record.series()) dsp::filterZeroPhase(x, n, design);
    }
  }

  // The copies: scaled (times 1 for the target, which changes no sample),
  // silent beyond the record, then mean-free once more.
  r.motion = model::Motion(model::kMaxSamples);
  const auto from = record.series();
  const auto to = r.motion.series();
  for (std::size_t s = 0; s < 3; ++s) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) to[s][i] = from[s][i] * how.scale;
  }
  for (std::size_t s = 0; s < 3; ++s) dsp::removeMean(to[s], 1, n, r.motionMeans[s]);
  // Samples that read as finite can still be too large for single precision
  // once summed for a mean, integrated or scaled by cfac; NaN propagates, so
  // checking the final series catches an overflow at any step before.
  for (const std::span<float> x : to) {
    if (!std::all_of(x.begin(), x.begin() + n, [](float v) { return std::isfinite(v); })) r.finite = false;
  }
  return r;
}

textio::InputRejected overflowRefusal(const std::string& name) {
  return textio::InputRejected("record file " + trimmedName(name) +
                               ": the samples are too large: their means, integrals or their "
                               "product with cfac overflow single precision");
}

}  // namespace records
