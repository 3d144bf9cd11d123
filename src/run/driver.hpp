// One whole run: the console dialogue, the parameter file, both records,
// the synthesis, the comparison and the two figures, in that fixed order.
#pragma once

#include <string>

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

// Carries out one run. Early ends travel as the exceptions of textio/stop.hpp.
void execute(textio::Channels& io);

// Runs the program on the given console streams and returns its exit status:
// 0 after a normal run (or a stop with a text), 1 after a fatal I/O report,
// 2 after a rejected input.
int runProgram(std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace run
