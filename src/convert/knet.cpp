// K-NET and KiK-net ASCII records (one component a file: .NS .EW .UD, and
// KiK-net's .NS1 ... .UD2, 1 in the borehole and 2 at the surface).
//
// Seventeen header lines, each a label in columns 1-18 and its value from
// column 19, then integer counts, eight a line. The counts become gal by the
// Scale Factor "N(gal)/M": gal = counts x N / M; the mean of the whole record
// is removed, as the header's Max. Acc. assumes. Times in the file are Japan
// Standard Time (UTC+9) and become UTC here; the Record Time is stamped 15 s
// after the first sample (the recorder's delay), so the first sample is the
// Record Time less 15 s.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "convert/convert.hpp"
#include "convert/util.hpp"
#include "recinfo/recinfo.hpp"

namespace convert {
namespace {

using detail::refuse;

constexpr std::size_t kHeaderLines = 17;
constexpr std::size_t kLabelWidth = 18;
constexpr double kRecordDelaySeconds = 15.0;
constexpr double kJstAheadOfUtcSeconds = 9 * 3600.0;

// The header lines, in their order.
enum Line : std::size_t {
  kOrigin,
  kLat,
  kLong,
  kDepth,
  kMag,
  kStation,
  kStationLat,
  kStationLong,
  kHeight,
  kRecord,
  kRate,
  kDuration,
  kDir,
  kScale,
  kMaxAcc,
  kCorrection,
  kMemo
};

// What each header line holds.
enum class Holds { Time, Number, Code, Rate, Direction, Scale, Text };

struct HeaderLine {
  std::string_view label;
  Holds holds;
  std::string_view example;  // the value as a refusal describes it
};

constexpr HeaderLine kHeader[kHeaderLines] = {
    {"Origin Time", Holds::Time, "a time such as 2011/03/11 14:46:00"},
    {"Lat.", Holds::Number, "a latitude"},
    {"Long.", Holds::Number, "a longitude"},
    {"Depth. (km)", Holds::Number, "a depth"},
    {"Mag.", Holds::Number, "a magnitude"},
    {"Station Code", Holds::Code, "a station code such as MYG004"},
    {"Station Lat.", Holds::Number, "a latitude"},
    {"Station Long.", Holds::Number, "a longitude"},
    {"Station Height(m)", Holds::Number, "a height"},
    {"Record Time", Holds::Time, "a time such as 2011/03/11 14:47:00"},
    {"Sampling Freq(Hz)", Holds::Rate, "a rate such as 100Hz"},
    {"Duration Time(s)", Holds::Number, "a duration in seconds"},
    {"Dir.", Holds::Direction, "a direction N-S, E-W, U-D or 1 to 6"},
    {"Scale Factor", Holds::Scale, "a scale factor such as 7845(gal)/8223790"},
    {"Max. Acc. (gal)", Holds::Number, "a peak acceleration"},
    {"Last Correction", Holds::Time, "a time"},
    {"Memo.", Holds::Text, "free text"},
};

// The values of the header lines that the conversion uses.
struct KnetHeader {
  model::UtcTime origin, record;  // as written, in JST
  double lat = 0, lon = 0, depth = 0, mag = 0;
  double stationLat = 0, stationLon = 0, height = 0;
  std::string station, direction;
  int rate = 0;
  double duration = 0, maxAcc = 0;
  long long scaleNum = 0, scaleDen = 0;
};

std::optional<long long> positiveWhole(std::string_view s) {
  const auto v = detail::parseInteger(s);
  if (!v || *v < 1) return std::nullopt;
  return v;
}

// "7845(gal)/8223790": both parts positive whole numbers.
bool parseScale(std::string_view v, KnetHeader& h) {
  const auto open = v.find("(gal)/");
  if (open == std::string_view::npos) return false;
  const auto num = positiveWhole(v.substr(0, open));
  const auto den = positiveWhole(v.substr(open + 6));
  if (!num || !den) return false;
  h.scaleNum = *num, h.scaleDen = *den;
  return true;
}

// Checks one header line by what it should hold and keeps the value.
bool readHeaderLine(std::size_t k, std::string_view value, KnetHeader& h) {
  switch (kHeader[k].holds) {
    case Holds::Time: {
      const auto t = recinfo::parseUtc(value);
      if (!t) return false;
      if (k == kOrigin) h.origin = *t;
      if (k == kRecord) h.record = *t;
      return true;
    }
    case Holds::Number: {
      const auto v = detail::parseNumber(value);
      if (!v) return false;
      switch (k) {
        case kLat: h.lat = *v; return recinfo::validLatitude(*v);
        case kLong: h.lon = *v; return recinfo::validLongitude(*v);
        case kDepth: h.depth = *v; break;
        case kMag: h.mag = *v; break;
        case kStationLat: h.stationLat = *v; return recinfo::validLatitude(*v);
        case kStationLong: h.stationLon = *v; return recinfo::validLongitude(*v);
        case kHeight: h.height = *v; break;
        case kDuration: h.duration = *v; return *v > 0.0;
        case kMaxAcc: h.maxAcc = *v; break;
        default: break;
      }
      return true;
    }
    case Holds::Code:
      if (value.empty() || detail::tokens(value).size() != 1) return false;
      h.station = detail::printable(value);
      return true;
    case Holds::Rate: {
      if (value.size() < 3 || value.substr(value.size() - 2) != "Hz") return false;
      const auto r = positiveWhole(value.substr(0, value.size() - 2));
      if (!r || *r > 1000000) return false;
      h.rate = static_cast<int>(*r);
      return true;
    }
    case Holds::Direction: {
      // KiK-net may number its six channels: 1-3 borehole, 4-6 surface.
      constexpr std::string_view numbered[] = {"NS1", "EW1", "UD1", "NS2", "EW2", "UD2"};
      if (value == "N-S" || value == "E-W" || value == "U-D") {
        h.direction = std::string{value[0], value[2]};
        return true;
      }
      if (value.size() == 1 && value[0] >= '1' && value[0] <= '6') {
        h.direction = numbered[value[0] - '1'];
        return true;
      }
      return false;
    }
    case Holds::Scale: return parseScale(value, h);
    case Holds::Text: return true;
  }
  return false;
}

KnetHeader readHeader(const std::vector<std::string_view>& lines, std::string_view source) {
  if (lines.size() < kHeaderLines)
    refuse(source, "K-NET file of " + std::to_string(lines.size()) +
                       " lines is shorter than its 17 header lines");
  KnetHeader h;
  for (std::size_t k = 0; k < kHeaderLines; ++k) {
    const std::string_view line = lines[k];
    const auto label = detail::trim(line.substr(0, std::min(line.size(), kLabelWidth)));
    const auto value = line.size() > kLabelWidth ? detail::trim(line.substr(kLabelWidth)) : "";
    if (label != kHeader[k].label || !readHeaderLine(k, value, h))
      refuse(source, "K-NET header line " + std::to_string(k + 1) + " should hold '" +
                         std::string(kHeader[k].label) + "' and " +
                         std::string(kHeader[k].example) + ", not '" + detail::printable(line) +
                         "'");
  }
  return h;
}

// "NS2" for a KiK-net surface file named ....NS2 whose Dir. says N-S.
std::string componentOf(const KnetHeader& h, std::string_view source) {
  if (h.direction.size() == 3) return h.direction;
  const auto dot = source.rfind('.');
  if (dot != std::string_view::npos && source.size() - dot == 4) {
    const auto ext = source.substr(dot + 1);
    const bool same = std::toupper(static_cast<unsigned char>(ext[0])) == h.direction[0] &&
                      std::toupper(static_cast<unsigned char>(ext[1])) == h.direction[1];
    if (same && (ext[2] == '1' || ext[2] == '2')) return h.direction + ext[2];
  }
  return h.direction;
}

// What the header says of station, component, times and event.
void describeRecording(const KnetHeader& h, const std::string& component, Trace& t) {
  model::Recording& r = t.info;
  r.station.code = h.station;
  r.station.latitude = h.stationLat;
  r.station.longitude = h.stationLon;
  r.station.elevation = h.height;
  r.component.code = component;
  if (component[0] == 'U') {
    r.component.dip = -90.0;
  } else {
    r.component.azimuth = component[0] == 'N' ? 0.0 : 90.0;
    r.component.dip = 0.0;
  }
  r.event.origin = recinfo::plusSeconds(h.origin, -kJstAheadOfUtcSeconds);
  r.event.latitude = h.lat;
  r.event.longitude = h.lon;
  r.event.depth = h.depth;
  r.event.magnitude = h.mag;
  r.event.magnitudeType = "MJMA";
  r.firstSample = recinfo::plusSeconds(h.record, -kJstAheadOfUtcSeconds - kRecordDelaySeconds);
  t.notes.push_back("times in the file are JST (UTC+9), written here in UTC; the Record Time " +
                    recinfo::isoText(h.record).substr(0, 19) +
                    " JST is 15 s after the first sample (the recorder's delay)");
  if (component.size() == 3 && component[2] == '1')
    t.notes.push_back("a KiK-net borehole sensor: its depth is not in the file, and its "
                      "horizontal components may not point north and east as named");
}

}  // namespace

Trace readKnet(std::string_view text, std::string_view source) {
  const auto lines = detail::splitLines(text);
  const KnetHeader h = readHeader(lines, source);

  std::vector<long long> counts;
  for (std::size_t l = kHeaderLines; l < lines.size(); ++l)
    for (auto tok : detail::tokens(lines[l])) {
      const auto c = detail::parseInteger(tok);
      if (!c || *c < -2147483648LL || *c > 2147483647LL)
        refuse(source, "line " + std::to_string(l + 1) + ": '" + std::string(tok) +
                           "' is not an integer count");
      counts.push_back(*c);
    }
  // The duration is written in whole seconds: the count may differ from
  // duration x rate by up to half a second of samples.
  const double expected = h.duration * h.rate;
  const double n = static_cast<double>(counts.size());
  if (counts.empty() || std::fabs(n - expected) > 0.5 * h.rate)
    refuse(source, "K-NET header line " + std::to_string(kDuration + 1) + " gives " +
                       detail::numberText(h.duration) + " s at " + std::to_string(h.rate) +
                       " Hz (" + detail::numberText(expected) + " samples), but the file holds " +
                       std::to_string(counts.size()) + " counts");

  Trace t;
  const std::string component = componentOf(h, source);
  const bool kik = component.size() == 3;
  t.formatText = kik ? "KiK-net ASCII" : "K-NET ASCII";
  t.dt = 1.0 / h.rate;
  t.unit = Unit::Gal;
  t.unitOrigin = "the K-NET Scale Factor (gal)";
  describeRecording(h, component, t);
  // 32-bit counts sum exactly in 64 bits; each sample is formed in double
  // and rounded once to float.
  long long sum = 0;
  for (long long c : counts) sum += c;
  const double mean = static_cast<double>(sum) / n;
  const double scale = static_cast<double>(h.scaleNum) / static_cast<double>(h.scaleDen);
  float peak = 0.0f;
  for (long long c : counts) {
    t.samples.push_back(static_cast<float>((static_cast<double>(c) - mean) * scale));
    peak = std::max(peak, std::fabs(t.samples.back()));
  }

  char buf[96];
  t.notes.push_back("gal = counts x " + std::to_string(h.scaleNum) + "/" +
                    std::to_string(h.scaleDen) + " less the record's mean of " +
                    detail::numberText(mean) + " counts");
  // The header's peak is given to 0.001 gal.
  const bool agrees = std::fabs(static_cast<double>(peak) - h.maxAcc) <= 0.0015;
  std::snprintf(buf, sizeof buf, "peak %.3f gal %s the header's Max. Acc. %.3f gal",
                static_cast<double>(peak), agrees ? "agrees with" : "differs from", h.maxAcc);
  t.notes.push_back(buf);
  return t;
}

}  // namespace convert
