// Writing acceleration records in the KIBTRACE text layout: the fixed
// header lines, a number-format line and scale factor, and the samples in
// fixed columns, either as floating values (8F10.4) or as integer counts
// (10I8) with a scale factor.
#pragma once

#include <string>
#include <vector>

namespace example {

struct KibHeader {
  std::string head3;    // line 2, A3: component
  std::string head16;   // line 3, A16: date and time of the first sample
  std::string rcode;    // line 4, columns 1-5: station code
  std::string rname;    // line 4, columns 6-17: station name
  int isps = 100;       // line 5, I10: samples per second
  std::string head24a;  // line 7, A24: event
  std::string head24b;  // line 8, A24: network, station, channel
  std::string dunit;    // line 10, columns 11-15: amplitude unit
  std::string head10a, head10b, head10c;  // line 13, 3A10
  std::string head20;   // line 14, A20
  std::string head11;   // line 15, A11
  std::vector<std::string> comments;      // free text lines, at most 80 columns
};

// A written record and the samples exactly as a reader gets them back from
// the text: each value converted from its decimal text to the nearest
// single-precision value and multiplied by the scale factor in single
// precision.
struct KibText {
  std::string text;
  std::vector<float> samples;
};

// Floating samples in 8F10.4 (scale 1.0 on an F10.3 line). Throws
// std::invalid_argument for a sample that does not fit ten columns.
KibText writeFloatRecord(const KibHeader& h, const std::vector<double>& gal);

// Integer counts of 0.001 (10I8, scale 0.001 on an F10.6 line): each count
// is the value times 1000 rounded to the nearest integer, halves to even. Throws
// std::invalid_argument for a count that does not fit eight columns.
KibText writeCountRecord(const KibHeader& h, const std::vector<double>& gal);

// `text` blank padded to `width` columns; throws std::invalid_argument when
// it is longer, since a field is never cut silently.
std::string field(const std::string& text, std::size_t width);

}  // namespace example
