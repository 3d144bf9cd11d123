// The source model a study's parameter files are set up with: the first
// SMGA of [source] as egfsim's one fault area, and the summation's lagmin of
// the whole model, as the search and the exact runs sum it.
#include "fit/setup.hpp"

namespace fit {

model::Params studySource(const Config& c) {
  if (!c.source)
    throw ConfigError(c.file.string() +
                      ": a study's parameter files need the source model: give [source] with vs and vr and its "
                      "[[source.smga]]");
  if (!c.source->vs)
    throw ConfigError(c.file.string() + ": [source] needs vs: the S-wave speed times the delays and the predicted S "
                                        "arrivals");
  for (std::size_t k = 0; k < c.source->smgas.size(); ++k)
    if (!c.source->vr && !c.source->smgas[k].vr)
      throw ConfigError(c.file.string() + ": [source] needs vr (or SMGA " + std::to_string(k + 1) +
                        " its own): the rupture velocity");
  // What [source] may leave out: a radial rupture, no radiation
  // correction, the exponentially decaying sub-event weights.
  model::Params base;
  base.ird = model::Rupture::Radial;
  base.ipfm = model::Radiation::NotCorrected;
  base.imdl = model::TimeFunction{3};
  return source::areaParams(base, *c.source, 0);
}

study::Lagmin studyLagmin(const Config& c) {
  return [&c](const model::Params& record, float dt) {
    source::Planner planner;
    return planner.plan(record, *c.source, dt, record.cfac).lagmin();
  };
}

}  // namespace fit
