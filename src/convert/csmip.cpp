// CSMIP / CGS strong-motion records, Volume 1 (uncorrected) and Volume 2
// (corrected), the California archive's own ASCII beside COSMOS.
//
// A file is one or more channels, each:
//   text header     lines of text (13 in Volume 1), read by what they say:
//                   line 1 "Uncorrected Accelerogram Data" (V1) or
//                   "Corrected Accelerogram" (V2); line 2 the record's local
//                   time with a four-digit year ("Rcrd of Fri Jul  5, 2019
//                   20:16:08.0 PDT"); line 4 "38457487.CI.CLC.--.HN  Start
//                   time:  7/06/19, 03:16: 8.0 UTC"; line 5 "Station Id. CLC
//                   35.816N, 117.598W"; line 6 the station's name (columns
//                   1-40); line 7 "Chan  1:  90 Deg" or "Chan  3:  Up";
//                   line 12 "... Max  =   .344 g, at  234.360 sec.";
//   integer header  lines of integers, 16I5;
//   real header     lines of reals, 8F10 (values 29 and 30 of Volume 1 hold
//                   the station's latitude and longitude to more digits);
//   data blocks     " 31932 Accelerogram points at 100 pts/sec in units of g.
//                   Format: (8f9.6)" and the values, each in its columns; a
//                   Volume 2 channel goes on with velocity and displacement;
//   end             "/&  ----  End of Data for Station Channel   1  ----".
// One acceleration channel a conversion (--channel N among several).
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

// What a data line says of its block.
struct DataLine {
  long long count = 0;
  std::string kind;               // "acceleration", "velocity", "displacement"
  std::optional<double> interval; // seconds
  std::string unitText;           // as written after "units of"
  detail::Fixed format;
};

struct Block {
  std::size_t line = 0;
  DataLine what;
  std::vector<std::string_view> values;
};

struct Channel {
  std::size_t first = 0;
  std::vector<std::string_view> text;
  std::vector<double> reals;
  std::vector<Block> blocks;
};

bool isDataLine(std::string_view line) {
  const std::string l = lower(line);
  const auto tok = detail::tokens(line);
  return !tok.empty() && detail::parseInteger(tok[0]) &&
         (l.find("points") != std::string::npos || l.find(" pts") != std::string::npos) &&
         l.find("format") != std::string::npos;
}

bool isEndLine(std::string_view line) {
  const auto t = detail::trim(line);
  return t.rfind("/&", 0) == 0 || lower(t).find("end of data") != std::string::npos;
}

// A line of the integer header: only whole numbers, no decimal point.
bool isIntegerLine(std::string_view line) {
  const auto tok = detail::tokens(line);
  if (tok.size() < 4) return false;
  for (auto t : tok)
    if (!detail::parseInteger(t)) return false;
  return true;
}

// " 31932 Accelerogram points at 100 pts/sec in units of g.  Format: (8f9.6)"
// and its Volume 2 kin ("... velocity ... at .005 sec ...").
DataLine readDataLine(Cursor& c) {
  const std::string_view line = c.lines[c.at];
  const std::string l = lower(line);
  const auto tok = detail::tokens(l);
  DataLine d;
  d.count = *detail::parseInteger(tok[0]);
  d.kind = l.find("veloc") != std::string::npos   ? "velocity"
           : l.find("displ") != std::string::npos ? "displacement"
                                                  : "acceleration";
  for (std::size_t k = 1; k + 1 < tok.size(); ++k) {
    const auto v = detail::parseNumber(tok[k]);
    if (!v || !(*v > 0.0)) continue;
    const std::string_view next = tok[k + 1];
    if (next.rfind("pts/sec", 0) == 0 || next.rfind("samples/sec", 0) == 0 || next.rfind("sps", 0) == 0)
      d.interval = 1.0 / *v;
    else if ((next == "sec" || next == "sec," || next == "sec.") && tok[k - 1] == "at")
      d.interval = *v;
  }
  if (const auto at = l.find("units of"); at != std::string::npos) {
    const auto rest = detail::tokens(std::string_view(l).substr(at + 8));
    if (!rest.empty()) {
      std::string_view u = rest[0];
      while (!u.empty() && (u.back() == '.' || u.back() == ',')) u.remove_suffix(1);
      d.unitText = std::string(u);
    }
  }
  const auto f = detail::parseFixed(line);
  if (d.count < 1 || !f || f->integer)
    c.bad("a data line such as ' 31932 Accelerogram points at 100 pts/sec in units of g.  "
          "Format: (8f9.6)'");
  d.format = *f;
  return d;
}

// Fixed-width reals of the real header (10 columns each, as 8F10 writes
// them: values may run together).
std::vector<double> readReals(Cursor& c) {
  std::vector<double> out;
  while (!c.done() && !isDataLine(c.lines[c.at])) {
    const std::string_view line = c.lines[c.at];
    for (std::size_t from = 0; from < line.size(); from += 10) {
      const auto field = detail::trim(line.substr(from, 10));
      if (field.empty()) continue;
      const auto v = detail::parseNumber(field);
      if (!v) c.bad("a line of the real header (8F10), values of 10 columns");
      out.push_back(*v);
    }
    ++c.at;
  }
  return out;
}

Channel readChannel(Cursor& c) {
  Channel ch;
  ch.first = c.at;
  while (!c.done() && !isIntegerLine(c.lines[c.at])) ch.text.push_back(c.lines[c.at++]);
  if (ch.text.size() < 12)
    refuse(c.source, c.where(ch.first) + ": a CSMIP channel begins with at least 12 text lines, "
                                         "but " + std::to_string(ch.text.size()) +
                         " come before " + (c.done() ? "the end of the file" : c.where(c.at)));
  while (!c.done() && isIntegerLine(c.lines[c.at])) ++c.at;  // the integer header
  ch.reals = readReals(c);
  while (!c.done() && isDataLine(c.lines[c.at])) {
    Block b;
    b.line = c.at;
    b.what = readDataLine(c);
    ++c.at;
    b.values = detail::fields(c, b.what.count, b.what.format, b.line, b.what.kind + " values");
    ch.blocks.push_back(std::move(b));
    c.skipBlank();
  }
  if (ch.blocks.empty()) c.expect("a data line"), c.bad("a data line of the channel");
  while (!c.done() && isEndLine(c.lines[c.at])) {
    ++c.at;
    c.skipBlank();
  }
  return ch;
}

std::optional<Unit> csmipUnit(std::string_view u) {
  if (u == "g") return Unit::G;
  if (u == "cm/sec/sec" || u == "cm/sec2" || u == "cm/s/s" || u == "cm/sec**2" || u == "cm/s2" ||
      u == "gal" || u == "cm/sec^2")
    return Unit::Gal;
  return std::nullopt;
}

// "35.816N, 117.598W": a signed latitude and longitude.
std::optional<std::pair<double, double>> coordinates(std::string_view text) {
  const auto tok = detail::tokens(text);
  for (std::size_t k = 0; k + 1 < tok.size(); ++k) {
    auto hemi = [](std::string_view t, char pos, char neg) -> std::optional<double> {
      if (t.size() < 2 || (t.back() != pos && t.back() != neg)) return std::nullopt;
      const auto v = detail::parseNumber(t.substr(0, t.size() - 1));
      if (!v) return std::nullopt;
      return t.back() == neg ? -*v : *v;
    };
    const auto lat = hemi(tok[k], 'N', 'S');
    const auto lon = hemi(tok[k + 1], 'E', 'W');
    if (lat && lon && recinfo::validLatitude(*lat) && recinfo::validLongitude(*lon))
      return std::pair{*lat, *lon};
  }
  return std::nullopt;
}

// Line 4 "Start time:  7/06/19, 03:16: 8.0 UTC", its century from the
// four-digit year of line 2 (the local date is the UTC date or the day
// before it).
std::optional<model::UtcTime> startTime(const Channel& ch) {
  const std::string_view line4 = ch.text[3];
  const auto at = line4.find("Start time:");
  if (at == std::string_view::npos || line4.find("UTC") == std::string_view::npos) return std::nullopt;
  int mo = 0, d = 0, yy = 0, h = 0, mi = 0;
  double s = 0;
  const std::string rest(line4.substr(at + 11));
  if (std::sscanf(rest.c_str(), " %d/%d/%d, %d:%d:%lf", &mo, &d, &yy, &h, &mi, &s) != 6) return std::nullopt;
  int year = -1;
  for (auto tok : detail::tokens(ch.text[1]))
    if (const auto y = detail::parseInteger(tok); y && *y >= 1900 && *y <= 9999 && tok.size() == 4) year = static_cast<int>(*y);
  if (year < 0) return std::nullopt;
  if (year % 100 != yy) ++year;  // 31 December local, 1 January UTC
  if (year % 100 != yy || !(s >= 0.0 && s < 61.0)) return std::nullopt;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:00", year, mo, d, h, mi);
  const auto minute = recinfo::parseUtc(buf);
  if (!minute) return std::nullopt;
  return recinfo::roundedToMillisecond(recinfo::plusSeconds(*minute, s));
}

// "Chan  1:  90 Deg", "Chan  3:  Up": the component's code and orientation.
void describeComponent(std::string_view line7, model::ComponentInfo& c) {
  const auto colon = line7.find(':');
  if (colon == std::string_view::npos) return;
  const auto tok = detail::tokens(line7.substr(colon + 1));
  if (tok.empty()) return;
  const std::string first = lower(tok[0]);
  if (first == "up" || first == "down") {
    c.code = first == "up" ? "UP" : "DN";
    c.dip = first == "up" ? -90.0 : 90.0;
  } else if (const auto az = detail::parseInteger(tok[0]); az && *az >= 0 && *az <= 360) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03lld", *az);
    c.code = buf;
    c.azimuth = static_cast<double>(*az % 360);
    c.dip = 0.0;
  }
}

// Station, component and time from the text header (and the real header's
// finer coordinates when they agree with the text's).
void describeRecording(const Channel& ch, Trace& t) {
  model::Recording& r = t.info;
  const auto id = detail::tokens(ch.text[3]);
  if (!id.empty()) {
    // "38457487.CI.CLC.--.HN": event id, network, station, location, band and instrument.
    std::vector<std::string_view> part;
    for (std::size_t from = 0; from <= id[0].size();) {
      const auto dot = std::min(id[0].find('.', from), id[0].size());
      part.push_back(id[0].substr(from, dot - from));
      from = dot + 1;
    }
    if (part.size() == 5) {
      r.station.network = detail::printable(part[1]);
      r.station.code = detail::printable(part[2]);
      if (part[3] != "--") r.station.location = detail::printable(part[3]);
    }
  }
  const std::string_view line5 = ch.text[4];
  if (const auto at = line5.find("Station"); at != std::string_view::npos) {
    const auto tok = detail::tokens(line5.substr(at));
    if (r.station.code.empty() && tok.size() >= 3) r.station.code = detail::printable(tok[2]);
    if (const auto ll = coordinates(line5)) {
      r.station.latitude = ll->first;
      r.station.longitude = ll->second;
      if (ch.reals.size() >= 30 && std::fabs(ch.reals[28] - ll->first) < 0.0006 &&
          std::fabs(ch.reals[29] - ll->second) < 0.0006) {
        r.station.latitude = ch.reals[28];
        r.station.longitude = ch.reals[29];
      }
    }
  }
  r.station.name = detail::printable(ch.text[5].substr(0, std::min<std::size_t>(ch.text[5].size(), 40)));
  describeComponent(ch.text[6], r.component);
  r.firstSample = startTime(ch);
  if (!r.firstSample) t.notes.push_back("the CSMIP header gives no UTC start time this reader understands");
}

// Line 12's "Max  =   .344 g": the header's peak, in the channel's unit.
std::optional<double> headerPeak(const Channel& ch) {
  const std::string_view line = ch.text[11];
  const auto at = line.find("Max");
  if (at == std::string_view::npos) return std::nullopt;
  const auto tok = detail::tokens(line.substr(at + 3));
  for (auto t : tok) {
    if (t == "=") continue;
    const auto v = detail::parseNumber(t);
    if (v) return std::fabs(*v);
    break;
  }
  return std::nullopt;
}

}  // namespace

Trace readCsmip(std::string_view text, std::string_view source,
                const std::optional<std::string>& channel) {
  const auto lines = detail::splitLines(text);
  Cursor c{lines, source, "CSMIP"};
  std::vector<Channel> chans;
  c.skipBlank();
  while (!c.done()) {
    chans.push_back(readChannel(c));
    c.skipBlank();
  }
  if (chans.empty()) refuse(source, "the CSMIP file is empty");
  std::vector<std::pair<const Channel*, const Block*>> picks;
  std::string listing;
  for (const auto& ch : chans)
    for (const auto& b : ch.blocks)
      if (b.what.kind == "acceleration") {
        picks.emplace_back(&ch, &b);
        model::ComponentInfo component;
        describeComponent(ch.text[6], component);
        listing += (picks.size() > 1 ? ", " : "") + std::to_string(picks.size()) + " = " +
                   (component.code.empty() ? detail::printable(detail::trim(ch.text[6])) : component.code);
      }
  if (picks.empty()) refuse(source, "the CSMIP file holds no acceleration block");
  std::size_t k = 0;
  if (channel) {
    const auto n = detail::parseInteger(*channel);
    if (!n || *n < 1 || *n > static_cast<long long>(picks.size()))
      refuse("--channel", "'" + *channel + "' is not one of the CSMIP file's acceleration channels (" + listing + ")");
    k = static_cast<std::size_t>(*n - 1);
  } else if (picks.size() > 1) {
    refuse(source, "the CSMIP file holds " + std::to_string(picks.size()) + " acceleration channels (" +
                       listing + "); choose one with --channel N");
  }
  const Channel& ch = *picks[k].first;
  const Block& b = *picks[k].second;

  Trace t;
  const bool corrected = lower(ch.text[0]).find("uncorrected") == std::string::npos;
  t.formatText = std::string("CSMIP Volume ") + (corrected ? "2" : "1");
  const auto unit = csmipUnit(b.what.unitText);
  if (!unit)
    refuse(source, c.where(b.line) + ": units '" + b.what.unitText +
                       "' are not an acceleration unit kibconv reads (g, cm/sec/sec)");
  t.unit = *unit;
  t.unitOrigin = "the CSMIP data line (units of " + b.what.unitText + ")";
  if (!b.what.interval)
    refuse(source, c.where(b.line) + " gives no sample rate ('at 100 pts/sec') or interval ('at .005 sec')");
  t.dt = *b.what.interval;
  for (std::size_t i = 0; i < b.values.size(); ++i) {
    const auto v = detail::parseFloat(b.values[i]);
    if (!v)
      refuse(source, "acceleration value " + std::to_string(i + 1) + " of " + c.where(b.line) + ", '" +
                         std::string(b.values[i]) + "', is not a number");
    t.samples.push_back(*v);
  }
  describeRecording(ch, t);
  t.notes.push_back("CSMIP channel " + std::to_string(k + 1) + " of " + std::to_string(picks.size()) +
                    ": " + t.info.component.code + ", data line " + std::to_string(b.line + 1));
  if (const auto peak = headerPeak(ch)) {
    double mine = 0.0;
    for (float v : t.samples) mine = std::max(mine, std::fabs(static_cast<double>(v)));
    // The header writes its peak to three decimals.
    char buf[120];
    std::snprintf(buf, sizeof buf, "peak %.3f %s %s the header's Max %.3f", mine,
                  std::string(unitName(t.unit)).c_str(),
                  std::fabs(mine - *peak) <= 0.0005 + 1e-9 ? "agrees with" : "differs from", *peak);
    t.notes.push_back(buf);
  }
  return t;
}

}  // namespace convert
