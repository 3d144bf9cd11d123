// The series and report folders on the bundled example: the run's own
// output stays byte for byte what it is without them, and a folder that
// cannot be written costs status 1 and one line naming it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/files.hpp"
#include "run/driver.hpp"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out, err, fort21, fort22;
};

// The bundled example in a fresh folder `tag`, with the given output folders.
Result runExample(const std::string& tag, const run::OutputFolders& folders) {
  const fs::path dir = fs::temp_directory_path() / ("egf_outputs_" + tag);
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const char* f : {"params.txt", "target.kib", "element.kib"})
    fs::copy_file(fs::path(EGF_TEST_SOURCE_DIR) / "examples" / f, dir / f);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  std::istringstream in("params.txt\n\n\n\n\n");
  std::ostringstream out, err;
  const int status = run::runProgram(in, out, err, folders);
  Result r{status, out.str(), err.str(), testsupport::readFile("fort.21"), testsupport::readFile("fort.22")};
  fs::current_path(old);
  return r;
}

TEST(OutputFolders, WrittenBesideAnUnchangedRun) {
  const Result plain = runExample("plain", {});
  const Result both = runExample("both", {"series", "report/deep"});
  ASSERT_EQ(plain.status, 0);
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.out, plain.out);
  EXPECT_EQ(both.err, plain.err);
  EXPECT_EQ(both.fort21, plain.fort21);
  EXPECT_EQ(both.fort22, plain.fort22);
  const fs::path dir = fs::temp_directory_path() / "egf_outputs_both";
  for (const char* f : {"series/observed.acc.sac", "series/element.dis.sac", "series/series.csv",
                        "report/deep/metrics.json", "report/deep/report.pdf", "report/deep/report.svg"})
    EXPECT_TRUE(fs::is_regular_file(dir / f)) << f;
  fs::remove_all(dir);
  fs::remove_all(fs::temp_directory_path() / "egf_outputs_plain");
}

TEST(OutputFolders, UnwritableFolderIsOneLineAndStatusOne) {
  const Result plain = runExample("plain2", {});
  const fs::path dir = fs::temp_directory_path() / "egf_outputs_blocked";
  // A file stands where the folder would be made.
  const Result blocked = runExample("blocked", {"", "params.txt/report"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.out, plain.out);
  EXPECT_EQ(blocked.fort21, plain.fort21);
  EXPECT_EQ(blocked.err.rfind("egfsim: ", 0), 0u) << blocked.err;
  EXPECT_NE(blocked.err.find("params.txt/report"), std::string::npos) << blocked.err;
  EXPECT_EQ(std::count(blocked.err.begin(), blocked.err.end(), '\n'), 1) << blocked.err;
  fs::remove_all(dir);
  fs::remove_all(fs::temp_directory_path() / "egf_outputs_plain2");
}

}  // namespace
