// GeoNet (New Zealand) strong-motion records: V1A (uncorrected) and V2A
// (corrected, with velocity and displacement), the GNS accelerogram files.
//
// A file holds three components, each:
//   heading         16 lines of text: line 1 "Corrected accelerogram
//                   20161113_110256_WTMC_20 GNS Science" (or "Uncorrected");
//                   line 2 "Site WTMC  42 37 10S  173 03 13E ..."; line 3 the
//                   site's name; line 11 "Raw readings in units of 1.00
//                   mm/s/s at intervals of 0.005 s" (V1A); line 13
//                   "Component N28W" (or "Up"); line 14 "Acceleration:
//                   peak -9733.1 mm/s/s at 44.88 sec";
//   integers        40 values, 10I8: 1-6 the origin (UTC: year, month, day,
//                   hour, minute, seconds x 10); 11-16 the epicentre (degrees,
//                   minutes, seconds S; the same E); 17 the depth (km); 9, 10,
//                   19, 20, 39, 40 the buffer start (UTC: year, month, day,
//                   hour, minute, seconds x 1000); 21-26 the site (as the
//                   epicentre); 28 the component's direction (degrees E of N);
//                   32 the samples prepended; 34, 35, 36 the acceleration,
//                   velocity and displacement samples;
//   reals           60 values, 10F8: 26 the sample interval (s);
//   data            the acceleration (mm/s/s), then the velocity (mm/s) and
//                   displacement (mm) values, 10F8, each block from a new line.
// The header's times count from the buffer start; a V2A record begins with
// its prepended samples (a taper before the digitised record), so its first
// sample is the buffer start less those samples' duration.
// One component a conversion (--channel N).
#include <cmath>
#include <cstdio>

#include "convert/blocks.hpp"
#include "convert/convert.hpp"
#include "convert/util.hpp"
#include "recinfo/recinfo.hpp"

namespace convert {
namespace {

using detail::Cursor;
using detail::lower;
using detail::refuse;

constexpr std::size_t kHeadingLines = 16;
constexpr detail::Fixed kTenF8{10, 8, false};

struct Component {
  std::size_t first = 0;     // its heading's first line
  std::size_t counts = 0;    // the line of integers 31-40 (the sample counts)
  std::size_t dataLine = 0;  // the first line of the acceleration values
  std::vector<std::string_view> text;
  std::vector<long long> ints;  // integer values 1-40 at [0, 40)
  std::vector<double> reals;    // real values 1-60 at [0, 60)
  std::vector<std::string_view> acc;
};

// A block of `count` values fills whole lines of ten, its last line holding
// what is left and nothing more (a wrong count would otherwise shift the
// values of every block after it).
std::vector<std::string_view> block(Cursor& c, long long count, std::size_t header, std::string_view what) {
  if (count < 0) refuse(c.source, c.where(header) + " gives a negative count of " + std::string(what));
  const std::size_t from = c.at;
  auto v = detail::fields(c, count, kTenF8, header, what);
  const long long used = static_cast<long long>(c.at - from), want = (count + kTenF8.perLine - 1) / kTenF8.perLine;
  const std::string them = "the " + std::to_string(count) + " " + std::string(what) + " of " + c.where(header);
  if (used != want)
    refuse(c.source, them + " should fill " + std::to_string(want) + " lines of ten, but " + c.where(from) +
                         " to line " + std::to_string(c.at) + " hold them");
  const auto rem = static_cast<std::size_t>(count % kTenF8.perLine);
  const std::string_view last = count > 0 ? c.lines[c.at - 1] : std::string_view{};
  const std::size_t cols = rem * static_cast<std::size_t>(kTenF8.width);
  if (rem > 0 && last.size() > cols && !detail::trim(last.substr(cols)).empty())
    refuse(c.source, c.where(c.at - 1) + " holds more values than " + them);
  return v;
}

Component readComponent(Cursor& c) {
  Component k;
  k.first = c.at;
  if (lower(c.expect("a component's heading ('Corrected accelerogram ...')")).find("accelerogram") ==
      std::string::npos)
    c.bad("the first heading line of a component ('Corrected accelerogram ...' or 'Uncorrected accelerogram "
          "...'); a count of the values before it may be wrong");
  for (std::size_t l = 0; l < kHeadingLines; ++l) k.text.push_back(c.expect("the component's heading lines")), ++c.at;
  const std::size_t intsAt = c.at;
  for (auto f : detail::fields(c, 40, {10, 8, true}, intsAt, "integer heading values")) {
    const auto v = detail::parseInteger(f);
    if (!v) refuse(c.source, "integer heading value " + std::to_string(k.ints.size() + 1) + " after " +
                                 c.where(k.first) + ", '" + std::string(f) + "', is not a whole number");
    k.ints.push_back(*v);
  }
  k.counts = intsAt + 3;
  const std::size_t realsAt = c.at;
  for (auto f : detail::fields(c, 60, kTenF8, realsAt, "real heading values")) {
    const auto v = detail::parseNumber(f);
    if (!v) refuse(c.source, "real heading value " + std::to_string(k.reals.size() + 1) + " after " +
                                 c.where(k.first) + ", '" + std::string(f) + "', is not a number");
    k.reals.push_back(*v);
  }
  k.dataLine = c.at;
  k.acc = block(c, k.ints[33], k.counts, "acceleration values");
  block(c, k.ints[34], k.counts, "velocity values");
  block(c, k.ints[35], k.counts, "displacement values");
  c.skipBlank();
  return k;
}

// "N28W", "S62W", "N28E", "S14E": degrees from north or south towards east
// or west, as an azimuth clockwise from north.
std::optional<double> azimuthOf(std::string_view name) {
  if (name.size() < 3) return std::nullopt;
  const char from = name.front(), to = name.back();
  const auto deg = detail::parseInteger(name.substr(1, name.size() - 2));
  if (!deg || *deg < 0 || *deg > 90 || (from != 'N' && from != 'S') || (to != 'E' && to != 'W'))
    return std::nullopt;
  const double a = static_cast<double>(*deg);
  const double az = from == 'N' ? (to == 'E' ? a : 360.0 - a) : (to == 'E' ? 180.0 - a : 180.0 + a);
  return std::fmod(az, 360.0);
}

// Line 13, "Component N28W  Longitudinal Accelerometer Axis" or
// "Component Up": the code and orientation (integer 28 when the name says
// no direction).
model::ComponentInfo componentOf(const Component& k) {
  model::ComponentInfo c;
  const auto tok = detail::tokens(k.text[12]);
  if (tok.size() < 2) return c;
  const std::string name = lower(tok[1]);
  if (name == "up" || name == "down") {
    c.code = name == "up" ? "UP" : "DN";
    c.dip = name == "up" ? -90.0 : 90.0;
    return c;
  }
  c.code = detail::printable(tok[1]);
  c.azimuth = azimuthOf(tok[1]);
  if (!c.azimuth && k.ints[27] >= 0 && k.ints[27] <= 360) c.azimuth = static_cast<double>(k.ints[27] % 360);
  if (c.azimuth) c.dip = 0.0;
  return c;
}

// Degrees, minutes and seconds south (or east) at integers i, i+1, i+2,
// to the microdegree (a second of arc is 278 of them); nothing when all
// three are zero (not given).
std::optional<double> dms(const std::vector<long long>& v, std::size_t i, double sign) {
  if (v[i] == 0 && v[i + 1] == 0 && v[i + 2] == 0) return std::nullopt;
  if (v[i] < 0 || v[i] > 180 || v[i + 1] < 0 || v[i + 1] >= 60 || v[i + 2] < 0 || v[i + 2] >= 60)
    return std::nullopt;
  const double deg = static_cast<double>(v[i]) + static_cast<double>(v[i + 1]) / 60.0 +
                     static_cast<double>(v[i + 2]) / 3600.0;
  return sign * std::round(deg * 1e6) / 1e6;
}

// A time from its year, month, day, hour, minute and a count of `perSecond`
// parts of seconds; nothing when the year is 0 (not given) or any part is
// out of range.
std::optional<model::UtcTime> timeOf(long long y, long long mo, long long d, long long h, long long mi,
                                     long long parts, int perSecond) {
  if (y < 1900 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
      parts < 0 || parts >= 61LL * perSecond)
    return std::nullopt;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:00", y, mo, d, h, mi);
  const auto minute = recinfo::parseUtc(buf);
  if (!minute) return std::nullopt;
  return recinfo::plusSeconds(*minute, static_cast<double>(parts) / perSecond);
}

void describeRecording(const Component& k, double dt, Trace& t) {
  model::Recording& r = t.info;
  const auto& v = k.ints;
  const auto site = detail::tokens(k.text[1]);
  if (site.size() >= 2 && lower(site[0]) == "site") r.station.code = detail::printable(site[1]);
  r.station.name = detail::printable(detail::trim(k.text[2]));
  r.station.latitude = dms(v, 20, -1.0);
  r.station.longitude = dms(v, 23, 1.0);
  r.component = componentOf(k);
  // The padding lies within the record (else the heading is not trusted for the time).
  const bool padded = v[31] >= 0 && v[31] <= static_cast<long long>(k.acc.size());
  if (const auto start = timeOf(v[8], v[9], v[18], v[19], v[38], v[39], 1000); start && padded)
    r.firstSample = recinfo::roundedToMillisecond(recinfo::plusSeconds(*start, -static_cast<double>(v[31]) * dt));
  r.event.origin = timeOf(v[0], v[1], v[2], v[3], v[4], v[5], 10);
  r.event.latitude = dms(v, 10, -1.0);
  r.event.longitude = dms(v, 13, 1.0);
  if (r.event.latitude && r.event.longitude && v[16] >= 0 && v[16] <= 800)
    r.event.depth = static_cast<double>(v[16]);
  // Line 9 ends "... Depth 15km Mw 7.82" (or "M  5.70").
  const auto epi = detail::tokens(k.text[8]);
  if (epi.size() >= 2 && lower(epi[0]) == "epicentre") {
    const auto m = detail::parseNumber(epi.back());
    const std::string_view type = epi[epi.size() - 2];
    if (m && *m > -5 && *m < 12 && !type.empty() && (type[0] == 'M' || type[0] == 'm')) {
      r.event.magnitude = *m;
      r.event.magnitudeType = detail::printable(type);
    }
  }
}

// Line 14, "Acceleration:  peak  -9733.1 mm/s/s at  44.88 sec": the value
// and its time, as written.
struct HeaderPeak {
  std::string value, time;
};
std::optional<HeaderPeak> headerPeak(std::string_view line) {
  const auto tok = detail::tokens(line);
  for (std::size_t i = 0; i + 4 < tok.size(); ++i)
    if (lower(tok[i]) == "peak" && lower(tok[i + 3]) == "at" && detail::parseNumber(tok[i + 1]) &&
        detail::parseNumber(tok[i + 4]))
      return HeaderPeak{std::string(tok[i + 1]), std::string(tok[i + 4])};
  return std::nullopt;
}

std::size_t decimals(std::string_view number) {
  const auto dot = number.find('.');
  return dot == std::string_view::npos ? 0 : number.size() - dot - 1;
}

// The record's peak beside the header's: value to the header's decimals,
// time (from the buffer start) to the header's hundredths.
std::string peakNote(const Trace& t, const Component& k, const HeaderPeak& h) {
  std::size_t at = 0;
  for (std::size_t i = 1; i < t.samples.size(); ++i)
    if (std::fabs(t.samples[i]) > std::fabs(t.samples[at])) at = i;
  const double peak = t.samples.empty() ? 0.0 : static_cast<double>(t.samples[at]);
  const double when = (static_cast<double>(at) - static_cast<double>(k.ints[31])) * t.dt;
  const double want = *detail::parseNumber(h.value), wantAt = *detail::parseNumber(h.time);
  const double tol = 0.5 * std::pow(10.0, -static_cast<double>(decimals(h.value))) + 1e-9;
  const bool agree = std::fabs(std::fabs(peak) - std::fabs(want)) <= tol &&
                     std::fabs(when - wantAt) <= 0.5 * t.dt + 0.005 + 1e-9;
  char buf[160];
  std::snprintf(buf, sizeof buf, "peak %.*f mm/s/s at %.2f s %s the header's peak %s at %s s",
                static_cast<int>(decimals(h.value)), peak, when, agree ? "agrees with" : "differs from",
                h.value.c_str(), h.time.c_str());
  return buf;
}

// Line 11 of a V1A: "Raw readings in units of 1.00 mm/s/s ...". Only
// readings in whole mm/s/s are read.
void checkReadingUnit(const Cursor& c, const Component& k) {
  const std::string l = lower(k.text[10]);
  const auto at = l.find("units of");
  if (at == std::string::npos) return;
  const auto tok = detail::tokens(std::string_view(l).substr(at + 8));
  if (tok.size() >= 2 && detail::parseNumber(tok[0]) && *detail::parseNumber(tok[0]) == 1.0 &&
      tok[1] == "mm/s/s")
    return;
  refuse(c.source, c.where(k.first + 10) + ": readings in units of " +
                       (tok.size() >= 2 ? detail::printable(tok[0]) + " " + detail::printable(tok[1]) : "?") +
                       " are not read (kibconv reads GeoNet readings in units of 1.00 mm/s/s)");
}

// The sample interval: real 26, else line 11's "intervals of 0.005 s" or
// "at 0.020 sec intervals".
std::optional<double> intervalOf(const Component& k) {
  if (k.reals[25] > 0.0) return k.reals[25];
  const auto tok = detail::tokens(k.text[10]);
  for (std::size_t i = 0; i + 1 < tok.size(); ++i) {
    const auto v = detail::parseNumber(tok[i + 1]);
    if (v && *v > 0.0 && (lower(tok[i]) == "of" || lower(tok[i]) == "at") && i + 2 < tok.size() &&
        lower(tok[i + 2]).rfind("s", 0) == 0)
      return v;
  }
  return std::nullopt;
}

}  // namespace

bool looksLikeGeonet(std::string_view head) {
  const auto lines = detail::splitLines(head.substr(0, std::min<std::size_t>(head.size(), 4096)));
  if (lines.size() < 2) return false;
  const std::string first = lower(lines[0]);
  return first.find("accelerogram") != std::string::npos &&
         (first.find("gns science") != std::string::npos || detail::trim(lines[1]).rfind("Site ", 0) == 0);
}

Trace readGeonet(std::string_view text, std::string_view source, const std::optional<std::string>& channel) {
  const auto lines = detail::splitLines(text);
  Cursor c{lines, source, "GeoNet"};
  std::vector<Component> comps;
  c.skipBlank();
  while (!c.done()) comps.push_back(readComponent(c));
  if (comps.empty()) refuse(source, "the GeoNet file is empty");
  std::string listing;
  for (std::size_t i = 0; i < comps.size(); ++i) {
    const auto code = componentOf(comps[i]).code;
    listing += (i ? ", " : "") + std::to_string(i + 1) + " = " + (code.empty() ? "?" : code);
  }
  std::size_t n = 0;
  if (channel) {
    const auto v = detail::parseInteger(*channel);
    if (!v || *v < 1 || *v > static_cast<long long>(comps.size()))
      refuse("--channel", "'" + *channel + "' is not one of the GeoNet file's components (" + listing + ")");
    n = static_cast<std::size_t>(*v - 1);
  } else if (comps.size() > 1) {
    refuse(source, "the GeoNet file holds " + std::to_string(comps.size()) + " components (" + listing +
                       "); choose one with --channel N");
  }
  const Component& k = comps[n];
  if (k.acc.empty()) refuse(source, c.where(k.counts) + " gives no acceleration values");
  const bool corrected = lower(k.text[0]).find("uncorrected") == std::string::npos;
  if (!corrected) checkReadingUnit(c, k);

  Trace t;
  t.formatText = corrected ? "GeoNet V2A (corrected)" : "GeoNet V1A (uncorrected)";
  t.unit = Unit::MillimetrePerS2;
  t.unitOrigin = "the GeoNet format (acceleration in mm/s/s)";
  const auto dt = intervalOf(k);
  if (!dt)
    refuse(source, "the GeoNet heading of " + c.where(k.first) +
                       " gives no sample interval (real value 26, or line 11's 'intervals of')");
  t.dt = *dt;
  for (std::size_t i = 0; i < k.acc.size(); ++i) {
    const auto v = detail::parseFloat(k.acc[i]);
    if (!v)
      refuse(source, "acceleration value " + std::to_string(i + 1) + " from " + c.where(k.dataLine) + ", '" +
                         std::string(k.acc[i]) + "', is not a number");
    t.samples.push_back(*v);
  }
  describeRecording(k, t.dt, t);
  t.notes.push_back("GeoNet component " + std::to_string(n + 1) + " of " + std::to_string(comps.size()) + ": " +
                    t.info.component.code + ", heading line " + std::to_string(k.first + 1));
  if (k.ints[31] > 0)
    t.notes.push_back("the first " + std::to_string(k.ints[31]) + " samples (" +
                      detail::secondsText(static_cast<double>(k.ints[31]) * t.dt) +
                      " s) are padding the processing put before the recorded motion");
  if (const auto h = headerPeak(k.text[13])) t.notes.push_back(peakNote(t, k, *h));
  return t;
}

}  // namespace convert
