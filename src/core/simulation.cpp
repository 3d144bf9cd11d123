#include "core/simulation.hpp"

namespace core {

PreparedRecords prepareRecords(const model::Params& p, const records::RecordSamples& target,
                               const records::RecordSamples& element) {
  records::requireComparable(records::identityOf(p.fmain, target),
                             records::identityOf(p.faft, element));
  PreparedRecords r{
      records::prepareRecord(target.samples, target.dt, records::targetPreparation(p)), {}};
  if (!r.target.finite) throw records::overflowRefusal(p.fmain);
  r.element = records::prepareRecord(element.samples, element.dt, records::elementPreparation(p));
  if (!r.element.finite) throw records::overflowRefusal(p.faft);
  return r;
}

int syntheticSamples(const model::Params& p, const records::PreparedRecord& target) {
  return p.ns == 0 ? target.count : p.ns;
}

void simulate(const model::Params& p, const records::PreparedRecord& target,
              const records::PreparedRecord& element, Simulation& result) {
  const float dt = element.dt;
  result.done = Simulation::None;
  result.model = synthesis::sourceModel(p, dt);
  result.done = Simulation::SourceModel;
  result.synthetic = synthesis::synthesize(p, result.model, element.motion, element.count, dt,
                                           syntheticSamples(p, target));
  result.done = Simulation::Summation;
  result.fits = synthesis::compare(p, target.motion, result.synthetic.motion);
  result.done = Simulation::Comparison;
}

void simulate(const model::Params& p, const synthesis::SummationPlan& plan,
              const records::PreparedRecord* target, const records::PreparedRecord& element,
              int samples, Simulation& result) {
  result.done = Simulation::SourceModel;
  result.synthetic =
      synthesis::synthesize(plan, element.motion, element.count, samples, p.ksa, p.kea);
  result.done = Simulation::Summation;
  if (target == nullptr) return;
  result.fits = synthesis::compare(p, target->motion, result.synthetic.motion);
  result.done = Simulation::Comparison;
}

Simulation simulate(const model::Params& p, const records::PreparedRecord& target,
                    const records::PreparedRecord& element) {
  Simulation result;
  simulate(p, target, element, result);
  return result;
}

}  // namespace core
