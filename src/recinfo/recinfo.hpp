// What a record knows of its station, component, time and event, written
// into and read back from a KIBTRACE record's comment lines, and the UTC
// calendar those lines use.
//
// The text form is one "key: value" line per known value, in this order:
//
//   network: CI                      station-elevation-m: 775
//   station: CLC                     sensor-depth-m: 0
//   location: 00                     component: HNE
//   station-name: China Lake         component-azimuth: 90
//   station-latitude: 35.81574       component-dip: 0
//   station-longitude: -117.59751    first-sample: 2019-07-06T03:19:50.000Z
//   event: Ridgecrest M7.1           event-latitude: 35.7695
//   event-origin: 2019-07-06T03:19:53.040Z
//   event-longitude: -117.5993       event-magnitude: 7.1
//   event-depth-km: 8                event-magnitude-type: Mw
//
// Numbers are written in the shortest text that reads back to the same
// double; times as ISO 8601 UTC with a "Z", to the millisecond (to the
// microsecond when that is not whole). Units are those of model::Recording:
// degrees, metres for the station's elevation and the sensor's depth,
// kilometres for the event's depth. A line longer than a record's 80
// columns goes on in lines that start with two blanks. Other comment lines
// (free text) are passed over, as are keys this version does not know.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/recording.hpp"

namespace recinfo {

// ---------------------------------------------------------------- calendar

// The time of a proleptic Gregorian date and time of day (no checks).
model::UtcTime utcFromCivil(int year, int month, int day, int hour, int minute, int second,
                            int microsecond = 0);
// The same from a year and a day of the year (1-based).
model::UtcTime utcFromDayOfYear(int year, int yday, int hour, int minute, int second,
                                int microsecond = 0);

// "YYYY-MM-DDThh:mm:ss" or "YYYY/MM/DD hh:mm:ss" (either separator pair,
// 'T' or a blank between date and time), an optional fraction of a second
// (rounded to the microsecond) and an optional "Z". Nothing for any other
// text or a date or time out of range.
std::optional<model::UtcTime> parseUtc(std::string_view text);

// "2019-07-06T03:19:53.040Z" (microseconds when not a whole millisecond).
std::string isoText(model::UtcTime t);
// "2019/07/06 03:19" (cut to the minute).
std::string minuteText(model::UtcTime t);

// `t` moved by `seconds`, rounded to the microsecond.
model::UtcTime plusSeconds(model::UtcTime t, double seconds);
// `t` rounded to the nearest millisecond.
model::UtcTime roundedToMillisecond(model::UtcTime t);
// b - a in seconds.
double secondsBetween(model::UtcTime a, model::UtcTime b);

// ---------------------------------------------------------------- comment lines

inline constexpr std::size_t kLineWidth = 80;

// The "key: value" lines of every value `r` holds, each at most kLineWidth
// columns (longer ones go on in lines starting with two blanks).
std::vector<std::string> describe(const model::Recording& r);

// What comment lines say, and the lines that say it wrongly.
struct Parsed {
  model::Recording recording;
  std::vector<std::string> problems;  // "comment line 7: station-latitude '95' is not a latitude"
};

// Reads the key lines among a record's comment lines (blank padded or not;
// the first is comment line 1). A key given twice keeps its last value and
// is reported, as is a value that is not what its key holds.
Parsed parse(std::span<const std::string> lines);

// Whether a latitude, a longitude is a position on the Earth.
bool validLatitude(double degrees);
bool validLongitude(double degrees);

}  // namespace recinfo
