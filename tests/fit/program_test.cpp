// egffit as a user runs it, on three stations whose targets are synthesised
// from a known source model plus noise: the model is found again, and the
// result is the same on one or two threads and from three shards merged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

#include <nlohmann/json.hpp>
#include <thread>

#include "example/example.hpp"
#include "example/kibtrace.hpp"
#include "example/random.hpp"
#include "support/run.hpp"

namespace {

using namespace runsupport;

const fs::path kFit = fs::path(EGF_TEST_BINARY_DIR) / "egffit";

// Station distance, azimuth and component of each synthetic station.
const example::ExampleFault kStations[] = {
    [] { example::ExampleFault f; f.rm = "20.0"; f.pm = "60.0"; f.cmp = "90.0"; return f; }(),
    [] { example::ExampleFault f; f.rm = "25.0"; f.pm = "150.0"; f.cmp = "0.0"; return f; }(),
    [] { example::ExampleFault f; f.rm = "18.0"; f.pm = "300.0"; f.cmp = "1000.0"; return f; }(),
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

Outcome runFit(const fs::path& folder, const std::string& args) {
  const std::string cmd = "cd '" + folder.string() + "' && '" + kFit.string() + "' " + args +
                          " > out.txt 2> err.txt";
  return {exitStatus(std::system(cmd.c_str())), readFile(folder / "out.txt"), readFile(folder / "err.txt")};
}

std::string withoutTime(const std::string& summary) { return summary.substr(0, summary.find("\ntime: ")); }

// A file without the creation date a PDF writer may stamp into it.
std::string withoutDate(std::string text) {
  const std::size_t at = text.find("/CreationDate (");
  if (at != std::string::npos) text.erase(at, text.find(')', at) - at);
  return text;
}

class Fit : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new RunFolder();
    const fs::path& d = folder_->path();
    example::KibHeader h;
    h.head3 = "EW";
    h.rcode = "SYN";
    h.dunit = "gal";
    const example::KibText element = example::writeFloatRecord(h, example::elementAcceleration());
    writeFile(d / "element.kib", element.text);
    std::string records;
    for (int s = 0; s < 3; ++s) {
      // The target from the true model (rupture from (3, 5), vr 2.8), plus
      // 1 gal rms of noise; the parameter file starts from a wrong model.
      std::vector<double> target = example::modelTarget(kStations[s], element.samples);
      example::Random noise(100 + s);
      for (double& v : target) v += noise.normal();
      const std::string name = "sta" + std::to_string(s + 1);
      writeFile(d / ("target_" + name + ".kib"), example::writeCountRecord(h, target).text);
      example::ExampleFault start = kStations[s];
      start.nsx = 8;
      start.vr = "2.4";
      writeFile(d / (name + ".txt"),
                replaced(example::parameterFile(start), "target.kib", "target_" + name + ".kib"));
      records += "[[record]]\nparams = \"" + name + ".txt\"\n";
    }
    writeFile(d / "fit.toml", records +
                                  "[vary]\nnsx = { from = 1, to = 5 }\nnsw = { values = [4, 5, 6] }\n"
                                  "vr = { from = 2.6, to = 3.0, step = 0.2 }\n"
                                  "[misfit]\nacc = 0.5\nvel = 1.0\ndis = 1.0\nenvelope = 0.5\nmax_shift = 0.2\n");
    reference_ = runFit(d, "fit.toml --out one --threads 1");
  }
  static void TearDownTestSuite() { delete folder_; }
  void SetUp() override {
    if (!fs::exists(kFit) || !fs::exists(kProgram)) GTEST_SKIP() << "egffit or egfsim not built";
    ASSERT_EQ(reference_.status, 0) << reference_.errors;
  }
  static const fs::path& dir() { return folder_->path(); }

  static RunFolder* folder_;
  static Outcome reference_;
};

RunFolder* Fit::folder_ = nullptr;
Outcome Fit::reference_;

TEST_F(Fit, FindsTheTrueModelAndEgfsimRunsItForEachStation) {
  const std::string summary = readFile(dir() / "one" / "summary.txt");
  EXPECT_NE(summary.find("  nsx = 3\n  nsw = 5\n  vr = 2.8\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("models: 45 evaluated, 0 refused"), std::string::npos) << summary;
  for (const char* s : {"sta1", "sta2", "sta3"}) {
    const fs::path run = dir() / "one" / "best" / s;
    const std::string params = readFile(dir() / "one" / "best" / (std::string(s) + ".txt"));
    EXPECT_NE(params.find("10 10 10 0 3 5 0 1.0\n3.5 2.8 2 1\n../../target_"), std::string::npos) << params;
    EXPECT_GT(correlations(readFile(run / "transcript.txt")).vel, 0.98) << s;
    EXPECT_TRUE(fs::exists(run / "report" / "metrics.json")) << s;  // egfsim's own comparison report
  }
  EXPECT_TRUE(fs::exists(dir() / "one" / "misfit_map.pdf"));
}

TEST_F(Fit, FindsTheTrueModelWithTheSpectralTermsOnAndStatesTheSpectralFit) {
  writeFile(dir() / "spectral.toml", readFile(dir() / "fit.toml") + "psa = 1.0\nfourier = 0.5\n");
  const Outcome o = runFit(dir(), "spectral.toml --out spectral --threads 2");
  ASSERT_EQ(o.status, 0) << o.errors;
  const std::string summary = readFile(dir() / "spectral" / "summary.txt");
  EXPECT_NE(summary.find("  nsx = 3\n  nsw = 5\n  vr = 2.8\n"), std::string::npos) << summary;
  // The true model fits the spectra to the noise; the wrong start does not.
  const auto j = nlohmann::json::parse(readFile(dir() / "spectral" / "summary.json"));
  for (const char* s : {"sta1", "sta2", "sta3"}) {
    const auto& best = j["spectral_fit"]["best"]["records"][s];
    const auto& start = j["spectral_fit"]["start"]["records"][s];
    EXPECT_LT(best["psa_term"].get<double>(), 0.01) << s;
    EXPECT_LT(best["psa_term"].get<double>(), start["psa_term"].get<double>()) << s;
    EXPECT_LT(std::fabs(best["psa_bias_mean"].get<double>()), 0.1) << s;
    EXPECT_GT(best["anderson"].get<double>(), start["anderson"].get<double>()) << s;
  }
  const std::string csv = readFile(dir() / "spectral" / "models.csv");
  EXPECT_NE(csv.find(",sta3.env_cor,sta1.psa,sta1.fourier,sta2.psa,"), std::string::npos);
  EXPECT_NE(readFile(dir() / "spectral" / "summary.txt").find("Spectral fit"), std::string::npos);
}

TEST_F(Fit, TwoThreadsAndThreeMergedShardsGiveTheSameFiles) {
  ASSERT_EQ(runFit(dir(), "fit.toml --out two --threads 2").status, 0);
  EXPECT_EQ(readFile(dir() / "two" / "models.csv"), readFile(dir() / "one" / "models.csv"));
  for (int k = 1; k <= 3; ++k) {
    const Outcome o = runFit(dir(), "fit.toml --threads 2 --shard " + std::to_string(k) + "/3 --out s" + std::to_string(k));
    ASSERT_EQ(o.status, 0) << o.errors;
  }
  const Outcome missing = runFit(dir(), "merge partial s1 s2");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.errors.find("shard 3/3 is missing"), std::string::npos) << missing.errors;
  const Outcome m = runFit(dir(), "merge merged s3 s1 s2");
  ASSERT_EQ(m.status, 0) << m.errors;
  EXPECT_EQ(readFile(dir() / "merged" / "models.csv"), readFile(dir() / "one" / "models.csv"));
  EXPECT_EQ(withoutTime(readFile(dir() / "merged" / "summary.txt")), withoutTime(readFile(dir() / "one" / "summary.txt")));
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir() / "one" / "best")) {
    if (!e.is_regular_file()) continue;
    ++files;
    const fs::path rel = fs::relative(e.path(), dir() / "one");
    EXPECT_TRUE(withoutDate(readFile(dir() / "merged" / rel)) == withoutDate(readFile(e.path()))) << rel;
  }
  EXPECT_GE(files, 12);
}

TEST_F(Fit, ShardsOfAGlobalMethodAreIndependentStartsNumberedApart) {
  std::string config = readFile(dir() / "fit.toml");
  config = replaced(config, "step = 0.2", "step = 0.05") + "[search]\nmethod = \"crs\"\nmax_models = 12\nseed = 4\n";
  writeFile(dir() / "crs.toml", config);
  for (int k = 1; k <= 2; ++k)
    ASSERT_EQ(runFit(dir(), "crs.toml --shard " + std::to_string(k) + "/2 --out g" + std::to_string(k)).status, 0);
  ASSERT_EQ(runFit(dir(), "merge gm g1 g2").status, 0);
  // Shard k's j-th model is model (j - 1) * 2 + k: the merge interleaves them.
  const std::string rows = readFile(dir() / "gm" / "models.csv");
  std::size_t model = 0;
  for (std::size_t at = rows.find('\n'); at + 1 < rows.size(); at = rows.find('\n', at + 1))
    EXPECT_EQ(std::stoul(rows.substr(at + 1)), ++model);
  EXPECT_EQ(model, 24u);
  // Independent starts: both begin at the middle of the ranges, then seeds
  // 5 and 6 draw different models.
  const auto second = [&](const char* shard) {
    const std::string text = readFile(dir() / shard / "models.csv");
    const std::size_t line = text.find('\n', text.find('\n') + 1) + 1;
    return text.substr(text.find(',', line), text.find('\n', line) - text.find(',', line));
  };
  EXPECT_NE(second("g1"), second("g2"));
  EXPECT_NE(readFile(dir() / "gm" / "summary.txt").find("method: crs (seed 4)"), std::string::npos);
}

TEST_F(Fit, AnInterruptKeepsEveryFinishedRowAndEndsWith130) {
  // 14100 models of three records: some seconds of work.
  writeFile(dir() / "long.toml",
            "[[record]]\nparams = \"sta1.txt\"\n[[record]]\nparams = \"sta2.txt\"\n[[record]]\nparams = \"sta3.txt\"\n"
            "[vary]\nnsx = { from = 1, to = 10 }\nnsw = { from = 1, to = 10 }\nvr = { from = 2.0, to = 3.4, step = 0.01 }\n");
  const fs::path csv = dir() / "long" / "models.csv";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir().c_str()) != 0 || !freopen("/dev/null", "w", stderr)) _exit(99);
    execl(kFit.c_str(), "egffit", "long.toml", "--out", "long", "--threads", "1", static_cast<char*>(nullptr));
    _exit(98);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto lines = [&] {
    const std::string text = readFile(csv);
    return std::count(text.begin(), text.end(), '\n');
  };
  while (lines() < 3 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(pid, SIGINT);
  int raw = 0;
  waitpid(pid, &raw, 0);
  EXPECT_EQ(exitStatus(raw), 130);
  const std::string rows = readFile(csv);
  ASSERT_EQ(rows.back(), '\n');
  const std::size_t count = std::count(rows.begin(), rows.end(), '\n') - 1;
  EXPECT_GE(count, 2u);
  EXPECT_LT(count, 14100u);
  std::size_t model = 0;
  for (std::size_t at = rows.find('\n'); at + 1 < rows.size(); at = rows.find('\n', at + 1))
    EXPECT_EQ(std::stoul(rows.substr(at + 1)), ++model);
  EXPECT_FALSE(fs::exists(dir() / "long" / "summary.txt"));
}

TEST_F(Fit, ABadConfigurationWritesNothing) {
  writeFile(dir() / "bad.toml", "[[record]]\nparams = \"sta1.txt\"\n[vary]\nnx = { from = 29, to = 31 }\n");
  const Outcome o = runFit(dir(), "bad.toml --out nothing");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(std::count(o.errors.begin(), o.errors.end(), '\n'), 1) << o.errors;
  EXPECT_EQ(o.errors.rfind("bad.toml:4:1: nx = 31", 0), 0u) << o.errors;
  EXPECT_FALSE(fs::exists(dir() / "nothing"));
}

}  // namespace
