// What a record knows of station, component, times and event: written by
// each reader into the comment lines and read back by recinfo; given and
// overridden by options; windows cut by time, by predicted arrival and by
// the STA/LTA pick; and their refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"
#include "recinfo/recinfo.hpp"

namespace {

using convert_test::SacFile;
using convert_test::TempDir;

// A K-NET file of counts (100 Hz) whose header names KMMH16, E-W.
std::string knet(const std::vector<int>& c) {
  return convert_test::knetFile(
      {{"Origin Time", "2016/04/16 01:25:00"}, {"Lat.", "32.753"}, {"Long.", "130.762"}, {"Depth. (km)", "12"},
       {"Mag.", "7.3"}, {"Station Code", "KMMH16"}, {"Station Lat.", "32.7967"}, {"Station Long.", "130.8199"},
       {"Station Height(m)", "194"}, {"Record Time", "2016/04/16 01:25:20"}, {"Sampling Freq(Hz)", "100Hz"},
       {"Duration Time(s)", std::to_string(c.size() / 100)}, {"Dir.", "E-W"}, {"Scale Factor", "7845(gal)/8223790"},
       {"Max. Acc. (gal)", "0.000"}, {"Last Correction", "2016/04/16 01:25:05"}, {"Memo.", ""}},
      c);
}

// Quiet noise (deterministic, about 1 count) and a loud arrival at sample
// `onset` (from 0).
std::vector<int> arrivalAt(std::size_t n, std::size_t onset) {
  std::vector<int> c(n);
  unsigned state = 12345;
  for (std::size_t k = 0; k < n; ++k) {
    state = state * 1103515245u + 12345u;
    const int noise = static_cast<int>((state >> 16) % 5) - 2;
    c[k] = 1000 + noise + (k >= onset ? static_cast<int>(5000 * std::sin(0.9 * (k - onset + 1))) : 0);
  }
  return c;
}

model::Recording readInfo(const convert_test::ReadBack& r) {
  const auto p = recinfo::parse(r.h.skipl);
  EXPECT_TRUE(p.problems.empty()) << p.problems.front();
  return p.recording;
}

std::string iso(const std::optional<model::UtcTime>& t) { return t ? recinfo::isoText(*t) : "none"; }

TEST(Recording, EachReaderWritesWhatItsFormatHolds) {
  TempDir d;
  SacFile sac;
  sac.name(0, 8, "CLC");
  sac.name(168, 8, "CI");
  sac.name(160, 8, "HNE");
  sac.name(24, 8, "00");
  sac.name(8, 16, "Ridgecrest");
  sac.f[31] = 35.81574f, sac.f[32] = -117.59751f, sac.f[33] = 775.0f, sac.f[34] = 0.0f;  // stla stlo stel stdp
  sac.f[35] = 35.7695f, sac.f[36] = -117.5993f, sac.f[38] = 8.0f, sac.f[39] = 7.1f;      // evla evlo evdp mag
  sac.i[25] = 55;                                                                         // imagtyp IMW
  sac.f[57] = 90.0f, sac.f[58] = 90.0f;                                                   // cmpaz cmpinc
  sac.i[0] = 2019, sac.i[1] = 187, sac.i[2] = 3, sac.i[3] = 19, sac.i[4] = 53, sac.i[5] = 40;
  sac.f[5] = -3.04f, sac.f[7] = 0.0f;  // b, o
  sac.samples(std::vector<float>(100, 1e8f));
  SacFile up = sac;
  up.f[58] = 0.0f;   // cmpinc 0: up
  up.f[38] = 8000.0f;  // evdp in metres, as older files have it
  // The key lines each writes (and the notes: a value an option overrides
  // is noted with the file's; evdp in metres) are in its stored copy.
  struct Row {
    std::string name, contents;
    std::vector<std::string> opts;
  };
  const std::vector<Row> rows = {
      {"clc.sac", sac.binary(false), {}},
      {"up.sac", up.binary(true), {"--station", "CLCX", "--event-lat", "35.7"}},
      // AT2 knows the component's azimuth from its name; the rest by options.
      {"elc.at2", convert_test::at2({0.01, -0.02}, ".01", true),
       {"--station", "ELC9", "--network", "IV", "--station-lat", "32.794", "--station-lon", "-115.549",
        "--first-sample", "1940-05-19T04:36:41.5", "--origin-time", "1940-05-19T04:36:40Z", "--event-lat",
        "32.733", "--event-lon", "-115.5", "--event-depth", "8.8", "--magnitude", "6.95", "--magnitude-type", "Mw"}},
      {"cols.txt", "0 1\n0.01 2\n",
       {"--unit", "gal", "--station", "TCU068", "--component", "HLE", "--azimuth", "90", "--dip", "0",
        "--sensor-depth", "30", "--station-elev", "-20.5"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    const auto back = convert_test::convertAndRead(d, d.write(r.name, r.contents), r.opts,
                                                   "recording/" + std::to_string(&r - rows.data()) + "_" + r.name);
    // The parser reads back every key line written.
    std::size_t keys = 0;
    for (std::size_t k = 1; k < back.h.skipl.size(); ++k, ++keys) {
      const std::string& l = back.h.skipl[k];
      if (l.find(": ") == std::string::npos || l.rfind("kibconv", 0) == 0 || l.rfind("window", 0) == 0) break;
    }
    EXPECT_GT(keys, 5u);
    EXPECT_EQ(recinfo::describe(readInfo(back)).size(), keys);
  }
}

TEST(Recording, StationLabelsKeepANetworksStationsDistinct) {
  const std::pair<const char*, const char*> rows[] = {
      {"KMMH16", "KMM16"}, {"KMMH14", "KMM14"}, {"MYG004", "MY004"}, {"IBRH10", "IBR10"},
      {"CLC", "CLC"}, {"ABCDE", "ABCDE"}, {"TOWNHALL", "TOWNH"}, {"X123456", "X1234"}, {"AB12345", "AB123"}};
  for (const auto& [code, label] : rows) EXPECT_EQ(convert::stationLabel(code), label) << code;
}

// Windows by UTC time, by origin time, by a predicted arrival whose time is
// known exactly (station above the hypocentre: 10 km at 2.5 km/s is 4 s),
// and by the pick of an arrival made at a known sample.
TEST(Recording, WindowsByTimeArrivalAndPick) {
  TempDir d;
  SacFile sac;
  sac.i[0] = 2019, sac.i[1] = 187, sac.i[2] = 3, sac.i[3] = 19, sac.i[4] = 50, sac.i[5] = 0;
  sac.f[5] = 0.0f, sac.f[7] = 2.0f;  // b, o: the origin 2 s after the first sample
  sac.f[31] = 35.0f, sac.f[32] = -117.0f, sac.f[35] = 35.0f, sac.f[36] = -117.0f, sac.f[38] = 10.0f;
  std::vector<float> x(2000);
  for (std::size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(k);
  sac.samples(x);
  const auto in = d.write("a.sac", sac.binary(false));
  const auto c = arrivalAt(4000, 2345);
  const auto kn = d.write("KMMH161604160125.EW", knet(c));
  struct Row {
    std::string input;
    std::vector<std::string> opts;
    float firstValue;  // the sample the window starts at (a.sac holds its index)
    std::size_t count;
    std::string firstSample;
  };
  const std::vector<Row> rows = {
      {in, {"--from-time", "2019-07-06T03:19:51.004", "--to-time", "2019-07-06T03:19:52"}, 100, 101,
       "2019-07-06T03:19:51.000Z"},
      {in, {"--from-time", "origin-1.5", "--to-time", "origin+0.25"}, 50, 176, "2019-07-06T03:19:50.500Z"},
      {in, {"--from-time", "S-1", "--to-time", "S+10", "--vs", "2.5"}, 500, 1101, "2019-07-06T03:19:55.000Z"},
      {in, {"--from-time", "P", "--vp", "5", "--unit", "gal"}, 400, 1600, "2019-07-06T03:19:54.000Z"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.opts[1]);
    auto opts = r.opts;
    if (std::find(opts.begin(), opts.end(), "--unit") == opts.end()) opts.insert(opts.end(), {"--unit", "gal"});
    const auto back = convert_test::convertAndRead(d, r.input, opts, "windows/" + std::to_string(&r - rows.data()));
    ASSERT_FALSE(back.x.empty());
    EXPECT_EQ(back.x.front(), r.firstValue);
    EXPECT_EQ(back.x.size(), r.count);
    EXPECT_EQ(iso(readInfo(back).firstSample), r.firstSample);
  }
  // The picker finds the arrival made at sample 2346 (index 2345), searched
  // from the origin on; the pick, printed on standard output, is in the
  // stored copy.
  const auto back = convert_test::convertAndRead(d, kn, {"--from-time", "pick-1", "--to-time", "pick+2"}, "windows/pick");
  EXPECT_EQ(back.x.size(), 301u);
  EXPECT_EQ(iso(readInfo(back).firstSample), "2016-04-15T16:25:27.450Z");  // 05.000 + 22.45 s
}

TEST(Picker, FindsASharpOnsetToTheSampleAtAnyRate) {
  for (int isps : {50, 100, 200}) {
    for (std::size_t onset : {std::size_t(1100), std::size_t(2222), std::size_t(3999)}) {
      const auto c = arrivalAt(5000, onset);
      std::vector<float> x(c.begin(), c.end());
      const auto p = convert::pickFirstArrival(x, isps, 0, {});
      ASSERT_TRUE(p) << isps << " " << onset;
      EXPECT_EQ(p->onset, onset) << isps;
      EXPECT_GE(p->trigger, onset);
      EXPECT_GE(p->ratio, 4.0);
    }
  }
  // Noise alone, or a record shorter than the two windows: no pick.
  const auto quiet = arrivalAt(3000, 5000);
  EXPECT_FALSE(convert::pickFirstArrival(std::vector<float>(quiet.begin(), quiet.end()), 100, 0, {}));
  EXPECT_FALSE(convert::pickFirstArrival(std::vector<float>(500, 1.0f), 100, 0, {}));
}

TEST(Recording, RefusalsNameTheOptionThatSupplies) {
  TempDir d;
  SacFile bare;  // no times, no coordinates
  const auto in = d.write("b.sac", bare.binary(false));
  SacFile timed = bare;
  timed.i[0] = 2019, timed.i[1] = 187, timed.i[2] = 3, timed.i[3] = 19, timed.i[4] = 50, timed.i[5] = 0;
  timed.f[5] = 0.0f;
  const auto t = d.write("t.sac", timed.binary(false));
  const auto out = d.file("o.kib");
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{in, "-o", out, "--from-time", "2019-07-06T03:19:50"}, "--from-time: the input does not give the time of its first sample; give it with --first-sample TIME (UTC)"},
      {{t, "-o", out, "--from-time", "origin+1"}, "--from-time: the input does not give the event's origin time; give it with --origin-time TIME (UTC)"},
      {{t, "-o", out, "--to-time", "S+1", "--origin-time", "2019-07-06T03:19:50"}, "--to-time: give the S-wave speed with --vs KM/S"},
      {{t, "-o", out, "--to-time", "S+1", "--vs", "3.5", "--origin-time", "2019-07-06T03:19:50", "--event-lat", "35", "--event-lon", "-117"},
       "--to-time: the input does not give the event's depth; give it with --event-depth"},
      {{t, "-o", out, "--from-time", "2019-07-06T03:19:49.99"}, "--from-time: 2019-07-06T03:19:49.99 is -0.010 s after the first sample, outside the record (0 to 0.02 s)"},
      {{t, "-o", out, "--from-time", "pick"}, "--from-time: no arrival picked: STA/LTA (0.5 s / 10 s) never reaches 4 after 0 s of the record; lower --pick-ratio or cut by time"},
      {{t, "-o", out, "--from-time", "Q+1"}, "--from-time: 'Q+1' is not a UTC time (2019-07-06T03:19:50) or origin, P, S or pick with seconds after it (origin-10, S+30)"},
      {{t, "-o", out, "--from-time", "S+x"}, "--from-time: 'S+x' is not a UTC time (2019-07-06T03:19:50) or origin, P, S or pick with seconds after it (origin-10, S+30)"},
      {{t, "-o", out, "--from-time", "origin", "--from", "1"}, "--from-time/--to-time: cannot be combined with --start/--npts or --from/--to"},
      {{t, "-o", out, "--station-lat", "91"}, "--station-lat: '91' is not a latitude in degrees (-90 to 90)"},
      {{t, "-o", out, "--station-lon", "360.5"}, "--station-lon: '360.5' is not a longitude in degrees (-180 to 360)"},
      {{t, "-o", out, "--dip", "-95"}, "--dip: '-95' is not a dip in degrees (-90 up) (-90 to 90)"},
      {{t, "-o", out, "--origin-time", "2019-07-06 25:00:00"}, "--origin-time: '2019-07-06 25:00:00' is not a UTC time such as 2019-07-06T03:19:53.04"},
      {{t, "-o", out, "--station", "A B"}, "--station: 'A B' is not a code of 1 to 24 characters without blanks"},
  };
  for (const auto& [args, message] : rows) convert_test::expectRefusal(args, message);
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
