#include "fit/exact.hpp"

#include <algorithm>

namespace fit {

ExactRun runExact(const PreparedRecord& r, const model::Params& base, const source::Source& s) {
  ExactRun run;
  run.params = source::areaParams(base, s, 0);
  run.element = records::prepareRecord(r.elementSamples.samples, r.elementSamples.dt,
                                       records::elementPreparation(run.params));
  if (!run.element.finite) throw records::overflowRefusal(run.params.faft);
  source::Planner planner;
  const synthesis::SummationPlan plan = planner.plan(base, s, run.element.dt, run.params.cfac);
  int samples = r.samples;
  if (r.predict && samples == 0)
    samples = std::min(model::kMaxSamples, run.element.count + plan.longestShift());
  core::simulate(run.params, plan, r.predict ? nullptr : &r.target, run.element, samples, run.simulation);
  for (std::size_t k = 0; k < s.smgas.size(); ++k)
    run.facts.push_back(source::facts(planner.areas()[k], source::onsetSeconds(s, k, base)));
  return run;
}

ExactRun runFile(const PreparedRecord& r, const model::Params& p) {
  ExactRun run;
  run.params = p;
  run.element = records::prepareRecord(r.elementSamples.samples, r.elementSamples.dt, records::elementPreparation(p));
  if (!run.element.finite) throw records::overflowRefusal(p.faft);
  core::simulate(p, r.target, run.element, run.simulation);
  return run;
}

void describeExact(const PreparedRecord& r, const ExactRun& run, report::RunRecord& out) {
  // A predicted record has no target: its station and component are the
  // element record's.
  const records::RecordHeader& station = r.predict ? r.elementHeader : r.targetHeader;
  report::describeRun(run.params, station, r.elementHeader, r.target, run.element, run.simulation, out);
  report::RunView& c = out.view;
  if (r.predict) c.event.clear();
  // One SMGA starting at the hypocentre at the origin time is egfsim's
  // model, and its report egfsim's; any other model is stated by its SMGAs,
  // their places and onsets.
  if (run.facts.size() == 1 && run.facts[0].onset == 0 && run.facts[0].startU == 0 && run.facts[0].startW == 0) return;
  for (const source::AreaFacts& f : run.facts) {
    c.areas.push_back({f.nx, f.nw, f.nt, f.nsx, f.nsw, f.cfac, f.vr, f.dx, f.dw, f.tra, f.startU, f.startW, f.onset});
  }
}

void writeExact(const std::filesystem::path& dir, const PreparedRecord& r, const ExactRun& run,
                const std::optional<report::RunView::SearchFit>& search) {
  report::RunRecord record;
  describeExact(r, run, record);
  record.view.search = search;
  if (r.predict) {
    report::writePrediction(dir, record.view);
  } else {
    report::writeSeries(dir / "series", record.view);
    report::writeReport(dir / "report", record.view);
  }
}

}  // namespace fit
