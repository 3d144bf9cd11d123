// The command line: help, version, a parameter file that answers the
// dialogue, and the forms that get the usage line.
#include "run/command_line.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/driver.hpp"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
};

Outcome runWith(std::vector<std::string_view> args, const std::string& console = "") {
  std::istringstream in(console);
  std::ostringstream out, err;
  Outcome r;
  r.status = run::runCommandLine(args, in, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

TEST(CommandLine, HelpVersionAndUsage) {
  const Outcome help = runWith({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: egfsim --help | --version | [PARAMFILE]\n", 0), 0u);
  for (const char* part : {"five questions", "fort.N", "Exit status", "docs/manual.md"})
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  EXPECT_EQ(help.err, "");

  const Outcome version = runWith({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("egfsim ") + EGF_TEST_PROJECT_VERSION + "\n");

  const struct Row {
    std::vector<std::string_view> args;
    const char* problem;
  } rows[] = {
      {{"-x"}, "unknown option -x"},
      {{"a.prm", "b.prm"}, "one parameter file at most"},
      {{"--help", "a.prm"}, "--help stands alone"},
      {{"a.prm", "--version"}, "--version stands alone"},
      {{"a\nb"}, "a parameter file name cannot hold a line break"},
  };
  for (const Row& r : rows) {
    const Outcome o = runWith(r.args);
    EXPECT_EQ(o.status, 2) << r.problem;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, std::string("egfsim: ") + r.problem +
                         "; usage: egfsim --help | --version | [PARAMFILE]\n");
  }
}

// `egfsim PARAMFILE` runs exactly as the dialogue answered with PARAMFILE
// and four blank lines, console input unread; no argument reads the console.
TEST(CommandLine, ParameterFileAnswersTheDialogue) {
  const fs::path dir = fs::temp_directory_path() / "egf_command_line";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  std::ofstream("run.prm") << "21 0\n1 6.0\n";  // ends early: the fatal end-of-file report

  const Outcome typed = runWith({}, "run.prm\n\n\n\n\n");
  const Outcome given = runWith({"run.prm"}, "other.prm\n");
  fs::current_path(old);
  fs::remove_all(dir);

  EXPECT_EQ(typed.status, 1);
  EXPECT_NE(typed.out.find(" run.prm "), std::string::npos);
  EXPECT_EQ(given.status, typed.status);
  EXPECT_EQ(given.out, typed.out);
  EXPECT_EQ(given.err, typed.err);
}

}  // namespace
