// The series and report folders on the bundled example: the run's own
// output stays byte for byte what it is without them, the report agrees
// with the run and scores a synthetic made like its target close to 10,
// and a folder that cannot be written costs status 1 and one line naming it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "support/files.hpp"
#include "run/driver.hpp"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out, err, fort21, fort22;
};

// The bundled example run in `dir`, with the given output folders.
Result runExample(const testsupport::TempFolder& dir, const run::OutputFolders& folders) {
  for (const char* f : {"params.txt", "target.kib", "element.kib"})
    fs::copy_file(fs::path(EGF_TEST_SOURCE_DIR) / "examples" / f, dir.path() / f);
  const fs::path old = fs::current_path();
  fs::current_path(dir.path());
  std::istringstream in("params.txt\n\n\n\n\n");
  std::ostringstream out, err;
  const int status = run::runProgram(in, out, err, folders);
  fs::current_path(old);
  return {status, out.str(), err.str(), dir.read("fort.21"), dir.read("fort.22")};
}

// The value printed after `label` in the transcript.
std::string printed(const std::string& transcript, const std::string& label) {
  const std::size_t at = transcript.find(label);
  if (at == std::string::npos) return "";
  std::istringstream line(transcript.substr(at + label.size()));
  std::string word;
  line >> word;
  return word;
}

// The example's synthetic is made with the fault that made its target, so
// within the bands the filter passes every Anderson criterion is close to
// 10, the velocity and displacement ones included; metrics.json carries the
// record header's names, the transcript's comparison and the model of
// params.txt (nx = nw = nt = 10, dx = dw = 1.5 km, tra = 0.05 s, C = 1).
void expectReportOfTheExample(const nlohmann::json& m, const std::string& transcript) {
  EXPECT_EQ(m["station"], "EXS");
  EXPECT_EQ(m["component"], "EW");
  const char* quantities[] = {"acceleration", "velocity", "displacement"};
  const char* prefixes[] = {" acc ", " vel ", " dis "};
  for (int q = 0; q < 3; ++q) {
    const std::string p = prefixes[q];
    EXPECT_EQ(m["lags"][quantities[q]].get<int>(), std::stoi(printed(transcript, p + "mtime =")));
    EXPECT_EQ(m["residuals"][quantities[q]].get<float>(), std::stof(printed(transcript, p + "res =")));
    EXPECT_EQ(m["correlations"][quantities[q]].get<float>(), std::stof(printed(transcript, p + "cor =")));
  }
  EXPECT_EQ(m["model"]["rise_time_s"].get<double>(), 0.5);
  EXPECT_EQ(m["model"]["fault_length_km"].get<double>(), 15.0);
  EXPECT_EQ(m["model"]["moment_ratio"].get<double>(), 1000.0);
  EXPECT_EQ(m["filter"]["pass_band"], nlohmann::json({0.1, 10.0}));
  const auto& a = m["anderson"];
  EXPECT_EQ(a["pass_band"]["bands"].get<int>(), 6);
  EXPECT_EQ(a["all_bands"]["bands"].get<int>(), 9);
  EXPECT_GT(a["pass_band"]["score"].get<double>(), 9.8);
  for (const auto& b : a["bands"]) {
    if (b["low"].get<double>() < 0.5 || b["high"].get<double>() > 20) continue;  // the element's noise
    for (const auto& c : b["criteria"]) EXPECT_GE(c.get<double>(), 9.9) << b.dump();
  }
}

class OutputFolders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { plain_ = new Result(runExample(testsupport::TempFolder(), {})); }
  static void TearDownTestSuite() { delete plain_; }
  static Result* plain_;
};

Result* OutputFolders::plain_ = nullptr;

TEST_F(OutputFolders, WrittenBesideAnUnchangedRun) {
  const testsupport::TempFolder dir;
  const Result both = runExample(dir, {"series", "report/deep"});
  ASSERT_EQ(plain_->status, 0);
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.out, plain_->out);
  EXPECT_EQ(both.err, plain_->err);
  EXPECT_EQ(both.fort21, plain_->fort21);
  EXPECT_EQ(both.fort22, plain_->fort22);
  for (const char* f : {"series/observed.acc.sac", "series/element.dis.sac", "series/series.csv",
                        "report/deep/metrics.json", "report/deep/report.pdf", "report/deep/report.svg"})
    EXPECT_TRUE(fs::is_regular_file(dir.path() / f)) << f;
  expectReportOfTheExample(nlohmann::json::parse(dir.read("report/deep/metrics.json")), both.out);
}

TEST_F(OutputFolders, UnwritableFolderIsOneLineAndStatusOne) {
  // A file stands where the folder would be made.
  const Result blocked = runExample(testsupport::TempFolder(), {"", "params.txt/report"});
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.out, plain_->out);
  EXPECT_EQ(blocked.fort21, plain_->fort21);
  EXPECT_EQ(blocked.err.rfind("egfsim: ", 0), 0u) << blocked.err;
  EXPECT_NE(blocked.err.find("params.txt/report"), std::string::npos) << blocked.err;
  EXPECT_EQ(std::count(blocked.err.begin(), blocked.err.end(), '\n'), 1) << blocked.err;
}

}  // namespace
