// One whole run: the console dialogue, the parameter file, both records,
// the synthesis, the comparison and the two figures, in that fixed order.
#pragma once

#include <string>

#include "core/simulation.hpp"
#include "model/params.hpp"
#include "records/records.hpp"
#include "textio/textio.hpp"

namespace run {

// The five answers of the console dialogue, blank padded to their widths.
// Only the parameter file name is used; the other four are echoed.
struct Answers {
  std::string fprm = std::string(80, ' ');
  std::string fobs = std::string(80, ' ');
  std::string cobs = std::string(52, ' ');
  std::string fsyn = std::string(80, ' ');
  std::string csyn = std::string(52, ' ');
};

// Asks the five questions on the console and echoes each answer.
Answers holdDialogue(textio::Channels& io);

// What a finished run leaves for the series files and the report.
struct Finished {
  model::Params p;
  records::RecordHeader targetHeader, elementHeader;
  records::PreparedRecord observed, element;  // the element times cfac
  core::Simulation simulation;
};

// Carries out one run. Early ends travel as the exceptions of textio/stop.hpp.
// When `finished` is given it receives the run's data at the end.
void execute(textio::Channels& io, Finished* finished = nullptr);

// Folders for the series files and the report; empty: not asked for.
struct OutputFolders {
  std::string series, report;
};

// Writes the asked-for series files and report of a finished run. Returns
// 0, or 1 after one line on `err` naming a folder that cannot be written.
int writeOutputs(const Finished& run, const OutputFolders& folders, std::ostream& err);

// Runs the program on the given console streams and returns its exit status:
// 0 after a normal run, 1 after a fatal I/O report or an output folder that
// cannot be written, 2 after a rejected input. The series and the report
// are written only after a normal end of the run. Any other exception is the
// program's own fault and passes to the caller.
int runProgram(std::istream& in, std::ostream& out, std::ostream& err,
               const OutputFolders& folders = {});

}  // namespace run
