// GeoNet V1A / V2A records, written in the layout GNS Science publishes
// (16 heading lines, 40 integers 10I8, 60 reals 10F8, values 10F8.1 in
// mm/s/s), converted and read back against a plain reading of the values,
// with the heading's peak checked; then their refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"

namespace {

using convert_test::TempDir;

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

// One component: the Kaikoura record at WTMC as its archive gives it, with
// `acc` as its acceleration and `pad` prepended samples (V2A).
std::string component(bool corrected, const std::string& name, double direction, const std::vector<float>& acc,
                      double pad) {
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
  s += tens({2016, 11, 13, 11, 2,  560, 0, 0,   2016, 11, 42,    41,  33,  173, 1, 19, 15, 0, 13,   11,
             42,   37, 10, 173, 3, 13,  332, direction, 198, 9, 65536, pad, pad, n,  nv, nv, 0, 0, 2, 19715},
            0);
  std::vector<double> reals(60);
  reals[0] = 200.0, reals[24] = 0.005, reals[25] = dt, reals[29] = 9806.6;
  s += tens(reals, 3) + tens({acc.begin(), acc.end()}, 1);
  if (corrected) s += tens({0.5, -1.0, 1.5}, 1) + tens({0.1, -0.2, 0.3}, 1);  // velocity, displacement
  return s;
}

std::vector<float> wave(std::size_t n, double scale) {
  std::vector<float> x(n);
  for (std::size_t k = 0; k < n; ++k)
    x[k] = std::strtof(tens({scale * std::sin(0.7 * static_cast<double>(k)) - 3.25}, 1).c_str(), nullptr);
  return x;
}

std::string file(bool corrected, const std::vector<float>& acc, double pad) {
  return component(corrected, "N28W", 332, acc, pad) + component(corrected, "S62W", 242, wave(23, 90.0), pad) +
         component(corrected, "Up", 0, wave(23, 40.0), pad);
}

TEST(GeoNet, WrittenFromItsLayoutAndReadBackExactly) {
  TempDir d;
  const auto acc = wave(23, 9733.1);
  struct Row {
    std::string name, contents, channel;
    std::vector<float> mm;  // the values as written, in mm/s/s
    int isps;
    std::string keys, notes;
  };
  const std::string station =
      "station: WTMC\nstation-name: Te Mara Farm Waiau\nstation-latitude: -42.619444\nstation-longitude: 173.053611\n";
  const std::string event =
      "event-origin: 2016-11-13T11:02:56.000Z\nevent-latitude: -42.6925\nevent-longitude: 173.021944\n"
      "event-depth-km: 15\nevent-magnitude: 7.82\nevent-magnitude-type: Mw\n";
  const std::vector<Row> rows = {
      // Three prepended samples at 0.02 s: the first sample is 0.06 s before the buffer start.
      {"20161113_110259_WTMC_20.V2A", file(true, acc, 3), "1", acc, 50,
       station + "component: N28W\ncomponent-azimuth: 332\ncomponent-dip: 0\nfirst-sample: 2016-11-13T11:02:19.655Z\n" + event,
       "the first 3 samples (0.060 s) are padding"},
      {"20161113_110259_WTMC_20.V1A", file(false, acc, 0), "3", wave(23, 40.0), 200,
       station + "component: UP\ncomponent-dip: -90\nfirst-sample: 2016-11-13T11:02:19.715Z\n" + event, ""},
      {"s62w.V1A", file(false, acc, 0), "2", wave(23, 90.0), 200, "component: S62W\ncomponent-azimuth: 242\n", ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(convert::detectFormat(r.contents), convert::InputFormat::Geonet);
    const auto back = convert_test::convertAndRead(d, d.write(r.name, r.contents), {"--channel", r.channel});
    std::vector<float> gal;
    for (float v : r.mm) gal.push_back(v * 0.1f);  // mm/s/s to cm/s/s: one float multiplication
    EXPECT_EQ(back.x, gal);
    EXPECT_EQ(back.isps, r.isps);
    EXPECT_NE(back.comments.find(r.keys), std::string::npos) << back.comments;
    EXPECT_NE(back.comments.find(r.notes), std::string::npos) << back.comments;
    EXPECT_NE(back.comments.find("agrees with the header's peak"), std::string::npos) << back.comments;
  }
}

TEST(GeoNet, Refusals) {
  TempDir d;
  const auto acc = wave(23, 500.0);
  const std::string v2 = file(true, acc, 3);
  auto withCount = [&](int n) {  // integer 34 of the first component
    std::string s = v2;
    return s.replace(s.find("   65536       3       3      23") + 24, 8, tens({static_cast<double>(n)}, 0).substr(0, 8));
  };
  auto firstLines = [&](std::size_t n) {
    std::size_t at = 0;
    for (std::size_t l = 0; l < n; ++l) at = v2.find('\n', at) + 1;
    return v2.substr(0, at);
  };
  std::string unit = file(false, acc, 0);
  unit.replace(unit.find("units of 1.00"), 13, "units of 0.10");
  const auto out = d.file("o.kib");
  struct Row {
    std::string name, contents;
    std::vector<std::string> opts;
    std::string message;  // after "kibconv: "; a leading ": " stands for the input file's name
  };
  const std::vector<Row> rows = {
      {"a.V2A", v2, {}, ": the GeoNet file holds 3 components (1 = N28W, 2 = S62W, 3 = UP); choose one with --channel N"},
      {"a.V2A", v2, {"--channel", "4"}, "--channel: '4' is not one of the GeoNet file's components (1 = N28W, 2 = S62W, 3 = UP)"},
      // Component 3: heading from line 63, its counts on line 82, its acceleration from line 89.
      {"cut.V2A", firstLines(89), {"--channel", "1"}, ": GeoNet line 82 says 23 acceleration values, but 10 follow before the end of the file"},
      {"more.V2A", withCount(25), {"--channel", "1"}, ": the 25 acceleration values of GeoNet line 20 should fill 3 lines of ten, but GeoNet line 27 to line 30 hold them"},
      {"fewer.V2A", withCount(21), {"--channel", "1"}, ": GeoNet line 29 holds more values than the 21 acceleration values of GeoNet line 20"},
      {"unit.V1A", unit, {"--channel", "1"}, ": GeoNet line 11: readings in units of 0.10 mm/s/s are not read (kibconv reads GeoNet readings in units of 1.00 mm/s/s)"},
  };
  for (const auto& r : rows) {
    std::vector<std::string> args = {d.write(r.name, r.contents), "-o", out};
    args.insert(args.end(), r.opts.begin(), r.opts.end());
    const std::string want = r.message.rfind(": ", 0) == 0 ? args[0] + r.message : r.message;
    std::ostringstream o, e;
    EXPECT_EQ(convert::kibconv(args, o, e), 2) << want;
    EXPECT_EQ(e.str(), "kibconv: " + want + "\n");
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
