// The strong-motion archives' own formats: CSMIP/CGS Volume 1 (the real
// Ridgecrest file at CLC, read from ../shared as a user would) and Volume 2,
// and ESM ASCII, each written in its published layout, converted, read back
// by the program's own reader against an independent reading of the values,
// with the header's peak checked; then their refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"
#include "recinfo/recinfo.hpp"

namespace {

namespace fs = std::filesystem;
using convert_test::TempDir;

const fs::path kRealData = std::getenv("EGF_REALDATA_DIR") != nullptr
                               ? fs::path(std::getenv("EGF_REALDATA_DIR"))
                               : (fs::path(EGF_TEST_SOURCE_DIR) / ".." / "shared" / "realdata").lexically_normal();

std::string slurp(const fs::path& p) {
  std::ostringstream s;
  s << std::ifstream(p, std::ios::binary).rdbuf();
  return s.str();
}

model::Recording infoOf(const convert_test::ReadBack& r) { return recinfo::parse(r.h.skipl).recording; }

// The values of a file's data lines as a plain reading gives them: fields of
// `width` columns from line `first` (from 1) on, `count` of them.
std::vector<float> fieldsFrom(const std::string& text, std::size_t first, std::size_t count, std::size_t width,
                              float factor) {
  std::istringstream in(text);
  std::string line;
  for (std::size_t l = 1; l < first && std::getline(in, line); ++l) {
  }
  std::vector<float> x;
  while (x.size() < count && std::getline(in, line))
    for (std::size_t at = 0; at + width <= line.size() && x.size() < count; at += width)
      x.push_back(std::strtof(line.substr(at, width).c_str(), nullptr) * factor);
  return x;
}

TEST(Csmip, TheRealVolume1FileAtClc) {
  const fs::path gz = kRealData / "orig" / "CICLC.v1.gz";
  if (!fs::exists(gz)) GTEST_SKIP() << "skipped: no real records in " << kRealData.string();
  TempDir d;
  const std::string v1 = d.file("CICLC.v1");
  ASSERT_EQ(std::system(("gzip -dc '" + gz.string() + "' > '" + v1 + "'").c_str()), 0);
  const std::string text = slurp(v1);
  struct Row {
    std::string channel, component;
    std::size_t dataLine;  // of the channel's first value (from 1)
    std::optional<double> azimuth, dip;
    std::string peakNote;
  };
  const std::vector<Row> rows = {
      {"1", "090", 29, 90.0, 0.0, "peak 0.344 g agrees with the header's Max 0.344"},
      {"2", "360", 4050, 0.0, 0.0, "agrees with the header's Max"},
      {"3", "UP ", 8089, std::nullopt, -90.0, "peak 0.347 g agrees with the header's Max 0.347"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.channel);
    const auto back = convert_test::convertAndRead(d, v1, {"--channel", r.channel, "--npts", "15000"});
    EXPECT_EQ(back.x, fieldsFrom(text, r.dataLine, 15000, 9, 980.665f));
    EXPECT_EQ(back.h.head3, r.component);
    EXPECT_NE(back.comments.find(r.peakNote), std::string::npos) << back.comments;
    const model::Recording info = infoOf(back);
    EXPECT_EQ(info.station.network, "CI");
    EXPECT_EQ(info.station.code, "CLC");
    EXPECT_EQ(info.station.latitude, 35.81574);
    EXPECT_EQ(info.station.longitude, -117.5975);
    EXPECT_EQ(info.station.name, "China Lake, G2 Tower Rd.");
    EXPECT_EQ(info.component.azimuth, r.azimuth);
    EXPECT_EQ(info.component.dip, r.dip);
    EXPECT_EQ(recinfo::isoText(*info.firstSample), "2019-07-06T03:16:08.000Z");
  }
  // The mainshock window of the shared vertical record, cut here by UTC
  // time, holds the same values (converted independently and written with
  // seven significant digits, hence the tolerance).
  const auto kib = kRealData / "clc_m71_ud.kib";
  if (!fs::exists(kib)) return;
  const auto mine = convert_test::convertAndRead(
      d, v1, {"--channel", "3", "--from-time", "2019-07-06T03:19:50", "--to-time", "2019-07-06T03:21:24.99"});
  const auto theirs = convert_test::readBack(kib.string());
  ASSERT_EQ(mine.x.size(), theirs.x.size());
  for (std::size_t k = 0; k < mine.x.size(); ++k)
    ASSERT_NEAR(mine.x[k], theirs.x[k], 6e-7 * std::max(0.01f, std::fabs(theirs.x[k]))) << k;
}

// One Volume 2 channel in the layout of Volume 1 (13 text lines, 16I5
// integers, 8F10 reals) with its acceleration, velocity and displacement
// blocks, as the archive's corrected files are described.
std::string csmipV2(const std::vector<float>& acc, const std::string& chan, double peak) {
  char buf[200];
  std::string s = "Corrected accelerogram                    Processed: 07/08/19, CGS  ciclc--f    \n"
                  "Rcrd of Fri Jul  5, 2019 20:19:50.0 PDT                                         \n"
                  "Hypocenter: 35.770N 117.599W  H= 8km                                            \n"
                  "38457511.CI.CLC.--.HN                Start time:  7/06/19, 03:19:50.0 UTC (GPS) \n"
                  "Station Id. CLC     35.816N, 117.598W    Q330    s/n 4323  (3 Chns of  3 at Sta)\n"
                  "China Lake, G2 Tower Rd.                 SCSN   Data: Acceleration              \n";
  s += "Chan  1: " + chan + "                                                                \n";
  for (int l = 8; l <= 11; ++l) s += "text line\n";
  std::snprintf(buf, sizeof buf, "Peak values:    Max  =   %8.3f cm/sec/sec   at  1.230 sec.\n", peak);
  s += buf;
  s += "Band-pass filtered between .10 and 40.0 Hz                                      \n";
  for (int k = 0; k < 100; ++k) {
    std::snprintf(buf, sizeof buf, "%5d", k == 0 ? 2 : -999);
    s += buf + std::string(k % 16 == 15 || k == 99 ? "\n" : "");
  }
  for (int k = 0; k < 50; ++k) {
    std::snprintf(buf, sizeof buf, "%10.5f", k == 28 ? 35.81574 : k == 29 ? -117.5975 : -999.0);
    s += buf + std::string(k % 8 == 7 || k == 49 ? "\n" : "");
  }
  std::snprintf(buf, sizeof buf, "%6zu points of accel data equally spaced at  .005 sec, in units of cm/sec/sec. (Format: (8F10.3))\n",
                acc.size());
  s += buf;
  for (std::size_t k = 0; k < acc.size(); ++k) {
    std::snprintf(buf, sizeof buf, "%10.3f", static_cast<double>(acc[k]));
    s += buf + std::string(k % 8 == 7 || k + 1 == acc.size() ? "\n" : "");
  }
  s += "     3 points of veloc data equally spaced at  .005 sec, in units of cm/sec. (Format: (8F10.3))\n"
       "     1.000    -2.000     3.000\n"
       "     2 points of displ data equally spaced at  .005 sec, in units of cm. (Format: (8F10.3))\n"
       "     0.100    -0.200\n"
       "/&  ----------  End of Data for Station Channel   1  ----------\n";
  return s;
}

// An ESM ASCII record: the header's keys in their published order, then one
// value per line.
std::string esm(const std::vector<float>& acc, double pga, const std::string& type = "ACCELERATION") {
  const std::vector<std::pair<std::string, std::string>> keys = {
      {"EVENT_NAME", "CENTRAL_ITALY"}, {"EVENT_ID", "EMSC-20161030_0000029"}, {"EVENT_DATE_YYYYMMDD", "20161030"},
      {"EVENT_TIME_HHMMSS", "064017"}, {"EVENT_LATITUDE_DEGREE", "42.8322"}, {"EVENT_LONGITUDE_DEGREE", "13.1107"},
      {"EVENT_DEPTH_KM", "9.2"}, {"HYPOCENTER_REFERENCE", "INGV"}, {"MAGNITUDE_W", "6.5"},
      {"MAGNITUDE_W_REFERENCE", "INGV"}, {"MAGNITUDE_L", "6.1"}, {"MAGNITUDE_L_REFERENCE", "INGV"},
      {"FOCAL_MECHANISM", "Normal faulting"}, {"NETWORK", "IT"}, {"STATION_CODE", "AMT"},
      {"STATION_NAME", "AMATRICE"}, {"STATION_LATITUDE_DEGREE", "42.632500"},
      {"STATION_LONGITUDE_DEGREE", "13.286000"}, {"STATION_ELEVATION_M", "409"}, {"LOCATION", ""},
      {"SENSOR_DEPTH_M", ""}, {"VS30_M/S", ""}, {"SITE_CLASSIFICATION_EC8", "B*"},
      {"EPICENTRAL_DISTANCE_KM", "26.4"}, {"DATE_TIME_FIRST_SAMPLE_YYYYMMDD_HHMMSS", "20161030_064008.150"},
      {"DATE_TIME_FIRST_SAMPLE_PRECISION", "milliseconds"}, {"SAMPLING_INTERVAL_S", "0.005000"},
      {"NDATA", std::to_string(acc.size())}, {"DURATION_S", "0.02"}, {"STREAM", "HGE"}, {"UNITS", "cm/s^2"},
      {"INSTRUMENT", "sensor = Unknown [Unknown] | digitizer = Unknown [Unknown]"},
      {"PGA_CM/S^2", std::to_string(pga)}, {"TIME_PGA_S", "0.010000"}, {"BASELINE_CORRECTION", "BASELINE REMOVED"},
      {"FILTER_TYPE", "BUTTERWORTH"}, {"FILTER_ORDER", "2"}, {"LOW_CUT_FREQUENCY_HZ", "0.050"},
      {"HIGH_CUT_FREQUENCY_HZ", "40.000"}, {"DATABASE_VERSION", "ESM 2018"}, {"HEADER_FORMAT", "DYNA 1.2"},
      {"DATA_TYPE", type}, {"PROCESSING", "manual (Paolucci et al., 2011)"}, {"USER1", ""}};
  std::string s;
  for (const auto& [k, v] : keys) s += k + ": " + v + "\n";
  char buf[40];
  for (float v : acc) {
    std::snprintf(buf, sizeof buf, "%.6E\n", static_cast<double>(v));
    s += buf;
  }
  return s;
}

std::vector<float> roundTrip(const std::vector<float>& x, const char* fmt) {
  std::vector<float> out;
  char buf[40];
  for (float v : x) {
    std::snprintf(buf, sizeof buf, fmt, static_cast<double>(v));
    out.push_back(std::strtof(buf, nullptr));
  }
  return out;
}

TEST(StrongMotionFormats, WrittenFromTheirLayoutAndReadBackExactly) {
  TempDir d;
  std::vector<float> acc(23);
  for (std::size_t k = 0; k < acc.size(); ++k) acc[k] = static_cast<float>(120.0 * std::sin(0.7 * k) - 3.25);
  const auto v2 = roundTrip(acc, "%10.3f");
  const auto e = roundTrip(acc, "%.6E");
  double peak2 = 0, peakE = 0;
  for (float v : v2) peak2 = std::max(peak2, std::fabs(static_cast<double>(v)));
  for (float v : e) peakE = std::max(peakE, std::fabs(static_cast<double>(v)));
  struct Row {
    std::string name, contents;
    std::vector<float> want;
    int isps;
    std::string keys, note;  // key lines expected among the comment lines, a note
  };
  const std::vector<Row> rows = {
      {"CICLC.V2", csmipV2(acc, "360 Deg", peak2), v2, 200,
       "network: CI\nstation: CLC\nstation-name: China Lake, G2 Tower Rd.\nstation-latitude: 35.81574\n"
       "station-longitude: -117.5975\ncomponent: 360\ncomponent-azimuth: 0\ncomponent-dip: 0\n"
       "first-sample: 2019-07-06T03:19:50.000Z\n",
       "agrees with the header's Max"},
      {"IT.AMT..HGE.D.EMSC-20161030_0000029.ACC.MP.ASC", esm(acc, -peakE), e, 200,
       "network: IT\nstation: AMT\nstation-name: AMATRICE\nstation-latitude: 42.6325\nstation-longitude: 13.286\n"
       "station-elevation-m: 409\ncomponent: HGE\ncomponent-azimuth: 90\ncomponent-dip: 0\n"
       "first-sample: 2016-10-30T06:40:08.150Z\nevent: CENTRAL_ITALY\nevent-origin: 2016-10-30T06:40:17.000Z\n"
       "event-latitude: 42.8322\nevent-longitude: 13.1107\nevent-depth-km: 9.2\nevent-magnitude: 6.5\n"
       "event-magnitude-type: Mw\n",
       "agrees with the header's PGA"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    const auto in = d.write(r.name, r.contents);
    EXPECT_NE(convert::detectFormat(r.contents), convert::InputFormat::Detect);
    const auto back = convert_test::convertAndRead(d, in, {});
    EXPECT_EQ(back.x, r.want);
    EXPECT_EQ(back.isps, r.isps);
    EXPECT_EQ(back.h.dunit, "gal  ");
    EXPECT_NE(back.comments.find(r.keys), std::string::npos) << back.comments;
    EXPECT_NE(back.comments.find(r.note), std::string::npos) << back.comments;
  }
}

TEST(StrongMotionFormats, Refusals) {
  TempDir d;
  const std::vector<float> acc = {1, -2, 3};
  const std::string two = csmipV2(acc, "90 Deg", 3) + csmipV2(acc, "Up", 3);
  std::string badUnit = csmipV2(acc, "90 Deg", 3);
  badUnit.replace(badUnit.find("in units of cm/sec/sec"), 22, "in units of in/sec/sec");
  std::string short3 = esm(acc, 3);
  short3.replace(short3.find("NDATA: 3"), 8, "NDATA: 4");
  const auto out = d.file("o.kib");
  struct Row {
    std::string name, contents;
    std::vector<std::string> opts;
    std::string message;  // after "kibconv: "; a leading ": " stands for the input file's name
  };
  const std::vector<Row> rows = {
      {"two.v2", two, {}, ": the CSMIP file holds 2 acceleration channels (1 = 090, 2 = UP); choose one with --channel N"},
      {"two.v2", two, {"--channel", "3"}, "--channel: '3' is not one of the CSMIP file's acceleration channels (1 = 090, 2 = UP)"},
      {"unit.v2", badUnit, {}, ": CSMIP line 28: units 'in/sec/sec' are not an acceleration unit kibconv reads (g, cm/sec/sec)"},
      {"cut.v2", [&] { const auto v = csmipV2(acc, "90 Deg", 3); return v.substr(0, v.find('\n', v.find("points of accel")) + 1); }(), {}, ": CSMIP line 28 says 3 acceleration values, but 0 follow before the end of the file"},
      {"v.asc", esm(acc, 3, "VELOCITY"), {}, ": ESM DATA_TYPE VELOCITY is not an acceleration record"},
      {"n.asc", short3, {}, ": ESM NDATA 4 disagrees with the file, which holds 3 values"},
      {"h.asc", "EVENT_NAME: X\nSAMPLING_INTERVAL_S: 0.01\nNDATA: 1\nUNITS: cm/s^2\nSTATION CODE AMT\n1.0\n", {}, ": ESM line 5 should be 'KEY: value' or a value, not 'STATION CODE AMT'"},
  };
  for (const auto& r : rows) {
    std::vector<std::string> args = {d.write(r.name, r.contents), "-o", out};
    args.insert(args.end(), r.opts.begin(), r.opts.end());
    const std::string want = r.message.rfind(": ", 0) == 0 ? args[0] + r.message : r.message;
    std::ostringstream o, e;
    EXPECT_EQ(convert::kibconv(args, o, e), 2) << want;
    EXPECT_EQ(e.str(), "kibconv: " + want + "\n");
  }
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
