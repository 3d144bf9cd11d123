// egfsim's command line: no argument holds the console dialogue; one
// parameter file name answers it; --help and --version print and end;
// --series DIR and --report DIR, before the parameter file, ask for the
// series files and the comparison report after a normal end.
#pragma once

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "run/driver.hpp"

namespace run {

struct CommandLine {
  enum class Action { Run, Help, Version, Usage };
  Action action = Action::Run;
  // With Run: the parameter file that answers the dialogue's first question
  // (the other four answers blank); none: the dialogue is read from the console.
  std::optional<std::string> parameterFile;
  // With Run: where the series files and the report go (empty: not asked).
  OutputFolders folders;
  // With Usage: what was wrong, for the one usage line.
  std::string problem;
};

// Reads the arguments after the program name.
CommandLine parseCommandLine(std::span<const std::string_view> args);

// "usage: egfsim --help | --version | [--series DIR] [--report DIR] [PARAMFILE]"
std::string usageLine();
// The --help text, several lines, ending in a newline.
std::string helpText();
// "egfsim VERSION"
std::string versionText();

// The five dialogue answers for `egfsim PARAMFILE`, one a line, exactly as
// if typed: the file name and four blank answers.
std::string dialogueAnswers(std::string_view parameterFile);

// The whole program behind main: parses `args`, prints the help, the
// version or the usage line (status 2), or runs with the dialogue read from
// `in` or answered by the parameter file. Returns the exit status; an
// internal fault is one line starting "internal error:", status 3.
int runCommandLine(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
                   std::ostream& err);

}  // namespace run
