// egffit as a user runs it, on three stations whose targets are synthesised
// from a known source model plus noise: the model is found again, and the
// result is the same on one or two threads and from three shards merged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "example/example.hpp"
#include "example/kibtrace.hpp"
#include "example/random.hpp"
#include "support/run.hpp"

namespace {

using namespace runsupport;

// Station distance, azimuth and component of each synthetic station.
const example::ExampleFault kStations[] = {{.rm = "20.0", .pm = "60.0", .cmp = "90.0"},
                                           {.rm = "25.0", .pm = "150.0", .cmp = "0.0"},
                                           {.rm = "18.0", .pm = "300.0", .cmp = "1000.0"}};

std::string edited(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  return at == std::string::npos ? "(" + from + " not found)" : text.replace(at, from.size(), to);
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
                edited(example::parameterFile(start), "target.kib", "target_" + name + ".kib"));
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
  expectStoredFiles(dir() / "one", "fit/data/one",
                    {"summary.txt", "summary.json", "models.csv", "best/sta1.txt", "best/sta1/report/metrics.json"}, dir());
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
    // The record's report page states the same two models' scores.
    const auto page = nlohmann::json::parse(readFile(dir() / "spectral" / "best" / s / "report" / "metrics.json"));
    const auto& onPage = page["search"]["spectral_fit"];
    for (const char* k : {"anderson", "anderson_bands", "psa_bias_mean", "psa_bias_rms"}) {
      EXPECT_EQ(onPage["best"][k], best[k]) << s << " " << k;
      EXPECT_EQ(onPage["start"][k], start[k]) << s << " " << k;
    }
  }
  expectStoredFiles(dir() / "spectral", "fit/data/spectral", {"summary.txt", "summary.json", "models.csv"}, dir());
}

TEST_F(Fit, TwoThreadsAndThreeMergedShardsGiveTheSameFiles) {
  ASSERT_EQ(runFit(dir(), "fit.toml --out two --threads 2").status, 0);
  EXPECT_EQ(readFile(dir() / "two" / "models.csv"), readFile(dir() / "one" / "models.csv"));
  for (int k = 1; k <= 3; ++k) {
    const Outcome o = runFit(dir(), "fit.toml --threads 2 --shard " + std::to_string(k) + "/3 --out s" + std::to_string(k));
    ASSERT_EQ(o.status, 0) << o.errors;
  }
  const Outcome m = runFit(dir(), "merge merged s3 s1 s2");
  ASSERT_EQ(m.status, 0) << m.errors;
  // Every file, shard.json too up to the time and threads (shard 1/1, the
  // files read, the models and the digest of models.csv).
  const auto merged = contents(dir() / "merged"), one = contents(dir() / "one");
  EXPECT_GE(one.size(), 16u);
  for (const auto& [name, text] : one) EXPECT_TRUE(merged.count(name) && merged.at(name) == text) << name;
}

TEST_F(Fit, ShardsOfAGlobalMethodAreIndependentStartsNumberedApart) {
  std::string config = readFile(dir() / "fit.toml");
  config = edited(config, "step = 0.2", "step = 0.05") + "[search]\nmethod = \"crs\"\nmax_models = 12\nseed = 4\n";
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
  expectStoredFiles(dir() / "gm", "fit/data/crs", {"summary.txt", "models.csv"}, dir());
}

// Runs egffit with `args` in the test folder and, once `csv` holds a row,
// freezes it (so that it is caught halfway whatever the machine's speed),
// sends `signal` and lets it go on. Returns its status and standard error.
Outcome interrupt(const fs::path& folder, const std::vector<std::string>& args, const fs::path& csv, int signal) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0 || !freopen("/dev/null", "w", stdout) || !freopen("interrupt.err", "w", stderr))
      _exit(99);
    std::vector<char*> argv{const_cast<char*>("egffit")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(kFit.c_str(), argv.data());
    _exit(98);
  }
  // Polled every 2 ms: a search of a second or two is caught between flushes.
  const auto poll = std::chrono::milliseconds(2);
  int raw = 0;
  const bool rows = waitFor([&] { return rowCount(readFile(csv)) > 0; }, 60, poll);
  kill(pid, SIGSTOP);
  kill(pid, signal);
  kill(pid, SIGCONT);
  if (!waitFor([&] { return waitpid(pid, &raw, WNOHANG) == pid; }, 60, poll)) {
    kill(pid, SIGKILL);
    waitpid(pid, &raw, 0);
    return {-1, "", "egffit did not end within 60 s of the signal"};
  }
  return {exitStatus(raw), "", (rows ? "" : "(no row within 60 s before the signal) ") + readFile(folder / "interrupt.err")};
}

// Stopped by SIGINT or SIGTERM, a grid or global search keeps a prefix of
// one run's rows, says how to go on, and resumed leaves exactly one
// uninterrupted run's folder (a row cut in half by a crash is the search's
// resume test).
TEST_F(Fit, AStoppedSearchResumedLeavesOneUninterruptedRunsFolder) {
  // One station: the finishing runs of egfsim cost more than the search.
  const std::string records = "[[record]]\nparams = \"sta1.txt\"\n";
  writeFile(dir() / "grid.toml", records + "[vary]\nnsx = { from = 1, to = 10 }\nnsw = { from = 4, to = 6 }\n"
                                           "vr = { from = 2.6, to = 3.0, step = 0.05 }\n");
  writeFile(dir() / "crs.toml", records + "[vary]\nnsx = { from = 1, to = 10 }\nnsw = { from = 1, to = 10 }\n"
                                          "vr = { from = 2.4, to = 3.2 }\n[search]\nmethod = \"crs\"\nmax_models = 150\n");
  for (const char* method : {"grid", "crs"})
    ASSERT_EQ(runFit(dir(), std::string(method) + ".toml --threads 1 --out " + method + "_one").status, 0);
  const struct {
    const char* method;
    int signal;
  } cases[] = {{"grid", SIGINT}, {"crs", SIGTERM}};
  for (const auto& c : cases) {
    const std::string name = std::string(c.method) + (c.signal == SIGTERM ? "_term" : "_int");
    const std::string config = std::string(c.method) + ".toml";
    const std::string one = readFile(dir() / (std::string(c.method) + "_one") / "models.csv");
    const fs::path csv = dir() / name / "models.csv";
    const Outcome stopped = interrupt(dir(), {config, "--threads", "1", "--out", name}, csv, c.signal);
    EXPECT_EQ(stopped.status, 128 + c.signal) << name << stopped.errors;
    const std::string kept = readFile(csv);
    EXPECT_EQ(one.rfind(kept, 0), 0u) << name << ": the rows kept are not the first rows of one run";
    EXPECT_GT(rowCount(kept), 0u) << name;
    EXPECT_LT(rowCount(kept), rowCount(one)) << name;
    EXPECT_NE(stopped.errors.find(std::string("egffit: stopped by ") + (c.signal == SIGTERM ? "SIGTERM" : "SIGINT") + "; " +
                                  name + "/models.csv keeps the " + std::to_string(rowCount(kept)) +
                                  " finished models; go on with: egffit " + config + " --out " + name + " --resume\n"),
              std::string::npos)
        << stopped.errors;
    EXPECT_NE(readFile(dir() / name / "shard.json").find("\"complete\": false"), std::string::npos) << name;
    EXPECT_FALSE(fs::exists(dir() / name / "summary.txt")) << name;
    const Outcome resumed = runFit(dir(), config + " --threads 1 --out " + name + " --resume");
    ASSERT_EQ(resumed.status, 0) << name << resumed.errors;
    EXPECT_NE(resumed.errors.find("going on after the " + std::to_string(rowCount(kept)) + " models"),
              std::string::npos) << resumed.errors;
    EXPECT_TRUE(contents(dir() / name) == contents(dir() / (std::string(c.method) + "_one"))) << name;
  }
}

// A refused run or resume (or a bad configuration) writes nothing and
// changes nothing; its one line names the folder or file and says what to do.
TEST_F(Fit, AFolderOfAnotherSearchIsRefusedAndLeftAsItWas) {
  writeFile(dir() / "small.toml", "[[record]]\nparams = \"sta1.txt\"\n[[record]]\nparams = \"sta2.txt\"\n"
                                  "[vary]\nnsx = { from = 1, to = 4 }\n");
  ASSERT_EQ(runFit(dir(), "small.toml --out done").status, 0);
  fs::copy(dir() / "done", dir() / "edited", fs::copy_options::recursive);
  writeFile(dir() / "edited" / "models.csv", readFile(dir() / "done" / "models.csv") + "\n");
  fs::copy(dir() / "done", dir() / "bare", fs::copy_options::recursive);
  fs::remove(dir() / "bare" / "shard.json");
  writeFile(dir() / "bad.toml", "[[record]]\nparams = \"sta1.txt\"\n[vary]\nnx = { from = 29, to = 31 }\n");
  const struct {
    const char* name;
    const char* args;
    const char* folder;
    const char* says;
  } cases[] = {
      {"again", "small.toml --out done", "done",
       "done: holds a search already (models.csv): continue it with --resume, or give another --out"},
      {"other shard", "small.toml --out done --shard 2/3 --resume", "done",
       "done: holds shard 1/1 of a search, not 2/3: resume it with --shard 1/1"},
      {"edited rows", "small.toml --out edited --resume", "edited",
       "edited/models.csv: changed after the search completed"},
      {"no record", "small.toml --out bare --resume", "bare", "bare/models.csv: no shard.json beside it"},
      {"bad shard option", "small.toml --out done --shard 4/3 --resume", "done", "--shard needs K/N with 1 <= K <= N"},
      {"bad configuration", "bad.toml --out nothing", "nothing", "bad.toml:4:1: nx = 31"},
  };
  for (const auto& c : cases) {
    const auto before = contents(dir() / c.folder);
    const Outcome o = runFit(dir(), c.args);
    EXPECT_EQ(o.status, 2) << c.name;
    EXPECT_EQ(std::count(o.errors.begin(), o.errors.end(), '\n'), 1) << c.name << ": " << o.errors;
    EXPECT_NE(o.errors.find(c.says), std::string::npos) << c.name << ": " << o.errors;
    EXPECT_TRUE(contents(dir() / c.folder) == before) << c.name;
  }
  // A file the search read changes: named, and the folder left as it was.
  const std::string params = readFile(dir() / "sta2.txt");
  writeFile(dir() / "sta2.txt", params + "\n");
  const auto before = contents(dir() / "done");
  const Outcome o = runFit(dir(), "small.toml --out done --resume");
  writeFile(dir() / "sta2.txt", params);
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.errors.find("done: " + (dir() / "sta2.txt").string() + " changed since this search began"),
            std::string::npos) << o.errors;
  EXPECT_TRUE(contents(dir() / "done") == before);
}

// Writes the SHA-256 of a shard's models.csv (after an edit) into its
// shard.json, so that the checks behind the digest are reached.
void reseal(const fs::path& shard) {
  const std::string json = readFile(shard / "shard.json");
  const std::size_t at = json.find("\"models_csv_sha256\": \"") + 22;
  const std::string cmd = "sha256sum '" + (shard / "models.csv").string() + "' > '" + (shard / "sum").string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  writeFile(shard / "shard.json", json.substr(0, at) + readFile(shard / "sum").substr(0, 64) + json.substr(at + 64));
  fs::remove(shard / "sum");
}

// Every way shards may not make one search's rows is refused: one line
// naming the folder or file, status 2, nothing written.
TEST_F(Fit, NoMergeOfMismatchedIncompleteOrEditedShards) {
  writeFile(dir() / "m.toml", "[[record]]\nparams = \"sta1.txt\"\n[vary]\nnsx = { from = 1, to = 4 }\nnsw = { from = 4, to = 6 }\n");
  for (int k = 1; k <= 3; ++k)
    ASSERT_EQ(runFit(dir(), "m.toml --threads 1 --shard " + std::to_string(k) + "/3 --out m" + std::to_string(k)).status, 0);
  // Shard 2's rows are models 2, 5, 8 and 11.
  const std::string rows2 = readFile(dir() / "m2" / "models.csv");
  const std::size_t second = rows2.find('\n', rows2.find('\n') + 1) + 1;
  const std::string row2 = rows2.substr(second, rows2.find('\n', second) + 1 - second);
  const std::string last = rows2.substr(rows2.rfind('\n', rows2.size() - 2) + 1);
  using Edit = std::function<void(const fs::path& shard2)>;
  auto json = [](const std::string& from, const std::string& to) -> Edit {
    return [=](const fs::path& s) { writeFile(s / "shard.json", edited(readFile(s / "shard.json"), from, to)); };
  };
  auto csv = [](const std::string& from, const std::string& to, bool seal) -> Edit {
    return [=](const fs::path& s) {
      writeFile(s / "models.csv", edited(readFile(s / "models.csv"), from, to));
      if (seal) reseal(s);
    };
  };
  const struct {
    const char* name;
    Edit edit;  // applied to shard 2's folder
    const char* shards;
    const char* says;
  } cases[] = {
      {"K above N", json("\"2/3\"", "\"5/3\""), "m1 m2 m3", "case/m2/shard.json: shard \"5/3\" is not K/N"},
      {"K of 0", json("\"2/3\"", "\"0/3\""), "m1 m2 m3", "case/m2/shard.json: shard \"0/3\" is not K/N"},
      {"not JSON", json("{", "{{"), "m1 m2 m3", "case/m2/shard.json: [json.exception.parse_error"},
      {"no shard.json", [](const fs::path& s) { fs::remove(s / "shard.json"); }, "m1 m2 m3",
       "case/m2/shard.json: missing"},
      {"other count", json("\"2/3\"", "\"2/4\""), "m1 m2 m3", "case/m2: shard 2/4 does not belong with case/m1's shards of 3"},
      {"other files", [](const fs::path& s) {
         std::string text = readFile(s / "shard.json");
         char& digit = text[text.find("\"sha256\": \"") + 11];
         digit = digit == '0' ? '1' : '0';
         writeFile(s / "shard.json", text);
       },
       "m1 m2 m3", "case/m2: shard 2/3 read other files than case/m1"},
      {"other version", json("\"program\": \"egffit ", "\"program\": \"egffit 0."), "m1 m2 m3",
       "case/m2: shard 2/3 was made by egffit 0."},
      {"unfinished", json("\"complete\": true", "\"complete\": false"), "m1 m2 m3",
       "case/m2: shard 2/3 did not finish: go on with egffit "},
      {"given twice", [](const fs::path&) {}, "m1 m2 m2 m3", "case/m2: shard 2/3 is given twice (also case/m2)"},
      {"missing", [](const fs::path&) {}, "m3 m1", "shard 2/3 is missing: give the folders of all 3 shards"},
      {"edited row", csv(row2, edited(row2, ",0.", ",1."), false), "m1 m2 m3",
       "case/m2/models.csv: changed after the shard finished"},
      {"row dropped", csv(last, "", true), "m1 m2 m3", "case/m2/models.csv: 3 rows where its shard has 4 models (model 11 is missing)"},
      {"row dropped, count too", [&](const fs::path& s) { csv(last, "", true)(s); json("\"models\": 4", "\"models\": 3")(s); },
       "m1 m2 m3", "case/m2/shard.json: 3 models where shard 2/3 of the grid has 4"},
      {"row of another shard", csv(row2, edited(row2, "5,", "6,"), true), "m1 m2 m3",
       "case/m2/models.csv:3: model 6 where model 5 belongs"},
      {"row twice", csv(row2, row2 + row2, true), "m1 m2 m3", "case/m2/models.csv:4: model 5 where model 8 belongs"},
      {"row added", csv(last, last + edited(last, "11,", "14,"), true), "m1 m2 m3",
       "case/m2/models.csv:6: more rows than the search's 4 models"},
      {"half row", csv(last, last + last.substr(0, 9), true), "m1 m2 m3", "case/m2/models.csv: ends in a half row"},
      {"output folder taken", [&](const fs::path&) { fs::create_directories(dir() / "case" / "out"); writeFile(dir() / "case" / "out" / "summary.txt", ""); },
       "m1 m2 m3", "case/out: holds a search already (summary.txt)"},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir() / "case");
    fs::create_directories(dir() / "case");
    for (const char* s : {"m1", "m2", "m3"}) fs::copy(dir() / s, dir() / "case" / s, fs::copy_options::recursive);
    c.edit(dir() / "case" / "m2");
    const auto before = contents(dir() / "case" / "out");
    std::string shards;
    std::istringstream names(c.shards);
    for (std::string n; names >> n;) shards += " case/" + n;
    const Outcome o = runFit(dir(), "merge case/out" + shards);
    EXPECT_EQ(o.status, 2) << c.name << ": " << o.errors;
    EXPECT_EQ(std::count(o.errors.begin(), o.errors.end(), '\n'), 1) << c.name << ": " << o.errors;
    EXPECT_EQ(o.errors.rfind(c.says, 0), 0u) << c.name << ": " << o.errors;
    EXPECT_TRUE(contents(dir() / "case" / "out") == before) << c.name << ": merge wrote into case/out";
  }
  // A file the shards read that changed since is named.
  const std::string params = readFile(dir() / "sta1.txt");
  writeFile(dir() / "sta1.txt", params + "\n");
  const Outcome changed = runFit(dir(), "merge later m1 m2 m3");
  writeFile(dir() / "sta1.txt", params);
  EXPECT_EQ(changed.status, 2);
  EXPECT_EQ(changed.errors, (dir() / "sta1.txt").string() +
                                " changed since the shards ran (their shard.json holds its SHA-256): run the shards again\n");
  EXPECT_FALSE(fs::exists(dir() / "later"));
  ASSERT_EQ(runFit(dir(), "merge whole m1 m2 m3").status, 0);
}

}  // namespace
