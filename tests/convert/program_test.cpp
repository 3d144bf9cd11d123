// The whole chain: the bundled example's records, taken apart into plain
// columns of the values the program reads from them, rebuilt by the kibconv
// executable, and run through egfsim. The figures must come out byte for
// byte the same as from the original records, and the console transcript the
// same apart from the reader's lines about the number format (the rebuilt
// records are free-format, the originals counts and fixed decimals).
#include <gtest/gtest.h>

#include <cstdlib>

#include "convert/fixtures.hpp"

namespace {

namespace fs = std::filesystem;
using convert_test::TempDir;

std::string slurp(const fs::path& p) {
  std::ostringstream s;
  s << std::ifstream(p, std::ios::binary).rdbuf();
  return s.str();
}

// The transcript without the reader's number-format lines, which differ by
// design between the original and the rebuilt records.
std::vector<std::string> transcript(const fs::path& dir) {
  std::vector<std::string> out;
  std::istringstream in(slurp(dir / "transcript.txt"));
  for (std::string l; std::getline(in, l);) {
    if (l.rfind("  skip ", 0) != 0 && l != "  data is integer" && l != "  data is floting" &&
        l != "10I8      " && l != "8F10.4    ")
      out.push_back(l);
  }
  return out;
}

int runIn(const fs::path& dir, const std::string& command) {
  return std::system(("cd '" + dir.string() + "' && " + command).c_str());
}

TEST(Program, RebuiltExampleRecordsGiveTheSameRun) {
  const fs::path examples = fs::path(EGF_TEST_SOURCE_DIR) / "examples", binary = EGF_TEST_BINARY_DIR;
  TempDir d;
  const fs::path original = d.file("original"), rebuilt = d.file("rebuilt");
  for (const fs::path& dir : {original, rebuilt}) {
    fs::create_directories(dir);
    for (const char* f : {"params.txt", "answers.txt"}) fs::copy_file(examples / f, dir / f);
  }
  for (const std::string f : {"target", "element"}) {
    fs::copy_file(examples / (f + ".kib"), original / (f + ".kib"));
    // The samples as the program's reader gives them, one per line.
    const auto r = convert_test::readBack((examples / (f + ".kib")).string());
    ASSERT_EQ(r.isps, 100);
    std::string columns;
    for (float v : r.x) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.9g\n", static_cast<double>(v));
      columns += buf;
    }
    const std::string cmd = "'" + (binary / "kibconv").string() + "' '" + d.write(f + ".txt", columns) + "' -o " +
                            f + ".kib --dt 0.01 --unit gal --station EXS --name 'EXAMPLE SITE' --component EW";
    ASSERT_EQ(runIn(rebuilt, cmd), 0) << cmd;
  }
  const std::string egfsim = "'" + (binary / "egfsim").string() + "' < answers.txt > transcript.txt";
  ASSERT_EQ(runIn(original, egfsim), 0);
  ASSERT_EQ(runIn(rebuilt, egfsim), 0);

  EXPECT_EQ(transcript(original), transcript(rebuilt));
  for (const char* f : {"fort.21", "fort.22"}) {
    const std::string a = slurp(original / f), b = slurp(rebuilt / f);
    EXPECT_FALSE(a.empty()) << f;
    EXPECT_TRUE(a == b) << f << " differs";
  }
}

}  // namespace
