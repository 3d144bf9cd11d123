// Running the built program as a user does: in a folder of its own, the five
// answers on standard input, the transcript on standard output.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/files.hpp"

namespace runsupport {

namespace fs = std::filesystem;

inline const fs::path kSourceDir = EGF_TEST_SOURCE_DIR;
inline const fs::path kProgram = fs::path(EGF_TEST_BINARY_DIR) / "egfsim";

using testsupport::readFile;
using testsupport::writeFile;
using RunFolder = testsupport::TempFolder;

inline int exitStatus(int raw) { return (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1; }

struct Outcome {
  int status = -1;
  std::string transcript, errors;
};

// Runs the program in `folder` with the five answers of `answers`.
inline Outcome runProgram(const fs::path& folder, const std::string& answers) {
  writeFile(folder / "answers.in", answers);
  const std::string cmd = "cd '" + folder.string() + "' && '" + kProgram.string() +
                          "' < answers.in > transcript.txt 2> errors.txt";
  return {exitStatus(std::system(cmd.c_str())), readFile(folder / "transcript.txt"), readFile(folder / "errors.txt")};
}

// The three correlation coefficients of a transcript; NaN where one is absent.
struct Fit {
  double acc, vel, dis;
};

inline Fit correlations(const std::string& transcript) {
  auto after = [&](const std::string& label) {
    const auto at = transcript.find(label);
    return at == std::string::npos ? std::nan("") : std::strtod(transcript.c_str() + at + label.size(), nullptr);
  };
  return {after("acc cor ="), after("vel cor ="), after("dis cor =")};
}

// "" when the two texts are equal; otherwise the first line where they
// differ, numbered from 1, as it stands in each.
inline std::string firstDifference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  std::istringstream e(expected), a(actual);
  std::string le, la;
  for (int line = 1;; ++line) {
    const bool me = static_cast<bool>(std::getline(e, le)), ma = static_cast<bool>(std::getline(a, la));
    if (!me && !ma) return "the texts differ only in their final line end";
    if (!me || !ma || le != la)
      return "line " + std::to_string(line) + ":\n  expected: " + (me ? le : "(end)") + "\n  actual:   " +
             (ma ? la : "(end)");
  }
}

inline bool haveGhostscript() { return std::system("gs -v > /dev/null 2>&1") == 0; }

// Interprets each figure of `folder` with Ghostscript on the null device:
// it must end with status 0 and print no error.
inline void expectFiguresPassGhostscript(const fs::path& folder) {
  for (const char* figure : {"fort.21", "fort.22"}) {
    const fs::path file = folder / figure, log = folder / (std::string(figure) + ".gslog");
    const std::string cmd = "gs -dSAFER -dBATCH -dNOPAUSE -q -sDEVICE=nullpage '" + file.string() +
                            "' > '" + log.string() + "' 2>&1";
    EXPECT_EQ(exitStatus(std::system(cmd.c_str())), 0) << figure << ":\n" << readFile(log);
    EXPECT_EQ(readFile(log).find("Error"), std::string::npos) << figure << ":\n" << readFile(log);
  }
}

}  // namespace runsupport
