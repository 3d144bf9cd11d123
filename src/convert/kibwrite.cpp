// The KIBTRACE writer.
//
// Every header field is written blank-padded to its full width so that the
// program's fixed-column reads find each value in its columns:
//    1 "KIBTRACE FORMAT"                     9 F10.3  peak |sample|
//    2 A3   component                       10 A10,A5 "*" (scale read free), unit
//    3 A16  event time "YYYY/MM/DD hh:mm"   11 free   scale factor
//    4 A5,A12 station label, station name   12 A10    sample format
//    5 I10  samples per second              13 3A10   network, station, channel
//    6 I10  npts                            14 A20    "converted by kibconv"
//    7 A24  event name                      15 A11    "dt=" interval
//    8 A24  network.station component       16 free   nskip, then nskip lines of A80
// and then the samples, one read of npts values.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>

#include "convert/convert.hpp"
#include "convert/util.hpp"
#include "recinfo/recinfo.hpp"

namespace convert {
namespace {

using detail::field;

// Decimal exponent of a positive value as %.6e shows it (the exponent after
// rounding to seven significant digits, which is the rounding the samples
// will see).
int decimalExponent(float peak) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6e", static_cast<double>(peak));
  const char* e = std::strchr(buf, 'e');
  return e ? std::atoi(e + 1) : 0;
}

float peakOf(std::span<const float> x) {
  float peak = 0.0f;
  for (float v : x) peak = std::max(peak, std::fabs(v));
  return peak;
}

// Nine significant digits tell every float apart: the decimal read back
// rounds to the float it came from (also through the reader's widening to
// double first, since a nine-digit decimal never lies near a midpoint
// between two floats).
std::string exactText(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9G", static_cast<double>(v));
  return buf;
}

std::string rightJustified(const std::string& s, int width) {
  const auto w = static_cast<std::size_t>(width);
  return s.size() >= w ? s : std::string(w - s.size(), ' ') + s;
}

// The peak in F10.3, or in ten columns of exponent form when it is too
// large for F10.3 (a fixed-format real field accepts an exponent).
std::string peakField(float peak) {
  std::string s = fixedField(peak, 10, 3);
  if (s.size() <= 10) return s;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%10.3E", static_cast<double>(peak));
  return buf;
}

// "CI.CLC HNE": network, station and component as far as they are known.
std::string channelText(const model::Recording& r) {
  const std::string& net = r.station.network;
  const std::string& sta = r.station.code;
  std::string s = net.empty() || sta.empty() ? net + sta : net + "." + sta;
  if (!r.component.code.empty()) s += (s.empty() ? "" : " ") + r.component.code;
  return s;
}

long long countOf(float v, float scale) {
  return std::llround(static_cast<double>(v) / static_cast<double>(scale));
}

// One comment as lines of at most kCommentWidth columns, broken at blanks;
// each further line starts with two blanks, which mark it as going on. A
// word longer than a whole line is broken where the line ends.
void wrapComment(const std::string& text, std::vector<std::string>& out) {
  std::string_view rest = detail::trim(text);
  std::string_view indent;
  do {
    const std::size_t room = kCommentWidth - indent.size();
    std::size_t cut = rest.size();
    if (cut > room) {
      cut = rest.rfind(' ', room);
      if (cut == std::string_view::npos || cut == 0) cut = room;
    }
    out.push_back(std::string(indent) + std::string(detail::trim(rest.substr(0, cut))));
    rest = detail::trim(rest.substr(cut));
    indent = "  ";
  } while (!rest.empty());
}

// The comment lines of a record, wrapped; a record holds at most
// kMaxCommentLines, so the last line says how many did not fit.
std::vector<std::string> commentLines(const std::vector<std::string>& comments) {
  std::vector<std::string> lines;
  for (const auto& c : comments) wrapComment(detail::printable(c), lines);
  if (lines.size() > static_cast<std::size_t>(kMaxCommentLines)) {
    const std::size_t left = lines.size() - (kMaxCommentLines - 1);
    lines.resize(kMaxCommentLines - 1);
    lines.push_back("(" + std::to_string(left) + " further comment lines did not fit the record)");
  }
  return lines;
}

}  // namespace

std::string stationLabel(std::string_view code) {
  if (code.size() <= 5) return std::string(code);
  std::size_t digits = 0;
  while (digits < code.size() && std::isdigit(static_cast<unsigned char>(code[code.size() - 1 - digits])))
    ++digits;
  if (digits == 0 || digits > 4) return std::string(code.substr(0, 5));
  return std::string(code.substr(0, 5 - digits)) + std::string(code.substr(code.size() - digits));
}

std::string fixedField(float value, int width, int decimals) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%#.*f", decimals, static_cast<double>(value));  // always a point
  std::string s = buf;
  // A value that rounds to zero is written without a minus sign.
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return rightJustified(s, width);
}

SampleFormat chooseFormat(std::span<const float> x, const WriteOptions& opt,
                          std::string_view source) {
  SampleFormat f;
  const float peak = peakOf(x);
  const int e = peak > 0.0f ? decimalExponent(peak) : 0;
  switch (opt.style) {
    case NumberStyle::Free:
      f.width = 16;  // " -1.23456789E-38" is the widest value
      f.perLine = 5;
      return f;
    case NumberStyle::Fixed: {
      // Seven significant digits for the peak: a float carries a little
      // more than seven, so the peak and everything near it keep all they
      // have; smaller samples keep the same absolute resolution 10^-d.
      f.decimals = std::max(0, 6 - e);
      std::size_t longest = 0;
      for (float v : x) longest = std::max(longest, fixedField(v, 0, f.decimals).size());
      f.width = static_cast<int>(longest) + 1;  // at least one blank between values
      break;
    }
    case NumberStyle::Counts: {
      if (opt.countScale) {
        f.scale = *opt.countScale;
      } else if (peak > 0.0f) {
        // A power of ten that makes the peak 10^6 to 10^7 counts: seven
        // digits, and below 2^24 so every count is exact as a float.
        char power[16];
        std::snprintf(power, sizeof power, "1e%d", e - 6);
        f.scale = std::strtof(power, nullptr);
        if (!(f.scale >= std::numeric_limits<float>::min()))
          detail::refuse(source, "peak " + detail::floatText(peak) +
                                     " is too small for integer counts; use --number free");
      }
      long long widest = 0;
      for (std::size_t k = 0; k < x.size(); ++k) {
        const double c = static_cast<double>(x[k]) / static_cast<double>(f.scale);
        if (!(std::fabs(c) <= 2147483647.0))
          detail::refuse(opt.countScale ? "--scale" : source,
                         "sample " + std::to_string(k + 1) + " would be " + detail::numberText(c) +
                             " counts of " + detail::numberText(f.scale) +
                             ", beyond the 32-bit integers of a record");
        widest = std::max(widest, static_cast<long long>(std::to_string(countOf(x[k], f.scale)).size()));
      }
      f.width = static_cast<int>(widest) + 1;
      break;
    }
  }
  f.perLine = std::max(1, 80 / f.width);
  char dfmt[32];
  if (opt.style == NumberStyle::Counts)
    std::snprintf(dfmt, sizeof dfmt, "%dI%d", f.perLine, f.width);
  else
    std::snprintf(dfmt, sizeof dfmt, "%dF%d.%d", f.perLine, f.width, f.decimals);
  f.dfmt = dfmt;
  return f;
}

std::string formatKib(const Trace& t, int isps, const WriteOptions& opt, std::string_view source) {
  const SampleFormat f = chooseFormat(t.samples, opt, source);
  std::ostringstream s;
  s << "KIBTRACE FORMAT\n";
  const model::Recording& r = t.info;
  s << field(r.component.code, 3) << '\n';
  const auto eventTime = r.event.origin ? r.event.origin : r.firstSample;
  s << field(eventTime ? recinfo::minuteText(*eventTime) : "", 16) << '\n';
  s << field(opt.label, 5) << field(r.station.name, 12) << '\n';
  s << rightJustified(std::to_string(isps), 10) << '\n';
  s << rightJustified(std::to_string(t.samples.size()), 10) << '\n';
  s << field(r.event.name, 24) << '\n';
  s << field(channelText(r), 24) << '\n';
  s << peakField(peakOf(t.samples)) << '\n';
  s << field("*", 10) << field(unitField(t.unit), 5) << '\n';
  s << (opt.style == NumberStyle::Counts ? detail::floatText(f.scale) : std::string("1.0")) << '\n';
  s << field(f.dfmt, 10) << '\n';
  s << field(r.station.network, 10) << field(r.station.code, 10) << field(r.component.code, 10) << '\n';
  s << field("converted by kibconv", 20) << '\n';
  // "dt=0.01000" as records have it; rates beyond 100000 per second would
  // show only zeros that way.
  char dt[32];
  std::snprintf(dt, sizeof dt, isps <= 100000 ? "dt=%.5f" : "dt=%.2e", 1.0 / isps);
  s << field(dt, 11) << '\n';

  const std::vector<std::string> lines = commentLines(opt.comments);
  s << lines.size() << '\n';
  for (const auto& line : lines) s << line << '\n';

  for (std::size_t k = 0; k < t.samples.size(); ++k) {
    const float v = t.samples[k];
    switch (opt.style) {
      case NumberStyle::Free: s << rightJustified(exactText(v), f.width); break;
      case NumberStyle::Fixed: s << fixedField(v, f.width, f.decimals); break;
      case NumberStyle::Counts:
        s << rightJustified(std::to_string(countOf(v, f.scale)), f.width);
        break;
    }
    if ((k + 1) % static_cast<std::size_t>(f.perLine) == 0 || k + 1 == t.samples.size()) s << '\n';
  }
  return s.str();
}

}  // namespace convert
