// The command line: help, version, the usage line, and a parameter file
// that answers the dialogue.
#include "run/command_line.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/faults.hpp"
#include "support/files.hpp"

namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
  bool operator==(const Outcome&) const = default;
};

Outcome runWith(std::vector<std::string_view> args, const std::string& console = "") {
  std::istringstream in(console);
  std::ostringstream out, err;
  const int status = run::runCommandLine(args, in, out, err);
  return {status, out.str(), err.str()};
}

TEST(CommandLine, HelpVersionAndUsage) {
  const std::string usage = "usage: egfsim --help | --version | [--series DIR] [--report DIR] [PARAMFILE]";
  const Outcome help = runWith({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind(usage + "\n", 0), 0u);
  for (const char* part : {"five questions", "fort.N", "Exit status", "docs/manual.md"})
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  EXPECT_EQ(runWith({"--version"}), (Outcome{0, "egfsim " EGF_TEST_PROJECT_VERSION "\n", ""}));

  const std::pair<std::vector<std::string_view>, std::string> wrong[] = {
      {{"-x"}, "unknown option -x"},
      {{"a.prm", "b.prm"}, "one parameter file at most"},
      {{"--help", "a.prm"}, "--help stands alone"},
      {{"a.prm", "--version"}, "--version stands alone"},
      {{"a\nb"}, "a parameter file name cannot hold a line break"},
      {{"a.prm", "--report", "r"}, "--report must come before the parameter file"},
      {{"--series"}, "--series needs DIR"},
      {{"--report", "", "a.prm"}, "--report needs DIR"},
  };
  for (const auto& [args, problem] : wrong)
    EXPECT_EQ(runWith(args), (Outcome{2, "", "egfsim: " + problem + "; " + usage + "\n"}));
}

// `egfsim PARAMFILE` runs exactly as the dialogue answered with PARAMFILE
// and four blank lines, the console unread; no argument reads the console.
TEST(CommandLine, ParameterFileAnswersTheDialogue) {
  const testsupport::TempFolder dir(true);
  dir.write("run.prm", "21 0\n1 6.0\n");  // ends early: the fatal end-of-file report
  const Outcome typed = runWith({}, "run.prm\n\n\n\n\n");
  const Outcome given = runWith({"run.prm"}, "other.prm\n");
  EXPECT_EQ(typed.status, 1);
  EXPECT_NE(typed.out.find(" run.prm "), std::string::npos);
  EXPECT_EQ(given, typed);
}

// A fault of the program's own (here a console that throws a logic error)
// ends the run with one line and status 3, after the transcript so far.
TEST(CommandLine, AnInternalFaultIsOneLineAndStatusThree) {
  testsupport::FaultyStream in([] { throw std::logic_error("a broken invariant"); });
  std::ostringstream out, err;
  EXPECT_EQ(run::runCommandLine({}, in, out, err), 3);
  EXPECT_EQ(out.str(), "  input filename of input parameters\n");
  EXPECT_EQ(err.str(),
            "internal error: a broken invariant. This is a fault of egfsim, not of its input: please report it "
            "with the command and the files that caused it.\n");
}

}  // namespace
