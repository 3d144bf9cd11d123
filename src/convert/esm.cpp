// ESM ASCII records (the European strong-motion database and ITACA): a
// header of "KEY: value" lines, then one value per line.
//
// Keys used (a key with no value is unknown):
//   EVENT_NAME, EVENT_ID                    the event's name;
//   EVENT_DATE_YYYYMMDD, EVENT_TIME_HHMMSS  its origin time (UTC);
//   EVENT_LATITUDE_DEGREE, EVENT_LONGITUDE_DEGREE, EVENT_DEPTH_KM;
//   MAGNITUDE_W, else MAGNITUDE_L           the magnitude (Mw, ML);
//   NETWORK, STATION_CODE, STATION_NAME, LOCATION;
//   STATION_LATITUDE_DEGREE, STATION_LONGITUDE_DEGREE, STATION_ELEVATION_M,
//   SENSOR_DEPTH_M;
//   DATE_TIME_FIRST_SAMPLE_YYYYMMDD_HHMMSS  "20161030_064008.000" (UTC);
//   SAMPLING_INTERVAL_S, NDATA              the interval and the count;
//   STREAM                                  the channel, e.g. HGE;
//   UNITS                                   cm/s^2 (or m/s^2, g);
//   DATA_TYPE                               ACCELERATION (others refused);
//   PGA_CM/S^2                              the header's peak, checked.
#include <cmath>
#include <cstdio>
#include <map>

#include "convert/convert.hpp"
#include "convert/util.hpp"
#include "recinfo/recinfo.hpp"

namespace convert {
namespace {

using detail::refuse;

struct Header {
  std::map<std::string, std::string, std::less<>> values;
  std::map<std::string, std::size_t, std::less<>> lines;  // the line of each key
  std::size_t end = 0;                                     // the first line after the header
};

// "KEY: value" lines up to the first line that is a number.
Header readHeader(const std::vector<std::string_view>& lines, std::string_view source) {
  Header h;
  std::size_t l = 0;
  for (; l < lines.size(); ++l) {
    const auto body = detail::trim(lines[l]);
    if (body.empty()) continue;
    if (detail::parseNumber(body)) break;
    const auto colon = body.find(':');
    if (colon == std::string_view::npos || colon == 0)
      refuse(source, "ESM line " + std::to_string(l + 1) + " should be 'KEY: value' or a value, not '" +
                         detail::printable(body) + "'");
    const std::string key(detail::trim(body.substr(0, colon)));
    h.values[key] = detail::printable(detail::trim(body.substr(colon + 1)));
    h.lines[key] = l;
  }
  h.end = l;
  return h;
}

std::string text(const Header& h, std::string_view key) {
  const auto it = h.values.find(key);
  return it == h.values.end() ? std::string() : it->second;
}

// A number a key holds: nothing when the key is absent or empty; refused
// when it holds something else.
std::optional<double> number(const Header& h, std::string_view key, std::string_view source) {
  const std::string v = text(h, key);
  if (v.empty()) return std::nullopt;
  const auto x = detail::parseNumber(v);
  if (!x)
    refuse(source, "ESM line " + std::to_string(h.lines.find(key)->second + 1) + ": " +
                       std::string(key) + " '" + v + "' is not a number");
  return x;
}

// "20161030" and "064017" (or "064017.34", or "20161030_064008.000").
std::optional<model::UtcTime> timeOf(std::string_view date, std::string_view time) {
  if (date.size() != 8 || time.size() < 6) return std::nullopt;
  std::string iso = std::string(date.substr(0, 4)) + "-" + std::string(date.substr(4, 2)) + "-" +
                    std::string(date.substr(6, 2)) + "T" + std::string(time.substr(0, 2)) + ":" +
                    std::string(time.substr(2, 2)) + ":" + std::string(time.substr(4));
  return recinfo::parseUtc(iso);
}

std::optional<double> within(std::optional<double> v, double low, double high) {
  if (v && (*v < low || *v > high)) return std::nullopt;
  return v;
}

void describeRecording(const Header& h, std::string_view source, Trace& t) {
  model::Recording& r = t.info;
  r.event.name = text(h, "EVENT_NAME");
  if (r.event.name.empty()) r.event.name = text(h, "EVENT_ID");
  r.event.origin = timeOf(text(h, "EVENT_DATE_YYYYMMDD"), text(h, "EVENT_TIME_HHMMSS"));
  r.event.latitude = within(number(h, "EVENT_LATITUDE_DEGREE", source), -90, 90);
  r.event.longitude = within(number(h, "EVENT_LONGITUDE_DEGREE", source), -180, 360);
  r.event.depth = within(number(h, "EVENT_DEPTH_KM", source), -10, 800);
  if (const auto mw = number(h, "MAGNITUDE_W", source)) {
    r.event.magnitude = mw;
    r.event.magnitudeType = "Mw";
  } else if (const auto ml = number(h, "MAGNITUDE_L", source)) {
    r.event.magnitude = ml;
    r.event.magnitudeType = "ML";
  }
  r.station.network = text(h, "NETWORK");
  r.station.code = text(h, "STATION_CODE");
  r.station.name = text(h, "STATION_NAME");
  r.station.location = text(h, "LOCATION");
  r.station.latitude = within(number(h, "STATION_LATITUDE_DEGREE", source), -90, 90);
  r.station.longitude = within(number(h, "STATION_LONGITUDE_DEGREE", source), -180, 360);
  r.station.elevation = within(number(h, "STATION_ELEVATION_M", source), -12000, 9000);
  r.station.sensorDepth = within(number(h, "SENSOR_DEPTH_M", source), 0, 12000);
  r.component.code = text(h, "STREAM");
  // A SEED channel's last letter: E, N or Z.
  if (r.component.code.size() == 3) {
    switch (r.component.code[2]) {
      case 'E': r.component.azimuth = 90.0, r.component.dip = 0.0; break;
      case 'N': r.component.azimuth = 0.0, r.component.dip = 0.0; break;
      case 'Z': r.component.dip = -90.0; break;
      default: break;
    }
  }
  const std::string first = text(h, "DATE_TIME_FIRST_SAMPLE_YYYYMMDD_HHMMSS");
  if (const auto us = first.find('_'); us != std::string::npos)
    r.firstSample = timeOf(std::string_view(first).substr(0, us), std::string_view(first).substr(us + 1));
}

}  // namespace

bool looksLikeEsm(std::string_view head) {
  return head.find("SAMPLING_INTERVAL_S:") != std::string_view::npos &&
         head.find("NDATA:") != std::string_view::npos;
}

Trace readEsm(std::string_view contents, std::string_view source) {
  const auto lines = detail::splitLines(contents);
  const Header h = readHeader(lines, source);
  for (const char* key : {"SAMPLING_INTERVAL_S", "NDATA", "UNITS"})
    if (text(h, key).empty()) refuse(source, std::string("the ESM header gives no ") + key);
  const std::string type = text(h, "DATA_TYPE");
  if (!type.empty() && type.find("ACCELERATION") == std::string::npos)
    refuse(source, "ESM DATA_TYPE " + type + " is not an acceleration record");

  Trace t;
  t.formatText = "ESM ASCII";
  t.dt = *number(h, "SAMPLING_INTERVAL_S", source);
  const auto ndata = detail::parseInteger(text(h, "NDATA"));
  if (!ndata || *ndata < 1) refuse(source, "ESM NDATA '" + text(h, "NDATA") + "' gives no samples");
  const std::string units = text(h, "UNITS");
  std::string u = units;
  if (const auto p = u.find("^2"); p != std::string::npos) u.replace(p, 2, "2");
  if (const auto unit = parseUnit(u)) {
    t.unit = *unit;
    t.unitOrigin = "ESM UNITS " + units;
  } else {
    t.unitOrigin = "ESM UNITS '" + units + "' is not a unit of acceleration";
  }
  for (std::size_t l = h.end; l < lines.size(); ++l)
    for (auto tok : detail::tokens(lines[l])) {
      const auto v = detail::parseFloat(tok);
      if (!v) refuse(source, "line " + std::to_string(l + 1) + ": '" + std::string(tok) + "' is not a number");
      t.samples.push_back(*v);
    }
  if (t.samples.size() != static_cast<std::size_t>(*ndata))
    refuse(source, "ESM NDATA " + std::to_string(*ndata) + " disagrees with the file, which holds " +
                       std::to_string(t.samples.size()) + " values");
  describeRecording(h, source, t);
  if (const auto pga = number(h, "PGA_CM/S^2", source); pga && t.unit != Unit::Unknown) {
    double peak = 0.0;
    for (float v : t.samples) peak = std::max(peak, std::fabs(static_cast<double>(v)));
    peak *= static_cast<double>(unitFactor(t.unit, Unit::Gal));
    // The header's peak is written to six decimals.
    char buf[120];
    std::snprintf(buf, sizeof buf, "peak %.6f cm/s/s %s the header's PGA %.6f", peak,
                  std::fabs(peak - std::fabs(*pga)) <= 5e-6 * std::max(1.0, peak) ? "agrees with"
                                                                                  : "differs from",
                  std::fabs(*pga));
    t.notes.push_back(buf);
  }
  return t;
}

}  // namespace convert
