// A study from two K-NET files as a user meets it: kibconv converts them
// (JST and the recorder's 15-s delay turned into UTC first-sample times, the
// station and events kept in the comment lines), egffit setup writes the
// parameter file from coordinates alone, its windows on the S pulses that
// the records hold at their predicted samples (that egfsim then finds them
// at lag 0 is the study library's test), and a search takes the study.
#include <gtest/gtest.h>

#include <cmath>

#include "geo/geo.hpp"
#include "support/run.hpp"

namespace {

using namespace runsupport;

const fs::path kKibconv = fs::path(EGF_TEST_BINARY_DIR) / "kibconv";
constexpr double kVs = 3.5, kDt = 0.01;

struct Quake {
  const char* originJst;  // to the second, as K-NET gives it
  double lat, lon, depth, magnitude;
  const char* recordJst;  // the Record Time: 15 s after the first sample
  int seconds;
};

// The station: a six-character code, 100 m above sea level.
constexpr double kStationLat = 35.0, kStationLon = 139.0, kHeight = 100.0;

// The sample (from 1) at which the quake's S wave reaches the station, for
// a record whose first sample is the origin time.
int sSample(const Quake& q) {
  model::EventInfo e;
  e.latitude = q.lat, e.longitude = q.lon, e.depth = q.depth;
  model::StationInfo s;
  s.latitude = kStationLat, s.longitude = kStationLon, s.elevation = kHeight;
  const double r = geo::geometryOf(e, s).geometry->hypocentralKm;
  return static_cast<int>(std::lround(1 + r / kVs / kDt));
}

std::string knetFile(const Quake& q) {
  auto line = [](std::string key, const std::string& value) {
    key.resize(18, ' ');
    return key + value + "\n";
  };
  char number[64];
  auto fixed = [&](double v, int decimals) {
    std::snprintf(number, sizeof number, "%.*f", decimals, v);
    return std::string(number);
  };
  std::string s = line("Origin Time", q.originJst) + line("Lat.", fixed(q.lat, 3)) +
                  line("Long.", fixed(q.lon, 3)) + line("Depth. (km)", fixed(q.depth, 0)) +
                  line("Mag.", fixed(q.magnitude, 1)) + line("Station Code", "TSTH01") +
                  line("Station Lat.", fixed(kStationLat, 4)) + line("Station Long.", fixed(kStationLon, 4)) +
                  line("Station Height(m)", fixed(kHeight, 0)) + line("Record Time", q.recordJst) +
                  line("Sampling Freq(Hz)", "100Hz") + line("Duration Time(s)", std::to_string(q.seconds)) +
                  line("Dir.", "N-S") + line("Scale Factor", "7845(gal)/8223790") + line("Max. Acc. (gal)", "1.0") +
                  line("Last Correction", q.recordJst) + line("Memo.", "");
  // A 2-Hz Ricker pulse of 5000 counts on the S sample.
  const int n = q.seconds * 100, at = sSample(q);
  for (int k = 1; k <= n; ++k) {
    const double t = (k - at) * kDt * 2.0 * 3.14159265358979323846;
    s += std::to_string(std::lround(5000 * (1 - t * t / 2) * std::exp(-t * t / 4))) + (k % 8 == 0 || k == n ? "\n" : " ");
  }
  return s;
}

constexpr const char* kStudy = R"(out = "knet-study"
[target]                 # the records give its origin and hypocentre
strike = 30.0
dip = 80.0
rake = 10.0
[element]
[processing]
filter = "none"
window = { from = -1.0, to = 7.0 }
[[station]]              # the records give the station and the component
[[station.record]]
component = "NS"
target = "target.kib"
element = "element.kib"
)";

// The source and the search, for the study above and for a search of
// another folder that names it.
constexpr const char* kSearch = R"([source]
vs = 3.5
vr = 2.5
radiation = "none"
time_function = 1
[[source.smga]]
L = 1.0
W = 1.0
N = 1
C = 1.0
tau = 0.01
start = { nsx = 1, nsw = 1 }
[vary]
vr = { values = [2.5, 2.8] }
)";

TEST(StudyProgram, AKnetPairThroughKibconvSetupAndEgfsim) {
  RunFolder d;
  const Quake target{"2020/01/01 09:00:00", 35.1, 139.05, 10, 6.5, "2020/01/01 09:00:15", 60};
  const Quake element{"2020/01/02 12:00:00", 35.08, 139.02, 8, 4.5, "2020/01/02 12:00:15", 30};
  writeFile(d.path() / "target.ns", knetFile(target));
  writeFile(d.path() / "element.ns", knetFile(element));
  for (const char* name : {"target", "element"}) {
    const std::string cmd = "cd '" + d.path().string() + "' && '" + kKibconv.string() + "' " + name + ".ns -o " +
                            name + ".kib > /dev/null 2>> kibconv.txt";
    ASSERT_EQ(exitStatus(std::system(cmd.c_str())), 0) << readFile(d.path() / "kibconv.txt");
  }
  writeFile(d.path() / "study.toml", std::string(kStudy) + kSearch);
  const Outcome setup = runFit(d.path(), "setup study.toml");
  ASSERT_EQ(setup.status, 0) << setup.errors;
  const fs::path folder = d.path() / "knet-study" / "setup";
  const std::string params = readFile(folder / "params_TSTH01_NS.txt");
  ASSERT_FALSE(params.empty()) << setup.transcript;
  EXPECT_EQ(setup.transcript.rfind(readFile(folder / "setup.txt"), 0), 0u);
  expectStoredFiles(folder, "fit/data/study/setup", {"setup.txt", "params_TSTH01_NS.txt"}, d.path());

  // Line 14 from the coordinates; line 15 on the S samples.
  const std::vector<double> l14 = numbersOf(lineOf(params, 14)), l15 = numbersOf(lineOf(params, 15));
  ASSERT_EQ(l14.size(), 6u);
  ASSERT_EQ(l15.size(), 4u);
  const geo::Geodesic gt = geo::inverse(target.lat, target.lon, kStationLat, kStationLon);
  const geo::Geodesic ge = geo::inverse(element.lat, element.lon, kStationLat, kStationLon);
  EXPECT_NEAR(l14[0], gt.distanceKm, 1e-5);
  EXPECT_NEAR(l14[1], gt.azimuth, 1e-4);
  EXPECT_NEAR(l14[2], ge.distanceKm, 1e-5);
  EXPECT_NEAR(l14[3], ge.azimuth, 1e-4);
  EXPECT_EQ(l14[4], 0.0);
  EXPECT_EQ(l15[0], sSample(target) - 100);
  EXPECT_EQ(l15[2] - l15[0], sSample(element) - sSample(target));

  // A search in another folder that takes the study from study.toml: the
  // same parameter file, and its common shift counted from the predicted
  // alignment, where the two pulses already stand.
  fs::create_directories(d.path() / "searches");
  writeFile(d.path() / "searches" / "search.toml", std::string("study = \"../study.toml\"\n") + kSearch);
  const Outcome search = runFit(d.path() / "searches", "search.toml --threads 1 --out fit");
  ASSERT_EQ(search.status, 0) << search.errors;
  // (the record paths, relative to the file, are one folder deeper)
  std::string again = readFile(d.path() / "searches" / "fit" / "setup" / "params_TSTH01_NS.txt");
  for (std::size_t at; (at = again.find("../../../")) != std::string::npos;) again.erase(at, 3);
  EXPECT_EQ(again, params);
  // Its summary: the shift after the predicted alignment, the values computed from coordinates.
  expectStoredFiles(d.path() / "searches" / "fit", "fit/data/study/fit", {"summary.txt", "models.csv"}, d.path());
}

}  // namespace
