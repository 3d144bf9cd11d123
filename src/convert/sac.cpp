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

  t.station = name(h, sacio::kKstnm);
  t.eventName = name(h, sacio::kKevnm);
  t.component = name(h, sacio::kKcmpnm);
  t.network = name(h, sacio::kKnetwk);

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
  if (timeSet) {
    const std::int64_t ref =
        epochMs(n[kNzyear], n[kNzjday], n[kNzhour], n[kNzmin], n[kNzsec], n[kNzmsec]);
    // Offsets beyond a thousand years are not times of this record.
    auto offset = [](float v) -> std::optional<std::int64_t> {
      if (!defined(v) || std::fabs(static_cast<double>(v)) > 3.2e10) return std::nullopt;
      return static_cast<std::int64_t>(std::llround(static_cast<double>(v) * 1000.0));
    };
    if (auto b = offset(h.f[kB])) t.startMs = ref + *b;
    if (auto o = offset(h.f[kO])) t.eventMs = ref + *o;
  }
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
