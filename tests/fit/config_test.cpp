// Configurations refused with the line and column of the fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "fit/config.hpp"
#include "fit/misfit_config.hpp"
#include "fit/problem.hpp"
#include "fit/simulate.hpp"
#include "fit/source_output.hpp"
#include "paramfile/paramfile.hpp"
#include "support/files.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(EGF_TEST_SOURCE_DIR) / "examples";

struct Case {
  const char* name;
  const char* toml;  // the [[record]] block is prepended (appended after study = "FILE")
  const char* where;  // expected "LINE:COLUMN"
  const char* says;
};

// The events and one station of a study, for the rows below.
#define STUDY_EVENTS "[target]\nstrike = 320.8\ndip = 83.9\nrake = -171.3\n[element]\n"
#define STUDY STUDY_EVENTS "[[station]]\ncode = \"CLC\"\nlatitude = 35.81574\nlongitude = -117.59751\n"

const std::string kRecord = "[[record]]\nparams = \"params.txt\"\n";

// `toml` written as bad.toml into `dir`, the example's files that it names
// (params, study) by their absolute paths, and loaded: the message of its
// refusal, "" when it is taken.
std::string refusal(const testsupport::TempFolder& dir, std::string toml) {
  for (const std::string key : {"params = \"", "study = \""})
    for (std::size_t at = 0; (at = toml.find(key, at)) != std::string::npos; ++at) {
      const std::size_t from = at + key.size();
      if (toml[from] != '/' && fs::exists(kExamples / toml.substr(from, toml.find('"', from) - from)))
        toml.insert(from, kExamples.string() + "/");
    }
  try {
    fit::loadProblem(fit::readConfig(dir.write("bad.toml", toml)));
  } catch (const fit::ConfigError& e) {
    return e.what();
  }
  return "";
}

// A [source] of one SMGA over lines 3 to 10 (after kRecord), its start a
// position, or a subfault.
#define SMGA_WITH(n, start) \
  "[source]\n[[source.smga]]\nL = 10\nW = 10\nN = " n "\nC = 1\ntau = 1\nstart = " start "\n"
#define SMGA SMGA_WITH("5", "{ along = 0.5, down = 0.5 }")

class ConfigErrors : public ::testing::TestWithParam<Case> {};

TEST_P(ConfigErrors, NameTheirLineAndColumn) {
  const Case& c = GetParam();
  const testsupport::TempFolder dir;
  const std::string toml = c.toml;  // a study file is named before any table
  const std::string message = refusal(dir, toml.rfind("study", 0) == 0 ? toml + kRecord : kRecord + toml);
  EXPECT_EQ(message.rfind(dir.file("bad.toml") + ":" + c.where + ": ", 0), 0u) << message;
  EXPECT_NE(message.find(c.says), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfigErrors,
    ::testing::Values(
        Case{"UnknownParameter", "[vary]\nnsx = { from = 1, to = 3 }\n  nsxx = { from = 1, to = 3 }\n", "5:3",
             "unknown parameter 'nsxx'"},
        Case{"UnknownKey", "[misfit]\nvel = 1.0\nshfit = \"none\"\n[vary]\nnsx = { from = 1, to = 3 }\n", "5:1",
             "unknown key 'shfit'"},
        Case{"EmptyRange", "[vary]\nnsx = { from = 5, to = 3 }\n", "4:24", "empty range"},
        Case{"ZeroStep", "[vary]\nvr = { from = 2.0, to = 3.0, step = 0 }\n", "4:37", "a step of 0"},
        Case{"RefusedValue", "[vary]\nnx = { from = 28, to = 31 }\n", "4:1", "nx = 31 is a value egfsim refuses"},
        Case{"TooManyModels", "[vary]\nnsx = { from = 1, to = 20000 }\nnsw = { from = 1, to = 20000 }\n", "3:1",
             "more than 100000000"},
        Case{"RealWithoutStep", "[vary]\nvr = { from = 2.0, to = 3.0 }\n", "4:6", "needs a step"},
        Case{"Malformed", "[vary]\nnsx = { from = 1, to = 3 \n", "4:26", "inline table"},
        Case{"MissingParameterFile", "[[record]]\nparams = \"nope.txt\"\n[vary]\nnsx = { from = 1, to = 3 }\n", "4:10",
             "No such file"},
        Case{"NWithItsCounts", "[vary]\nnx = { from = 5, to = 6 }\nN = { from = 5, to = 6 }\n", "5:1",
             "vary either N or those three"},
        Case{"MaxModelsForTheGrid", "[search]\nmax_models = 10\n[vary]\nnsx = { from = 1, to = 3 }\n", "4:14",
             "max_models applies to the global methods"},
        Case{"UnknownMethod", "[search]\nmethod = \"genetic\"\n[vary]\nnsx = { from = 1, to = 3 }\n", "4:10",
             "unknown method"},
        Case{"ValuesAndRange", "[vary]\ncfac = { values = [1.0], from = 1.0, to = 2.0 }\n", "4:19",
             "either values or from/to/step"},
        Case{"NoWeight", "[misfit]\nvel = 0\ndis = 0\n[vary]\nnsx = { from = 1, to = 3 }\n", "3:1",
             "every misfit weight is 0"},
        Case{"TooFewPeriods", "[misfit]\npsa = 1\npsa_count = 29\n[vary]\nnsx = { from = 1, to = 3 }\n", "5:13",
             "psa_count must be from 30 to 1000"},
        Case{"BandOutOfOrder", "[misfit]\nfourier = 1\nfourier_band = [10.0, 0.2]\n[vary]\nnsx = { from = 1, to = 3 }\n",
             "5:16", "fourier_band must be two positive numbers in increasing order (Hz)"},
        Case{"BandOfOneFrequency", "[misfit]\nfourier = 1\nfourier_band = [1.0, 1.0]\n[vary]\nnsx = { from = 1, to = 3 }\n",
             "5:16", "fourier_band must be two positive numbers in increasing order (Hz)"},
        Case{"OnePeriod", "[misfit]\npsa = 1\npsa_periods = [0.1]\n[vary]\nnsx = { from = 1, to = 3 }\n", "5:15",
             "psa_periods must be two numbers, [lowest, highest] in s"},
        Case{"BandBeyondNyquist", "[misfit]\nfourier = 1\nfourier_band = [1.0, 60.0]\n[vary]\nnsx = { from = 1, to = 3 }\n",
             "2:10", "fourier_band reaches 60 Hz, above the Nyquist frequency 50 Hz"},
        Case{"MapAxisNotVaried", "[vary]\nnsx = { from = 1, to = 3 }\nnsw = { from = 1, to = 3 }\n[map]\naxes = [\"nsx\", \"vr\"]\n",
             "7:16", "map axis 'vr' is not a parameter of [vary]"},
        Case{"MapAxesTheSame", "[vary]\nnsx = { from = 1, to = 3 }\nnsw = { from = 1, to = 3 }\n[map]\naxes = [[\"nsx\", \"nsw\"], [\"nsw\", \"nsw\"]]\n",
             "7:25", "a map's two axes must differ"},
        Case{"MapClipBelowOne", "[vary]\nnsx = { from = 1, to = 3 }\n[map]\nclip = 0.5\n", "6:8",
             "clip must be at least 1"},
        // Checked before conversion: 1e10 in an int or 1e39 in a float
        // would be undefined.
        Case{"IntegerBeyondInt", "[vary]\nnsx = { values = [1, 10000000000] }\n", "4:22",
             "nsx value 10000000000 is beyond what an integer parameter holds"},
        Case{"IntegerRangeBeyondInt", "[vary]\nnsx = { from = -3000000000, to = 3 }\n", "4:16",
             "nsx from -3000000000 is beyond"},
        Case{"RealBeyondFloat", "[vary]\nvr = { from = 2.0, to = 1e39, step = 1.0 }\n", "4:25",
             "vr to 1e+39 is beyond single precision"},
        Case{"FromEqualsTo", "[vary]\nvr = { from = 2.8, to = 2.8 }\n", "4:25",
             "vr: from and to are both 2.8: set one value in the parameter files"},
        // Values that change no synthetic the search computes, with the reason.
        Case{"DerivedCount", "[vary]\nntt = { from = 40, to = 60 }\n", "4:1",
             "'ntt' cannot vary: it does not change the synthetic (echoed only: the run derives its own from nt, "
             "tra and the sample interval); take it out of [vary]"},
        Case{"EchoedOnly", "[vary]\nnsx = { from = 1, to = 3 }\ntr0 = { values = [0.1, 0.2] }\n", "5:1",
             "'tr0' cannot vary: it does not change the synthetic (echoed only: no stage reads it)"},
        Case{"Unread", "[vary]\nncmpt = { values = [1, 2] }\n", "4:1", "'ncmpt' cannot vary"},
        Case{"FixedLength", "[vary]\nns = { values = [3000, 4000] }\n", "4:1",
             "'ns' cannot vary: it is the synthetic's length in samples, which the search fixes"},
        Case{"NotASourceValue", "[vary]\nksm = { values = [300, 400] }\n", "4:1",
             "unknown parameter 'ksm': the values of parameter-file lines 6 to 11 that change the synthetic "
             "(str dip rak z stra dipa raka za dx dw tra dx0 dw0 nx nw nt nsx nsw cfac vs vr ird ipfm N) vary"},
        // A study's sections (lines from 3).
        Case{"StudyUnknownKey", STUDY "[[station.record]]\nelement = \"e.kib\"\ntargte = \"t.kib\"\n", "14:1",
             "unknown key 'targte' in [[station.record]]"},
        Case{"StationOffTheEarth", STUDY_EVENTS "[[station]]\nlatitude = 95.0\n[[station.record]]\nelement = \"e.kib\"\n",
             "9:12", "latitude 95 is not a latitude"},
        Case{"TargetWithoutMechanism", "[target]\norigin = \"2019-07-06T03:19:53.04Z\"\nstrike = 320.8\n[element]\n", "3:1",
             "needs strike, dip and rake together"},
        Case{"NotATime", "[target]\norigin = \"yesterday\"\n", "4:10", "is not a UTC time"},
        Case{"VerticalWithAzimuth", STUDY "[[station.record]]\nelement = \"e.kib\"\nazimuth = 0.0\nvertical = true\n",
             "15:12", "not both"},
        Case{"DepthVariedInAStudy", STUDY "[[station.record]]\nelement = \"e.kib\"\n[vary]\nz = { values = [8.0] }\n",
             "15:1", "each station's depth below its sensor"},
        Case{"SmgaWithoutSource", "[vary]\nsmga.1.C = { values = [1.0] }\n", "4:8",
             "smga.1.C is a value of the source model: give it in [source]"},
        Case{"LinesTheSmgasReplace", SMGA "[vary]\nnsx = { from = 1, to = 3 }\n", "12:1",
             "with [source] the SMGAs give lines 9 to 11"},
        Case{"PositionOfASubfaultStart", SMGA_WITH("5", "{ nsx = 3, nsw = 3 }") "[vary]\nsmga.1.along = { values = [0.5] }\n",
             "12:8", "SMGA 1's start is a subfault"},
        Case{"NoSuchSmga", SMGA "[vary]\nsmga.2.C = { values = [1.0] }\n", "12:8", "the source model has 1 SMGA, no SMGA 2"},
        Case{"UnknownSmgaValue", SMGA "[vary]\nsmga.1.Q = { values = [1.0] }\n", "12:8", "unknown source value 'smga.1.Q'"},
        Case{"AxisValueNoModelHolds", SMGA "[vary]\nsmga.1.N = { values = [5, 40] }\n", "12:27",
             "smga.1.N = 40 cannot be: SMGA 1: N = 40: allowed 1 to 30"},
        Case{"RangeEndNoModelHolds", SMGA "[vary]\nsmga.1.N = { from = 5, to = 40 }\n", "12:29",
             "smga.1.N = 40 cannot be: SMGA 1: N = 40: allowed 1 to 30"},
        Case{"NBeyond30", SMGA_WITH("31", "{ along = 0.5, down = 0.5 }") "[vary]\nvr = { values = [2.8] }\n", "7:5",
             "N = 31: allowed 1 to 30"},
        Case{"StartOfBothForms", SMGA_WITH("5", "{ along = 0.5, nsx = 2 }") "[vary]\nvr = { values = [2.8] }\n", "10:9",
             "a position { along = 0..1, down = 0..1 } or a subfault"},
        Case{"SmgaWithoutItsSize", "[source]\n[[source.smga]]\nL = 10\n[vary]\nvr = { values = [2.8] }\n", "4:1",
             "needs W (L, W, N, C, tau and start)"},
        Case{"UnknownSourceKey", "[source]\nvrr = 2.0\n[vary]\nvr = { values = [2.8] }\n", "4:1",
             "unknown key 'vrr' in [source]"},
        Case{"TimeFunctionBeyond4", "[source]\ntime_function = 5\n", "4:17", "time_function = 5: allowed 1 to 4"},
        Case{"RuptureCodeOfAnAxis", SMGA "[vary]\nird = { values = [2, 3] }\n", "12:22",
             "ird = 3 cannot be: allowed 1 or 2"},
        Case{"UnknownRupture", "[source]\nrupture = \"circular\"\n", "4:11",
             "rupture must be one of \"along_strike\", \"radial\", not \"circular\""},
        Case{"PredictedWithoutSource", "[[record]]\nparams = \"params.txt\"\npredict = true\n", "5:11",
             "a predicted record needs the source model of a [source] section"},
        // A study taken from another file: its sections in one place only,
        // and that file a study.
        Case{"StudySectionGivenTwice", "study = \"example_fit.toml\"\n[element]\n", "2:1",
             "element is given by the study file that study names: give it there only"},
        Case{"NoStudyFile", "study = \"no_such_study.toml\"\n", "1:9", "no such file"},
        Case{"StudyFileThatIsNoStudy", "study = \"example_fit.toml\"\n", "1:9", "holds no [[station]]: name a study file"},
        Case{"RecordsOfAnotherSource",
             "[[record]]\nparams = \"params_wrong_start.txt\"\n[vary]\nvr = { values = [2.8] }\n", "4:10",
             "line 10 (nx nw nt ntt nsx nsw ns cfac) differs"}),
    [](const auto& info) { return std::string(info.param.name); });

// best/source.toml and simulate's source.toml are read again by [simulate]
// models: every value, optional or not, comes back exactly.
TEST(SourceToml, ReadsBackAsTheSameModel) {
  using model::Radiation;
  using model::Rupture;
  source::Source full;
  full.vs = 3.45;
  full.vr = 0.1 + 0.2;
  full.rupture = Rupture::AlongStrike;
  full.radiation = Radiation::Corrected;
  full.timeFunction = model::TimeFunction::PulseAndFlat;
  source::Smga a;
  a.L = 9.401055;
  a.W = 4.000717;
  a.N = 9;
  a.C = 0.30001432;
  a.tau = 1e-7 + 0.2;
  a.x = -19.134245;
  a.w = 2.5;
  a.start = {true, 0.00451428, 1.0, 0, 0};
  a.delay = 0.75;
  a.vr = 2.9;
  source::Smga b = a;
  b.N = 3;
  b.start = {false, 0, 0, 2, 3};
  b.x = 28.417522;
  b.delay = 0;
  b.vr.reset();
  full.smgas = {a, b};
  source::Source bare;
  bare.smgas = {b};
  source::Source sign = bare;
  sign.radiation = Radiation::SignOnly;
  sign.rupture = Rupture::Radial;
  source::Source none = bare;
  none.radiation = Radiation::NotCorrected;

  const testsupport::TempFolder dir;
  for (const source::Source& s : {full, bare, sign, none}) {
    const source::Source back = fit::readSourceFile(dir.write("source.toml", fit::sourceToml(s, "a round trip")));
    EXPECT_EQ(back.vs, s.vs);
    EXPECT_EQ(back.vr, s.vr);
    EXPECT_EQ(back.rupture, s.rupture);
    EXPECT_EQ(back.radiation, s.radiation);
    EXPECT_EQ(back.timeFunction, s.timeFunction);
    ASSERT_EQ(back.smgas.size(), s.smgas.size());
    for (std::size_t k = 0; k < s.smgas.size(); ++k) {
      const source::Smga &x = s.smgas[k], &y = back.smgas[k];
      EXPECT_EQ(std::tie(y.L, y.W, y.N, y.C, y.tau, y.x, y.w, y.delay, y.vr),
                std::tie(x.L, x.W, x.N, x.C, x.tau, x.x, x.w, x.delay, x.vr))
          << k;
      EXPECT_EQ(y.start.fraction, x.start.fraction);
      EXPECT_EQ(source::startSubfault(y), source::startSubfault(x));
      if (x.start.fraction) {
        EXPECT_EQ(std::tie(y.start.along, y.start.down), std::tie(x.start.along, x.start.down));
      }
    }
  }
}

// The spread's models drawn from [vary]: every value within its range or
// list (each list value met), none that the checks refuse (an SMGA drawn up
// through the surface is drawn again and counted), the same seed the same
// models.
TEST(Simulate, DrawsItsModelsFromTheRangesAndRedrawsRefusedOnes) {
  const testsupport::TempFolder dir;
  // examples/params.txt: hypocentre 10 km deep, dip 45 degrees. The SMGA's
  // start is subfault (3, 5) of 10 x 10 cells of 1.5 km: its top edge lies
  // 6.75 km up dip of the start, above the surface for w < -7.39 km.
  const std::string model = "[[record]]\nparams = \"" + (kExamples / "params.txt").string() +
                            "\"\npredict = true\n[source]\nvr = 2.8\n[[source.smga]]\nL = 15.0\nW = 15.0\n"
                            "N = 10\nC = 1.0\ntau = 0.5\nstart = { nsx = 3, nsw = 5 }\n";
  dir.write("sim.toml", model + "[vary]\nvr = { from = 2.5, to = 3.1 }\nsmga.1.nsx = { values = [2, 3, 4] }\n"
                                "smga.1.w = { from = -10.0, to = 0.0 }\n[simulate]\ndraws = 60\nseed = 5\n");
  const fit::Problem problem = fit::loadProblem(fit::readConfig(dir.file("sim.toml"), fit::Purpose::Simulate), false);
  std::uint64_t refused = 0;
  const std::vector<fit::EnsembleModel> models = fit::ensembleModels(problem, refused);
  ASSERT_EQ(models.size(), 61u);
  EXPECT_EQ(models[0].origin, "configuration");
  EXPECT_GT(refused, 5u);  // about a quarter of the draws lie above w = -7.39
  std::set<double> starts;
  for (std::size_t m = 1; m < models.size(); ++m) {
    const std::vector<double>& v = models[m].values;
    ASSERT_EQ(v.size(), 3u);
    EXPECT_TRUE(v[0] >= 2.5 && v[0] <= 3.1) << v[0];
    starts.insert(v[1]);
    EXPECT_TRUE(v[2] >= -7.39 && v[2] <= 0) << v[2];
    EXPECT_EQ(source::refusal(models[m].source, problem.predictions.front().params), "");
    EXPECT_EQ(models[m].source.smgas[0].w, v[2]);
  }
  EXPECT_EQ(starts, (std::set<double>{2, 3, 4}));
  std::uint64_t again = 0;
  EXPECT_EQ(fit::ensembleModels(problem, again).back().values, models.back().values);
  EXPECT_EQ(again, refused);

  // Without [simulate] the given model alone: its prediction, no spread.
  std::ostringstream log;
  fit::runSimulate(fit::loadProblem(fit::readConfig(dir.write("one.toml", model), fit::Purpose::Simulate), false),
                   dir.path() / "out", 1, log);
  EXPECT_TRUE(fs::exists(dir.path() / "out" / "params" / "prediction.json"));
  EXPECT_FALSE(fs::exists(dir.path() / "out" / "params" / "spread.csv"));
}

}  // namespace

// What the spectral terms take at their edges: a weight of 0 (the term
// off), a band up to the Nyquist frequency itself, a count of their own.
TEST(ConfigSpectral, TakesAZeroWeightABandToTheNyquistFrequencyAndItsCounts) {
  const testsupport::TempFolder dir;
  ASSERT_EQ(refusal(dir, kRecord + "[misfit]\npsa = 0\nfourier = 1\nfourier_band = [0.2, 50.0]\nfourier_count = 50\n"
                                   "psa_count = 40\n[vary]\nnsx = { from = 1, to = 3 }\n"),
            "");
  const fit::Problem problem = fit::loadProblem(fit::readConfig(dir.file("bad.toml")));
  const engine::SpectralSettings& s = problem.config.misfit.spectral;
  EXPECT_EQ(s.psa, 0.0);
  EXPECT_EQ(s.frequencyCount, 50);
  EXPECT_EQ(s.periodCount, 40);
  EXPECT_EQ(fit::misfitTerms(problem.config.misfit), "vel + dis + fourier");
}

// A window past its record would compare zeros: refused with the record's
// length.
TEST(ConfigWindows, AWindowPastItsRecordIsRefusedWithTheLength) {
  struct Row {
    double kem, kea;
    const char* says;
  };
  for (const Row& r : {Row{6001, 3000, "observed window ksm..kem = 1000..6001 does not fit in the target record of "
                                      "6000 samples (60.00 s)"},
                       Row{5000, 6001, "synthetic window ksa..kea = 1000..6001 does not fit in the 6000 samples"}}) {
    const testsupport::TempFolder dir;
    for (const char* record : {"target.kib", "element.kib"}) fs::copy_file(kExamples / record, dir.path() / record);
    dir.write("window.txt", paramfile::rewrite(kExamples / "params.txt",
                                               {{"ksm", 1000.0}, {"ksa", 1000.0}, {"kem", r.kem}, {"kea", r.kea}}));
    const std::string message =
        refusal(dir, "[[record]]\nparams = \"" + dir.file("window.txt") + "\"\n[vary]\nvr = { values = [2.8] }\n");
    EXPECT_NE(message.find(r.says), std::string::npos) << message;
  }
}

// The values only the radiation correction reads vary only where it is on.
TEST(ConfigRadiation, ValuesOnlyTheCorrectionReadsVaryOnlyWhereItIsOn) {
  const testsupport::TempFolder dir;
  for (const char* record : {"target.kib", "element.kib"}) fs::copy_file(kExamples / record, dir.path() / record);
  dir.write("off.txt", paramfile::rewrite(kExamples / "params.txt", {{"ipfm", 0.0}}));
  const std::string off = "[[record]]\nparams = \"" + dir.file("off.txt") + "\"\n[vary]\n";
  EXPECT_NE(refusal(dir, off + "rak = { values = [80.0, 90.0] }\n")
                .find("bad.toml:4:1: 'rak' cannot vary: only the radiation correction reads it, which the ipfm of "),
            std::string::npos);
  EXPECT_EQ(refusal(dir, off + "rak = { values = [80.0, 90.0] }\nipfm = { values = [0, 2] }\n"), "");
  EXPECT_EQ(refusal(dir, off + "dip = { values = [40.0, 45.0] }\n"), "");
}
