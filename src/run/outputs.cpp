// The series files and the report of a finished run.
#include <ostream>

#include "report/run_record.hpp"
#include "run/driver.hpp"
#include "textio/stop.hpp"

namespace run {

int writeOutputs(const Finished& run, const OutputFolders& folders, std::ostream& err) {
  report::RunRecord record;
  report::describeRun(run.p, run.targetHeader, run.elementHeader, run.observed, run.element,
                      run.simulation, record);
  try {
    if (!folders.series.empty()) report::writeSeries(folders.series, record.view);
    if (!folders.report.empty()) report::writeReport(folders.report, record.view);
  } catch (const report::WriteError& e) {
    err << "egfsim: " << e.what() << '\n';
    err.flush();
    return textio::kExitIoError;
  }
  return textio::kExitNormal;
}

}  // namespace run
