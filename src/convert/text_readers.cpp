// Text inputs: PEER NGA AT2 records and plain columns; format detection.
#include <libmseed.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "convert/convert.hpp"
#include "convert/util.hpp"
#include "sacio/sacio.hpp"

namespace convert {
namespace {

using detail::refuse;

std::string upper(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

std::string lineRef(std::size_t index) { return "line " + std::to_string(index + 1); }

// The number written after "KEY=" (blanks allowed around "="), as in the
// AT2 line "NPTS=  4000, DT=   .0100 SEC".
std::optional<std::string_view> valueAfter(std::string_view line, std::string_view key) {
  const auto at = line.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t i = at + key.size();
  while (i < line.size() && line[i] == ' ') ++i;
  if (i >= line.size() || line[i] != '=') return std::nullopt;
  ++i;
  while (i < line.size() && line[i] == ' ') ++i;
  const std::size_t start = i;
  while (i < line.size() && line[i] != ' ' && line[i] != ',' && line[i] != '\t') ++i;
  return line.substr(start, i - start);
}

bool allNumbers(std::string_view line, std::size_t count, bool integers) {
  const auto tok = detail::tokens(line);
  if (tok.size() != count) return false;
  for (auto t : tok)
    if (integers ? !detail::parseInteger(t) : !detail::parseNumber(t)) return false;
  return true;
}

// Appends the numbers of lines [first, end) to x.
void readValues(const std::vector<std::string_view>& lines, std::size_t first,
                std::vector<float>& x, std::string_view source) {
  for (std::size_t l = first; l < lines.size(); ++l)
    for (auto tok : detail::tokens(lines[l])) {
      const auto v = detail::parseFloat(tok);
      if (!v) refuse(source, lineRef(l) + ": '" + std::string(tok) + "' is not a number");
      x.push_back(*v);
    }
}

// The head of an unknown file as a refusal shows it: the first line, in
// printable characters, at most 40 of them.
std::string headOf(std::string_view contents) {
  const auto end = contents.find('\n');
  std::string head = detail::printable(contents.substr(0, std::min<std::size_t>(end, 40)));
  return head.empty() ? "an empty first line" : "'" + head + "'";
}

[[noreturn]] void refuseUnknown(std::string_view contents, std::string_view source) {
  if (detail::trim(contents).empty()) refuse(source, "the file is empty");
  refuse(source, "not a format kibconv reads: it begins with " + headOf(contents) +
                     "; kibconv reads SAC (binary or alphanumeric), miniSEED, K-NET/KiK-net "
                     "ASCII, COSMOS V1/V2, CSMIP V1/V2, ESM ASCII, GeoNet V1A/V2A, PEER NGA AT2 and plain columns of numbers (name "
                     "the format with --format when the file is one of them)");
}

// A component named by its azimuth ("180", "090") or as vertical ("UP",
// "V", "DWN") says its orientation.
void orientationFromName(model::ComponentInfo& c) {
  const std::string name = upper(c.code);
  if (name == "UP" || name == "V" || name == "VER" || name == "Z") {
    c.dip = -90.0;
  } else if (name == "DWN" || name == "DOWN") {
    c.dip = 90.0;
  } else if (const auto az = detail::parseInteger(name); az && name.size() == 3 && *az >= 0 && *az <= 360) {
    c.azimuth = static_cast<double>(*az % 360);
    c.dip = 0.0;
  }
}

}  // namespace

std::optional<InputFormat> parseFormat(std::string_view text) {
  if (text == "auto") return InputFormat::Detect;
  if (text == "sac") return InputFormat::SacBinary;
  if (text == "sac-alpha") return InputFormat::SacAlpha;
  if (text == "at2") return InputFormat::At2;
  if (text == "knet") return InputFormat::Knet;
  if (text == "cosmos") return InputFormat::Cosmos;
  if (text == "csmip") return InputFormat::Csmip;
  if (text == "esm") return InputFormat::Esm;
  if (text == "geonet") return InputFormat::Geonet;
  if (text == "mseed") return InputFormat::MiniSeed;
  if (text == "text") return InputFormat::Columns;
  return std::nullopt;
}

std::string_view formatName(InputFormat f) {
  switch (f) {
    case InputFormat::Detect: return "auto";
    case InputFormat::SacBinary: return "sac";
    case InputFormat::SacAlpha: return "sac-alpha";
    case InputFormat::At2: return "at2";
    case InputFormat::Knet: return "knet";
    case InputFormat::Cosmos: return "cosmos";
    case InputFormat::Csmip: return "csmip";
    case InputFormat::Esm: return "esm";
    case InputFormat::Geonet: return "geonet";
    case InputFormat::MiniSeed: return "mseed";
    case InputFormat::Columns: return "text";
  }
  return "";
}

InputFormat detectFormat(std::string_view contents) {
  // libmseed checks the fixed header of the first record: sequence number,
  // quality code, time and blockettes.
  if (contents.size() >= 48 &&
      ms_detect(contents.data(), static_cast<int>(std::min<std::size_t>(contents.size(), 1 << 20))) >= 0)
    return InputFormat::MiniSeed;
  // A SAC binary header's version word reads 6 or 7 in one byte order.
  if (contents.size() >= sacio::kHeaderBytes && sacio::needsSwap(contents)) return InputFormat::SacBinary;
  // Only the head of a text decides.
  const auto lines = detail::splitLines(contents.substr(0, std::min<std::size_t>(contents.size(), 8192)));
  if (contents.rfind("Origin Time", 0) == 0) return InputFormat::Knet;
  if (!lines.empty() && upper(lines[0]).find("(FORMAT V") != std::string::npos) return InputFormat::Cosmos;
  // Before CSMIP: a GeoNet heading also opens with "accelerogram".
  if (looksLikeGeonet(contents)) return InputFormat::Geonet;
  if (!lines.empty() && upper(lines[0]).find("ACCELEROGRAM") != std::string::npos) return InputFormat::Csmip;
  if (looksLikeEsm(contents.substr(0, std::min<std::size_t>(contents.size(), 8192)))) return InputFormat::Esm;
  if (!lines.empty() && upper(lines[0]).find("PEER") != std::string::npos) return InputFormat::At2;
  if (lines.size() >= 4 && upper(lines[3]).find("NPTS") != std::string::npos) return InputFormat::At2;
  if (lines.size() >= 30) {
    bool sac = true;
    for (std::size_t l = 0; l < 22 && sac; ++l) sac = allNumbers(lines[l], 5, l >= 14);
    if (sac) return InputFormat::SacAlpha;
  }
  // Plain columns: the first line that is not blank or a '#' comment holds
  // only numbers (a text of nothing else is plain text without samples).
  for (auto line : lines) {
    const auto body = detail::trim(line);
    if (body.empty() || body[0] == '#') continue;
    const auto tok = detail::tokens(body);
    return allNumbers(body, tok.size(), false) ? InputFormat::Columns : InputFormat::Detect;
  }
  return contents.empty() ? InputFormat::Detect : InputFormat::Columns;
}

Trace readAt2(std::string_view text, std::string_view source) {
  const auto lines = detail::splitLines(text);
  if (lines.size() < 4) refuse(source, "AT2 file has fewer than its four header lines");
  Trace t;
  t.formatText = "PEER NGA AT2";

  // Line 3 states the quantity and its unit: "ACCELERATION TIME SERIES IN UNITS OF G".
  const std::string what = upper(lines[2]);
  if (what.find("VELOCITY") != std::string::npos || what.find("DISPLACEMENT") != std::string::npos)
    refuse(source, "AT2 line 3 '" + detail::printable(lines[2]) + "' is not an acceleration record");
  const auto unitAt = what.find("UNITS OF");
  if (unitAt != std::string::npos) {
    const auto rest = detail::tokens(std::string_view(what).substr(unitAt + 8));
    if (!rest.empty()) {
      std::string_view name = rest[0];
      while (!name.empty() && name.back() == '.') name.remove_suffix(1);  // "UNITS OF G."
      if (auto u = parseUnit(name)) {
        t.unit = *u;
        t.unitOrigin = "AT2 line 3";
      }
    }
  }
  if (t.unit == Unit::Unknown)
    t.unitOrigin = "AT2 line 3 '" + detail::printable(lines[2]) + "' names no unit of acceleration";

  // Line 4: "NPTS=  4000, DT=   .0100 SEC" or, in older files, "4000 .0100 NPTS, DT".
  const std::string counts = upper(lines[3]);
  std::optional<long long> npts;
  std::optional<double> dt;
  if (auto n = valueAfter(counts, "NPTS")) {
    npts = detail::parseInteger(*n);
    if (auto d = valueAfter(counts, "DT")) dt = detail::parseNumber(*d);
  } else {
    const auto tok = detail::tokens(counts);
    if (tok.size() >= 2) {
      npts = detail::parseInteger(tok[0]);
      dt = detail::parseNumber(tok[1]);
    }
  }
  if (!npts || !dt)
    refuse(source, "AT2 line 4 '" + detail::printable(lines[3]) + "' does not give NPTS and DT");
  if (*npts <= 0) refuse(source, "AT2 NPTS " + std::to_string(*npts) + " gives no samples");
  t.dt = *dt;

  // Line 2: "Imperial Valley, 5/19/1940, El Centro Array #9, 180" (event
  // parts, station, component).
  std::vector<std::string> parts;
  std::string_view title = lines[1];
  for (std::size_t pos = 0; pos <= title.size();) {
    auto comma = title.find(',', pos);
    if (comma == std::string_view::npos) comma = title.size();
    parts.push_back(detail::printable(title.substr(pos, comma - pos)));
    pos = comma + 1;
  }
  if (parts.size() >= 3) {
    t.info.component.code = parts.back();
    t.info.station.name = parts[parts.size() - 2];
    std::string event;
    for (std::size_t k = 0; k + 2 < parts.size(); ++k) event += (k ? ", " : "") + parts[k];
    t.info.event.name = event;
    orientationFromName(t.info.component);
  } else {
    t.info.event.name = detail::printable(title);
  }

  readValues(lines, 4, t.samples, source);
  if (t.samples.size() != static_cast<std::size_t>(*npts))
    refuse(source, "AT2 NPTS " + std::to_string(*npts) + " disagrees with the file, which holds " +
                       std::to_string(t.samples.size()) + " samples");
  return t;
}

Trace readColumns(std::string_view text, std::string_view source, const ColumnChoice& choice) {
  const auto lines = detail::splitLines(text);
  Trace t;
  t.unitOrigin = "a plain text file does not state its unit";
  std::vector<double> times;
  std::vector<std::size_t> timeLines;  // the line of each time
  std::size_t columns = 0, firstLine = 0;
  const std::size_t skip = std::min<std::size_t>(choice.skip, lines.size());
  for (std::size_t l = skip; l < lines.size(); ++l) {
    const auto body = detail::trim(lines[l]);
    if (body.empty() || body[0] == '#') continue;
    const auto tok = detail::tokens(body);
    if (!choice.column && tok.size() > 2)
      refuse(source, lineRef(l) + " holds " + std::to_string(tok.size()) +
                         " values; choose the column of the samples with --column N (and a time "
                         "column with --time-column M)");
    if (columns == 0) {
      columns = tok.size();
      firstLine = l;
    } else if (tok.size() != columns) {
      refuse(source, lineRef(l) + " holds " + std::to_string(tok.size()) + " values but " +
                         lineRef(firstLine) + " holds " + std::to_string(columns));
    }
    // The columns, counted from 1: the samples' and the times' (if any).
    const std::size_t valueAt = choice.column ? *choice.column : tok.size();
    const std::size_t timeAt = choice.column ? choice.timeColumn.value_or(0) : (tok.size() == 2 ? 1 : 0);
    if (valueAt > tok.size() || timeAt > tok.size())
      refuse(choice.column ? "--column" : "--time-column",
             "column " + std::to_string(std::max(valueAt, timeAt)) + " is not on " + lineRef(l) +
                 ", which holds " + std::to_string(tok.size()) + " values");
    if (timeAt > 0) {
      const auto time = detail::parseNumber(tok[timeAt - 1]);
      if (!time) refuse(source, lineRef(l) + ": '" + std::string(tok[timeAt - 1]) + "' is not a time");
      times.push_back(*time);
      timeLines.push_back(l);
    }
    const auto v = detail::parseFloat(tok[valueAt - 1]);
    if (!v) refuse(source, lineRef(l) + ": '" + std::string(tok[valueAt - 1]) + "' is not a number");
    t.samples.push_back(*v);
  }
  if (t.samples.empty()) refuse(source, "the file holds no samples");
  const std::string skipped = skip ? ", after " + std::to_string(skip) + " header lines" : "";
  const std::string which = choice.column ? "column " + std::to_string(*choice.column) + " of " +
                                                std::to_string(columns)
                                          : "";

  if (times.empty()) {
    t.formatText = "plain text, " + (which.empty() ? std::string("one value per line") : which) + skipped;
    if (!choice.dt) refuse(source, "no time column: give the sample interval with --dt");
    t.dt = *choice.dt;
    return t;
  }
  t.formatText = "plain text, " +
                 (which.empty() ? std::string("time and value per line") : which + " with times") + skipped;
  if (times.size() < 2) refuse(source, "a single time-value pair gives no sample interval");
  for (std::size_t k = 1; k < times.size(); ++k)
    if (!(times[k] > times[k - 1]))
      refuse(source, "the time column does not increase at " + lineRef(timeLines[k]) + ": " +
                         detail::numberText(times[k]) + " s follows " +
                         detail::numberText(times[k - 1]) + " s on " + lineRef(timeLines[k - 1]));
  // The interval from the two ends keeps all the digits the times were
  // written with; each step must agree with it to 1 % (times written with
  // fewer decimals than the interval needs, or a gap, fail here).
  const double step = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
  for (std::size_t k = 1; k < times.size(); ++k)
    if (std::fabs((times[k] - times[k - 1]) - step) > 0.01 * step)
      refuse(source, "the time column is not evenly spaced: sample " + std::to_string(k + 1) +
                         " (" + lineRef(timeLines[k]) + ") is at " +
                         detail::numberText(times[k]) + " s, the interval is " +
                         detail::numberText(step) + " s");
  if (choice.dt && std::fabs(*choice.dt - step) > 1e-6 * step)
    refuse(source, "--dt " + detail::numberText(*choice.dt) +
                       " disagrees with the time column's interval " + detail::numberText(step) + " s");
  t.dt = step;
  return t;
}

Trace readTrace(std::string_view contents, InputFormat format, std::string_view source,
                const ReadOptions& ro) {
  // Options that choose columns or skip a header say the file is text.
  const bool textAsked = ro.columns.column || ro.columns.timeColumn || ro.columns.skip > 0;
  if (format == InputFormat::Detect) format = detectFormat(contents);
  if (format == InputFormat::Detect && textAsked) format = InputFormat::Columns;
  if (format == InputFormat::Detect) refuseUnknown(contents, source);
  const std::string name(formatName(format));
  if (ro.dt && format != InputFormat::Columns)
    refuse("--dt", "applies to plain text only; the " + name + " input states its own interval");
  for (const auto& [given, option] : {std::pair{ro.columns.column.has_value(), "--column"},
                                      std::pair{ro.columns.timeColumn.has_value(), "--time-column"},
                                      std::pair{ro.columns.skip > 0, "--skip"}})
    if (given && format != InputFormat::Columns)
      refuse(option, "applies to plain text only; the input is " + name);
  if (ro.channel && format != InputFormat::Cosmos && format != InputFormat::Csmip &&
      format != InputFormat::Geonet && format != InputFormat::MiniSeed)
    refuse("--channel", "applies to COSMOS, CSMIP, GeoNet and miniSEED only; the " + name + " input holds one channel");
  if (ro.countsPerUnit && format != InputFormat::MiniSeed)
    refuse("--counts-per-unit", "applies to miniSEED only; the " + name + " input is not in counts");
  if (ro.stationXml && format != InputFormat::MiniSeed)
    refuse("--stationxml", "applies to miniSEED only");
  switch (format) {
    case InputFormat::SacBinary: return readSacBinary(contents, source);
    case InputFormat::SacAlpha: return readSacAlpha(contents, source);
    case InputFormat::At2: return readAt2(contents, source);
    case InputFormat::Knet: return readKnet(contents, source);
    case InputFormat::Cosmos: return readCosmos(contents, source, ro.channel);
    case InputFormat::Csmip: return readCsmip(contents, source, ro.channel);
    case InputFormat::Esm: return readEsm(contents, source);
    case InputFormat::Geonet: return readGeonet(contents, source, ro.channel);
    case InputFormat::MiniSeed: return readMiniSeed(contents, source, ro);
    case InputFormat::Columns:
    case InputFormat::Detect: break;
  }
  ColumnChoice choice = ro.columns;
  choice.dt = ro.dt;
  return readColumns(contents, source, choice);
}

}  // namespace convert
