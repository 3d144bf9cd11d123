// What strong-motion networks publish: K-NET and KiK-net ASCII, COSMOS V2
// and miniSEED (packed here by libmseed itself, Steim-2), each written from
// a known series, converted by kibconv and read back by the program's own
// reader; then every refusal of these readers.
#include <gtest/gtest.h>
#include <libmseed.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <type_traits>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"

namespace {

using convert_test::TempDir;

std::vector<float> wiggle(std::size_t n, double amplitude) {
  std::vector<float> x(n);
  for (std::size_t k = 0; k < n; ++k) x[k] = static_cast<float>(amplitude * std::sin(0.37 * k) * std::exp(-0.004 * k));
  return x;
}

// Integer counts of a decaying wiggle around an offset of 1000.
std::vector<std::int32_t> counts(std::size_t n) {
  std::vector<std::int32_t> c(n);
  for (std::size_t k = 0; k < n; ++k)
    c[k] = 1000 + static_cast<std::int32_t>(std::lround(2.0e6 * std::sin(0.23 * k) * std::exp(-0.003 * k)));
  return c;
}

// A K-NET file: 100 Hz, 7845(gal)/8223790. `edit` replaces header line
// `line` (1-based) when set.
std::string knet(const std::vector<std::int32_t>& c, const std::string& dir, double maxAcc,
                 int line = 0, const std::string& edit = "") {
  char peak[32];
  std::snprintf(peak, sizeof peak, "%.3f", maxAcc);
  std::vector<std::pair<std::string, std::string>> h = {
      {"Origin Time", "2011/03/11 14:46:00"}, {"Lat.", "38.103"}, {"Long.", "142.860"},
      {"Depth. (km)", "24"}, {"Mag.", "9.0"}, {"Station Code", "MYG004"}, {"Station Lat.", "38.7325"},
      {"Station Long.", "141.0212"}, {"Station Height(m)", "230"}, {"Record Time", "2011/03/11 14:46:59"},
      {"Sampling Freq(Hz)", "100Hz"}, {"Duration Time(s)", std::to_string(c.size() / 100)}, {"Dir.", dir},
      {"Scale Factor", "7845(gal)/8223790"}, {"Max. Acc. (gal)", peak}, {"Last Correction", "2011/03/11 14:46:44"},
      {"Memo.", ""}};
  if (line > 0) h[static_cast<std::size_t>(line - 1)] = {"", edit};
  return convert_test::knetFile(h, c);
}

// The series a K-NET file must give: counts less their mean times N/M,
// rounded once to float.
std::vector<float> knetGal(const std::vector<std::int32_t>& c) {
  double mean = 0.0;
  for (auto v : c) mean += v;
  mean /= static_cast<double>(c.size());
  std::vector<float> x;
  for (auto v : c) x.push_back(static_cast<float>((v - mean) * (7845.0 / 8223790.0)));
  return x;
}

// One COSMOS channel: 13 text lines, 100 integers (10I8), 100 reals
// (5F15.6), one comment, the acceleration block and `more` (further
// blocks); `ints` override integer values by their 1-based number.
std::string cosmos(const std::string& station, int azimuth, const std::string& units, const std::string& fmt,
                   int perLine, const std::vector<std::string>& values, std::map<int, long> ints = {},
                   const std::string& dataLine = "", const std::string& more = "") {
  std::string s = "Corrected acceleration    (Format v01.20 with 13 text lines) Src: test\n";
  for (int l = 2; l <= 12; ++l)
    s += l == 5 ? "Statn No: 05-24278  Code:CE-" + station + "  CGS  Castaic Old Ridge\n" : "text line\n";
  s += "Values used when parameter or data value is unknown/unspecified:   -999 -999.0\n";
  std::map<int, long> iv = {{1, 2}, {2, 1}, {3, 4}, {40, 2019}, {42, 7}, {43, 6}, {44, 3}, {45, 19}, {54, azimuth}};
  for (auto [k, v] : ints) iv[k] = v;
  s += " 100 Integer-header values follow on  10 lines, Format= (10I8)\n";
  char buf[64];
  for (int k = 1; k <= 100; ++k) {
    std::snprintf(buf, sizeof buf, "%8ld", iv.count(k) ? iv[k] : -999L);
    s += buf + std::string(k % 10 == 0 ? "\n" : "");
  }
  s += " 100 Real-header values follow on  20 lines, Format= (5F15.6)\n";
  for (int k = 1; k <= 100; ++k) {
    std::snprintf(buf, sizeof buf, "%15.6f", k == 62 ? 5.0 : k == 30 ? 43.04 : -999.0);
    s += buf + std::string(k % 5 == 0 ? "\n" : "");
  }
  s += "   1 Comment line(s) follow, each starting with a \"|\":\n| test record\n";
  s += dataLine.empty() ? std::to_string(values.size()) + " acceleration pts, approx  1 secs, units=" + units +
                              ",Format=" + fmt + "\n"
                        : dataLine + "\n";
  for (std::size_t k = 0; k < values.size(); ++k)
    s += values[k] + (static_cast<int>(k) % perLine == perLine - 1 || k + 1 == values.size() ? "\n" : "");
  return s + more + "End-of-data for Chan  1 acceleration\n";
}

// The same values in %10.5f (they run together when negative) or %15.6E.
std::vector<std::string> texts(const std::vector<float>& x, const char* fmt) {
  std::vector<std::string> out;
  for (float v : x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, fmt, static_cast<double>(v));
    out.push_back(buf);
  }
  return out;
}

std::vector<float> read(const std::vector<std::string>& t, float factor) {
  std::vector<float> x;
  for (const auto& s : t) x.push_back(std::strtof(s.c_str(), nullptr) * factor);
  return x;
}

void collect(char* record, int length, void* out) { static_cast<std::string*>(out)->append(record, length); }

// Records of one channel packed by libmseed in 512-byte records: integer
// counts in Steim-2, or floats (values already in a unit) as 32-bit floats.
template <typename T>
std::string mseedOf(const std::string& cha, const std::vector<T>& c, hptime_t start) {
  MSTrace* t = mst_init(nullptr);
  std::strcpy(t->network, "CI"), std::strcpy(t->station, "CLC"), std::strcpy(t->channel, cha.c_str());
  t->starttime = start;
  t->samprate = 100.0;
  t->sampletype = std::is_same_v<T, float> ? 'f' : 'i';
  t->numsamples = t->samplecnt = static_cast<int64_t>(c.size());
  t->datasamples = std::malloc(c.size() * 4);
  std::memcpy(t->datasamples, c.data(), c.size() * 4);
  std::string out;
  int64_t packed = 0;
  EXPECT_GT(mst_pack(t, collect, &out, 512, std::is_same_v<T, float> ? DE_FLOAT32 : DE_STEIM2, 1,
                     &packed, 1, 0, nullptr),
            1);
  mst_free(&t);
  return out;
}

std::string mseed(const std::string& cha, const std::vector<std::int32_t>& c, hptime_t start) {
  return mseedOf(cha, c, start);
}

const hptime_t kStart = ms_time2hptime(2019, 187, 3, 19, 43, 40000);  // 2019-07-06T03:19:43.040

// A StationXML of one channel; `stages` holds the gains of its response
// stages (none when empty).
std::string stationXml(const std::string& units, const std::string& value = "427000",
                       const std::vector<std::string>& stages = {}) {
  std::string stageText;
  for (std::size_t k = 0; k < stages.size(); ++k)
    stageText += "<Stage number=\"" + std::to_string(k + 1) + "\"><StageGain><Value>" + stages[k] +
                 "</Value><Frequency>1.0</Frequency></StageGain></Stage>\n";
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<FDSNStationXML xmlns="http://www.fdsn.org/xml/station/1" schemaVersion="1.1"><Source>test</Source>
<Network code="CI"><Station code="CLC"><Channel code="HNE" locationCode="" startDate="2000-01-01T00:00:00">
<Response><InstrumentSensitivity><Value>)" + value + R"(</Value><Frequency>1.0</Frequency>
<InputUnits><Name>)" + units + R"(</Name></InputUnits><OutputUnits><Name>counts</Name></OutputUnits>
</InstrumentSensitivity>
)" + stageText + R"(</Response></Channel></Station></Network></FDSNStationXML>
)";
}

TEST(Networks, ConvertedSeriesReadBackExactly) {
  TempDir d;
  const auto c = counts(3000);
  const auto gal = knetGal(c);
  float peak = 0.0f;
  for (float v : gal) peak = std::max(peak, std::fabs(v));
  const std::vector<float> acc = wiggle(400, 80.0);
  const auto t1 = texts(acc, "%10.5f"), t2 = texts(acc, "%15.6E");
  // A V2 channel goes on with its velocity block, which is passed over.
  const std::string velocity = "3 velocity pts, approx 1 secs, units=cm/sec(05),Format=(8F10.5)\n"
                               "   1.00000  -2.00000   3.00000\n";
  // The second channel's first sample on the first of the month.
  const std::string twoChannels = cosmos("24278", 90, "cm/sec2(04)", "(8F10.5)", 8, t1, {}, "", velocity) +
                                  cosmos("24278", 400, "g (02)", "(5E15.7)", 5, t2, {{3, 2}, {43, 1}});
  std::vector<float> perUnit;
  for (auto v : c) perUnit.push_back(static_cast<float>(v / 427000.0) * 100.0f);  // m/s/s to gal
  // Station, component, unit and the notes are in each record's stored copy.
  struct Row {
    std::string name, contents;
    std::vector<std::string> opts;
    std::vector<float> want;
  };
  const std::vector<Row> rows = {
      {"MYG0041103111446.NS", knet(c, "N-S", peak), {}, gal},
      {"IWTH250103111446.EW2", knet(c, "E-W", peak), {}, gal},
      {"IWTH250103111446.UD1", knet(c, "3", peak), {"--station", "IWTH2"}, gal},
      {"MYG0041103111446.EW", knet(c, "E-W", peak + 0.002f), {}, gal},  // differs from the header's peak
      {"two.v2", twoChannels, {"--channel", "1"}, read(t1, 1.0f)},
      {"two.v2", twoChannels, {"--channel", "2"}, read(t2, 980.665f)},
      {"clc.mseed", mseed("HNE", c, kStart), {"--counts-per-unit", "213909", "--unit", "m/s/s"},
       [&] { std::vector<float> x; for (auto v : c) x.push_back(static_cast<float>(v / 213909.0) * 100.0f); return x; }()},
      {"clc.mseed", mseed("HNE", c, kStart), {"--stationxml", d.write("clc.xml", stationXml("M/S**2"))}, perUnit},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name + " " + (r.opts.empty() ? "" : r.opts[0] + " " + r.opts[1]));
    const auto back = convert_test::convertAndRead(d, d.write(r.name, r.contents), r.opts,
                                                   "networks/" + std::to_string(&r - rows.data()) + "_" + r.name);
    EXPECT_EQ(back.x, r.want);
    EXPECT_EQ(back.isps, r.name.find("v2") != std::string::npos ? 200 : 100);
  }
}

// Faults met on real files: a float miniSEED written after a response
// removal on a velocity channel, a StationXML whose overall sensitivity is
// ten times off its stages, a last record cut short, a start time a hair
// before the millisecond.
TEST(Networks, FaultsOfRealFilesAreHandled) {
  TempDir d;
  const auto c = counts(800);
  std::vector<float> ms2;
  for (auto v : c) ms2.push_back(static_cast<float>(v) * 1e-6f);
  std::vector<float> gal;
  for (float v : ms2) gal.push_back(v * 100.0f);
  const std::string ok = mseed("HNE", c, kStart);
  const std::string xml = d.write("gains.xml", stationXml("M/S**2", "25635.4", {"1.0", "256354", "1"}));
  auto divided = [&](double by) {
    std::vector<float> x;
    for (auto v : c) x.push_back(static_cast<float>(v / by) * 100.0f);
    return x;
  };
  // Each note (the sensor, the sensitivity used and the other one, the
  // records cut short) is in the record's stored copy.
  struct Row {
    std::string name, contents;
    std::vector<std::string> opts;
    std::vector<float> want;
  };
  const std::vector<Row> rows = {
      {"hhz.mseed", mseedOf("HHZ", ms2, kStart), {"--counts-per-unit", "1", "--unit", "m/s/s"}, gal},
      {"s.mseed", ok, {"--stationxml", xml, "--sensitivity", "stages"}, divided(256354)},
      {"o.mseed", ok, {"--stationxml", xml, "--sensitivity", "overall"}, divided(25635.4)},
      {"t.mseed", ok.substr(0, ok.size() - 100), {"--counts-per-unit", "1", "--unit", "gal", "--allow-truncated"},
       std::vector<float>(c.begin(), c.end())},
      // 03:19:43.039998 is 43.040 to the millisecond.
      {"r.mseed", mseed("HNE", c, kStart - 2), {"--counts-per-unit", "1", "--unit", "gal"}, std::vector<float>(c.begin(), c.end())},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    const auto back = convert_test::convertAndRead(d, d.write(r.name, r.contents), r.opts,
                                                   "faults/" + std::to_string(&r - rows.data()) + "_" + r.name);
    if (r.name == "t.mseed") {
      // Seven whole records: as many samples as they hold, the first ones of the series.
      ASSERT_LT(back.x.size(), c.size());
      EXPECT_EQ(back.x, std::vector<float>(r.want.begin(), r.want.begin() + back.x.size()));
    } else {
      EXPECT_EQ(back.x, r.want);
    }
  }
  // Without a choice the disagreement is refused with both numbers.
  convert_test::expectRefusal({d.write("x.mseed", ok), "-o", d.file("x.kib"), "--stationxml", xml},
                              xml + ": CI.CLC..HNE InstrumentSensitivity Value 25635.4 disagrees with the product of its stage gains, 256354; choose one with --sensitivity overall or --sensitivity stages");
}

TEST(Networks, EveryRefusalIsOneLine) {
  TempDir d;
  const auto c = counts(800);
  const auto six = texts({1, 2, 3, 4, 5, 6}, "%10.5f");
  const std::string vel = cosmos("1", 90, "", "", 8, six, {}, "6 velocity pts, approx 1 secs, units=cm/sec(05),Format=(8F10.5)");
  const std::string two = cosmos("1", 90, "cm/sec2(04)", "(8F10.5)", 8, six) + cosmos("2", 0, "cm/sec2(04)", "(8F10.5)", 8, six);
  const std::string ok = mseed("HNE", c, kStart);
  const std::string second = mseed("HNE", c, kStart + 8 * HPTMODULUS + HPTMODULUS / 2);  // 0.5 s after the first ends
  // The first record's last sample (Steim frame 0, word 2) one count off.
  std::string corrupt = ok;
  ++corrupt[static_cast<unsigned char>(ok[44]) * 256 + static_cast<unsigned char>(ok[45]) + 11];
  const std::string instead = ": this sensitivity does not give acceleration; if the samples are acceleration (written "
                              "after a response removal), give their sensitivity with --counts-per-unit VALUE --unit U "
                              "instead of --stationxml";
  convert_test::expectRefusals(d, {
      // K-NET: each header line by what it should hold; the counts.
      {"a.NS", knet(c, "N-S", 1, 11, "Sampling Freq(Hz) 100"), {}, ": K-NET header line 11 should hold 'Sampling Freq(Hz)' and a rate such as 100Hz, not 'Sampling Freq(Hz) 100'"},
      {"b.NS", knet(c, "N-S", 1, 6, "Station Name      MYG004"), {}, ": K-NET header line 6 should hold 'Station Code' and a station code such as MYG004, not 'Station Name      MYG004'"},
      {"c.NS", knet(c, "N-S", 1, 14, "Scale Factor      7845/8223790"), {}, ": K-NET header line 14 should hold 'Scale Factor' and a scale factor such as 7845(gal)/8223790, not 'Scale Factor      7845/8223790'"},
      {"d.NS", knet(c, "N-S", 1, 1, "Origin Time       2011/13/11 14:46:00"), {}, ": K-NET header line 1 should hold 'Origin Time' and a time such as 2011/03/11 14:46:00, not 'Origin Time       2011/13/11 14:46:00'"},
      {"e.NS", knet(c, "X-Y", 1), {}, ": K-NET header line 13 should hold 'Dir.' and a direction N-S, E-W, U-D or 1 to 6, not 'Dir.              X-Y'"},
      {"f.NS", knet(c, "N-S", 1) + "12 12.5\n", {}, ": line 118: '12.5' is not an integer count"},
      {"g.NS", knet(c, "N-S", 1, 12, "Duration Time(s)  9"), {}, ": K-NET header line 12 gives 9 s at 100 Hz (900 samples), but the file holds 800 counts"},
      // COSMOS.
      {"u.v2", cosmos("1", 90, "cm/sec2(99)", "(8F10.5)", 8, six), {}, ": COSMOS line 48: units code 99 is not an acceleration unit kibconv reads (2 g, 4 cm/s/s, 10 gal)"},
      {"v.v2", vel, {}, ": the COSMOS file holds no acceleration block (its first data line is '6 velocity pts, approx 1 secs, units=cm/sec(05),Format=(8F10.5)')"},
      {"w.v2", cosmos("1", 90, "", "", 8, six, {}, "8 acceleration pts, approx 1 secs, units=cm/sec2(04),Format=(8F10.5)"), {}, ": COSMOS line 48 says 8 acceleration values, but 6 follow before COSMOS line 50"},
      {"x.v2", cosmos("1", 90, "cm/sec2(04)", "(8F10.5)", 8, {"   1.00000", "   2.00000", "         x"}), {}, ": acceleration value 3 of COSMOS line 48, 'x', is not a number"},
      {"t.v2", [&] { auto s = vel; s.replace(s.find("with 13 text lines"), 18, "with 12 text lines"); return s; }(), {}, ": COSMOS line 1 should be a text header's first line such as 'Corrected acceleration (Format v01.20 with 13 text lines)', not 'Corrected acceleration    (Format v01.20 with 12 text lines) Src: test'"},
      {"y.v2", [&] { auto s = vel; s.replace(s.find(" 100 Integer"), 4, " 1OO"); return s; }(), {}, ": COSMOS line 14 should be the integer header line such as '100 Integer-header values follow on 10 lines, Format= (10I8)', not '1OO Integer-header values follow on  10 lines, Format= (10I8)'"},
      {"y.v2", [&] { auto s = vel; s.replace(s.find("Integer-header"), 7, "Counted"); return s; }(), {}, ": COSMOS line 14 should be the integer header line such as '100 Integer-header values follow on 10 lines, Format= (10I8)', not '100 Counted-header values follow on  10 lines, Format= (10I8)'"},
      {"z.v2", two, {}, ": the COSMOS file holds 2 acceleration channels (1 = CE.1 090, 2 = CE.2 000); choose one with --channel N"},
      {"z.v2", two, {"--channel", "3"}, "--channel: '3' is not one of the COSMOS file's acceleration channels (1 = CE.1 090, 2 = CE.2 000)"},
      // miniSEED.
      {"t.mseed", ok.substr(0, ok.size() - 100), {"--counts-per-unit", "1", "--unit", "g"}, ": the last record (8, at byte " + std::to_string(ok.size() - 512) + ") is cut short: 100 more bytes are needed (a truncated file); the 7 records before it are complete, and --allow-truncated converts those"},
      {"t1.mseed", ok.substr(0, 500), {"--counts-per-unit", "1", "--unit", "g", "--allow-truncated"}, ": the last record (1, at byte 0) is cut short: 12 more bytes are needed (a truncated file)"},
      {"i.mseed", corrupt, {"--counts-per-unit", "1", "--unit", "g"}, ": miniSEED record at byte 0 cannot be read: CI_CLC__HNE_D: Warning: Data integrity check for Steim2 failed, Last sample=-1464127, Xn=-1464126"},
      {"gap.mseed", ok + second, {"--counts-per-unit", "1", "--unit", "g"}, ": CI.CLC..HNE has a gap of 0.5 s at 2019-07-06T03:19:51.040Z (record at byte " + std::to_string(ok.size()) + "); kibconv needs one unbroken series"},
      {"v.mseed", mseed("HHZ", c, kStart), {}, ": CI.CLC..HHZ is a velocity channel (instrument code H, a seismometer), and nothing says its samples are acceleration: if they are (written after a response removal), give --counts-per-unit 1 --unit U"},
      {"two.mseed", ok + mseed("HNZ", c, kStart), {}, ": the miniSEED file holds 2 channels (CI.CLC..HNE, CI.CLC..HNZ); choose one with --channel NET.STA.LOC.CHA"},
      {"two.mseed", ok + mseed("HNZ", c, kStart), {"--channel", "CI.CLC..HNN"}, "--channel: 'CI.CLC..HNN' is not in the miniSEED file, which holds CI.CLC..HNE, CI.CLC..HNZ"},
      {"g.mseed", knet(c, "N-S", 1), {"--format", "mseed"}, ": miniSEED record at byte 0 cannot be read: No SEED data detected"},
      {"n.mseed", ok, {}, ": miniSEED holds counts; give the overall sensitivity with --counts-per-unit VALUE --unit U or --stationxml FILE"},
      {"n.mseed", ok, {"--counts-per-unit", "5"}, "--counts-per-unit: needs --unit to say which unit the counts are counted in"},
      {"s.mseed", ok, {"--stationxml", d.write("v.xml", stationXml("M/S"))}, d.file("v.xml") + ": CI.CLC..HNE InputUnits 'M/S' are velocity" + instead},
      {"s.mseed", ok, {"--stationxml", d.write("v2.xml", stationXml("m/sec"))}, d.file("v2.xml") + ": CI.CLC..HNE InputUnits 'm/sec' are velocity" + instead},
      {"s.mseed", ok, {"--stationxml", d.write("d.xml", stationXml("CM"))}, d.file("d.xml") + ": CI.CLC..HNE InputUnits 'CM' are displacement" + instead},
      {"s.mseed", mseed("HNN", c, kStart), {"--stationxml", d.file("v.xml")}, d.file("v.xml") + ": holds no channel CI.CLC..HNN; it holds CI.CLC..HNE"},
      {"s.mseed", ok, {"--stationxml", d.write("bad.xml", "<a>\n<b></a>")}, d.file("bad.xml") + ": line 2: not readable XML: Start-end tags mismatch"},
      {"k.NS", knet(c, "N-S", 1), {"--channel", "1"}, "--channel: applies to COSMOS, CSMIP, GeoNet and miniSEED only; the knet input holds one channel"},
  });
}

}  // namespace
