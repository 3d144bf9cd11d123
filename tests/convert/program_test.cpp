// The whole chain: the bundled example's records, taken apart into plain
// columns of the values the program reads from them, rebuilt by the kibconv
// executable, and run through egfsim. The figures must come out byte for
// byte the same as from the original records, and the console transcript the
// same apart from the reader's lines about the number format (the rebuilt
// records are free-format, the originals counts and fixed decimals).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "convert/fixtures.hpp"
#include "records/records.hpp"
#include "textio/textio.hpp"

namespace {

namespace fs = std::filesystem;
using convert_test::lines;
using convert_test::TempDir;

// From the environment when it names the folder, else as configured.
fs::path folder(const char* name, const char* configured) {
  const char* v = std::getenv(name);
  return fs::path(v && *v ? v : configured);
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The samples of a record as the program's reader gives them, one per line.
std::string columnsOf(const fs::path& record) {
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  std::vector<float> x(20000);
  int npts = 0, isps = 0;
  records::RecordHeader h;
  io.open(10, record.string());
  records::readkib(io, 10, x, npts, isps, h, record.string());
  io.close(10);
  EXPECT_EQ(isps, 100);
  std::ostringstream s;
  for (int k = 0; k < npts; ++k) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g\n", static_cast<double>(x[static_cast<std::size_t>(k)]));
    s << buf;
  }
  return s.str();
}

// The transcript without the reader's number-format lines, which differ by
// design between the original and the rebuilt records.
std::vector<std::string> transcript(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& l : lines(slurp(dir / "transcript.txt"))) {
    if (l.rfind("  skip ", 0) == 0 || l == "  data is integer" || l == "  data is floting" ||
        l == "10I8      " || l == "8F10.4    ")
      continue;
    out.push_back(l);
  }
  return out;
}

int runIn(const fs::path& dir, const std::string& command) {
  return std::system(("cd '" + dir.string() + "' && " + command).c_str());
}

TEST(Program, RebuiltExampleRecordsGiveTheSameRun) {
  const fs::path source = folder("EGF_SOURCE_DIR", EGF_TEST_SOURCE_DIR);
  const fs::path binary = folder("EGF_BINARY_DIR", EGF_TEST_BINARY_DIR);
  const fs::path examples = source / "examples";
  TempDir d;
  const fs::path original = d.file("original"), rebuilt = d.file("rebuilt");
  fs::create_directories(original);
  fs::create_directories(rebuilt);
  for (const char* f : {"params.txt", "answers.txt"}) {
    fs::copy_file(examples / f, original / f);
    fs::copy_file(examples / f, rebuilt / f);
  }
  for (const char* f : {"target", "element"}) {
    fs::copy_file(examples / (std::string(f) + ".kib"), original / (std::string(f) + ".kib"));
    d.write(std::string(f) + ".txt", columnsOf(examples / (std::string(f) + ".kib")));
    const std::string cmd = "'" + (binary / "kibconv").string() + "' '" + d.file(std::string(f) + ".txt") +
                            "' -o " + f + ".kib --dt 0.01 --unit gal --station EXS --name 'EXAMPLE SITE'" +
                            " --component EW";
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
