// The best model's files tell one story: the bundled example searched from a
// synthetic window that starts 30 samples late finds the common shift, its
// parameter files in best/ carry it (egfsim's lags come out near 0), and
// the summary and the report give the search's and egfsim's numbers each
// with its window and lag. Then the parts: the window moved within the
// stored samples, the radiation coefficients a polarity flag prints, and
// the misfit map's colour range and drawing.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>

#include "fit/diagnose.hpp"
#include "fit/map.hpp"
#include "support/run.hpp"
#include "support/svg.hpp"

namespace {

using namespace runsupport;

const fs::path kExamples = kSourceDir / "examples";
const fs::path kGolden = kSourceDir / "tests" / "fit" / "data" / "misfit_map.svg";

// egffit on the bundled example's records from NAME.txt, a copy of
// `example` whose line `number` reads `edited` instead of `was`, with
// `search` after its [[record]].
Outcome searchEdited(const fs::path& dir, const char* example, int number, const std::string& was,
                     const std::string& edited, const std::string& name, const std::string& search) {
  for (const char* f : {"target.kib", "element.kib"}) fs::copy_file(kExamples / f, dir / f);
  std::string params = readFile(kExamples / example);
  std::size_t at = 0;
  for (int k = 1; k < number; ++k) at = params.find('\n', at) + 1;
  EXPECT_EQ(lineOf(params, number), was);
  params.replace(at, was.size(), edited);
  writeFile(dir / (name + ".txt"), params);
  writeFile(dir / "fit.toml", "out = \"out\"\n[[record]]\nparams = \"" + name + ".txt\"\n" + search);
  return runFit(dir, "fit.toml");
}

TEST(BestModel, CarriesTheCommonShiftSoEgfsimLagsAreNearZero) {
  if (!fs::exists(kFit) || !fs::exists(kProgram)) GTEST_SKIP() << "egffit or egfsim not built";
  const RunFolder dir;
  // The synthetic window 30 samples later than the observed one: at lag 0
  // the traces are 0.3 s apart.
  const Outcome run = searchEdited(
      dir.path(), "params_wrong_start.txt", 15, "400 4400 400 4400", "400 4400 430 4430", "shifted",
      "[vary]\nnsx = { from = 1, to = 5 }\nnsw = { values = [4, 5, 6] }\nvr = { values = [2.6, 2.8, 3.0] }\n"
      "[misfit]\nmax_shift = 1.0\n[map]\naxes = [[\"nsx\", \"nsw\"], [\"vr\", \"nsx\"]]\nclip = 2\n");
  ASSERT_EQ(run.status, 0) << run.errors;

  const fs::path out = dir.path() / "out";
  const auto summary = nlohmann::json::parse(readFile(out / "summary.json"));
  EXPECT_EQ(summary["best"]["parameters"]["nsx"], 3);
  EXPECT_EQ(summary["best"]["parameters"]["nsw"], 5);
  EXPECT_EQ(summary["best"]["shift_samples"], -30);
  EXPECT_EQ(lineOf(readFile(out / "best" / "shifted.txt"), 15), "400 4400 400 4400");

  const auto& record = summary["best"]["records"]["shifted"];
  const auto metrics = nlohmann::json::parse(readFile(out / "best" / "shifted" / "report" / "metrics.json"));
  const std::string transcript = readFile(out / "best" / "shifted" / "transcript.txt");
  const char* names[3] = {"acc", "vel", "dis"};
  const char* long_[3] = {"acceleration", "velocity", "displacement"};
  for (int q = 0; q < 3; ++q) {
    const std::string label = std::string(names[q]) + " mtime =";
    const int lag = std::atoi(transcript.c_str() + transcript.find(label) + label.size());
    EXPECT_LE(std::abs(lag), 2) << names[q] << " in egfsim's run of best/";
    // One set of numbers in the summary, the report and egfsim's transcript.
    EXPECT_EQ(record["egfsim"][names[q]]["lag"], lag) << names[q];
    EXPECT_EQ(metrics["lags"][long_[q]], lag) << names[q];
    EXPECT_NEAR(metrics["search"]["residuals"][long_[q]].get<double>(), record[names[q]]["residual"].get<double>(),
                1e-6 * record[names[q]]["residual"].get<double>());
    EXPECT_GT(record[names[q]]["correlation"].get<double>(), 0.9) << names[q];
  }
  EXPECT_EQ(metrics["search"]["shift_samples"], -30);
  EXPECT_EQ(metrics["search"]["synthetic_first"], 400);
  EXPECT_EQ(record["search_window"]["samples"], 4001);
  EXPECT_TRUE(record["flags"].empty()) << record["flags"];

  // The two maps of [map], the second named by its axes, clipped at twice
  // the least misfit.
  ASSERT_EQ(summary["maps"].size(), 2u);
  EXPECT_EQ(summary["maps"][1]["x"], "vr");
  EXPECT_EQ(summary["maps"][1]["y"], "nsx");
  EXPECT_TRUE(fs::exists(out / "misfit_map_vr_nsx.png"));
  const double least = summary["best"]["misfit"];
  EXPECT_NEAR(summary["maps"][0]["colour_range"][1].get<double>(), 2 * least, 1e-12);
  expectStoredFiles(out, "fit/data/shifted", {"summary.txt"}, dir.path());
}

// The element's rake turned by 180 degrees with the radiation correction on:
// every copy changes sign, the search's correlations are below 0, and the
// summary flags the opposite polarity, with the radiation coefficients
// behind it, and what egfsim's own run of the best model flags.
TEST(BestModel, AnOppositePolarityIsFlaggedWithItsRadiationCoefficients) {
  if (!fs::exists(kFit) || !fs::exists(kProgram)) GTEST_SKIP() << "egffit or egfsim not built";
  const RunFolder dir;
  const Outcome run = searchEdited(dir.path(), "params.txt", 8, "30.0 45.0 90.0 10.0", "30.0 45.0 270.0 10.0",
                                   "flipped", "[vary]\nnsx = { values = [3] }\n[misfit]\nmax_shift = 0\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  const auto summary = nlohmann::json::parse(readFile(dir.path() / "out" / "summary.json"));
  const auto& record = summary["best"]["records"]["flipped"];
  EXPECT_LT(record["vel"]["correlation"].get<double>(), -0.9);
  EXPECT_EQ(record["flags"].size(), 4u) << record["flags"];  // the search's three, and egfsim's own
  // The flags as the summary states them, with ipfm and the radiation coefficients.
  expectStoredFiles(dir.path() / "out", "fit/data/flipped", {"summary.txt"}, dir.path());
}

// Both ends move by the shift; at the edge of the stored samples the move
// stops short and says so.
TEST(ShiftedWindow, MovesBothEndsWithinTheStoredSamples) {
  const struct {
    int ksa, kea, shift, wantKsa, wantKea;
    bool note;
  } rows[] = {
      {400, 4400, -30, 370, 4370, false},
      {20, 4400, -30, 1, 4381, true},
      {400, 14990, 30, 410, 15000, true},
      {400, 4400, 0, 400, 4400, false},
  };
  for (const auto& r : rows) {
    model::Params p;
    p.ksa = r.ksa, p.kea = r.kea;
    const fit::ShiftedWindow w = fit::shiftedWindow(p, r.shift);
    EXPECT_EQ(w.ksa, r.wantKsa) << r.ksa << " by " << r.shift;
    EXPECT_EQ(w.kea, r.wantKea) << r.kea << " by " << r.shift;
    EXPECT_EQ(!w.note.empty(), r.note) << w.note;
  }
  EXPECT_EQ(fit::shiftSamples(-1.83, 0.01f), -183);
  EXPECT_EQ(fit::shiftSamples(0.3, 0.01f), 30);
}

// The element at the hypocentre with the target's mechanism radiates as the
// starting subfault does (ratio 1 there); turning the element's rake by 180
// degrees flips its polarity and every ratio's sign.
TEST(RadiationFacts, RatioOfOneAtTheStartAndFlippedByTheElementsRake) {
  model::Params p;
  p.nx = 5, p.nw = 4, p.nsx = 2, p.nsw = 3, p.dx = p.dw = 1.5f, p.vr = 2.8f, p.vs = 3.5f, p.ird = model::Rupture::Radial;
  p.str = 30 * model::kDegToRad, p.dip = 45 * model::kDegToRad, p.rak = 90 * model::kDegToRad, p.z = 10;
  p.stra = p.str, p.dipa = p.dip, p.raka = p.rak, p.za = p.z;
  p.rm = p.ra = 20, p.pm = p.pa = 60 * model::kDegToRad, p.cmp = 90 * model::kDegToRad;
  const fit::RadiationFacts same = fit::radiationFacts(p, 0.01f);
  EXPECT_LE(same.ratioLo, 1.0 + 1e-6);
  EXPECT_GE(same.ratioHi, 1.0 - 1e-6);
  EXPECT_NE(same.rada, 0.0f);
  p.raka = p.rak + 180 * model::kDegToRad;
  const fit::RadiationFacts flipped = fit::radiationFacts(p, 0.01f);
  EXPECT_NEAR(flipped.rada, -same.rada, 1e-5);
  EXPECT_NEAR(flipped.ratioLo, -same.ratioHi, 1e-5);
  EXPECT_NEAR(flipped.ratioHi, -same.ratioLo, 1e-5);
  EXPECT_NE(fit::radiationText(flipped).find("ipfm 0 (no correction)"), std::string::npos);
}

fit::MisfitMap smallMap(std::vector<double> misfit, double clip) {
  fit::MisfitMap m;
  m.title = "misfit: nsx x nsw (vr 2.8)";
  m.note = "best model 7: misfit 1, vr 2.8";
  m.xName = "nsx", m.yName = "nsw";
  m.xValues = {"1", "2", "3", "4"};
  m.yValues = {"4", "5", "6"};
  m.misfit = std::move(misfit);
  m.bestColumn = 2, m.bestRow = 1;
  m.clip = clip;
  return m;
}

TEST(MisfitMap, ColoursUpToTheClipTimesTheLeastMisfit) {
  const struct {
    std::vector<double> misfit;
    double clip, lo, hi;
    bool clipped, logarithmic;
  } rows[] = {
      {{1, 2, 10}, 3, 1, 3, true, false},     // the worst ten times the least: clipped at 3
      {{1, 2, 2.5}, 3, 1, 2.5, false, false},  // within the clip
      {{1, 2, 100}, 10, 1, 10, true, true},    // a clip above 3: a logarithmic scale
      {{0, 2, 5}, 3, 0, 5, false, false},      // a least misfit of 0 has no multiple
      {{2, 2, NAN}, 3, 2, 3, false, false},    // one value: a unit range above it
  };
  for (const auto& r : rows) {
    fit::MisfitMap m;
    m.misfit = r.misfit, m.clip = r.clip;
    const fit::ColourRange c = fit::colourRange(m);
    EXPECT_EQ(c.lo, r.lo);
    EXPECT_EQ(c.hi, r.hi);
    EXPECT_EQ(c.clipped, r.clipped);
    EXPECT_EQ(c.logarithmic, r.logarithmic);
  }
}

// A 4 x 3 map with cells no model reached, cells above the clip and the
// best model's values under the title, against a stored SVG (checked by eye
// as a picture when it was made; EGF_UPDATE_GOLDEN=1 writes it again).
TEST(MisfitMap, MatchesTheStoredDrawing) {
  const fit::MisfitMap m = smallMap({5, 2.5, 1.6, NAN, 3.5, 1.4, 1, 2, NAN, 9, 1.8, 30}, 3);
  const testsupport::TempFolder dir;
  fit::drawMisfitMapFile(m, dir.path() / "map.svg");
  fit::releaseDrawingCaches();  // the last drawing of this program: a clean exit for the leak checker
  testsupport::expectStoredDrawing(kGolden, dir.read("map.svg"));
}

}  // namespace
