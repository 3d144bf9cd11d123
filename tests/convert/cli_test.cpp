// The kibconv command line: options, refusals and what a run writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"

namespace {

using convert_test::lines;
using convert_test::TempDir;

struct Result {
  int status;
  std::string out, err;
};

Result run(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = convert::kibconv(args, out, err);
  return {status, out.str(), err.str()};
}

std::string column(std::size_t n, double dt) {
  std::ostringstream s;
  for (std::size_t k = 0; k < n; ++k) s << k * dt << ' ' << (k % 7) * 0.125 << '\n';
  return s.str();
}

// The samples of a record written in free format (our own parse of the
// data lines; the program's reader checks the same files in roundtrip_test).
std::vector<float> freeSamples(const std::string& record) {
  const auto l = lines(record);
  const std::size_t first = 16 + static_cast<std::size_t>(std::atoi(l.at(15).c_str()));
  std::vector<float> x;
  for (std::size_t k = first; k < l.size(); ++k) {
    std::istringstream s(l[k]);
    for (float v; s >> v;) x.push_back(v);
  }
  return x;
}

TEST(Kibconv, HelpGoesToStandardOutput) {
  const auto r = run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: kibconv INPUT -o OUTPUT.kib [options]", 0), 0u);
  EXPECT_EQ(r.err, "");
}

TEST(Kibconv, EveryRefusalIsOneLineAndStatusTwo) {
  TempDir d;
  const auto txt = d.write("a.txt", column(10, 0.01));
  const auto one = d.write("one.txt", "1\n2\n3\n");
  const auto longer = d.write("long.txt", column(15001, 0.01));
  const auto at2zero = d.write("z.at2", convert_test::at2({1.0, 2.0}, "0.0", true));
  const auto out = d.file("o.kib");
  struct Row {
    std::vector<std::string> args;
    std::string message;  // the whole line after "kibconv: "
  };
  const std::vector<Row> rows = {
      {{}, "kibconv: no input file (usage: kibconv INPUT -o OUTPUT.kib [options])"},
      {{txt}, txt + ": no output file: give it with -o OUTPUT.kib"},
      {{txt, "-o", out, "--bogus"}, "--bogus: unknown option (see kibconv --help)"},
      {{txt, "-o"}, "-o: needs a value"},
      {{txt, "-o", out, "--unit", "furlong"}, "--unit: 'furlong' is not one of g, gal, cm/s/s, m/s/s, nm/s/s"},
      {{txt, "-o", out, "--format", "mseed"}, "--format: 'mseed' is not one of auto, sac, sac-alpha, at2, text"},
      {{txt, "-o", out, "--dt", "-1"}, "--dt: '-1' is not a positive number"},
      {{txt, "-o", out, "--start", "0"}, "--start: '0' is not a whole number >= 1"},
      {{txt, "-o", out, "--start", "2", "--from", "1"}, "--from/--to: cannot be combined with --start/--npts"},
      {{txt, "-o", out, "--from", "1", "--to", "0.5"}, "--to: 0.5 s is before --from 1 s"},
      {{txt, "-o", out, "--scale", "0.1"}, "--scale: applies to --number counts only"},
      {{txt, "-o", out, "--station", "TOOLONG"}, "--station: 'TOOLONG' is longer than the 5 columns of a station code"},
      {{d.file("missing.txt"), "-o", out, "--unit", "g"}, d.file("missing.txt") + ": cannot be opened: No such file or directory"},
      {{txt, "-o", out}, txt + ": a plain text file does not state its unit; give the unit of the samples with --unit (g, gal, m/s/s, nm/s/s)"},
      {{one, "-o", out, "--unit", "g", "--dt", "0.0051"}, one + ": sample interval 0.0051 s is 196.078431 samples per second, not a whole number (--resample SPS interpolates onto a whole rate)"},
      {{one, "-o", out, "--unit", "g", "--dt", "2"}, one + ": sample interval 2 s is 0.5 samples per second, not a whole number (--resample SPS interpolates onto a whole rate)"},
      {{at2zero, "-o", out}, at2zero + ": sample interval 0 s is not a positive interval"},
      {{longer, "-o", out, "--unit", "g"}, longer + ": record of 15001 samples is longer than the 15000 the program takes; cut a window with --start/--npts or --from/--to"},
      {{txt, "-o", out, "--unit", "g", "--npts", "11"}, "--npts: 11 samples from sample 1 run past the last sample 10"},
      {{txt, "-o", out, "--unit", "g", "--start", "11"}, "--start: 11 is past the last sample 10"},
      {{txt, "-o", out, "--unit", "g", "--to", "0.1"}, "--to: 0.1 s is past the end of the record (0.09 s)"},
      {{txt, "-o", out, "--unit", "g", "--resample", "50"}, "--resample: 50 samples/s is below the input rate of 100 samples/s; linear interpolation has no anti-alias filter, so only equal or higher rates are offered"},
      {{txt, "-o", txt, "--unit", "g"}, txt + ": is the input file; choose another output name"},
  };
  for (const auto& r : rows) {
    const auto res = run(r.args);
    EXPECT_EQ(res.status, 2) << r.message;
    EXPECT_EQ(res.err, "kibconv: " + r.message + "\n");
    EXPECT_EQ(res.out, "");
  }
  EXPECT_FALSE(std::filesystem::exists(out));  // a refusal writes nothing
}

TEST(Kibconv, OutputThatCannotBeWrittenIsStatusOne) {
  TempDir d;
  const auto in = d.write("a.txt", "1\n");
  const auto r = run({in, "-o", d.file("no/such/dir/o.kib"), "--dt", "0.01", "--unit", "gal"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "kibconv: " + d.file("no/such/dir/o.kib") + ": cannot be written: No such file or directory\n");
}

TEST(Kibconv, DirectoryAsInputIsRefused) {
  TempDir d;
  const auto r = run({d.file(""), "-o", d.file("o.kib"), "--unit", "gal"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kibconv: " + d.file("") + ": is not a regular file\n");
}

TEST(Kibconv, WindowBySamplesCutsALongRecordToSize) {
  TempDir d;
  std::ostringstream s;
  for (int k = 0; k < 20000; ++k) s << k << '\n';
  const auto in = d.write("long.txt", s.str());
  const auto r = run({in, "-o", d.file("o.kib"), "--dt", "0.01", "--unit", "gal", "--start", "101",
                      "--npts", "15000"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string rec = d.read("o.kib");
  const auto x = freeSamples(rec);
  ASSERT_EQ(x.size(), 15000u);
  EXPECT_EQ(x.front(), 100.0f);
  EXPECT_EQ(x.back(), 15099.0f);
  EXPECT_EQ(lines(rec)[5], "     15000");
  EXPECT_NE(rec.find("window: samples 101 to 15100 of 20000 (1 s to 150.99 s)"), std::string::npos);
}

TEST(Kibconv, WindowBySecondsRoundsToWholeSamples) {
  TempDir d;
  const auto in = d.write("a.txt", column(300, 0.01));
  // 0.504 s is sample 51.4 -> 51 (time 0.50 s); 1.006 s is 101.6 -> 102 (1.01 s).
  const auto r = run({in, "-o", d.file("o.kib"), "--unit", "g", "--from", "0.504", "--to", "1.006"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(freeSamples(d.read("o.kib")).size(), 52u);
  EXPECT_NE(d.read("o.kib").find("window: samples 51 to 102 of 300"), std::string::npos);
}

TEST(Kibconv, ResampleOntoAWholeRateIsNotedInTheRecord) {
  TempDir d;
  const auto in = d.write("a.txt", "0\n1\n2\n3\n");
  const auto r = run({in, "-o", d.file("o.kib"), "--unit", "gal", "--dt", "0.0051", "--resample", "200"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string rec = d.read("o.kib");
  EXPECT_EQ(lines(rec)[4], "       200");
  EXPECT_NE(rec.find("resampled from interval 0.0051 s to 200 samples/s by linear interpolation"),
            std::string::npos);
  const auto x = freeSamples(rec);
  ASSERT_EQ(x.size(), 4u);  // 0, 0.005, 0.010, 0.015 s within 0.0153 s
  EXPECT_NEAR(x[3], 0.015 / 0.0051, 1e-6);
}

TEST(Kibconv, UnitConversionsAndTheUnitField) {
  TempDir d;
  const auto in = d.write("a.txt", "0.5\n-0.25\n");
  struct Row {
    std::vector<std::string> opts;
    std::string dunit;
    std::vector<float> x;
    std::string note;
  };
  const std::vector<Row> rows = {
      {{"--unit", "g"}, "gal  ", {490.3325f, -245.16625f}, "converted g to cm/s/s: each sample times 980.665"},
      {{"--unit", "m/s/s"}, "gal  ", {50.0f, -25.0f}, "converted m/s/s to cm/s/s: each sample times 100"},
      {{"--unit", "gal", "--out-unit", "m/s/s"}, "m/s/s", {0.005f, -0.0025f}, "converted cm/s/s to m/s/s"},
      {{"--unit", "gal"}, "gal  ", {0.5f, -0.25f}, "input unit cm/s/s given with --unit"},
      {{"--unit", "g", "--out-unit", "g"}, "g    ", {0.5f, -0.25f}, "input unit g given with --unit"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {in, "-o", d.file("o.kib"), "--dt", "0.01"};
    args.insert(args.end(), row.opts.begin(), row.opts.end());
    const auto r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string rec = d.read("o.kib");
    EXPECT_EQ(lines(rec)[9].substr(10), row.dunit);
    EXPECT_EQ(freeSamples(rec), row.x) << row.note;
    EXPECT_NE(rec.find(row.note), std::string::npos) << row.note;
  }
}

TEST(Kibconv, UnitOptionOverridesWhatASacHeaderSays) {
  TempDir d;
  convert_test::SacFile s;
  s.delta(0.01f);
  s.idep(7);  // velocity: refused unless the user says otherwise
  s.samples({1.0f, 2.0f});
  const auto in = d.write("v.sac", s.binary(true));
  auto r = run({in, "-o", d.file("o.kib")});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "kibconv: " + in + ": the SAC header idep says IVEL (velocity, nm/s), not acceleration; give the unit of the samples with --unit (g, gal, m/s/s, nm/s/s)\n");
  r = run({in, "-o", d.file("o.kib"), "--unit", "m/s/s"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(d.read("o.kib").find("input unit m/s/s given with --unit (the SAC header idep says IVEL"),
            std::string::npos);
}

}  // namespace

namespace {

TEST(Kibconv, WindowMovesTheTimeOfTheFirstSample) {
  TempDir d;
  convert_test::SacFile s;
  s.delta(0.01f);
  s.idep(8);
  s.b(-30.0f);
  s.o(0.0f);
  s.time(2019, 187, 3, 19, 53, 40);
  s.samples(std::vector<float>(500, 1.0f));
  const auto in = d.write("x.sac", s.binary(false));
  const auto r = run({in, "-o", d.file("o.kib"), "--start", "151"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string rec = d.read("o.kib");
  // Reference 03:19:53.040, b = -30 s, then 150 samples of 0.01 s.
  EXPECT_NE(rec.find("first sample 2019-07-06T03:19:23.040, event 2019-07-06T03:19:53.040"), std::string::npos);
  EXPECT_NE(rec.find("first sample of the window 2019-07-06T03:19:24.540"), std::string::npos);
  EXPECT_EQ(lines(rec)[2], "2019/07/06 03:19");  // the event's origin time
}

}  // namespace
