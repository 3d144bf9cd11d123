// A record's description in its comment lines: written and read back to
// the same values, every key's refusal, and the UTC calendar.
#include <gtest/gtest.h>

#include "recinfo/recinfo.hpp"

namespace {

using recinfo::isoText;
using recinfo::parseUtc;

model::Recording full() {
  model::Recording r;
  r.station = {"BO", "KMMH16", "", "Mashiki, a long name of a station in a town in Kumamoto prefecture on Kyushu",
               32.7967, 130.8199, 194.0, 252.0};
  r.component = {"NS2", 0.0, 0.0};
  r.firstSample = recinfo::utcFromCivil(2016, 4, 15, 16, 25, 20, 123456);
  r.event = {"2016 Kumamoto", recinfo::utcFromCivil(2016, 4, 15, 16, 25, 5, 470000), 32.7545,
             130.7630, 12.45, 7.3, "MJMA"};
  return r;
}

TEST(CommentLines, WrittenAndReadBackExactly) {
  const model::Recording r = full();
  std::vector<std::string> lines = recinfo::describe(r);
  for (const auto& l : lines) EXPECT_LE(l.size(), recinfo::kLineWidth) << l;
  EXPECT_EQ(lines[0], "network: BO");
  EXPECT_EQ(lines[1], "station: KMMH16");
  // The long name goes on in a second line.
  EXPECT_EQ(lines[3].substr(0, 2), "  ");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "first-sample: 2016-04-15T16:25:20.123456Z"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "event-origin: 2016-04-15T16:25:05.470Z"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "event-depth-km: 12.45"), lines.end());
  // Read back among free comment lines, blank padded to 80 columns as a
  // record's reader gives them.
  lines.insert(lines.begin(), "kibconv: converted from x.NS2");
  lines.insert(lines.begin() + 3, "window: samples 1 to 100");
  for (auto& l : lines) l.resize(80, ' ');
  const auto parsed = recinfo::parse(lines);
  EXPECT_TRUE(parsed.problems.empty()) << parsed.problems.front();
  // Numbers are written in their shortest exact text, times to the
  // microsecond: the same lines are the same values.
  EXPECT_EQ(recinfo::describe(parsed.recording), recinfo::describe(r));
  // Nothing known, nothing written.
  EXPECT_TRUE(recinfo::describe(model::Recording{}).empty());
}

TEST(CommentLines, WrongValuesAreReportedWithTheirLine) {
  const std::vector<std::string> lines = {
      "station: ABC",
      "station-latitude: 95",
      "station-longitude: east",
      "component-dip: -91",
      "first-sample: 2019-02-29T00:00:00Z",
      "event-depth-km: 801",
      "station: DEF",
      "unknown-key: 5",
      "component-azimuth: 360",
      "event-magnitude: +5.5",  // a sign some archives write
  };
  const auto p = recinfo::parse(lines);
  const std::vector<std::string> want = {
      "comment line 2: station-latitude '95' is not a latitude in degrees (-90 to 90)",
      "comment line 3: station-longitude 'east' is not a longitude in degrees (-180 to 360)",
      "comment line 4: component-dip '-91' is not a dip in degrees (-90 to 90)",
      "comment line 5: first-sample '2019-02-29T00:00:00Z' is not a UTC time such as 2019-07-06T03:19:53.040Z",
      "comment line 6: event-depth-km '801' is not a depth in kilometres (-10 to 800)",
      "comment line 7: station is given a second time; the last is kept",
  };
  EXPECT_EQ(p.problems, want);
  EXPECT_EQ(p.recording.station.code, "DEF");
  EXPECT_EQ(p.recording.component.azimuth, 360.0);
  EXPECT_EQ(p.recording.event.magnitude, 5.5);
  EXPECT_FALSE(p.recording.station.latitude);
}

TEST(Calendar, Rows) {
  EXPECT_EQ(isoText(recinfo::utcFromDayOfYear(2020, 60, 12, 30, 15, 250000)), "2020-02-29T12:30:15.250Z");
  EXPECT_EQ(isoText(recinfo::utcFromDayOfYear(1999, 365, 23, 59, 59, 999000) ), "1999-12-31T23:59:59.999Z");
  EXPECT_EQ(isoText(recinfo::utcFromCivil(2020, 1, 1, 1, 0, 0)), "2020-01-01T01:00:00.000Z");  // an hour's edge
  EXPECT_EQ(isoText(model::UtcTime{-1000}), "1969-12-31T23:59:59.999Z");
  EXPECT_EQ(isoText(model::UtcTime{-1}), "1969-12-31T23:59:59.999999Z");
  // 13.999998 s is 14.000 to the millisecond; half a millisecond rounds up.
  EXPECT_EQ(isoText(recinfo::roundedToMillisecond(recinfo::utcFromCivil(2019, 7, 6, 3, 19, 13, 999998))),
            "2019-07-06T03:19:14.000Z");
  EXPECT_EQ(isoText(recinfo::roundedToMillisecond(model::UtcTime{-1500})), "1969-12-31T23:59:59.999Z");
  EXPECT_EQ(isoText(recinfo::plusSeconds(recinfo::utcFromCivil(2019, 12, 31, 23, 59, 59), 1.0000004)),
            "2020-01-01T00:00:00.000Z");
  EXPECT_DOUBLE_EQ(recinfo::secondsBetween(recinfo::utcFromCivil(2011, 3, 11, 14, 46, 0),
                                           recinfo::utcFromCivil(2011, 3, 11, 5, 46, 0)), -32400.0);
  auto parsed = [](const char* text) {
    const auto t = parseUtc(text);
    return t ? isoText(*t) : std::string("refused");
  };
  EXPECT_EQ(parsed("2011/03/11 14:46:00"), "2011-03-11T14:46:00.000Z");
  EXPECT_EQ(parsed("2019-07-06T03:19:53.0409Z"), "2019-07-06T03:19:53.040900Z");
  EXPECT_EQ(parsed("2019-07-06T03:19:53.12345651"), "2019-07-06T03:19:53.123457Z");
  for (const char* bad : {"2019-02-29T00:00:00", "2011/04/31 00:00:00", "2011/03/11 24:00:00", "2011/03/11 14:46",
                          "2011/03-11 14:46:00", "2011/03/11 14:46:00 JST", "2011/03/11 14:46:00."})
    EXPECT_EQ(parsed(bad), "refused") << bad;
}

}  // namespace
