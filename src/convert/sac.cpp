// SAC records, binary (either byte order) and alphanumeric.
//
// The header layout lives in sacio. The binary form stores the words as
// 4-byte values in the byte order of the machine that wrote them; the
// header version word (nvhdr, 6 or 7) tells which. Version 7 files may
// carry a footer of 22 doubles after the samples. The alphanumeric form
// writes the same words as text lines.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <climits>
#include <optional>

#include "convert/convert.hpp"
#include "convert/util.hpp"
#include "recinfo/recinfo.hpp"
#include "sacio/sacio.hpp"

namespace convert {
namespace {

using detail::refuse;
using sacio::kFloatWords;
using sacio::kIntWords;
using sacio::kHeaderBytes;
using sacio::kFooterBytes;
using sacio::kUndefFloat;
using sacio::kUndefInt;
using sacio::kDelta, sacio::kB, sacio::kO;
using sacio::kNzyear, sacio::kNzjday, sacio::kNzhour, sacio::kNzmin, sacio::kNzsec, sacio::kNzmsec;
using sacio::kNvhdr, sacio::kNpts, sacio::kIftype, sacio::kIdep, sacio::kLeven;
using sacio::kItime, sacio::kIunkn, sacio::kIdisp, sacio::kIvel, sacio::kIacc, sacio::kIvolts;
using sacio::knownVersion;
using SacHeader = sacio::Header;

// A name field: "-12345" (undefined) and blanks give an empty text. Tools
// that write C strings end the text with a NUL and pad the field with
// anything: the text ends at the first NUL.
std::string name(const SacHeader& h, sacio::NameField field) {
  std::string_view raw = h.name(field);
  raw = raw.substr(0, raw.find('\0'));
  std::string s = detail::printable(raw);
  if (s == "-12345") s.clear();
  return s;
}

bool defined(float v) { return v != kUndefFloat && std::isfinite(v); }

std::string_view idepText(int idep) {
  switch (idep) {
    case kIdisp: return "IDISP (displacement, nm)";
    case kIvel: return "IVEL (velocity, nm/s)";
    case kIvolts: return "IVOLTS (volts)";
    default: return "";
  }
}

// A header float as the decimal it was written from (35.81574, not
// 35.815738677978516): its shortest text read back in double.
std::optional<double> value(const SacHeader& h, int word) {
  const float v = h.f[static_cast<std::size_t>(word)];
  if (!defined(v)) return std::nullopt;
  return detail::parseNumber(detail::floatText(v));
}

std::string_view magnitudeType(std::int32_t imagtyp) {
  switch (imagtyp) {
    case sacio::kImb: return "mb";
    case sacio::kIms: return "Ms";
    case sacio::kIml: return "ML";
    case sacio::kImw: return "Mw";
    case sacio::kImd: return "Md";
    default: return "";
  }
}

// A value the file holds outside the range of its kind is left out, and
// the comment lines say so.
std::optional<double> checked(std::optional<double> v, double low, double high,
                              std::string_view what, Trace& t) {
  if (v && (*v < low || *v > high)) {
    t.notes.push_back("SAC header " + std::string(what) + " " + detail::numberText(*v) +
                      " is out of range and left out");
    return std::nullopt;
  }
  return v;
}

// The reference time (to the millisecond) and the offsets b and o: the
// first sample and the origin, rounded to the millisecond (a float offset
// carries noise below it: 13.999998 s is 14.000).
void readTimes(const SacHeader& h, std::string_view source, Trace& t) {
  const auto& n = h.i;
  const bool timeSet = n[kNzyear] >= 1 && n[kNzyear] <= 9999 && n[kNzjday] >= 1 &&
                       n[kNzjday] <= 366 && n[kNzhour] >= 0 && n[kNzhour] <= 23 &&
                       n[kNzmin] >= 0 && n[kNzmin] <= 59 && n[kNzsec] >= 0 && n[kNzsec] <= 60 &&
                       n[kNzmsec] >= 0 && n[kNzmsec] <= 999;
  const bool timeGiven = n[kNzyear] != kUndefInt || n[kNzjday] != kUndefInt;
  if (timeGiven && !timeSet) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "nzyear %d, nzjday %d, %02d:%02d:%02d.%03d", n[kNzyear],
                  n[kNzjday], n[kNzhour], n[kNzmin], n[kNzsec], n[kNzmsec]);
    const std::string line = "the SAC reference time (" + std::string(buf) +
                             ") is not a valid time: the record's times are left blank";
    t.notes.push_back("warning: " + line);
    t.warnings.push_back(std::string(source) + ": " + line);
  }
  if (!timeSet) return;
  const model::UtcTime ref = recinfo::utcFromDayOfYear(n[kNzyear], n[kNzjday], n[kNzhour],
                                                       n[kNzmin], n[kNzsec], n[kNzmsec] * 1000);
  // Offsets beyond a thousand years are not times of this record.
  auto at = [&](float v) -> std::optional<model::UtcTime> {
    if (!defined(v) || std::fabs(static_cast<double>(v)) > 3.2e10) return std::nullopt;
    return recinfo::roundedToMillisecond(recinfo::plusSeconds(ref, static_cast<double>(v)));
  };
  t.info.firstSample = at(h.f[kB]);
  t.info.event.origin = at(h.f[kO]);
}

// Station, component, times and event from the header.
void readRecording(const SacHeader& h, std::string_view source, Trace& t) {
  model::Recording& r = t.info;
  r.station.code = name(h, sacio::kKstnm);
  r.station.network = name(h, sacio::kKnetwk);
  r.station.location = name(h, sacio::kKhole);
  r.component.code = name(h, sacio::kKcmpnm);
  r.event.name = name(h, sacio::kKevnm);
  r.station.latitude = checked(value(h, sacio::kStla), -90, 90, "stla", t);
  r.station.longitude = checked(value(h, sacio::kStlo), -180, 360, "stlo", t);
  r.station.elevation = checked(value(h, sacio::kStel), -12000, 9000, "stel", t);
  r.station.sensorDepth = checked(value(h, sacio::kStdp), 0, 12000, "stdp", t);
  r.event.latitude = checked(value(h, sacio::kEvla), -90, 90, "evla", t);
  r.event.longitude = checked(value(h, sacio::kEvlo), -180, 360, "evlo", t);
  // evdp is in kilometres; older files wrote metres, which shows as a depth
  // below any earthquake's.
  auto depth = value(h, sacio::kEvdp);
  if (depth && *depth > 800.0 && *depth <= 800000.0) {
    t.notes.push_back("SAC header evdp " + detail::numberText(*depth) +
                      " is deeper than any earthquake in km: read as metres");
    *depth /= 1000.0;
  }
  r.event.depth = checked(depth, -10, 800, "evdp", t);
  r.event.magnitude = checked(value(h, sacio::kMag), -5, 12, "mag", t);
  if (r.event.magnitude) r.event.magnitudeType = std::string(magnitudeType(h.i[sacio::kImagtyp]));
  if (auto az = checked(value(h, sacio::kCmpaz), -360, 360, "cmpaz", t)) {
    *az = std::fmod(*az + 360.0, 360.0);
    r.component.azimuth = az;
  }
  // cmpinc is measured from up: 0 up, 90 horizontal, 180 down.
  if (const auto inc = checked(value(h, sacio::kCmpinc), 0, 180, "cmpinc", t))
    r.component.dip = *inc - 90.0;
  if (r.component.vertical()) r.component.azimuth.reset();
  readTimes(h, source, t);
}

// Fills everything but the samples from a header; `npts` is the count the
// caller has already checked against the data.
Trace traceFromHeader(const SacHeader& h, std::string_view source, std::string formatText) {
  Trace t;
  t.formatText = std::move(formatText);
  const float delta = h.f[kDelta];
  if (!defined(delta) || !(delta > 0.0f))
    refuse(source, "SAC header delta " + detail::numberText(delta) +
                       " is not a sample interval");
  t.dt = static_cast<double>(delta);
  const int iftype = h.i[kIftype];
  if (iftype != kUndefInt && iftype != kItime)
    refuse(source, "SAC header iftype " + std::to_string(iftype) +
                       " is not a time series (ITIME = 1)");

  const int idep = h.i[kIdep];
  if (idep == kIacc) {
    t.unit = Unit::NanometrePerS2;
    t.unitOrigin = "SAC header idep IACC";
  } else if (idep == kIunkn || idep == kUndefInt) {
    t.unitOrigin = "the SAC header idep does not name a unit";
  } else if (!idepText(idep).empty()) {
    t.unitOrigin = "the SAC header idep says " + std::string(idepText(idep)) + ", not acceleration";
  } else {
    t.unitOrigin = "the SAC header idep " + std::to_string(idep) + " is not a unit";
  }

  readRecording(h, source, t);
  return t;
}

// An unevenly sampled file holds a time for every value (leven false): its
// length and samples mean something else, so this is checked first.
void requireEven(const SacHeader& h, std::string_view source) {
  if (h.i[kLeven] == 0)
    refuse(source,
           "the SAC file is unevenly sampled (header leven is false: a time is stored for every "
           "value); kibconv reads evenly sampled records: interpolate it onto an even interval "
           "first (SAC's interpolate command does)");
}

void checkSamples(const std::vector<float>& x, std::string_view source) {
  for (std::size_t k = 0; k < x.size(); ++k)
    if (!std::isfinite(x[k]))
      refuse(source, "sample " + std::to_string(k + 1) + " is not a finite number");
}

}  // namespace

Trace readSacBinary(std::string_view bytes, std::string_view source) {
  if (bytes.size() < kHeaderBytes)
    refuse(source, "SAC binary file of " + std::to_string(bytes.size()) +
                       " bytes is shorter than the 632-byte header");
  const std::optional<bool> order = sacio::needsSwap(bytes);
  if (!order)
    refuse(source, "not a SAC binary file: the header version word is neither 6 nor 7 in either byte order");
  const bool swap = *order;
  const SacHeader h = sacio::decodeHeader(bytes, swap);

  const bool littleEndianFile = (std::endian::native == std::endian::little) != swap;
  requireEven(h, source);
  const std::int32_t npts = h.i[kNpts];
  if (npts <= 0) refuse(source, "SAC header npts " + std::to_string(npts) + " gives no samples");
  const std::size_t dataBytes = bytes.size() - kHeaderBytes;
  const std::size_t wanted = 4 * static_cast<std::size_t>(npts);
  const bool footer = h.i[kNvhdr] == 7 && dataBytes == wanted + kFooterBytes;
  if (dataBytes != wanted && !footer)
    refuse(source, "SAC header npts " + std::to_string(npts) + " disagrees with the file, which holds " +
                       std::to_string(dataBytes / 4) + " samples" +
                       (dataBytes % 4 ? " and " + std::to_string(dataBytes % 4) + " stray bytes" : ""));

  Trace t = traceFromHeader(h, source, std::string("SAC binary, ") +
                                           (littleEndianFile ? "little-endian" : "big-endian"));
  t.samples.resize(static_cast<std::size_t>(npts));
  for (std::size_t k = 0; k < t.samples.size(); ++k)
    t.samples[k] = sacio::sample(bytes, k, swap);
  checkSamples(t.samples, source);
  return t;
}

Trace readSacAlpha(std::string_view text, std::string_view source) {
  const auto lines = detail::splitLines(text);
  constexpr std::size_t kFloatLines = 14, kIntLines = 8, kNameLines = 8;
  constexpr std::size_t kHeaderLines = kFloatLines + kIntLines + kNameLines;
  if (lines.size() < kHeaderLines)
    refuse(source, "SAC alphanumeric file of " + std::to_string(lines.size()) +
                       " lines is shorter than the 30-line header");
  SacHeader h;
  h.names.clear();
  for (std::size_t l = 0; l < kFloatLines + kIntLines; ++l) {
    const auto tok = detail::tokens(lines[l]);
    if (tok.size() != 5)
      refuse(source, "SAC alphanumeric header line " + std::to_string(l + 1) + " holds " +
                         std::to_string(tok.size()) + " values instead of 5");
    for (std::size_t k = 0; k < 5; ++k) {
      const std::size_t w = 5 * l + k;
      if (l < kFloatLines) {
        const auto v = detail::parseFloat(tok[k]);
        if (!v) refuse(source, "SAC alphanumeric header line " + std::to_string(l + 1) + ": '" +
                                   std::string(tok[k]) + "' is not a number");
        h.f[w] = *v;
      } else {
        const auto v = detail::parseInteger(tok[k]);
        if (!v || *v < INT32_MIN || *v > INT32_MAX)
          refuse(source, "SAC alphanumeric header line " + std::to_string(l + 1) + ": '" +
                             std::string(tok[k]) + "' is not an integer");
        h.i[w - kFloatWords] = static_cast<std::int32_t>(*v);
      }
    }
  }
  if (!knownVersion(h.i[kNvhdr]))
    refuse(source, "not a SAC alphanumeric file: the header version nvhdr is " +
                       std::to_string(h.i[kNvhdr]) + ", not 6 or 7");
  // kstnm and kevnm share the first name line (8 + 16 columns); every other
  // name line holds three names of 8 columns.
  for (std::size_t l = kFloatLines + kIntLines; l < kHeaderLines; ++l)
    h.names += detail::field(lines[l], 24);
  requireEven(h, source);

  const std::int32_t npts = h.i[kNpts];
  if (npts <= 0) refuse(source, "SAC header npts " + std::to_string(npts) + " gives no samples");
  Trace t = traceFromHeader(h, source, "SAC alphanumeric");
  for (std::size_t l = kHeaderLines; l < lines.size(); ++l) {
    for (auto tok : detail::tokens(lines[l])) {
      const auto v = detail::parseFloat(tok);
      if (!v) refuse(source, "line " + std::to_string(l + 1) + ": '" + std::string(tok) +
                                 "' is not a number");
      t.samples.push_back(*v);
    }
  }
  if (t.samples.size() != static_cast<std::size_t>(npts))
    refuse(source, "SAC header npts " + std::to_string(npts) + " disagrees with the file, which holds " +
                       std::to_string(t.samples.size()) + " samples");
  checkSamples(t.samples, source);
  return t;
}

}  // namespace convert
