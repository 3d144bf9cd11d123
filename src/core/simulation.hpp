// The whole simulation of one parameter set and one pair of prepared
// records, in memory: the source model, the summation and the comparison.
// Nothing here reads a file, writes one or touches the console, and no
// state is shared between calls, so any number of simulations may run at
// once on separate threads. This is what every front end runs: egfsim writes
// its transcript and figures from the result, a search evaluates many
// parameter sets against records prepared once.
#pragma once

#include "model/params.hpp"
#include "records/records.hpp"
#include "synthesis/synthesis.hpp"

namespace core {

// The records of a run, prepared for a parameter set (its filter and cfac).
struct PreparedRecords {
  records::PreparedRecord target;   // the observed motion
  records::PreparedRecord element;  // the element motion times cfac
};

// Prepares both records as egfsim does. A pair at different rates or in
// different unit families, and a record whose prepared samples overflow
// single precision, are refused (textio::InputRejected naming the parameter
// file's record names).
PreparedRecords prepareRecords(const model::Params& p, const records::RecordSamples& target,
                               const records::RecordSamples& element);

// Everything one simulation computes, stage by stage.
struct Simulation {
  enum Stage { None, SourceModel, Summation, Comparison };
  Stage done = None;               // the last stage completed
  synthesis::SubfaultModel model;  // when done >= SourceModel
  synthesis::Synthesis synthetic;  // when done >= Summation
  synthesis::Comparison fits{};    // when done == Comparison
};

// Runs the stages in order into `result`, which records how far they got
// when a stage refuses (the refusal is thrown: textio::InputRejected or one
// of the stage's own kinds, synthesis::ZeroDistance,
// synthesis::SummationRefused, synthesis::ComparisonRefused). The run uses
// the element record's sample interval; an ns of 0 synthesises as many
// samples as the target record has.
void simulate(const model::Params& p, const records::PreparedRecord& target,
              const records::PreparedRecord& element, Simulation& result);

// The same, returning the finished simulation.
Simulation simulate(const model::Params& p, const records::PreparedRecord& target,
                    const records::PreparedRecord& element);

// The simulation of a summation plan (the fault areas of a source model)
// into `samples` samples, with p's windows: the summation (its means over
// 1..samples and then over ksa..kea removed) and, when `target` is given,
// the comparison. result.model is left empty; the stages' refusals are
// thrown as by the other simulate.
void simulate(const model::Params& p, const synthesis::SummationPlan& plan,
              const records::PreparedRecord* target, const records::PreparedRecord& element,
              int samples, Simulation& result);

// Samples synthesised: ns, or the target record's count when ns is 0.
int syntheticSamples(const model::Params& p, const records::PreparedRecord& target);

}  // namespace core
