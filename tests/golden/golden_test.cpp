// Whole runs of the built program compared byte for byte with their checked
// outputs: the bundled example (transcript, standard error, both figures)
// and a corpus of runs on faulty input, each ending in its own way (the
// transcript up to the failure, the report on standard error, the status).
//
// A case is a folder under tests/golden holding what differs from the
// bundled example: params.txt, answers.txt, and target.edit / element.edit,
// whose lines edit the example's records ("N text" replaces line N by text,
// "cut N" keeps the first N lines). After a deliberate change of the output,
// regenerate with scripts/update_golden.sh and read the diff.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "support/run.hpp"

namespace {

using namespace runsupport;

const fs::path kGolden = kSourceDir / "tests" / "golden";

// The example's record `name` with the edits of `edit` (if that file exists).
std::string editedRecord(const std::string& name, const fs::path& edit) {
  const std::string original = readFile(kSourceDir / "examples" / name);
  if (!fs::exists(edit)) return original;
  std::vector<std::string> lines;
  std::istringstream in(original);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  std::istringstream edits(readFile(edit));
  for (std::string e; std::getline(edits, e);) {
    const std::size_t space = e.find(' ');
    const std::string head = e.substr(0, space),
                      text = space == std::string::npos ? "" : e.substr(space + 1);
    if (head == "cut")
      lines.resize(std::stoul(text));
    else
      lines.at(std::stoul(head) - 1) = text;
  }
  std::string record;
  for (const std::string& l : lines) record += l + "\n";
  return record;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, RunGivesTheCheckedBytes) {
  if (!fs::exists(kProgram)) GTEST_SKIP() << "egfsim not built at " << kProgram;
  const fs::path expected = kGolden / GetParam();
  const auto input = [&](const char* name) {
    return readFile(fs::exists(expected / name) ? expected / name : kSourceDir / "examples" / name);
  };
  RunFolder folder;
  writeFile(folder.path() / "params.txt", input("params.txt"));
  writeFile(folder.path() / "target.kib", editedRecord("target.kib", expected / "target.edit"));
  writeFile(folder.path() / "element.kib", editedRecord("element.kib", expected / "element.edit"));
  const Outcome o = runProgram(folder.path(), input("answers.txt"));
  std::vector<std::pair<std::string, std::string>> outputs = {
      {"transcript.txt", o.transcript},
      {"stderr.txt", o.errors},
      {"status.txt", std::to_string(o.status) + "\n"}};
  for (const char* figure : {"fort.21", "fort.22"}) {
    if (fs::exists(expected / figure))
      outputs.emplace_back(figure, readFile(folder.path() / figure));
  }
  for (const auto& [name, actual] : outputs) {
    if (std::getenv("EGF_UPDATE_GOLDEN") != nullptr)
      writeFile(expected / name, actual);
    else
      EXPECT_EQ(firstDifference(readFile(expected / name), actual), "") << name;
  }
}

std::vector<std::string> cases() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kGolden))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param; });

}  // namespace
