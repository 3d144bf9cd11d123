// The view of one simulated record, made from the core's results, for
// the front ends that write series files and reports (egfsim for its run,
// egffit for each record of its best model).
#pragma once

#include <array>
#include <vector>

#include "core/simulation.hpp"
#include "model/params.hpp"
#include "records/records.hpp"
#include "report/report.hpp"

namespace report {

// A RunView together with the series it points to that the core does not
// hold: the element motion without cfac. Not copied or moved (the spans
// point into it).
struct RunRecord {
  RunView view;
  std::array<std::vector<float>, 3> element;

  RunRecord() = default;
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;
};

// Fills `out` for the parameter set `p`, the headers of the target and
// element records, the prepared observed and element (times cfac) motions
// and a finished simulation (done == Comparison). The spans point into
// `observed`, `simulation` and `out`, which must outlive the writes.
void describeRun(const model::Params& p, const records::RecordHeader& targetHeader,
                 const records::RecordHeader& elementHeader, const records::PreparedRecord& observed,
                 const records::PreparedRecord& element, const core::Simulation& simulation,
                 RunRecord& out);

}  // namespace report
