// The model space's numbering, models.csv's rows read back, and the search itself on the bundled example (a refused
// model's row is the SMGA search's test): a global method repeats itself for a seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "fit/cli.hpp"
#include "fit/config.hpp"
#include "fit/finish.hpp"
#include "fit/map.hpp"
#include "fit/problem.hpp"
#include "fit/resume.hpp"
#include "fit/search.hpp"
#include "fit/table.hpp"
#include "paramfile/paramfile.hpp"
#include "support/faults.hpp"
#include "support/files.hpp"

namespace {

namespace fs = std::filesystem;

using testsupport::readFile;
const fs::path kExamples = fs::path(EGF_TEST_SOURCE_DIR) / "examples";

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
  EXPECT_FALSE(fit::findParameter("rm"));
}

// Two records at 0.01 s, shifts -2..2.
fit::Problem twoRecords() {
  fit::Problem problem;
  problem.config.misfit.maxShift = 0.02;
  problem.records.resize(2);
  for (auto& r : problem.records) r.dt = 0.01f;
  return problem;
}

TEST(Table, RowsReadBackWithQuotedNotes) {
  fit::Problem p = twoRecords();
  p.config.space.axes = {axis("nsx", {3}), axis("vr", {2.8})};
  p.records[0].name = "ns";
  p.records[1].name = "ew";
  engine::ModelResult refused;
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
    std::ofstream(file) << "[[record]]\nparams = \"" << (kExamples / "params.txt").string()
                        << "\"\n" << body;
    return fit::loadProblem(fit::readConfig(file));
  }
  std::string search(const fit::Problem& p, const std::string& out, int threads = 1) {
    fs::create_directories(dir_ / out);
    std::ostringstream progress;
    const fit::SearchOutcome o = fit::runSearch(p, dir_ / out, threads, {}, progress, false);
    EXPECT_FALSE(o.interrupted);
    return readFile(dir_ / out / "models.csv");
  }
  testsupport::TempFolder folder_;
  const fs::path& dir_ = folder_.path();
};

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
    EXPECT_EQ(e.what(), "cannot write " + (dir_ / "full" / "models.csv").string());
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
      {{"--help"}, [] { throw std::runtime_error("cannot write out"); }, 1, "egffit: cannot write out\n"},
      {{"--nonesuch"}, [] {}, 2, "egffit: unknown option --nonesuch (usage: egffit CONFIG.toml"},
      {{"setup", "study.toml", "--out"}, [] {}, 2, "egffit: --out needs a value (usage: egffit CONFIG.toml"},
      {{"search.toml", "--threads"}, [] {}, 2, "egffit: --threads needs a value (usage: egffit CONFIG.toml"},
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

// Every parameter a search accepts changes the misfit of the bundled
// example when it moves from the file's value: none is ignored by the
// engine, so no search's "best" value of it is merely its first.
TEST_F(Search, EveryAcceptedParameterChangesTheMisfit) {
  const fs::path params = kExamples / "params.txt";
  const auto texts = paramfile::valueTexts(params);
  const std::vector<std::string> names = fit::variedNames();
  EXPECT_GE(names.size(), 24u);
  for (const std::string& name : names) {
    const fit::Kind kind = fit::findParameter(name)->kind;
    const double base = std::strtod(texts.at(name == "N" ? "nx" : name).c_str(), nullptr);
    // A step the checks accept: an integer up by one (ird, a code of 1 or
    // 2, down), an angle by 10 degrees, a real by a tenth (0 to 0.5).
    double moved = kind == fit::Kind::Integer ? (name == "ird" ? base - 1 : base + 1)
                   : kind == fit::Kind::Angle ? base + 10
                   : base != 0                ? base * 1.1
                                              : 0.5;
    const fit::Problem p = problem("[vary]\n" + name + " = { values = [" + fit::valueText(kind, base) + ", " +
                                   fit::valueText(kind, moved) + "] }\n");
    engine::Evaluator e(p.engineRecords(), p.weights());
    const engine::ModelResult a = p.evaluate(e, {p.config.space.axes[0].values[0]});
    const engine::ModelResult b = p.evaluate(e, {p.config.space.axes[0].values[1]});
    ASSERT_FALSE(a.refused || b.refused) << name << ": " << a.note << b.note;
    EXPECT_NE(a.misfit, b.misfit) << name << " " << fit::valueText(kind, base) << " and " << fit::valueText(kind, moved);
  }
}

// The values only the radiation correction reads (whose refusal where it is
// off is the configuration's test) are the table's "(ipfm 1 or 2)" roles.
TEST(ModelSpace, RadiationOnlyValuesAreTheTablesRoles) {
  for (const paramfile::Entry& e : paramfile::layout()) {
    if (e.line < 6 || e.line > 11) continue;
    EXPECT_EQ(fit::radiationOnly(e.name), e.role.find("only (ipfm 1 or 2)") != std::string_view::npos) << e.name;
  }
}

// A search resumed from the rows an interrupted one left (some whole rows,
// perhaps half of the next) writes the file one run writes, evaluating only
// the models without a row: the grid from its next model, a global method
// by replaying its sequence from the rows.
TEST_F(Search, AResumedSearchWritesOneRunsRowsAndEvaluatesOnlyTheRest) {
  const struct {
    const char* name;
    std::string body;
  } methods[] = {
      {"grid", "[vary]\nnsx = { from = 1, to = 10 }\nvr = { from = 2.4, to = 3.2, step = 0.2 }\n"},
      {"crs", "[vary]\nnsx = { from = 1, to = 10 }\nnsw = { from = 1, to = 10 }\nvr = { from = 2.4, to = 3.2 }\n"
              "[search]\nmethod = \"crs\"\nmax_models = 40\nseed = 3\n"},
  };
  for (const auto& m : methods) {
    const fit::Problem p = problem(m.body);
    const std::string full = search(p, std::string(m.name) + "_full", 2);
    std::vector<std::size_t> ends;  // where each line of the full file ends
    for (std::size_t at = full.find('\n'); at != std::string::npos; at = full.find('\n', at + 1)) ends.push_back(at + 1);
    const std::size_t rows = ends.size() - 1;
    ASSERT_GE(rows, 40u) << m.name;
    for (const std::size_t keep : {std::size_t{0}, std::size_t{1}, rows / 2, rows}) {
      for (const bool halfRow : {false, true}) {
        if (halfRow && keep == rows) continue;
        const std::string tag = std::string(m.name) + " keeping " + std::to_string(keep) + (halfRow ? " and a half" : "");
        const fs::path out = dir_ / "cut";
        fs::remove_all(out);
        fs::create_directories(out);
        const std::size_t cut = ends[keep] + (halfRow ? (ends[keep + 1] - ends[keep]) / 2 : 0);
        std::ofstream(out / "models.csv", std::ios::binary) << full.substr(0, cut);
        const fit::KeptRows kept = fit::readKeptRows(p, out / "models.csv", {}, "give another --out");
        EXPECT_EQ(kept.rows, keep) << tag;
        std::ostringstream progress;
        const fit::SearchOutcome o = fit::runSearch(p, out, 2, {}, progress, false, kept);
        EXPECT_EQ(readFile(out / "models.csv"), full) << tag;
        EXPECT_EQ(o.models, rows) << tag;
        EXPECT_EQ(o.evaluated, rows - keep) << tag;
      }
    }
  }
}

// Rows that are not this search's are refused at their line, the file left
// as it was: a wrong value or number on the grid, a replay that reaches
// another model, a row beyond the search's models.
TEST_F(Search, RowsOfAnotherSearchAreNotResumed) {
  const std::string gridBody = "[vary]\nnsx = { from = 1, to = 4 }\n";
  const std::string crsBody =
      "[vary]\nnsx = { from = 1, to = 10 }\nvr = { from = 2.4, to = 3.2 }\n[search]\nmethod = \"crs\"\nmax_models = 6\nseed = ";
  const fit::Problem grid = problem(gridBody), crs = problem(crsBody + "3\n");
  const std::string gridRows = search(grid, "grid"), crsRows = search(problem(crsBody + "4\n"), "crs4");
  const std::string header = gridRows.substr(0, gridRows.find('\n') + 1);
  const std::string row1 = gridRows.substr(header.size(), gridRows.find('\n', header.size()) + 1 - header.size());
  auto replaced = [](std::string s, const std::string& from, const std::string& to) {
    return s.replace(s.find(from), from.size(), to);
  };
  const struct {
    const char* name;
    const fit::Problem& problem;
    std::string text;
    const char* says;
  } cases[] = {
      {"header", grid, "model,nsw,misfit\n", "models.csv:1: its header is not this configuration's"},
      {"value", grid, header + replaced(row1, "1,1,", "1,2,"), "models.csv:2: nsx 2 where model 1 has 1"},
      {"number", grid, header + replaced(row1, "1,1,", "2,1,"), "models.csv:2: model 2 where model 1 belongs"},
      {"beyond", grid, gridRows + replaced(row1, "1,1,", "5,1,"), "models.csv:6: more rows than the search's 4 models"},
      {"not a row", grid, header + "1,1\n", "models.csv:2: not a row of this search"},
  };
  for (const auto& c : cases) {
    fs::create_directories(dir_ / "bad");
    const fs::path csv = dir_ / "bad" / "models.csv";
    std::ofstream(csv, std::ios::binary) << c.text;
    std::string message;
    try {
      fit::readKeptRows(c.problem, csv, {}, "give another --out");
    } catch (const fit::ConfigError& e) {
      message = e.what();
    }
    EXPECT_NE(message.find(c.says), std::string::npos) << c.name << ": " << message;
    EXPECT_NE(message.find(": give another --out"), std::string::npos) << c.name << ": " << message;
  }
  // Seed 4's rows are read back, but seed 3's sequence reaches other models.
  fs::create_directories(dir_ / "replay");
  std::ofstream(dir_ / "replay" / "models.csv", std::ios::binary)
      << replaced(crsRows, crsRows.substr(0, crsRows.find('\n')), fit::tableHeader(crs));
  const fit::KeptRows kept = fit::readKeptRows(crs, dir_ / "replay" / "models.csv", {}, "x");
  std::ostringstream progress;
  try {
    fit::runSearch(crs, dir_ / "replay", 1, {}, progress, false, kept);
    ADD_FAILURE() << "not refused";
  } catch (const fit::ConfigError& e) {
    EXPECT_NE(std::string(e.what()).find("where this search reaches"), std::string::npos) << e.what();
  }
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
    engine::ModelResult r;
    r.misfit = (v[1] == 5 ? 1.0 : 3.0) + (v[2] == 2.6 ? 0.0 : 0.5);
    r.records.resize(1);
    r.records[0][engine::kVel] = {r.misfit, 0.5};
    csv << fit::tableRow(p, m + 1, v, r) << '\n';
  }
  csv.close();
  std::ostringstream log;
  ASSERT_TRUE(fit::finishSearch(p, out, {}, dir_ / "no-egfsim", log));
  EXPECT_NE(log.str().find("no egfsim"), std::string::npos);
  const std::string summary = readFile(out / "summary.txt");
  EXPECT_NE(summary.find("best model: 1\n  nsx = 3\n  nsw = 5\n  vr = 2.6\nmisfit: 1\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("(misfit vel + dis: nsw x vr (nsx 3))"), std::string::npos) << summary;
  // The parameter files' own model (nsx 3, nsw 5, vr 2.8) is evaluated too.
  EXPECT_NE(summary.find("starting model (the parameter files' values): nsx 3, nsw 5, vr 2.8"), std::string::npos);
  EXPECT_NE(readFile(out / "best" / "params.txt").find("10 10 10 0 3 5 0 1.0\n3.5 2.6 2 1\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(out / "misfit_map.png"));
  // The map: nsw x vr at the best model's nsx 3, each cell its model's misfit.
  const std::optional<fit::MisfitMap> map = fit::misfitMap(p, out);
  ASSERT_TRUE(map);
  EXPECT_EQ(map->xValues, (std::vector<std::string>{"5", "6"}));
  EXPECT_EQ(map->yValues, (std::vector<std::string>{"2.6", "2.8"}));
  EXPECT_EQ(map->misfit, (std::vector<double>{1, 3, 1.5, 3.5}));
  fit::releaseDrawingCaches();
}

// A record path relative to best/ is written as it is up to the 80 columns
// a parameter-file line holds, and replaced by a copy in best/ beyond:
// from best/ a record named in 71 characters is ../../in/ plus 71 = 80
// columns, one more is 81; from best/RECORD/ both are beyond (84, 85).
TEST_F(Search, RecordPathsOfUpTo80ColumnsStandAndLongerOnesAreCopied) {
  const std::string example = readFile(kExamples / "params.txt");
  for (const std::size_t length : {std::size_t{71}, std::size_t{72}}) {
    const fs::path in = dir_ / "in";
    fs::remove_all(in);
    fs::create_directories(in);
    const std::string name = std::string(length - 4, 't') + ".kib";
    fs::copy_file(kExamples / "target.kib", in / name);
    fs::copy_file(kExamples / "element.kib", in / "element.kib");
    std::string text = example;
    text.replace(text.find("target.kib"), 10, name);
    std::ofstream(in / "params.txt") << text;
    std::ofstream(dir_ / "names.toml") << "[[record]]\nparams = \"in/params.txt\"\n[vary]\nnsx = { values = [3, 4] }\n";
    const fit::Problem p = fit::loadProblem(fit::readConfig(dir_ / "names.toml"));
    fs::remove_all(dir_ / "o");
    search(p, "o");
    std::ostringstream log;
    ASSERT_TRUE(fit::finishSearch(p, dir_ / "o", {}, dir_ / "no-egfsim", log));
    const std::string best = readFile(dir_ / "o" / "best" / "params.txt");
    const std::string run = readFile(dir_ / "o" / "best" / "params" / "params.txt");
    if (length == 71) {
      EXPECT_NE(best.find("\n../../in/" + name + "\n../../in/element.kib\n"), std::string::npos) << best;
    } else {
      EXPECT_NE(best.find("\nparams_target.kib\n../../in/element.kib\n"), std::string::npos) << best;
    }
    // The copy that best/params/ needs in both cases.
    EXPECT_EQ(readFile(dir_ / "o" / "best" / "params_target.kib"), readFile(in / name));
    EXPECT_NE(run.find("\n../params_target.kib\n../../../in/element.kib\n"), std::string::npos) << run;
  }
}

// The map's cells by hand: a global method's continuous axis in 20 bins of
// its range (the upper end in the last), the least misfit of a cell, a
// refused model in none.
TEST_F(Search, TheMisfitMapOfAGlobalMethodBinsTheRangeAndKeepsTheLeastOfACell) {
  const fit::Problem p =
      problem("[vary]\nnsx = { values = [3, 4] }\nvr = { from = 2.4, to = 3.2 }\n[search]\nmethod = \"crs\"\n");
  const fs::path out = dir_ / "map";
  fs::create_directories(out);
  std::ofstream csv(out / "models.csv");
  csv << fit::tableHeader(p) << '\n';
  const struct {
    double nsx, vr, misfit;  // NaN: refused
  } rows[] = {{3, 2.4, 5}, {3, 3.2, 1}, {4, 3.2, NAN}, {4, 2.85, 3}, {3, 2.81, 4}, {4, 2.4, 2}};
  std::uint64_t model = 0;
  for (const auto& row : rows) {
    engine::ModelResult r;
    r.refused = std::isnan(row.misfit);
    r.note = r.refused ? "refused by hand" : "";
    r.misfit = row.misfit;
    r.records.resize(1);
    csv << fit::tableRow(p, ++model, {row.nsx, row.vr}, r) << '\n';
  }
  csv.close();
  const std::optional<fit::MisfitMap> map = fit::misfitMap(p, out);
  ASSERT_TRUE(map);
  EXPECT_EQ(map->xName, "vr");  // its least misfit varies by 3, nsx's by 1
  EXPECT_EQ(map->yName, "nsx");
  ASSERT_EQ(map->xValues.size(), 20u);
  EXPECT_EQ(map->xValues.front(), "2.42");  // each bin by its centre
  EXPECT_EQ(map->xValues.back(), "3.18");
  ASSERT_EQ(map->misfit.size(), 40u);
  std::vector<double> expected(40, NAN);
  // Bins of 0.04: 2.81 in bin 10, 2.85 in bin 11, 3.2 in bin 19.
  expected[0] = 5, expected[10] = 4, expected[19] = 1;  // nsx 3: 2.4, 2.81, 3.2
  expected[20] = 2, expected[31] = 3;                   // nsx 4: 2.4, 2.85; 3.2 refused
  for (std::size_t i = 0; i < 40; ++i)
    EXPECT_TRUE(map->misfit[i] == expected[i] || (std::isnan(map->misfit[i]) && std::isnan(expected[i]))) << i;
  EXPECT_EQ(map->bestColumn, 19);
  EXPECT_EQ(map->bestRow, 0);
}

}  // namespace
