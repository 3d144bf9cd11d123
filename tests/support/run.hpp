// Running the built program as a user does: in a folder of its own, the five
// answers on standard input, the transcript on standard output.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/files.hpp"

namespace runsupport {

namespace fs = std::filesystem;

inline const fs::path kSourceDir = EGF_TEST_SOURCE_DIR;
inline const fs::path kProgram = fs::path(EGF_TEST_BINARY_DIR) / "egfsim";
inline const fs::path kFit = fs::path(EGF_TEST_BINARY_DIR) / "egffit";

using testsupport::firstDifference;
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

// Runs egffit with `args` (a shell word list) in `folder`.
inline Outcome runFit(const fs::path& folder, const std::string& args) {
  const std::string cmd = "cd '" + folder.string() + "' && '" + kFit.string() + "' " + args + " > out.txt 2> err.txt";
  return {exitStatus(std::system(cmd.c_str())), readFile(folder / "out.txt"), readFile(folder / "err.txt")};
}

// A summary.txt without its closing time line.
inline std::string withoutTime(const std::string& summary) { return summary.substr(0, summary.find("\ntime: ")); }

// The rows of a models.csv, its header not counted.
inline std::size_t rowCount(const std::string& csv) {
  const auto lines = static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n'));
  return lines > 0 ? lines - 1 : 0;
}

// Every file under `folder` by its relative path, without what differs from
// run to run: a PDF's creation date, the summaries' and shard.json's times.
inline std::map<std::string, std::string> contents(const fs::path& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    std::string text = readFile(e.path());
    const std::size_t date = text.find("/CreationDate (");
    if (date != std::string::npos) text.erase(date, text.find(')', date) - date);
    const std::string name = fs::relative(e.path(), folder).string();
    if (name == "summary.txt") text = withoutTime(text);
    if (name == "summary.json" || name == "shard.json") text = text.substr(0, text.find("\"seconds\""));
    files[name] = text;
  }
  return files;
}

// The files `names` of the run folder `run` (as contents() gives them)
// against their stored copies under tests/STORED, `tmp` written as "<tmp>".
inline void expectStoredFiles(const fs::path& run, const std::string& stored, const std::vector<std::string>& names,
                              const fs::path& tmp) {
  const auto files = contents(run);
  for (const std::string& n : names) {
    SCOPED_TRACE(n);
    ASSERT_EQ(files.count(n), 1u) << "no " << n << " in " << run;
    testsupport::expectStoredText(kSourceDir / "tests" / stored / n, files.at(n), tmp.string());
  }
}

// Polls `done` every `poll` until it holds (true) or `seconds` have passed (false).
inline bool waitFor(const std::function<bool()>& done, int seconds, std::chrono::milliseconds poll) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(poll);
  }
  return true;
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

// Line `number` (from 1) of `text`, and the numbers a line holds.
inline std::string lineOf(const std::string& text, int number) {
  std::size_t at = 0;
  for (int k = 1; k < number; ++k) at = text.find('\n', at) + 1;
  return text.substr(at, text.find('\n', at) - at);
}
inline std::vector<double> numbersOf(const std::string& line) {
  std::istringstream in(line);
  std::vector<double> v;
  for (double x; in >> x;) v.push_back(x);
  return v;
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
