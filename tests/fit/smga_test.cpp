// egffit with the source in physical terms, as a user runs it: a model of
// two SMGAs synthesised at three stations with noise is found again from a
// wrong start (models that cannot be are refused with their reason), the
// best model's exact runs and its [source] section are written, a site with
// only an element record is predicted as a recorded one is synthesised, and
// the bundled example's record is predicted from its element alone as
// egfsim synthesises it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "example/example.hpp"
#include "example/kibtrace.hpp"
#include "example/random.hpp"
#include "fit/config.hpp"
#include "support/run.hpp"

namespace {

using namespace runsupport;

// Three stations with targets and a fourth site, predicted.
const example::ExampleFault kStations[] = {{.rm = "20.0", .pm = "60.0", .cmp = "90.0"},
                                           {.rm = "25.0", .pm = "150.0", .cmp = "0.0"},
                                           {.rm = "18.0", .pm = "300.0", .cmp = "1000.0"},
                                           {.rm = "30.0", .pm = "210.0", .cmp = "90.0"}};

// The true model: a 6-km SMGA at the hypocentre and a 5-km one 9 km along
// strike and 3 km up dip, starting near its corner, 0.3 s late.
source::Source trueModel() {
  source::Source s;
  s.vr = 2.8;
  source::Smga a;
  a.L = a.W = 6, a.N = 4, a.C = 1.5, a.tau = 0.4;
  a.start = {true, 0.5, 0.5, 0, 0};
  source::Smga b;
  b.L = b.W = 5, b.N = 4, b.C = 1.0, b.tau = 0.3, b.x = 9, b.w = -3, b.delay = 0.3;
  b.start = {true, 0.2, 0.8, 0, 0};
  s.smgas = {a, b};
  return s;
}

const char* kSource =
    "[source]\nvr = 2.8\n"
    "[[source.smga]]\nL = 6.0\nW = 6.0\nN = 4\nC = 1.5\ntau = 0.4\nstart = { along = 0.5, down = 0.5 }\n"
    "[[source.smga]]\nL = 5.0\nW = 5.0\nN = 4\nC = %s\ntau = 0.3\nx = %s\nw = %s\ndelay = 0.3\n"
    "start = { along = 0.2, down = 0.8 }\n";

std::string sourceSection(const char* c, const char* x, const char* w) {
  char text[600];
  std::snprintf(text, sizeof text, kSource, c, x, w);
  return text;
}

// Column `name` of a series.csv, as numbers.
std::vector<double> column(const std::string& csv, const std::string& name) {
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  const std::string header = "," + line + ",";
  const std::size_t at = header.find("," + name + ",");
  if (at == std::string::npos) ADD_FAILURE() << "no column " << name;
  if (at == std::string::npos) return {};
  const auto index = std::count(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(at), ',');
  std::vector<double> values;
  while (std::getline(in, line)) {
    std::size_t from = 0;
    for (long k = 0; k < index; ++k) from = line.find(',', from) + 1;
    values.push_back(std::strtod(line.c_str() + from, nullptr));
  }
  return values;
}

// Largest difference over the samples both hold, as a fraction of a's peak.
double worstOverPeak(const std::vector<double>& a, const std::vector<double>& b) {
  double peak = 0, worst = 0;
  for (std::size_t k = 0; k < std::min(a.size(), b.size()); ++k) {
    peak = std::max(peak, std::fabs(a[k]));
    worst = std::max(worst, std::fabs(a[k] - b[k]));
  }
  return peak > 0 ? worst / peak : INFINITY;
}

class TwoSmgas : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new RunFolder();
    const fs::path& d = folder_->path();
    example::KibHeader h;
    h.head3 = "EW";
    h.dunit = "gal";
    const example::KibText element = example::writeFloatRecord(h, example::elementAcceleration());
    writeFile(d / "element.kib", element.text);
    records_.clear();
    for (int s = 0; s < 4; ++s) {
      const std::string name = "sta" + std::to_string(s + 1);
      h.rcode = "ST" + std::to_string(s + 1);
      std::vector<double> target = example::smgaTarget(kStations[s], trueModel(), element.samples);
      example::Random noise(200 + s);
      if (s < 3)
        for (double& v : target) v += noise.normal();
      writeFile(d / ("target_" + name + ".kib"), example::writeCountRecord(h, target).text);
      // The files' own source lines are the example's one fault: [source] replaces them.
      std::string params = example::parameterFile(kStations[s]);
      params.replace(params.find("target.kib"), 10, "target_" + name + ".kib");
      writeFile(d / (name + ".txt"), params);
      if (s < 3) records_ += "[[record]]\nparams = \"" + name + ".txt\"\n";
    }
    // From a wrong start: SMGA 2 at 5 km along strike, 1 km down dip, C 0.5.
    writeFile(d / "fit.toml", records_ + sourceSection("0.5", "5.0", "1.0") +
                                  "[vary]\nsmga.2.x = { values = [1.0, 5.0, 9.0, 13.0] }\n"
                                  "smga.2.w = { values = [-5.0, -3.0, -1.0, 1.0] }\n"
                                  "smga.2.C = { values = [0.5, 1.0, 2.0] }\n"
                                  "[misfit]\nacc = 0.5\nvel = 1.0\ndis = 1.0\nmax_shift = 0.2\n");
    search_ = runFit(d, "fit.toml --out fit --threads 2");
  }
  static void TearDownTestSuite() { delete folder_; }
  void SetUp() override {
    if (!fs::exists(kFit) || !fs::exists(kProgram)) GTEST_SKIP() << "egffit or egfsim not built";
    ASSERT_EQ(search_.status, 0) << search_.errors;
  }
  static const fs::path& dir() { return folder_->path(); }

  static RunFolder* folder_;
  static Outcome search_;
  static std::string records_;
};

RunFolder* TwoSmgas::folder_ = nullptr;
Outcome TwoSmgas::search_;
std::string TwoSmgas::records_;

TEST_F(TwoSmgas, AreFoundAgainFromAWrongStartAndOverlapsAreRefused) {
  const std::string summary = readFile(dir() / "fit" / "summary.txt");
  EXPECT_NE(summary.find("  smga.2.x = 9.0\n  smga.2.w = -3.0\n  smga.2.C = 1.0\n"), std::string::npos) << summary;
  // SMGA 2 at 1 km along strike overlaps SMGA 1 unless it lies 5 km up dip.
  EXPECT_NE(summary.find("models: 48 evaluated, 9 refused"), std::string::npos) << summary;

  // The exact run of every record, and the model as a [source] section that
  // reads back to the true one.
  for (const char* s : {"sta1", "sta2", "sta3"})
    EXPECT_TRUE(fs::exists(dir() / "fit" / "best" / s / "series" / "synthetic.acc.sac")) << s;
  const source::Source best = fit::readSourceFile(dir() / "fit" / "best" / "source.toml");
  ASSERT_EQ(best.smgas.size(), 2u);
  EXPECT_EQ(best.smgas[1].x, 9.0);
  EXPECT_EQ(best.smgas[1].w, -3.0);
  EXPECT_TRUE(fs::exists(dir() / "fit" / "fault_map.png"));
  expectStoredFiles(dir() / "fit", "fit/data/smga/fit", {"summary.txt", "summary.json", "models.csv", "best/source.toml"}, dir());
}

// The fourth site predicted from its element record, and the same site
// simulated as a recorded one: the same synthetic, to the rounding of the
// two mean removals (the prediction is shorter); and the recorded one
// matches its noise-free target.
TEST_F(TwoSmgas, ASitePredictedIsSynthesisedAsARecordedOne) {
  writeFile(dir() / "predict.toml", "[[record]]\nparams = \"sta4.txt\"\n[[record]]\nparams = \"sta4.txt\"\npredict = true\n" +
                                        sourceSection("1.0", "9.0", "-3.0") +
                                        "[vary]\nsmga.2.x = { from = 8.0, to = 10.0 }\nvr = { values = [2.6, 2.8, 3.0] }\n"
                                        "[simulate]\ndraws = 6\nseed = 3\n");
  const Outcome o = runFit(dir(), "simulate predict.toml --out sim");
  ASSERT_EQ(o.status, 0) << o.errors;
  const std::string recorded = readFile(dir() / "sim" / "sta4" / "series" / "series.csv");
  const std::string predicted = readFile(dir() / "sim" / "sta4_2" / "series.csv");
  for (const char* q : {"synthetic.acc", "synthetic.vel", "synthetic.dis"})
    EXPECT_LT(worstOverPeak(column(recorded, q), column(predicted, q)), 1e-6) << q;
  const auto summary = nlohmann::json::parse(readFile(dir() / "sim" / "simulate.json"));
  for (const char* q : {"acc", "vel", "dis"})
    EXPECT_GT(summary["records"]["sta4"][q]["correlation"].get<double>(), 0.98) << q;
  EXPECT_NE(o.transcript.find("spread of the predictions: 7 models"), std::string::npos) << o.transcript;
  const std::string spread = readFile(dir() / "sim" / "sta4_2" / "spread.csv");
  EXPECT_EQ(spread.rfind("period_s,psa16_gal,psa50_gal,psa84_gal,psa_given_gal\n0.01,", 0), 0u) << spread;
  EXPECT_EQ(std::count(spread.begin(), spread.end(), '\n'), 101);
  // The recorded site's PSA bias: the mean of the report's ln(observed /
  // synthetic) over the periods within the filter's pass band.
  const auto metrics = nlohmann::json::parse(readFile(dir() / "sim" / "sta4" / "report" / "metrics.json"));
  double sum = 0;
  int n = 0;
  for (std::size_t k = 0; k < metrics["periods"].size(); ++k) {
    const double f = 1 / metrics["periods"][k].get<double>();
    if (f >= metrics["filter"]["pass_band"][0].get<double>() && f <= metrics["filter"]["pass_band"][1].get<double>())
      sum += metrics["psa_ln_ratio"][k].get<double>(), ++n;
  }
  ASSERT_GT(n, 50);
  EXPECT_NEAR(summary["records"]["sta4"]["psa_ln_bias"].get<double>(), sum / n, 1e-12);
  EXPECT_NE(sum, 0);
  EXPECT_TRUE(fs::exists(dir() / "sim" / "sta4_2" / "spread.png"));
  expectStoredFiles(dir() / "sim", "fit/data/smga/sim", {"simulate.txt", "simulate.json", "source.toml", "sta4_2/prediction.json"}, dir());
}

// The bundled example: its record predicted from its element alone is
// egfsim's synthetic of it; and a search over N with the fault's size and
// rise time fixed finds N 10 (examples/example_smga.toml).
TEST(Example, PredictedFromItsElementAloneAndFoundByN) {
  if (!fs::exists(kFit) || !fs::exists(kProgram)) GTEST_SKIP() << "egffit or egfsim not built";
  const RunFolder folder;
  const fs::path examples = kSourceDir / "examples";
  for (const char* f : {"params.txt", "params_wrong_start.txt", "target.kib", "element.kib",
                        "example_smga.toml", "example_predict.toml"})
    fs::copy_file(examples / f, folder.path() / f);
  const std::string cmd = "cd '" + folder.path().string() + "' && '" + kProgram.string() +
                          "' --series egfsim < '" + (examples / "answers.txt").string() + "' > transcript.txt";
  ASSERT_EQ(exitStatus(std::system(cmd.c_str())), 0);
  const Outcome o = runFit(folder.path(), "simulate example_predict.toml --out sim");
  ASSERT_EQ(o.status, 0) << o.errors;
  const std::string egfsim = readFile(folder.path() / "egfsim" / "series.csv");
  const std::string predicted = readFile(folder.path() / "sim" / "params" / "series.csv");
  for (const char* q : {"synthetic.acc", "synthetic.vel", "synthetic.dis"})
    EXPECT_LT(worstOverPeak(column(egfsim, q), column(predicted, q)), 1e-6) << q;

  const Outcome search = runFit(folder.path(), "example_smga.toml --out smga");
  ASSERT_EQ(search.status, 0) << search.errors;
  EXPECT_NE(search.transcript.find("  smga.1.N = 10\n"), std::string::npos) << search.transcript;
  // One SMGA at the hypocentre: egfsim's own run of the parameter file it
  // maps to, which is the example's true one.
  const std::string best = readFile(folder.path() / "smga" / "best" / "params_wrong_start.txt");
  EXPECT_NE(best.find("1.5 1.5 0.05 0.0 0.0 0.0\n10 10 10 0 3 5 0 1.0\n3.5 2.8 2 1\n"), std::string::npos) << best;
  EXPECT_GT(correlations(readFile(folder.path() / "smga" / "best" / "params_wrong_start" / "transcript.txt")).vel, 0.99);
}

}  // namespace
