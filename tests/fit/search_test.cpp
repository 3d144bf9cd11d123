// The model space's numbering, the choice of the common shift, models.csv's
// rows read back, and the search itself on the bundled example: refused
// models keep their row, and a global method repeats itself for a seed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fit/cli.hpp"
#include "fit/config.hpp"
#include "fit/evaluator.hpp"
#include "fit/finish.hpp"
#include "fit/map.hpp"
#include "fit/problem.hpp"
#include "fit/search.hpp"
#include "fit/table.hpp"
#include "support/faults.hpp"

namespace {

namespace fs = std::filesystem;

fs::path scratch(const std::string& tag) {
  const fs::path p = fs::temp_directory_path() / ("egffit_" + tag + "_" + std::to_string(getpid()));
  fs::remove_all(p);
  fs::create_directories(p);
  return p;
}

std::string read(const fs::path& p) {
  std::ostringstream s;
  s << std::ifstream(p).rdbuf();
  return s.str();
}

fit::Axis axis(const char* name, std::vector<double> values) {
  return fit::Axis{*fit::findParameter(name), std::move(values)};
}

TEST(ModelSpace, TheFirstParameterVariesSlowest) {
  fit::ModelSpace space{{axis("nsx", {1, 2}), axis("vr", {2.6, 2.8, 3.0})}};
  ASSERT_EQ(space.gridSize(), 6u);
  EXPECT_EQ(space.gridModel(0), (std::vector<double>{1, 2.6}));
  EXPECT_EQ(space.gridModel(1), (std::vector<double>{1, 2.8}));
  EXPECT_EQ(space.gridModel(3), (std::vector<double>{2, 2.6}));
  EXPECT_EQ(space.gridModel(5), (std::vector<double>{2, 3.0}));
}

// N sets the three counts; a parameter outside lines 6 to 11 is not one
// a search varies.
TEST(ModelSpace, TheNRuleAndTheSourceLines) {
  model::Params p;
  fit::setParameter(p, *fit::findParameter("N"), 9);
  EXPECT_EQ(p.nx * 100 + p.nw * 10 + p.nt, 999);
  EXPECT_TRUE(fit::findParameter("ipfm"));
  EXPECT_FALSE(fit::findParameter("rm"));
  EXPECT_FALSE(fit::findParameter("fmain"));
}

// Two records whose residual curves over shifts -2..2 are given.
fit::Problem twoRecords(double weight2) {
  fit::Problem problem;
  problem.config.misfit.maxShift = 0.02;  // 2 samples at 0.01 s
  problem.records.resize(2);
  for (auto& r : problem.records) r.dt = 0.01f;
  problem.records[1].weight = weight2;
  return problem;
}

fit::RecordCurves curves(std::vector<double> vel, std::vector<double> dis) {
  fit::RecordCurves c;
  c.curves.residual[fit::kVel] = vel;
  c.curves.residual[fit::kDis] = dis;
  c.curves.residual[fit::kAcc].assign(vel.size(), 9);
  for (int q : {fit::kAcc, fit::kVel, fit::kDis})
    for (double v : c.curves.residual[q]) c.curves.correlation[q].push_back(1 - v / 2);
  return c;
}

TEST(Combine, OneShiftForAllRecordsWeighedAndTiesToTheSmallerShift) {
  const struct {
    const char* name;
    double weight2;
    std::vector<double> vel1, vel2;
    double misfit, shift;
  } cases[] = {
      // Record 1 alone prefers -2, record 2 alone +1; together +1 wins.
      {"shared", 1.0, {1, 2, 3, 3, 3}, {5, 5, 5, 1, 5}, 3 + 1 + 2 * 0.5, 0.01},
      // A tenth of the weight for record 2 moves the shared shift to -2.
      {"weighted", 0.1, {1, 2, 3, 3, 3}, {5, 5, 5, 1, 5}, 1 + 0.5 + 0.1 * (5 + 0.5), -0.02},
      // Equal sums at -1, 0 and +1: zero wins; at -1 and +1 only: -1 wins.
      {"tie at zero", 1.0, {4, 1, 1, 1, 4}, {1, 1, 1, 1, 1}, 2 + 1, 0.0},
      {"tie either side", 1.0, {4, 1, 2, 1, 4}, {1, 1, 1, 1, 1}, 2 + 1, -0.01},
  };
  for (const auto& c : cases) {
    fit::Problem p = twoRecords(c.weight2);
    const std::vector<double> half(5, 0.5);
    const fit::ModelResult r = fit::combine(p, {curves(c.vel1, half), curves(c.vel2, half)});
    ASSERT_FALSE(r.refused) << c.name;
    EXPECT_DOUBLE_EQ(r.misfit, c.misfit) << c.name;
    EXPECT_NEAR(r.shift, c.shift, 1e-9) << c.name;
    const std::size_t at = static_cast<std::size_t>(std::lround(c.shift / 0.01) + 2);
    EXPECT_EQ(r.records[1][fit::kVel].residual, c.vel2[at]) << c.name;
    EXPECT_EQ(r.records[0][fit::kAcc].residual, 9) << c.name;  // reported though its weight is 0
  }
  fit::RecordCurves refused;
  refused.refused = true;
  refused.note = "sta2: rl=0";
  const fit::ModelResult r = fit::combine(twoRecords(1), {curves({1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}), refused});
  EXPECT_TRUE(r.refused);
  EXPECT_EQ(r.note, "sta2: rl=0");
}

TEST(Table, RowsReadBackWithQuotedNotes) {
  fit::Problem p = twoRecords(1);
  p.config.space.axes = {axis("nsx", {3}), axis("vr", {2.8})};
  p.records[0].name = "ns";
  p.records[1].name = "ew";
  fit::ModelResult refused;
  refused.refused = true;
  refused.note = "ns: the shift of copy 3, \"out of range\"";
  const std::string header = fit::tableHeader(p);
  fit::TableRow row;
  ASSERT_TRUE(fit::parseRow(fit::tableRow(p, 17, {3, 2.8}, refused), fit::headerColumns(header), row));
  EXPECT_EQ(row.model, 17u);
  EXPECT_EQ(row.cells[2], "2.8");
  EXPECT_EQ(row.cells[3], "refused");
  EXPECT_EQ(row.cells.back(), refused.note);
  EXPECT_FALSE(fit::parseRow("17,3,2.8,0.5", fit::headerColumns(header), row));
}

class Search : public ::testing::Test {
 protected:
  // A configuration over the bundled example's records.
  fit::Problem problem(const std::string& body) {
    const fs::path file = dir_ / "fit.toml";
    std::ofstream(file) << "[[record]]\nparams = \"" << (fs::path(EGF_TEST_SOURCE_DIR) / "examples/params.txt").string()
                        << "\"\n" << body;
    return fit::loadProblem(fit::readConfig(file));
  }
  std::string search(const fit::Problem& p, const std::string& out, int threads = 1) {
    fs::create_directories(dir_ / out);
    std::ostringstream progress;
    const fit::SearchOutcome o = fit::runSearch(p, dir_ / out, threads, {}, progress, false);
    EXPECT_FALSE(o.interrupted);
    return read(dir_ / out / "models.csv");
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_ = scratch("search");
};

TEST_F(Search, ARefusedModelKeepsItsRowAndTheSearchGoesOn) {
  // tra 0.6 makes nt*tra/dt = 600 copies per subfault, beyond the 500 the
  // summation holds.
  const std::string csv = search(problem("[vary]\ntra = { values = [0.6, 0.05] }\n"), "refused");
  std::istringstream lines(csv);
  std::string header, first, second;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(first.rfind("1,0.6,refused,", 0), 0u) << first;
  EXPECT_NE(first.find("\"params: ntt = nt*tra/dt"), std::string::npos) << first;
  EXPECT_EQ(second.rfind("2,0.05,0.", 0), 0u) << second;
}

// A fault inside the global method's objective (here models.csv on a full
// disk) reaches the user with its own message, not NLopt's "nlopt failure".
TEST_F(Search, AFaultInsideTheGlobalMethodKeepsItsMessage) {
  const fit::Problem p = problem("[vary]\nvr = { from = 2.4, to = 3.2 }\n[search]\nmethod = \"crs\"\nmax_models = 5\n");
  fs::create_directories(dir_ / "full");
  fs::create_symlink("/dev/full", dir_ / "full" / "models.csv");
  std::ostringstream progress;
  try {
    fit::runSearch(p, dir_ / "full", 1, {}, progress, false);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "writing models.csv failed");
  }
}

// egffit's edge: a user's error is one line and status 1 or 2, anything
// else one "internal error:" line and status 3.
TEST(Program, OneErrorPolicy) {
  const struct {
    std::vector<std::string> args;
    std::function<void()> fault;  // of the output stream
    int status;
    std::string err;
  } rows[] = {
      {{"--help"}, [] { throw std::logic_error("bad index"); }, 3, "internal error: bad index. This is a fault of "
                                                                  "egffit, not of its input: please report it"},
      {{"--help"}, [] { throw std::runtime_error("cannot write out"); }, 1, "egffit: cannot write out\n"},
      {{"--nonesuch"}, [] {}, 2, "egffit: unknown option --nonesuch (usage: egffit CONFIG.toml"},
  };
  for (const auto& r : rows) {
    testsupport::FaultyStream out(r.fault);
    std::ostringstream err;
    EXPECT_EQ(fit::egffit(r.args, out, err), r.status) << r.err;
    const std::string line = err.str();
    EXPECT_EQ(line.rfind(r.err, 0), 0u) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
  }
}

TEST_F(Search, AGlobalMethodRepeatsItselfForASeedOnAnyThreadCount) {
  const std::string body =
      "[vary]\nnsx = { from = 1, to = 10 }\nnsw = { from = 1, to = 10 }\nvr = { from = 2.4, to = 3.2 }\n"
      "[search]\nmethod = \"crs\"\nmax_models = 30\nseed = ";
  const fit::Problem seven = problem(body + "7\n");
  const std::string a = search(seven, "a", 1), b = search(seven, "b", 2);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, search(problem(body + "8\n"), "c"));
  std::istringstream lines(a);
  std::string line;
  std::getline(lines, line);
  fit::TableRow row;
  std::uint64_t model = 0;
  while (std::getline(lines, line)) {
    ASSERT_TRUE(fit::parseRow(line, fit::headerColumns(fit::tableHeader(seven)), row)) << line;
    EXPECT_EQ(row.model, ++model);
    const int nsx = std::stoi(row.cells[1]);
    EXPECT_TRUE(nsx >= 1 && nsx <= 10 && row.cells[1] == std::to_string(nsx)) << line;  // rounded to integers
  }
  EXPECT_EQ(model, 30u);
}

}  // namespace

namespace {

// models.csv written by hand: the misfit depends strongly on nsw, somewhat
// on vr and not at all on nsx; models 1 and 5 tie for the least.
TEST_F(Search, TheSummaryTakesTheLowerOfTiedModelsAndMapsTheTwoParametersThatMatter) {
  fit::Problem p = problem("[vary]\nnsx = { values = [3, 4] }\nnsw = { values = [5, 6] }\nvr = { values = [2.6, 2.8] }\n");
  const fs::path out = dir_ / "hand";
  fs::create_directories(out);
  std::ofstream csv(out / "models.csv");
  csv << fit::tableHeader(p) << '\n';
  for (std::uint64_t m = 0; m < p.config.space.gridSize(); ++m) {
    const std::vector<double> v = p.config.space.gridModel(m);
    fit::ModelResult r;
    r.misfit = (v[1] == 5 ? 1.0 : 3.0) + (v[2] == 2.6 ? 0.0 : 0.5);
    r.records.resize(1);
    r.records[0][fit::kVel] = {r.misfit, 0.5};
    csv << fit::tableRow(p, m + 1, v, r) << '\n';
  }
  csv.close();
  std::ostringstream log;
  ASSERT_TRUE(fit::finishSearch(p, out, {}, dir_ / "no-egfsim", log));
  EXPECT_NE(log.str().find("no egfsim"), std::string::npos);
  const std::string summary = read(out / "summary.txt");
  EXPECT_NE(summary.find("best model: 1\n  nsx = 3\n  nsw = 5\n  vr = 2.6\nmisfit: 1\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("(misfit: nsw x vr (nsx 3))"), std::string::npos) << summary;
  // The parameter files' own model (nsx 3, nsw 5, vr 2.8) is evaluated too.
  EXPECT_NE(summary.find("starting model (the parameter files' values): nsx 3, nsw 5, vr 2.8"), std::string::npos);
  EXPECT_NE(read(out / "best" / "params.txt").find("10 10 10 0 3 5 0 1.0\n3.5 2.6 2 1\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(out / "misfit_map.png"));
  fit::releaseDrawingCaches();
}

}  // namespace
