// COSMOS strong-motion records (format v01.20), processed (V2) or
// uncorrected (V1) acceleration.
//
// A file is one or more channels, each:
//   text header     line 1 names the data and "(Format v01.20 with 13 text
//                   lines)": the count of text lines, 13 or more;
//   integer header  "100 Integer-header values follow on 10 lines, Format= (10I8)";
//   real header     "100 Real-header values follow on 17 lines, Format= (6F13.6)";
//   comments        "1 Comment line(s) follow, each starting with a "|":";
//   data blocks     "8000 acceleration pts, approx 40 secs, units=cm/sec2(04),
//                   Format=(8F10.5)" and the values, each in its fixed columns;
//                   a V2 channel may go on with velocity and displacement
//                   blocks; "End-of-data for Chan 1 ..." closes the channel.
// The layout lines are checked word by word, and every value is read from
// the columns its Format gives (adjacent values need not be separated).
//
// Header fields used (numbered from 1 as the format does):
//   Int(40), Int(42)-Int(45), Real(30)  year, month, day, hour, minute and
//                   seconds of the record's first sample (UTC): the time line;
//   Int(54)         sensor azimuth (0-360, 400 up, 401 down): the component
//                   and its orientation;
//   Real(1)-Real(3) station latitude, longitude (degrees) and elevation (m);
//   Real(62)        sample interval in milliseconds: the interval of the
//                   processed series (Real(34) is the raw record's and may
//                   differ after resampling, so it is not used);
//   the units code in the data line "(04)" or, when the line has none,
//   Int(3): 2 g, 4 cm/s/s, 10 gal; any other code is refused;
//   text line 5 "Code:NN-SSSSS": network and station; columns 41 on: the
//   station name; text line 13: the values that stand for "unknown".
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "convert/convert.hpp"
#include "convert/blocks.hpp"
#include "convert/util.hpp"
#include "recinfo/recinfo.hpp"

namespace convert {
namespace {

using detail::refuse;

constexpr std::size_t kMinTextLines = 13;
constexpr std::size_t kMinIntegers = 54, kMinReals = 62;

using detail::Cursor;
using detail::Fixed;
using detail::countLine;
using detail::fields;
using detail::lower;
using detail::parseFixed;
using detail::startsWithLetter;

template <typename T>
std::vector<T> headerValues(Cursor& c, std::string_view word, std::string_view what, bool integer) {
  const std::size_t header = c.at;
  const long long n = countLine(c, word, what);
  const auto f = parseFixed(c.lines[header]);
  if (!f || f->integer != integer) c.bad(what);
  ++c.at;
  std::vector<T> out;
  for (auto v : fields(c, n, *f, header, integer ? "integer values" : "real values")) {
    const auto x = integer ? detail::parseInteger(v) : std::optional<long long>{};
    const auto r = integer ? std::optional<double>{} : detail::parseNumber(v);
    if (integer ? !x : !r)
      refuse(c.source, c.where(c.at - 1) + ": '" + std::string(v) + "' in the " +
                           std::string(integer ? "integer" : "real") + " header is not " +
                           (integer ? "an integer" : "a number"));
    out.push_back(integer ? static_cast<T>(*x) : static_cast<T>(*r));
  }
  return out;
}

struct Block {
  std::string kind;      // "acceleration", "velocity", ...
  std::size_t line = 0;  // of its data line
  std::optional<int> unitCode;
  std::vector<std::string_view> values;
};

struct Channel {
  std::size_t first = 0;  // line of its text header
  std::vector<std::string_view> text;
  std::vector<long long> ints;
  std::vector<double> reals;
  std::vector<Block> blocks;
};

bool isDataLine(std::string_view line) {
  const auto tok = detail::tokens(line);
  return tok.size() >= 3 && detail::parseInteger(tok[0]) &&
         lower(line).find(" pts") != std::string::npos;
}

// "units=cm/sec2(04)": the code in parentheses after "units=", if any.
std::optional<int> unitCodeOf(std::string_view line) {
  const std::string l = lower(line);
  const auto at = l.find("units=");
  if (at == std::string::npos) return std::nullopt;
  const auto end = l.find("format", at);
  const auto open = l.find('(', at);
  if (open == std::string::npos || open > end) return std::nullopt;
  const auto close = l.find(')', open);
  if (close == std::string::npos) return std::nullopt;
  const auto v =
      detail::parseInteger(detail::trim(std::string_view(l).substr(open + 1, close - open - 1)));
  if (!v || *v < 0 || *v > 9999) return std::nullopt;
  return static_cast<int>(*v);
}

Block readBlock(Cursor& c) {
  Block b;
  b.line = c.at;
  const std::string what =
      "a data line such as '8000 acceleration pts, approx 40 secs, "
      "units=cm/sec2(04), Format=(8F10.5)'";
  const long long n = countLine(c, " pts", what);
  const auto f = parseFixed(c.lines[b.line]);
  if (!f || n < 1) c.bad(what);
  b.kind = lower(detail::tokens(c.lines[b.line])[1]);
  b.unitCode = unitCodeOf(c.lines[b.line]);
  ++c.at;
  b.values = fields(c, n, *f, b.line, b.kind + " values");
  return b;
}

Channel readChannel(Cursor& c) {
  Channel ch;
  ch.first = c.at;
  const std::string first = lower(c.lines[c.at]);
  const auto fmt = first.find("(format v");
  std::optional<long long> count;
  if (fmt != std::string::npos)
    if (const auto with = first.find("with", fmt); with != std::string::npos)
      if (const auto tok = detail::tokens(std::string_view(first).substr(with + 4)); !tok.empty())
        count = detail::parseInteger(tok[0]);
  if (fmt == std::string::npos || !count || *count < static_cast<long long>(kMinTextLines) ||
      *count > 1000)
    c.bad(
        "a text header's first line such as 'Corrected acceleration (Format v01.20 with 13 text "
        "lines)'");
  if (c.at + static_cast<std::size_t>(*count) > c.lines.size())
    refuse(c.source, c.where(c.at) + " announces " + std::to_string(*count) +
                         " text lines, but the file ends before them");
  ch.text.assign(
      c.lines.begin() + static_cast<std::ptrdiff_t>(c.at),
      c.lines.begin() + static_cast<std::ptrdiff_t>(c.at + static_cast<std::size_t>(*count)));
  c.at += static_cast<std::size_t>(*count);

  const std::size_t intLine = c.at;
  ch.ints =
      headerValues<long long>(c, "integer-header",
                              "the integer header line such as "
                              "'100 Integer-header values follow on 10 lines, Format= (10I8)'",
                              true);
  if (ch.ints.size() < kMinIntegers)
    refuse(c.source, c.where(intLine) + " gives " + std::to_string(ch.ints.size()) +
                         " integer header values; at least " + std::to_string(kMinIntegers) +
                         " are needed");
  const std::size_t realLine = c.at;
  ch.reals = headerValues<double>(c, "real-header",
                                  "the real header line such as "
                                  "'100 Real-header values follow on 17 lines, Format= (6F13.6)'",
                                  false);
  if (ch.reals.size() < kMinReals)
    refuse(c.source, c.where(realLine) + " gives " + std::to_string(ch.reals.size()) +
                         " real header values; at least " + std::to_string(kMinReals) +
                         " are needed");

  const long long comments = countLine(c, "comment",
                                       "the comment line such as "
                                       "'1 Comment line(s) follow, each starting with a \"|\":'");
  ++c.at;
  for (long long k = 0; k < comments; ++k) {
    if (c.done() || c.lines[c.at].empty() || c.lines[c.at][0] != '|')
      refuse(c.source, (c.done() ? std::string("the end of the file") : c.where(c.at)) +
                           " should be comment " + std::to_string(k + 1) + " of " +
                           std::to_string(comments) + ", starting with '|'");
    ++c.at;
  }
  do {
    ch.blocks.push_back(readBlock(c));
    c.skipBlank();
    while (!c.done() && lower(detail::trim(c.lines[c.at])).rfind("end-of-data", 0) == 0) {
      ++c.at;
      c.skipBlank();
    }
  } while (!c.done() && isDataLine(c.lines[c.at]));
  return ch;
}

struct CosmosUnit {
  Unit unit;
  std::string_view name;
};

std::optional<CosmosUnit> cosmosUnit(int code) {
  switch (code) {
    case 2: return CosmosUnit{Unit::G, "g"};
    case 4: return CosmosUnit{Unit::Gal, "cm/s/s"};
    case 10: return CosmosUnit{Unit::Gal, "gal"};
    default: return std::nullopt;
  }
}

// One acceleration block and the names of its channel.
struct ChannelPick {
  const Channel* ch;
  const Block* block;
  std::string name, network, station, component;  // name: "CE.24278 090"
};

ChannelPick pickOf(const Channel& ch, const Block& b) {
  ChannelPick p{&ch, &b, "", "", "", ""};
  const std::string_view line5 = ch.text[4];
  if (const auto code = line5.find("Code:"); code != std::string_view::npos) {
    const auto tok = detail::tokens(line5.substr(code + 5));
    if (!tok.empty()) {
      const auto dash = tok[0].find('-');
      p.network = detail::printable(tok[0].substr(0, dash == std::string_view::npos ? 0 : dash));
      p.station =
          detail::printable(dash == std::string_view::npos ? tok[0] : tok[0].substr(dash + 1));
    }
  }
  const long long az = ch.ints[53];
  if (az >= 0 && az <= 360) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03lld", az);
    p.component = buf;
  } else if (az == 400 || az == 401) {
    p.component = az == 400 ? "UP" : "DN";
  }
  p.name = p.network.empty() ? p.station : p.network + "." + p.station;
  if (!p.component.empty()) p.name += (p.name.empty() ? "" : " ") + p.component;
  return p;
}

// The acceleration blocks are the channels, numbered from 1 in file order;
// `channel` chooses one, and must when there are several.
std::size_t choose(const std::vector<ChannelPick>& picks, const std::optional<std::string>& channel,
                   std::string_view source) {
  std::string listing;
  for (std::size_t k = 0; k < picks.size(); ++k)
    listing += (k ? ", " : "") + std::to_string(k + 1) + " = " + picks[k].name;
  if (channel) {
    const auto n = detail::parseInteger(*channel);
    if (!n || *n < 1 || *n > static_cast<long long>(picks.size()))
      refuse("--channel", "'" + *channel +
                              "' is not one of the COSMOS file's acceleration channels (" +
                              listing + ")");
    return static_cast<std::size_t>(*n - 1);
  }
  if (picks.size() > 1)
    refuse(source, "the COSMOS file holds " + std::to_string(picks.size()) +
                       " acceleration channels (" + listing + "); choose one with --channel N");
  return 0;
}

// The first sample's time from the integer and real headers, when known,
// to the millisecond.
std::optional<model::UtcTime> startOf(const Channel& ch) {
  const auto& n = ch.ints;
  const double sec = ch.reals[29];
  const bool known = n[39] >= 1 && n[39] <= 9999 && n[41] >= 1 && n[41] <= 12 && n[42] >= 1 &&
                     n[42] <= 31 && n[43] >= 0 && n[43] <= 23 && n[44] >= 0 && n[44] <= 59 &&
                     sec >= 0.0 && sec < 61.0;
  if (!known) return std::nullopt;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04lld/%02lld/%02lld %02lld:%02lld:00", n[39], n[41], n[42],
                n[43], n[44]);
  const auto minute = recinfo::parseUtc(buf);  // refuses 31 April
  if (!minute) return std::nullopt;
  return recinfo::roundedToMillisecond(recinfo::plusSeconds(*minute, sec));
}

// Station coordinates (real values 1-3: latitude, longitude, elevation in
// metres) and the sensor's orientation (integer value 54).
void describeStation(const Channel& ch, double unknownReal, model::Recording& r) {
  auto known = [&](std::size_t k, double low, double high) -> std::optional<double> {
    const double v = ch.reals[k];
    if (v == unknownReal || v < low || v > high) return std::nullopt;
    return v;
  };
  r.station.latitude = known(0, -90, 90);
  r.station.longitude = known(1, -180, 360);
  r.station.elevation = known(2, -12000, 9000);
  const long long az = ch.ints[53];
  if (az >= 0 && az <= 360) {
    r.component.azimuth = static_cast<double>(az % 360);
    r.component.dip = 0.0;
  } else if (az == 400 || az == 401) {
    r.component.dip = az == 400 ? -90.0 : 90.0;
  }
}

Trace traceOf(const ChannelPick& p, const Cursor& c) {
  const Channel& ch = *p.ch;
  const Block& b = *p.block;
  // The values that stand for "unknown": the last two numbers of text line 13.
  long long unknownInt = -999;
  double unknownReal = -999.0;
  if (const auto tok = detail::tokens(ch.text[12]); tok.size() >= 2) {
    if (auto v = detail::parseInteger(tok[tok.size() - 2])) unknownInt = *v;
    if (auto v = detail::parseNumber(tok.back())) unknownReal = *v;
  }
  const int code = b.unitCode ? *b.unitCode : static_cast<int>(ch.ints[2]);
  const auto unit = cosmosUnit(code);
  if (!unit)
    refuse(c.source, c.where(b.line) + ": units code " + std::to_string(code) +
                         (b.unitCode ? "" : " (integer header value 3)") +
                         " is not an acceleration unit kibconv reads (2 g, 4 cm/s/s, 10 gal)");
  if (b.unitCode && ch.ints[2] != unknownInt && ch.ints[2] != code)
    refuse(c.source, c.where(b.line) + ": units code " + std::to_string(code) +
                         " disagrees with integer header value 3, " + std::to_string(ch.ints[2]));
  const double intervalMs = ch.reals[61];
  if (intervalMs == unknownReal || !(intervalMs > 0.0))
    refuse(c.source, c.where(ch.first) + ": real header value 62, the sample interval in ms, is " +
                         detail::numberText(intervalMs));

  Trace t;
  t.formatText = "COSMOS " + detail::printable(ch.text[0].substr(
                                 0, std::min<std::size_t>(ch.text[0].size(), 25)));
  t.dt = intervalMs / 1000.0;
  t.unit = unit->unit;
  t.unitOrigin =
      "the COSMOS units code " + std::to_string(code) + " (" + std::string(unit->name) + ")";
  t.info.station.network = p.network;
  t.info.station.code = p.station;
  t.info.component.code = p.component;
  if (ch.text[4].size() > 40) t.info.station.name = detail::printable(ch.text[4].substr(40));
  t.info.firstSample = startOf(ch);
  describeStation(ch, unknownReal, t.info);
  for (std::size_t k = 0; k < b.values.size(); ++k) {
    const auto v = detail::parseFloat(b.values[k]);
    if (!v)
      refuse(c.source, "acceleration value " + std::to_string(k + 1) + " of " + c.where(b.line) +
                           ", '" + std::string(b.values[k]) + "', is not a number");
    t.samples.push_back(*v);
  }
  t.notes.push_back("interval from real header value 62 (" + detail::numberText(intervalMs) +
                    " ms)");
  return t;
}

}  // namespace

Trace readCosmos(std::string_view text, std::string_view source,
                 const std::optional<std::string>& channel) {
  const auto lines = detail::splitLines(text);
  Cursor c{lines, source, "COSMOS"};
  std::vector<Channel> chans;
  c.skipBlank();
  while (!c.done()) {
    chans.push_back(readChannel(c));
    c.skipBlank();
  }
  if (chans.empty()) refuse(source, "the COSMOS file is empty");
  std::vector<ChannelPick> picks;
  for (const auto& ch : chans)
    for (const auto& b : ch.blocks)
      if (b.kind == "acceleration") picks.push_back(pickOf(ch, b));
  if (picks.empty())
    refuse(source, "the COSMOS file holds no acceleration block (its first data line is '" +
                       detail::printable(lines[chans[0].blocks[0].line]) + "')");
  const std::size_t k = choose(picks, channel, source);
  Trace t = traceOf(picks[k], c);
  t.notes.insert(t.notes.begin(), "COSMOS channel " + std::to_string(k + 1) + " of " +
                                      std::to_string(picks.size()) + ": " + picks[k].name +
                                      ", data line " + std::to_string(picks[k].block->line + 1));
  return t;
}

}  // namespace convert
