// Configurations refused with the line and column of the fault.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fit/config.hpp"
#include "fit/problem.hpp"
#include "paramfile/paramfile.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(EGF_TEST_SOURCE_DIR) / "examples";

struct Case {
  const char* name;
  const char* toml;  // the [[record]] block is prepended
  const char* where;  // expected "LINE:COLUMN"
  const char* says;
};

// The events and one station of a study, for the rows below.
#define STUDY_EVENTS "[target]\nstrike = 320.8\ndip = 83.9\nrake = -171.3\n[element]\n"
#define STUDY STUDY_EVENTS "[[station]]\ncode = \"CLC\"\nlatitude = 35.81574\nlongitude = -117.59751\n"

const std::string kRecord = "[[record]]\nparams = \"params.txt\"\n";

// A [source] of one SMGA over lines 3 to 10 (after kRecord), its start a
// position, or a subfault.
#define SMGA_WITH(n, start) \
  "[source]\n[[source.smga]]\nL = 10\nW = 10\nN = " n "\nC = 1\ntau = 1\nstart = " start "\n"
#define SMGA SMGA_WITH("5", "{ along = 0.5, down = 0.5 }")

class ConfigErrors : public ::testing::TestWithParam<Case> {};

TEST_P(ConfigErrors, NameTheirLineAndColumn) {
  const Case& c = GetParam();
  const fs::path file = kExamples / ("bad_" + std::to_string(getpid()) + ".toml");
  std::ofstream(file) << kRecord << c.toml;
  std::string message;
  try {
    fit::loadProblem(fit::readConfig(file));
  } catch (const fit::ConfigError& e) {
    message = e.what();
  }
  fs::remove(file);
  EXPECT_EQ(message.rfind(file.string() + ":" + c.where + ": ", 0), 0u) << message;
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
        Case{"NBeyond30", SMGA_WITH("31", "{ along = 0.5, down = 0.5 }") "[vary]\nvr = { values = [2.8] }\n", "7:5",
             "N = 31: allowed 1 to 30"},
        Case{"StartOfBothForms", SMGA_WITH("5", "{ along = 0.5, nsx = 2 }") "[vary]\nvr = { values = [2.8] }\n", "10:9",
             "a position { along = 0..1, down = 0..1 } or a subfault"},
        Case{"SmgaWithoutItsSize", "[source]\n[[source.smga]]\nL = 10\n[vary]\nvr = { values = [2.8] }\n", "4:1",
             "needs W (L, W, N, C, tau and start)"},
        Case{"UnknownSourceKey", "[source]\nvrr = 2.0\n[vary]\nvr = { values = [2.8] }\n", "4:1",
             "unknown key 'vrr' in [source]"},
        Case{"UnknownRupture", "[source]\nrupture = \"circular\"\n", "4:11",
             "rupture must be one of \"along_strike\", \"radial\", not \"circular\""},
        Case{"PredictedWithoutSource", "[[record]]\nparams = \"params.txt\"\npredict = true\n", "5:11",
             "a predicted record needs the source model of a [source] section"},
        Case{"RecordsOfAnotherSource",
             "[[record]]\nparams = \"params_wrong_start.txt\"\n[vary]\nvr = { values = [2.8] }\n", "4:10",
             "line 10 (nx nw nt ntt nsx nsw ns cfac) differs"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

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
    const std::string stem = "window_" + std::to_string(getpid());
    std::ofstream(kExamples / (stem + ".txt"))
        << paramfile::rewrite(kExamples / "params.txt", {{"ksm", 1000.0}, {"ksa", 1000.0}, {"kem", r.kem}, {"kea", r.kea}});
    std::ofstream(kExamples / (stem + ".toml")) << "[[record]]\nparams = \"" << stem
                                                << ".txt\"\n[vary]\nvr = { values = [2.8] }\n";
    std::string message;
    try {
      fit::loadProblem(fit::readConfig(kExamples / (stem + ".toml")));
    } catch (const fit::ConfigError& e) {
      message = e.what();
    }
    fs::remove(kExamples / (stem + ".txt"));
    fs::remove(kExamples / (stem + ".toml"));
    EXPECT_NE(message.find(r.says), std::string::npos) << message;
  }
}
