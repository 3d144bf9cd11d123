// The "key: value" comment lines of a record: one table of the keys, from
// which the lines are written and read.
#include <charconv>
#include <cmath>
#include <functional>

#include "recinfo/recinfo.hpp"

namespace recinfo {
namespace {

using model::Recording;

// The shortest text that reads back as exactly `v`.
std::string numberText(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::optional<double> parseNumber(std::string_view s) {
  if (s.empty() || s[0] == '+') s.remove_prefix(s.empty() ? 0 : 1);
  double v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// A number a key holds: its range and what it is called in a problem.
struct Range {
  double low, high;
  std::string_view what;
};

// One key: how its value is read from a recording and written into one.
struct Key {
  std::string_view name;
  std::function<std::optional<std::string>(const Recording&)> get;
  // Sets the value; returns what is wrong with the text, or nothing.
  std::function<std::optional<std::string>(Recording&, std::string_view)> set;
};


template <typename Field>
Key text(std::string_view name, Field field) {
  return {name,
          [field](const Recording& r) -> std::optional<std::string> {
            const std::string& s = field(r);
            if (s.empty()) return std::nullopt;
            return s;
          },
          [field](Recording& r, std::string_view v) -> std::optional<std::string> {
            field(r) = std::string(v);
            return std::nullopt;
          }};
}

template <typename Field>
Key number(std::string_view name, Field field, Range range) {
  return {name,
          [field](const Recording& r) -> std::optional<std::string> {
            const auto& v = field(r);
            if (!v) return std::nullopt;
            return numberText(*v);
          },
          [field, range](Recording& r, std::string_view v) -> std::optional<std::string> {
            const auto x = parseNumber(v);
            if (!x || *x < range.low || *x > range.high)
              return "is not " + std::string(range.what) + " (" + numberText(range.low) + " to " +
                     numberText(range.high) + ")";
            field(r) = *x;
            return std::nullopt;
          }};
}

template <typename Field>
Key time(std::string_view name, Field field) {
  return {name,
          [field](const Recording& r) -> std::optional<std::string> {
            const auto& t = field(r);
            if (!t) return std::nullopt;
            return isoText(*t);
          },
          [field](Recording& r, std::string_view v) -> std::optional<std::string> {
            const auto t = parseUtc(v);
            if (!t) return std::string("is not a UTC time such as 2019-07-06T03:19:53.040Z");
            field(r) = *t;
            return std::nullopt;
          }};
}

constexpr Range kLatitude{-90, 90, "a latitude in degrees"};
constexpr Range kLongitude{-180, 360, "a longitude in degrees"};

const std::vector<Key>& keys() {
  static const std::vector<Key> table = {
      text("network", [](auto& r) -> auto& { return r.station.network; }),
      text("station", [](auto& r) -> auto& { return r.station.code; }),
      text("location", [](auto& r) -> auto& { return r.station.location; }),
      text("station-name", [](auto& r) -> auto& { return r.station.name; }),
      number("station-latitude", [](auto& r) -> auto& { return r.station.latitude; }, kLatitude),
      number("station-longitude", [](auto& r) -> auto& { return r.station.longitude; }, kLongitude),
      number("station-elevation-m", [](auto& r) -> auto& { return r.station.elevation; },
             {-12000, 9000, "an elevation in metres"}),
      number("sensor-depth-m", [](auto& r) -> auto& { return r.station.sensorDepth; },
             {0, 12000, "a depth in metres"}),
      text("component", [](auto& r) -> auto& { return r.component.code; }),
      number("component-azimuth", [](auto& r) -> auto& { return r.component.azimuth; },
             {0, 360, "an azimuth in degrees"}),
      number("component-dip", [](auto& r) -> auto& { return r.component.dip; },
             {-90, 90, "a dip in degrees"}),
      time("first-sample", [](auto& r) -> auto& { return r.firstSample; }),
      text("event", [](auto& r) -> auto& { return r.event.name; }),
      time("event-origin", [](auto& r) -> auto& { return r.event.origin; }),
      number("event-latitude", [](auto& r) -> auto& { return r.event.latitude; }, kLatitude),
      number("event-longitude", [](auto& r) -> auto& { return r.event.longitude; }, kLongitude),
      number("event-depth-km", [](auto& r) -> auto& { return r.event.depth; },
             {-10, 800, "a depth in kilometres"}),
      number("event-magnitude", [](auto& r) -> auto& { return r.event.magnitude; },
             {-5, 12, "a magnitude"}),
      text("event-magnitude-type", [](auto& r) -> auto& { return r.event.magnitudeType; }),
  };
  return table;
}

const Key* findKey(std::string_view name) {
  for (const auto& k : keys())
    if (k.name == name) return &k;
  return nullptr;
}

// A line broken at blanks into lines of at most kLineWidth columns, each
// further one starting with two blanks.
void wrap(std::string_view line, std::vector<std::string>& out) {
  std::string_view indent;
  while (true) {
    const std::size_t room = kLineWidth - indent.size();
    if (line.size() <= room) {
      out.push_back(std::string(indent) + std::string(line));
      return;
    }
    std::size_t cut = line.rfind(' ', room);
    if (cut == std::string_view::npos || cut == 0) cut = room;
    out.push_back(std::string(indent) + std::string(trimmed(line.substr(0, cut))));
    line = trimmed(line.substr(cut));
    indent = "  ";
  }
}

// Printable ASCII only, on one line.
std::string oneLine(const std::string& s) {
  std::string out;
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    out += (u >= 0x20 && u < 0x7f) ? c : '?';
  }
  return std::string(trimmed(out));
}

}  // namespace

bool validLatitude(double degrees) { return degrees >= -90.0 && degrees <= 90.0; }
bool validLongitude(double degrees) { return degrees >= -180.0 && degrees <= 360.0; }

std::vector<std::string> describe(const Recording& r) {
  std::vector<std::string> lines;
  for (const auto& k : keys())
    if (const auto v = k.get(r); v && !oneLine(*v).empty())
      wrap(std::string(k.name) + ": " + oneLine(*v), lines);
  return lines;
}

Parsed parse(std::span<const std::string> lines) {
  Parsed out;
  std::vector<bool> seen(keys().size(), false);
  // The key line being read (it may go on in further lines), its key and text.
  const Key* open = nullptr;
  std::string value;
  std::size_t openLine = 0;
  auto finish = [&] {
    if (!open) return;
    if (const auto wrong = open->set(out.recording, value))
      out.problems.push_back("comment line " + std::to_string(openLine) + ": " +
                             std::string(open->name) + " '" + value + "' " + *wrong);
    open = nullptr;
  };
  for (std::size_t n = 0; n < lines.size(); ++n) {
    std::string_view line = lines[n];
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);
    if (open && line.rfind("  ", 0) == 0 && !trimmed(line).empty()) {
      value += " " + std::string(trimmed(line));
      continue;
    }
    finish();
    const auto colon = line.find(": ");
    const Key* key = colon == std::string_view::npos ? nullptr : findKey(line.substr(0, colon));
    if (!key) continue;
    const auto index = static_cast<std::size_t>(key - keys().data());
    if (seen[index])
      out.problems.push_back("comment line " + std::to_string(n + 1) + ": " +
                             std::string(key->name) + " is given a second time; the last is kept");
    seen[index] = true;
    open = key;
    openLine = n + 1;
    value = std::string(trimmed(line.substr(colon + 2)));
  }
  finish();
  return out;
}

}  // namespace recinfo
