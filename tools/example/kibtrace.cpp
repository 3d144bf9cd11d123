#include "kibtrace.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace example {

namespace {

std::string format(const char* fmt, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, fmt, value);
  return buffer;
}

std::string formatInt(long value, int width) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%*ld", width, value);
  return buffer;
}

double peakOf(const std::vector<float>& x) {
  double peak = 0;
  for (float v : x) peak = std::fmax(peak, std::fabs(static_cast<double>(v)));
  return peak;
}

// Lines 1 to 9 of the layout; line 9 holds the peak (F10.3).
std::string headerTop(const KibHeader& h, std::size_t npts, double peak) {
  std::string s = "KIBTRACE FORMAT\n";
  s += field(h.head3, 3) + "\n";
  s += field(h.head16, 16) + "\n";
  s += field(h.rcode, 5) + field(h.rname, 12) + "\n";
  s += formatInt(h.isps, 10) + "\n";
  s += formatInt(static_cast<long>(npts), 10) + "\n";
  s += field(h.head24a, 24) + "\n";
  s += field(h.head24b, 24) + "\n";
  s += format("%10.3f", peak) + "\n";
  return s;
}

// Lines 13 to 16 and the free text lines.
std::string headerBottom(const KibHeader& h) {
  std::string s = field(h.head10a, 10) + field(h.head10b, 10) + field(h.head10c, 10) + "\n";
  s += field(h.head20, 20) + "\n";
  s += field(h.head11, 11) + "\n";
  s += formatInt(static_cast<long>(h.comments.size()), 10) + "\n";
  for (const std::string& c : h.comments) s += field(c, 80).substr(0, c.size()) + "\n";
  return s;
}

// The whole record: header, the scale line in the scale format, the sample
// format, the rest of the header and the sample lines.
std::string assemble(const KibHeader& h, std::size_t npts, double peak, const char* scaleFormat,
                     const std::string& scaleText, const char* sampleFormat,
                     const std::string& body) {
  std::string s = headerTop(h, npts, peak);
  s += field(scaleFormat, 10) + field(h.dunit, 5) + "\n";
  s += scaleText + "\n";
  s += field(sampleFormat, 10) + "\n";
  s += headerBottom(h) + body;
  return s;
}

}  // namespace

std::string field(const std::string& text, std::size_t width) {
  if (text.size() > width) {
    throw std::invalid_argument("KIBTRACE field \"" + text + "\" is longer than " +
                                std::to_string(width) + " columns");
  }
  return text + std::string(width - text.size(), ' ');
}

KibText writeFloatRecord(const KibHeader& h, const std::vector<double>& gal) {
  KibText out;
  std::string body;
  out.samples.reserve(gal.size());
  for (std::size_t i = 0; i < gal.size(); ++i) {
    const std::string cell = format("%10.4f", gal[i]);
    if (cell.size() != 10) throw std::invalid_argument("sample does not fit F10.4: " + cell);
    body += cell;
    if (i % 8 == 7 || i + 1 == gal.size()) body += "\n";
    // The scale factor is 1.0, and a product by 1 is exact.
    out.samples.push_back(static_cast<float>(std::strtod(cell.c_str(), nullptr)));
  }
  out.text = assemble(h, gal.size(), peakOf(out.samples), "F10.3", format("%10.3f", 1.0),
                      "8F10.4", body);
  return out;
}

KibText writeCountRecord(const KibHeader& h, const std::vector<double>& gal) {
  KibText out;
  std::string body;
  const float scale = static_cast<float>(std::strtod("0.001000", nullptr));
  out.samples.reserve(gal.size());
  for (std::size_t i = 0; i < gal.size(); ++i) {
    const double counts = std::nearbyint(gal[i] * 1000.0);
    if (!(std::fabs(counts) <= 9999999.0)) {
      throw std::invalid_argument("sample does not fit I8 as counts of 0.001");
    }
    const long count = static_cast<long>(counts);
    body += formatInt(count, 8);
    if (i % 10 == 9 || i + 1 == gal.size()) body += "\n";
    out.samples.push_back(static_cast<float>(count) * scale);
  }
  out.text = assemble(h, gal.size(), peakOf(out.samples), "F10.6", format("%10.6f", 0.001),
                      "10I8", body);
  return out;
}

}  // namespace example
