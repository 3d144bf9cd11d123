// The bundled example run by the built program, compared byte for byte with
// the transcript, standard error and both figures it gave when they were
// last checked by eye (tests/golden/example). After a deliberate change of
// the output, regenerate them with scripts/update_golden.sh and read the diff.
#include <gtest/gtest.h>

#include "support/run.hpp"

namespace {

using namespace runsupport;

TEST(Golden, BundledExampleGivesTheCheckedBytes) {
  if (!fs::exists(kProgram)) GTEST_SKIP() << "egfsim not built at " << kProgram;
  RunFolder folder("golden");
  for (const char* name : {"params.txt", "target.kib", "element.kib"})
    fs::copy_file(kSourceDir / "examples" / name, folder.path() / name);
  const Outcome o = runProgram(folder.path(), readFile(kSourceDir / "examples" / "answers.txt"));
  EXPECT_EQ(o.status, 0);
  const fs::path expected = kSourceDir / "tests" / "golden" / "example";
  const std::pair<const char*, std::string> outputs[] = {
      {"transcript.txt", o.transcript},
      {"stderr.txt", o.errors},
      {"fort.21", readFile(folder.path() / "fort.21")},
      {"fort.22", readFile(folder.path() / "fort.22")}};
  for (const auto& [name, actual] : outputs)
    EXPECT_EQ(firstDifference(readFile(expected / name), actual), "") << name;
}

}  // namespace
