// kibconv as a user meets it: every refusal, the unit conversions and
// windows; linear resampling.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"

namespace {

using convert_test::SacFile;
using convert_test::TempDir;

struct Result {
  int status;
  std::string out, err;
};

Result run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = convert::kibconv(args, out, err);
  return {status, out.str(), err.str()};
}

std::string pairs(std::size_t n) {
  std::ostringstream s;
  for (std::size_t k = 0; k < n; ++k) s << k * 0.01 << ' ' << (k % 7) * 0.125 << '\n';
  return s.str();
}

SacFile sacWith(void (*change)(SacFile&)) {
  SacFile s;
  change(s);
  return s;
}

TEST(Kibconv, EveryRefusalIsOneLineNamingTheFileOrOption) {
  TempDir d;
  const auto txt = d.write("a.txt", pairs(10));
  const auto one = d.write("one.txt", "1\n2\n3\n");
  const auto out = d.file("o.kib");
  // Each refused input file with the options it is converted with.
  auto file = [&](const std::string& name, const std::string& contents, std::vector<std::string> opts = {}) {
    std::vector<std::string> args = {d.write(name, contents), "-o", out};
    args.insert(args.end(), opts.begin(), opts.end());
    return args;
  };
  auto sac = [&](const std::string& name, void (*change)(SacFile&), std::vector<std::string> opts = {}) {
    return file(name, sacWith(change).binary(false), opts);
  };
  const std::string sac3 = SacFile().binary(false);
  const std::vector<std::string> g = {"--unit", "g"}, g01 = {"--unit", "g", "--dt", "0.01"};
  struct Row {
    std::vector<std::string> args;
    std::string message;  // after "kibconv: "; a leading ": " stands for the input file's name
    int status = 2;
  };
  const std::vector<Row> rows = {
      // The command line.
      {{}, "kibconv: no input file (usage: kibconv INPUT -o OUTPUT.kib [options])"},
      {{txt}, ": no output file: give it with -o OUTPUT.kib"},
      {{txt, "-o", out, "--bogus"}, "--bogus: unknown option (see kibconv --help)"},
      {{txt, "-o"}, "-o: needs a value"},
      {{txt, "-o", out, "--unit", "cm/s"}, "--unit: 'cm/s' is not one of g, gal, cm/s/s, m/s/s, mm/s/s, nm/s/s"},
      {{txt, "-o", out, "--dt", "-1"}, "--dt: '-1' is not a positive number"},
      {{txt, "-o", out, "--start", "0"}, "--start: '0' is not a whole number >= 1"},
      {{txt, "-o", out, "--start", "2", "--from", "1"}, "--from/--to: cannot be combined with --start/--npts"},
      {{txt, "-o", out, "--from", "1", "--to", "0.5"}, "--to: 0.5 s is before --from 1 s"},
      {{txt, "-o", out, "--scale", "0.1"}, "--scale: applies to --number counts only"},
      {{txt, "-o", out, "--label", "TOOLONG"}, "--label: 'TOOLONG' is longer than the 5 columns of a station code of line 4"},
      // Files.
      {{d.file("none.txt"), "-o", out}, ": cannot be opened: No such file or directory"},
      {{d.file(""), "-o", out}, ": is not a regular file"},
      {{txt, "-o", txt, "--unit", "g"}, ": is the input file; choose another output name"},
      {{one, "-o", d.file("no/dir/o.kib"), "--unit", "g", "--dt", "0.01"},
       d.file("no/dir/o.kib") + ": cannot be written: No such file or directory", 1},
      // Units, rates and windows.
      {{txt, "-o", out}, ": a plain text file does not state its unit; give the unit of the samples with --unit (g, gal, m/s/s, mm/s/s, nm/s/s)"},
      {sac("vel.sac", [](SacFile& s) { s.i[16] = 7; }),
       ": the SAC header idep says IVEL (velocity, nm/s), not acceleration; give the unit of the samples with --unit (g, gal, m/s/s, mm/s/s, nm/s/s)"},
      {{one, "-o", out, "--unit", "g", "--dt", "0.0051"}, ": sample interval 0.0051 s is 196.078431 samples per second, not a whole number (--resample SPS interpolates onto a whole rate)"},
      {{one, "-o", out, "--unit", "g", "--dt", "0.0100001"}, ": sample interval 0.0100001 s is 99.999 samples per second, not a whole number (--resample SPS interpolates onto a whole rate)"},
      {file("z.at2", convert_test::at2({1.0, 2.0}, "0.0", true)), ": sample interval 0 s is not a positive interval"},
      {file("long.txt", pairs(15001), g), ": record of 15001 samples is longer than the 15000 the program takes; cut a window with --start/--npts, --from/--to or --from-time/--to-time"},
      {{txt, "-o", out, "--unit", "g", "--npts", "11"}, "--npts: 11 samples from sample 1 run past the last sample 10"},
      {{txt, "-o", out, "--unit", "g", "--start", "11"}, "--start: 11 is past the last sample 10"},
      {{txt, "-o", out, "--unit", "g", "--to", "0.1"}, "--to: 0.1 s is past the end of the record (0.09 s)"},
      {{txt, "-o", out, "--unit", "g", "--resample", "50"}, "--resample: 50 samples/s is below the input rate of 100 samples/s; linear interpolation has no anti-alias filter, so only equal or higher rates are offered"},
      {file("big.txt", "3e38\n", g01), ": sample 1 overflows single precision in cm/s/s"},
      {file("tiny.txt", "1e-40\n", {"--unit", "gal", "--dt", "0.01", "--number", "counts"}), ": peak 9.99995E-41 is too small for integer counts; use --number free"},
      {file("c.txt", "123.456789\n-0.5\n", {"--unit", "gal", "--dt", "0.01", "--number", "counts", "--scale", "1e-8"}), "--scale: sample 1 would be 1.23456788e+10 counts of 9.99999994e-09, beyond the 32-bit integers of a record"},
      // SAC: a header that disagrees with the length of the data.
      {file("s1.sac", sac3.substr(0, sac3.size() - 4)), ": SAC header npts 3 disagrees with the file, which holds 2 samples"},
      {file("s2.sac", sac3 + std::string(4, '\0')), ": SAC header npts 3 disagrees with the file, which holds 4 samples"},
      {file("s3.sac", sac3 + "ab"), ": SAC header npts 3 disagrees with the file, which holds 3 samples and 2 stray bytes"},
      {file("s4.txt", sacWith([](SacFile& s) { s.i[9] = 4; }).alpha()), ": SAC header npts 4 disagrees with the file, which holds 3 samples"},
      // SAC: other header fields.
      {sac("delta.sac", [](SacFile& s) { s.f[0] = -12345.0f; }), ": SAC header delta -12345 is not a sample interval"},
      {sac("xy.sac", [](SacFile& s) { s.i[15] = 4; }), ": SAC header iftype 4 is not a time series (ITIME = 1)"},
      // An uneven file holds twice npts words: its leven is named, not its length.
      {sac("uneven.sac", [](SacFile& s) { s.i[35] = 0, s.data.resize(6); }), ": the SAC file is unevenly sampled (header leven is false: a time is stored for every value); kibconv reads evenly sampled records: interpolate it onto an even interval first (SAC's interpolate command does)"},
      {sac("empty.sac", [](SacFile& s) { s.samples({}); }), ": SAC header npts 0 gives no samples"},
      {sac("nan.sac", [](SacFile& s) { s.data[2] = std::numeric_limits<float>::quiet_NaN(); }), ": sample 3 is not a finite number"},
      {sac("v5.sac", [](SacFile& s) { s.i[6] = 5; }, {"--format", "sac"}), ": not a SAC binary file: the header version word is neither 6 nor 7 in either byte order"},
      {file("short.sac", std::string(100, '\0'), {"--format", "sac"}), ": SAC binary file of 100 bytes is shorter than the 632-byte header"},
      {sac("dt.sac", [](SacFile&) {}, {"--dt", "0.01"}), "--dt: applies to plain text only; the sac input states its own interval"},
      // AT2.
      {file("v.at2", convert_test::at2({1, 2, 3}, ".01", true, "VELOCITY TIME SERIES IN UNITS OF CM/S")), ": AT2 line 3 'VELOCITY TIME SERIES IN UNITS OF CM/S' is not an acceleration record"},
      {file("n.at2", convert_test::at2({1, 2, 3}, ".01", true) + "   4.0\n"), ": AT2 NPTS 3 disagrees with the file, which holds 4 samples"},
      {file("h.at2", "PEER NGA STRONG MOTION DATABASE RECORD\nx, y, 180\nACCELERATION IN UNITS OF G\nNPTS= 1, DT= .01 SEC\n"), ": AT2 NPTS 1 disagrees with the file, which holds 0 samples"},
      {file("x.at2", "PEER NGA STRONG MOTION DATABASE RECORD\nx\nACCELERATION IN G\nNPTX= 1, DT= .01 SEC\n1.0\n"), ": AT2 line 4 'NPTX= 1, DT= .01 SEC' does not give NPTS and DT"},
      // Plain columns.
      {file("c1.txt", "1 2 3\n", g), ": line 1 holds 3 values; choose the column of the samples with --column N (and a time column with --time-column M)"},
      {file("c11.txt", "1 2\n4 5\n", {"--unit", "g", "--dt", "0.01", "--column", "3"}), "--column: column 3 is not on line 1, which holds 2 values"},
      {file("c12.txt", "1 2 3\n", {"--unit", "g", "--dt", "0.01", "--time-column", "1"}), "--time-column: goes with --column, which chooses the samples"},
      {file("c13.txt", "1 2 3\n", {"--unit", "g", "--column", "2", "--time-column", "2"}), "--time-column: is the column of the samples"},
      {sac("col.sac", [](SacFile&) {}, {"--column", "1"}), "--column: applies to plain text only; the input is sac"},
      {file("c2.txt", "0 1\n0.01 2\n5\n", g), ": line 3 holds 1 values but line 1 holds 2"},
      {file("c3.txt", "0 1\n0.01 x\n", g), ": line 2: 'x' is not a number"},
      {file("c4.txt", "1\nnan\n", g01), ": line 2: 'nan' is not a number"},
      {file("c6.txt", "3.4028236e38\n", g01), ": line 1: '3.4028236e38' is not a number"},  // rounds to infinity
      {file("c7.txt", "# only\n\n", g), ": the file holds no samples"},
      {file("c8.txt", "0 1\n0.01 2\n0.03 3\n0.04 4\n", g), ": the time column is not evenly spaced: sample 2 (line 2) is at 0.01 s, the interval is 0.0133333333 s"},
      {file("c9.txt", "# t a\n0 1\n0.01 2\n\n0.01 3\n", g), ": the time column does not increase at line 5: 0.01 s follows 0.01 s on line 3"},
      // Files in no format kibconv reads.
      {file("u.dat", "STATION ABC 8 values\n1 2 3\n", g), ": not a format kibconv reads: it begins with 'STATION ABC 8 values'; kibconv reads SAC (binary or alphanumeric), miniSEED, K-NET/KiK-net ASCII, COSMOS V1/V2, CSMIP V1/V2, ESM ASCII, GeoNet V1A/V2A, PEER NGA AT2 and plain columns of numbers (name the format with --format when the file is one of them)"},
      {file("e.dat", ""), ": the file is empty"},
      {file("c10.txt", "0 1\n0.01 2\n", {"--unit", "g", "--dt", "0.02"}), ": --dt 0.02 disagrees with the time column's interval 0.01 s"},
      {{one, "-o", out, "--unit", "g"}, ": no time column: give the sample interval with --dt"},
  };
  for (const auto& r : rows) convert_test::expectRefusal(r.args, r.message, r.status);
  EXPECT_FALSE(std::filesystem::exists(out));  // a refusal writes nothing
}

// Faults met on real files: names ended by NUL, a channel of a velocity
// sensor holding acceleration, a peak no accelerograph records (warned of on
// standard error and in the record), an impossible date, a comment longer
// than a line, an event name longer than its field.
TEST(Kibconv, FaultsOfRealFilesAreHandled) {
  TempDir d;
  SacFile nul;
  nul.name(0, 8, std::string("PIN1\0\0\0\0", 8));
  nul.name(168, 8, std::string("GD\0x45\0\0\0", 8));
  nul.name(160, 8, "HHZ");
  nul.samples({1e9f, -2e9f, 5e8f});  // nm/s/s: 200 gal at most
  SacFile quiet = nul;
  quiet.samples({1.0f, -2.0f});  // 2e-7 gal
  quiet.i[0] = 20130, quiet.i[1] = 187, quiet.i[2] = 3, quiet.i[3] = 19, quiet.i[4] = 53, quiet.i[5] = 40;
  const std::string longTitle = "Imperial Valley, 5/19/1940, a long event description, El Centro Array #9, 180";
  std::string at2 = convert_test::at2({0.5, -0.25}, ".01", true);
  at2.replace(at2.find("Imperial Valley, 5/19/1940, El Centro Array #9, 180"), 51, longTitle);
  struct Row {
    std::string name, contents;
    std::vector<std::string> opts;
    std::string station, network, err;
    std::vector<std::string> notes;  // comment lines, unwrapped
  };
  const std::vector<Row> rows = {
      {"nul.sac", nul.binary(true), {}, "PIN1 ", "GD        ", "",
       {"channel code HHZ names a velocity sensor (instrument code H, a seismometer); converted as acceleration as the unit above says"}},
      {"quiet.sac", quiet.binary(false), {}, "PIN1 ", "GD        ",
       ": the SAC reference time (nzyear 20130, nzjday 187, 03:19:53.040) is not a valid time: the record's times are left blank\n"
       ": peak 2e-07 gal is outside 0.001 to 5000 gal: the samples were read as nm/s/s (SAC header idep IACC); if they are in another unit, give it with --unit\n",
       {"warning: peak 2e-07 gal is outside 0.001 to 5000 gal: the samples were read as nm/s/s (SAC header idep IACC); if they are in another unit, give it with --unit",
        "warning: the SAC reference time (nzyear 20130, nzjday 187, 03:19:53.040) is not a valid time: the record's times are left blank"}},
      {"long.at2", at2, {}, "     ", "          ", "",
       {"event name Imperial Valley, 5/19/1940, a long event description cut to the 24 columns of line 7"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    const auto in = d.write(r.name, r.contents);
    const auto res = run(std::vector<std::string>{in, "-o", d.file("o.kib")});
    EXPECT_EQ(res.status, 0) << res.err;
    std::string err;  // each warning line after the input's name
    std::istringstream warnings(r.err);
    for (std::string l; std::getline(warnings, l);) err += "kibconv: warning: " + in + l + "\n";
    EXPECT_EQ(res.err, err);
    const auto back = convert_test::readBack(d.file("o.kib"));
    EXPECT_EQ(back.h.rcode, r.station);
    EXPECT_EQ(back.h.head10a, r.network);
    for (const auto& note : r.notes) EXPECT_NE(back.comments.find(note + "\n"), std::string::npos) << back.comments;
    // Wrapped at blanks into lines of at most 80 columns.
    for (const auto& line : back.h.skipl) EXPECT_EQ(line.size(), 80u);
    EXPECT_EQ(back.comments.find("  "), std::string::npos) << back.comments;
  }
}

// The value each unit option gives to 0.5 and -0.25 of the input unit: the
// exact ratio of the units rounded once to a float, times the sample (a
// power of two, so the product is exact).
TEST(Kibconv, UnitConversions) {
  TempDir d;
  const auto txt = d.write("a.txt", "0.5\n-0.25\n");
  const auto vel = d.write("v.sac", sacWith([](SacFile& s) { s.i[16] = 7, s.samples({0.5f, -0.25f}); }).binary(true));
  // The unit written and the note on each conversion are in the stored copies.
  struct Row {
    std::string input;
    std::vector<std::string> opts;
    double factor;
  };
  const std::vector<Row> rows = {
      {txt, {"--unit", "g"}, 980.665},
      {txt, {"--unit", "M/S2"}, 100},
      {txt, {"--unit", "nm/s^2"}, 1e-7},
      {txt, {"--unit", "cm/s^2"}, 1},
      {txt, {"--unit", "Gal", "--out-unit", "m/s/s"}, 0.01},
      {txt, {"--unit", "cm/s2", "--out-unit", "g"}, 1 / 980.665},
      {txt, {"--unit", "g", "--out-unit", "nm/s/s"}, 9.80665e9},
      // The option overrides a SAC header that names another quantity.
      {vel, {"--unit", "m/s/s"}, 100},
  };
  for (std::size_t k = 0; k < rows.size(); ++k) {
    Row row = rows[k];
    if (row.input == txt) row.opts.insert(row.opts.end(), {"--dt", "0.01"});
    const auto back = convert_test::convertAndRead(d, row.input, row.opts, "units/" + std::to_string(k));
    const std::vector<float> want = {static_cast<float>(0.5 * row.factor), static_cast<float>(-0.25 * row.factor)};
    EXPECT_EQ(back.x, want) << row.factor;
  }
}

// A header, then columns of time and three components, as many agencies
// write them: the chosen column, its times, the header passed over.
TEST(Kibconv, ChosenColumnsOfATextFile) {
  TempDir d;
  const std::string header = "Station: TCU068\nInstrument: A900\n#Time(s)  U(gal)  N(gal)  E(gal)\n";
  const std::string rows = "0.000 0.1 -1.5 2.25\n0.005 0.2 -1.0 2.5\n0.010 0.3 -0.5 2.75\n";
  const auto in = d.write("tcu068.txt", header + rows);
  const std::pair<std::vector<std::string>, std::vector<float>> table[] = {
      {{"--skip", "2", "--column", "3", "--time-column", "1"}, {-1.5f, -1.0f, -0.5f}},
      {{"--skip", "2", "--column", "2", "--dt", "0.005"}, {0.1f, 0.2f, 0.3f}},
  };
  for (int k = 0; k < 2; ++k) {
    auto opts = table[k].first;
    opts.insert(opts.end(), {"--unit", "gal"});
    const auto back = convert_test::convertAndRead(d, in, opts, "columns/" + std::to_string(k));
    EXPECT_EQ(back.x, table[k].second);
    EXPECT_EQ(back.isps, 200);
  }
  // Without --skip the header is not a format kibconv reads.
  const auto res = run({in, "-o", d.file("x.kib"), "--unit", "gal"});
  EXPECT_EQ(res.status, 2);
  EXPECT_NE(res.err.find("not a format kibconv reads: it begins with 'Station: TCU068'"), std::string::npos);
}

TEST(Kibconv, WindowsCutWholeSamplesAndMoveTheFirstSampleTime) {
  TempDir d;
  std::ostringstream s;
  for (int k = 0; k < 20000; ++k) s << k << '\n';
  const auto in = d.write("long.txt", s.str());
  // A record too long for the program, cut to its longest.
  auto r = convert_test::convertAndRead(d, in, {"--dt", "0.01", "--unit", "gal", "--start", "101", "--npts", "15000"});
  ASSERT_EQ(r.x.size(), 15000u);
  EXPECT_EQ(r.x.front(), 100.0f);
  EXPECT_EQ(r.x.back(), 15099.0f);
  // 0.504 s is sample 51.4, so 51 (0.50 s); 1.006 s is 101.6, so 102 (1.01 s).
  r = convert_test::convertAndRead(d, in, {"--dt", "0.01", "--unit", "gal", "--from", "0.504", "--to", "1.006"});
  ASSERT_EQ(r.x.size(), 52u);
  EXPECT_EQ(r.x.front(), 50.0f);
  // SAC reference 03:19:53.040 with b = -30 s, then 150 samples of 0.01 s.
  SacFile sac;
  sac.f[5] = -30.0f, sac.f[7] = 0.0f;  // b, o
  sac.i[0] = 2019, sac.i[1] = 187, sac.i[2] = 3, sac.i[3] = 19, sac.i[4] = 53, sac.i[5] = 40;
  sac.samples(std::vector<float>(500, 1.0f));
  r = convert_test::convertAndRead(d, d.write("x.sac", sac.binary(false)), {"--start", "151"});
  for (const char* note : {"first-sample: 2019-07-06T03:19:24.540Z", "event-origin: 2019-07-06T03:19:53.040Z",
                           "window: samples 151 to 500 of 500 (1.5 s to 4.99 s)"})
    EXPECT_NE(r.comments.find(note), std::string::npos) << r.comments;
  EXPECT_EQ(r.h.head16, "2019/07/06 03:19");  // the event's origin time
}

TEST(Resample, LinearSeriesStaysOnItsLine) {
  // x(t) = 2 + 3 t every 0.0051 s, onto 1/200 s: 2 + 3 t' at every new t',
  // up to 0.51 s itself (the last input time).
  std::vector<float> x(101);
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(2.0 + 3.0 * 0.0051 * k);
  const auto y = convert::resampleLinear(x, 0.0051, 200);
  ASSERT_EQ(y.size(), 103u);
  for (std::size_t j = 0; j < y.size(); ++j) EXPECT_NEAR(y[j], 2.0 + 3.0 * j / 200.0, 2e-6) << j;
  EXPECT_EQ(convert::resampleLinear(x, 0.01, 100), x);
  // Through kibconv: the record at the new rate, with a note of how.
  TempDir d;
  const auto back = convert_test::convertAndRead(d, d.write("r.txt", "0\n1\n"),
                                                 {"--dt", "0.01", "--unit", "gal", "--resample", "200"}, "resampled");
  EXPECT_EQ(back.isps, 200);
  EXPECT_EQ(back.x, (std::vector<float>{0.0f, 0.5f, 1.0f}));
}

}  // namespace
