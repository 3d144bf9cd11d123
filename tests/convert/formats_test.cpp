// The strong-motion archives' own formats: CSMIP/CGS Volume 1 (the real
// Ridgecrest file at CLC, read from ../shared as a user would) and Volume 2,
// ESM ASCII and GeoNet V1A/V2A, each written in its published layout,
// converted, read back by the program's own reader against an independent
// reading of the values, with the header's peak checked; then their refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"
#include "recinfo/recinfo.hpp"

namespace {

namespace fs = std::filesystem;
using convert_test::TempDir;

const fs::path kRealData = std::getenv("EGF_REALDATA_DIR") != nullptr
                               ? fs::path(std::getenv("EGF_REALDATA_DIR"))
                               : (fs::path(EGF_TEST_SOURCE_DIR) / ".." / "shared" / "realdata").lexically_normal();

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
  const std::string text = testsupport::readFile(v1);
  // Channel, first data line (from 1); the header's station, component, time
  // and peak as each record's comment lines give them are in its stored copy.
  const std::pair<std::string, std::size_t> rows[] = {{"1", 29}, {"2", 4050}, {"3", 8089}};
  for (const auto& [channel, dataLine] : rows) {
    SCOPED_TRACE(channel);
    const auto back = convert_test::convertAndRead(d, v1, {"--channel", channel, "--npts", "15000"}, "clc_v1/" + channel);
    EXPECT_EQ(back.x, fieldsFrom(text, dataLine, 15000, 9, 980.665f));
    EXPECT_EQ(infoOf(back).station.latitude, 35.81574);  // the real header's finer value
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
// blocks, as the archive's corrected files are described. `reals`: 30 is the
// shortest real header that holds the finer coordinates (reals 29 and 30).
std::string csmipV2(const std::vector<float>& acc, const std::string& chan, double peak, int reals = 50) {
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
  for (int k = 0; k < reals; ++k) {
    std::snprintf(buf, sizeof buf, "%10.5f", k == 28 ? 35.81574 : k == 29 ? -117.5975 : -999.0);
    s += buf + std::string(k % 8 == 7 || k == reals - 1 ? "\n" : "");
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

// Values ten to a line in eight columns, `decimals` after the point (0:
// whole numbers, as 10I8 writes them).
std::string tens(const std::vector<double>& v, int decimals) {
  std::string s;
  char buf[32];
  for (std::size_t k = 0; k < v.size(); ++k) {
    std::snprintf(buf, sizeof buf, "%8.*f", decimals, v[k]);
    s += buf + std::string(k % 10 == 9 || k + 1 == v.size() ? "\n" : "");
  }
  return s;
}

// One GeoNet component (16 heading lines, 40 integers 10I8, 60 reals 10F8,
// values 10F8.1 in mm/s/s): the Kaikoura record at WTMC as its archive gives
// it, with `acc` as its acceleration and `pad` prepended samples (V2A);
// `edits` replace integers by their number (from 1).
std::string component(bool corrected, const std::string& name, double direction, const std::vector<float>& acc,
                      double pad, const std::map<int, double>& edits = {}) {
  const double dt = corrected ? 0.02 : 0.005;
  std::size_t at = 0;
  for (std::size_t k = 0; k < acc.size(); ++k)
    if (std::fabs(acc[k]) > std::fabs(acc[at])) at = k;
  char peak[120];
  std::snprintf(peak, sizeof peak, "Acceleration:  peak %8.1f mm/s/s at %6.2f sec     rms    719.0 mm/s/s\n",
                static_cast<double>(acc[at]), (static_cast<double>(at) - pad) * dt);
  std::string s = std::string(corrected ? "Corrected" : "Uncorrected") +
                  " accelerogram 20161113_110256_WTMC_20 GNS Science\n"
                  "Site WTMC      42 37 10S  173 03 13E     Cusp file:  20161113_110259_WTMC\n"
                  "Te Mara Farm Waiau\n"
                  "Instrument Cusp_10462\n"
                  "Resolution: 18-bit   Instr Period: 0.0050 s   Damping: 0.700\n"
                  "Accelerogram 20161113_110256_WTMC_20                 Processed 2016 December 09\n"
                  "5 km south-west of Waiau\n"
                  "2016 November 13         11:02:56 UT\n"
                  "Epicentre  42 41 33S 173 01 19E  Bearing S18W  Dist    9km  Depth   15km Mw 7.82\n"
                  "Number of points  " + std::to_string(acc.size()) + "    Duration 163.82 sec\n" +
                  (corrected ? "Instrument corrected data at 0.020 sec intervals\n"
                             : "Raw readings in units of 1.00 mm/s/s  at intervals of 0.005 s\n") +
                  "Band-pass filter transition bands are .10-.25 Hz and 24.50-25.50 Hz\n"
                  "Component " + name + "  Longitudinal Accelerometer Axis\n" + peak +
                  "Velocity:      peak -1016.55 mm/s   at  46.58 sec     rms    96.10 mm/s\n"
                  "Displacement:  peak  234.852 mm     at  46.36 sec     rms   38.013 mm\n";
  const double n = static_cast<double>(acc.size()), nv = corrected ? 3 : 0;
  std::vector<double> ints = {2016, 11, 13, 11, 2,  560, 0, 0,   2016, 11, 42,    41,  33,  173, 1, 19, 15, 0, 13,   11,
                              42,   37, 10, 173, 3, 13,  332, direction, 198, 9, 65536, pad, pad, n,  nv, nv, 0, 0, 2, 19715};
  for (auto [k, v] : edits) ints.at(static_cast<std::size_t>(k - 1)) = v;
  std::vector<double> reals(60);
  // A raw file here leaves real 26 unset: its interval is line 11's text.
  reals[0] = 200.0, reals[24] = 0.005, reals[25] = corrected ? dt : 0.0, reals[29] = 9806.6;
  s += tens(ints, 0) + tens(reals, 3) + tens({acc.begin(), acc.end()}, 1);
  if (corrected) s += tens({0.5, -1.0, 1.5}, 1) + tens({0.1, -0.2, 0.3}, 1);  // velocity, displacement
  return s;
}

// Values as 10F8.1 writes them.
std::vector<float> wave(std::size_t n, double scale) {
  std::vector<float> x(n);
  for (std::size_t k = 0; k < n; ++k)
    x[k] = std::strtof(tens({scale * std::sin(0.7 * static_cast<double>(k)) - 3.25}, 1).c_str(), nullptr);
  return x;
}

// A GeoNet file of three components, the first with `acc` and `edits`.
std::string geonet(bool corrected, const std::vector<float>& acc, double pad, const std::map<int, double>& edits = {}) {
  return component(corrected, "N28W", 332, acc, pad, edits) + component(corrected, "S62W", 242, wave(23, 90.0), pad) +
         component(corrected, "Up", 0, wave(23, 40.0), pad);
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
  const auto mm = wave(23, 9733.1);
  auto gal = [](std::vector<float> x) {  // mm/s/s to cm/s/s: one float multiplication
    for (float& v : x) v *= 0.1f;
    return x;
  };
  // What each record's comment lines say (station, component, first sample,
  // event, the notes on padding and peaks) is in its stored copy.
  struct Row {
    std::string name, contents;
    std::vector<std::string> opts;
    std::vector<float> want;
    int isps;
    convert::InputFormat format;
  };
  const std::vector<Row> rows = {
      {"CICLC.V2", csmipV2(acc, "360 Deg", peak2, 30), {}, v2, 200, convert::InputFormat::Csmip},
      // A channel line that names no component: the record is read without one.
      {"blank.V2", csmipV2(acc, "", peak2), {}, v2, 200, convert::InputFormat::Csmip},
      {"IT.AMT..HGE.D.EMSC-20161030_0000029.ACC.MP.ASC", esm(acc, -peakE), {}, e, 200, convert::InputFormat::Esm},
      // Three prepended samples at 0.02 s: the first sample is 0.06 s before the buffer start.
      {"20161113_110259_WTMC_20.V2A", geonet(true, mm, 3), {"--channel", "1"}, gal(mm), 50, convert::InputFormat::Geonet},
      {"20161113_110259_WTMC_20.V1A", geonet(false, mm, 0), {"--channel", "3"}, gal(wave(23, 40.0)), 200,
       convert::InputFormat::Geonet},
      // A file of one component needs no --channel; a heading without a
      // direction (999) leaves the azimuth to the name: S14E is 166.
      {"one.V2A", component(true, "S14E", 999, mm, 3), {}, gal(mm), 50, convert::InputFormat::Geonet},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name + (r.opts.empty() ? "" : " " + r.opts[1]));
    EXPECT_EQ(convert::detectFormat(r.contents), r.format);
    const auto back = convert_test::convertAndRead(d, d.write(r.name, r.contents), r.opts, "formats/" + r.name);
    EXPECT_EQ(back.x, r.want);
    EXPECT_EQ(back.isps, r.isps);
  }
}

// What a GeoNet heading's integers say, or do not say when out of range: the
// samples prepended (within the record, or the buffer start is not trusted
// for the time), the depth (0 to 800 km, with the epicentre), the degrees,
// minutes and seconds of a position.
TEST(StrongMotionFormats, GeonetHeadingValuesWithinTheirRanges) {
  TempDir d;
  const auto mm = wave(23, 500.0);
  const struct {
    std::map<int, double> edits;  // integers of component 1 by their number; 33 stays 3
    std::string present;
    std::vector<std::string> absent;
  } rows[] = {
      {{{32, 23}}, "first-sample: 2016-11-13T11:02:19.255Z", {}},  // all 23 samples prepended
      {{{32, 24}}, "", {"first-sample"}},
      {{{32, -1}}, "", {"first-sample"}},
      {{{17, 0}}, "event-depth-km: 0\n", {}},
      {{{17, 800}}, "event-depth-km: 800\n", {}},
      {{{17, 801}}, "event-latitude", {"event-depth-km"}},
      {{{17, -1}}, "event-latitude", {"event-depth-km"}},
      // An epicentre latitude of 0 0 0 is not given, and with it the depth.
      {{{11, 0}, {12, 0}, {13, 0}}, "event-longitude: 173.021944\n", {"event-latitude", "event-depth-km"}},
      {{{22, 60}}, "station-longitude", {"station-latitude"}},
      {{{26, 60}}, "station-latitude", {"station-longitude"}},
      {{{24, 181}}, "station-latitude", {"station-longitude"}},
      // The component's name gives its azimuth; the heading's is a fallback.
      {{{28, 90}}, "component-azimuth: 332\n", {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.edits.begin()->first << " = " << r.edits.begin()->second);
    const auto back = convert_test::convertAndRead(d, d.write("e.V2A", geonet(true, mm, 3, r.edits)), {"--channel", "1"});
    EXPECT_NE(back.comments.find(r.present), std::string::npos) << back.comments;
    for (const auto& key : r.absent) EXPECT_EQ(back.comments.find(key), std::string::npos) << back.comments;
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
  const auto mm = wave(23, 500.0);
  const std::string v2 = geonet(true, mm, 3);
  std::string unit = geonet(false, mm, 0);
  unit.replace(unit.find("units of 1.00"), 13, "units of 0.10");
  const std::string components = "GeoNet file's components (1 = N28W, 2 = S62W, 3 = UP)";
  convert_test::expectRefusals(d, {
      {"two.v2", two, {}, ": the CSMIP file holds 2 acceleration channels (1 = 090, 2 = UP); choose one with --channel N"},
      {"two.v2", two, {"--channel", "3"}, "--channel: '3' is not one of the CSMIP file's acceleration channels (1 = 090, 2 = UP)"},
      {"unit.v2", badUnit, {}, ": CSMIP line 28: units 'in/sec/sec' are not an acceleration unit kibconv reads (g, cm/sec/sec)"},
      {"cut.v2", [&] { const auto v = csmipV2(acc, "90 Deg", 3); return v.substr(0, v.find('\n', v.find("points of accel")) + 1); }(), {}, ": CSMIP line 28 says 3 acceleration values, but 0 follow before the end of the file"},
      {"v.asc", esm(acc, 3, "VELOCITY"), {}, ": ESM DATA_TYPE VELOCITY is not an acceleration record"},
      {"n.asc", short3, {}, ": ESM NDATA 4 disagrees with the file, which holds 3 values"},
      {"h.asc", "EVENT_NAME: X\nSAMPLING_INTERVAL_S: 0.01\nNDATA: 1\nUNITS: cm/s^2\nSTATION CODE AMT\n1.0\n", {}, ": ESM line 5 should be 'KEY: value' or a value, not 'STATION CODE AMT'"},
      {"s.asc", "EVENT_NAME: X\nSAMPLING_INTERVAL_S: 0.5/2\nNDATA: 1\nUNITS: cm/s^2\n1.0\n", {}, ": ESM line 2: SAMPLING_INTERVAL_S '0.5/2' is not a number"},
      {"a.V2A", v2, {}, ": the GeoNet file holds 3 components (1 = N28W, 2 = S62W, 3 = UP); choose one with --channel N"},
      {"a.V2A", v2, {"--channel", "4"}, "--channel: '4' is not one of the " + components},
      {"a.V2A", v2, {"--channel", "0"}, "--channel: '0' is not one of the " + components},
      // Component 3: heading from line 63, its counts on line 82, its acceleration from line 89.
      {"cut.V2A", v2.substr(0, [&] { std::size_t at = 0; for (int l = 0; l < 89; ++l) at = v2.find('\n', at) + 1; return at; }()), {"--channel", "1"}, ": GeoNet line 82 says 23 acceleration values, but 10 follow before the end of the file"},
      {"more.V2A", geonet(true, mm, 3, {{34, 25}}), {"--channel", "1"}, ": the 25 acceleration values of GeoNet line 20 should fill 3 lines of ten, but GeoNet line 27 to line 30 hold them"},
      {"fewer.V2A", geonet(true, mm, 3, {{34, 21}}), {"--channel", "1"}, ": GeoNet line 29 holds more values than the 21 acceleration values of GeoNet line 20"},
      {"unit.V1A", unit, {"--channel", "1"}, ": GeoNet line 11: readings in units of 0.10 mm/s/s are not read (kibconv reads GeoNet readings in units of 1.00 mm/s/s)"},
  });
}

}  // namespace
