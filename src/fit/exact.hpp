// The exact run of a source model at one record: the element prepared as
// egfsim prepares it for the first SMGA's parameter set (its C), the
// summation plan of every SMGA summed in single precision (areas in order,
// then subfault i, j and sub-event k, each copy weighed by C_k / C_1), and
// for a fitted record egfsim's comparison. For one SMGA at the hypocentre
// this is egfsim's run of the parameter file that SMGA maps to, bit for
// bit.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "core/simulation.hpp"
#include "fit/problem.hpp"
#include "report/report.hpp"
#include "report/run_record.hpp"
#include "source/source.hpp"

namespace fit {

struct ExactRun {
  model::Params params;              // the record's, with the first SMGA's values
  records::PreparedRecord element;   // prepared with the first SMGA's C
  core::Simulation simulation;       // synthetic; comparison for a fitted record
  std::vector<source::AreaFacts> facts;
};

// Runs `s` at record `r`, whose parameter set (with any varied values of
// its own lines) is `base`. A predicted record without ns is synthesised
// over the element's length plus the plan's longest shift (every copy
// whole), within the 15000 samples a series holds. Throws the stages'
// refusals (textio::InputRejected and its kinds).
ExactRun runExact(const PreparedRecord& r, const model::Params& base, const source::Source& s);

// The run of parameter set `p` at the fitted record `r`, as egfsim runs the
// parameter file that holds it: the element prepared with p's cfac, then
// the core's stages. Throws as runExact.
ExactRun runFile(const PreparedRecord& r, const model::Params& p);

// The comparison (or prediction) of a run, for the series files, the
// report and the prediction files.
void describeExact(const PreparedRecord& r, const ExactRun& run, report::RunRecord& out);

// Writes the run's series files into `dir`, and egfsim's comparison report
// into dir/report (a fitted record, with the search's own comparison
// `search` beside it when given) or the prediction files (a predicted one).
void writeExact(const std::filesystem::path& dir, const PreparedRecord& r, const ExactRun& run,
                const std::optional<report::RunView::SearchFit>& search = std::nullopt);

}  // namespace fit
