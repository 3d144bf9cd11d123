// Internal pieces of the text I/O layer: the parsed format, the column
// fields of fixed-format reading and writing, the free-format item rules and
// the statement engines that run over a source of lines. Not for callers
// outside src/textio; the public interface is textio.hpp.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/textio.hpp"

namespace textio::detail {

// ---- Fixed-format text -------------------------------------------------

enum class EditKind {
  Integer,   // Iw
  Fixed,     // Fw.d
  Exponent,  // Ew.d
  Text,      // A or Aw
  Skip,      // nX
  NewLine,   // '/'
  Literal,   // quoted text, output only
  Scale,     // kP
};

struct EditItem {
  EditKind kind = EditKind::Integer;
  int width = -1;    // -1: A without a width (the variable's own length)
  int decimals = 0;
  int count = 0;     // Skip: columns; Scale: the factor k
  std::string text;  // Literal: the text with doubled quotes undone
};

// A format with every repeat count expanded, so that running it is a walk
// along `items`. When the values outlast the items, the walk restarts at
// `reversionPoint` (the first item of the last top-level group, or 0) on a
// new line.
struct Format {
  std::vector<EditItem> items;
  std::size_t reversionPoint = 0;
  // At least one I, F, E or A item from reversionPoint on: without one a
  // statement whose values outlast the format could never end.
  bool reversionTakesData = false;
};

inline bool isData(EditKind k) {
  return k == EditKind::Integer || k == EditKind::Fixed || k == EditKind::Exponent ||
         k == EditKind::Text;
}

// Parses a format text such as "(2f9.3,a)" (case-insensitive, blanks ignored
// outside quotes). Throws IoError("fmt", kErrFormat) when it cannot.
Format parseFormat(std::string_view text);

// Output fields. Each returns exactly `width` characters (all '*' when the
// value does not fit), except formatText with width -1 (the whole string).
std::string formatInteger(int value, int width);
std::string formatFixed(float value, int width, int decimals, int scale);
std::string formatExponent(float value, int width, int decimals, int scale);
std::string formatText(std::string_view text, int width);

// Input fields: `field` holds exactly the field's columns (blank padded).
// Return false when the field holds something that is not a number.
bool readIntegerField(std::string_view field, int& value);
bool readRealField(std::string_view field, int decimals, int scale, float& value);
void readTextField(std::string_view field, std::string& target);

// The nearest float to `x` under round-to-nearest-even, infinity beyond the
// float range; never an out-of-range conversion.
float roundToFloat(double x);

// Decimal text -> nearest double. `digits` holds only decimal digits (may be
// empty: zero); the value is digits * 10^exponent10, negated when negative.
double decimalToDouble(bool negative, std::string_view digits, long long exponent10);

// The start of a decimal number at s[i]: an optional sign, then digits with
// at most one decimal point. Stops at the first other character, leaving i
// there.
struct Significand {
  bool negative = false;
  std::string digits;     // the digits, without the point
  bool point = false;     // a decimal point was present
  long long fraction = 0; // digits after the point
};
Significand scanSignificand(std::string_view s, std::size_t& i);

// ---- Statement engines -------------------------------------------------

// The lines of one channel, read in order.
class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line without its line end; false at the end of the file. The
  // view stays valid until the next call.
  virtual bool nextLine(std::string_view& line) = 0;
};

// One free-format read statement. False: end of file met and eofBranch set.
bool readListStatement(LineSource& source, std::span<const Target> targets, bool eofBranch);

// One fixed-format read statement with a parsed format.
bool readFormattedStatement(LineSource& source, const Format& format,
                            std::span<const Target> targets, bool eofBranch);

// The lines of one fixed-format write statement (each without its newline).
std::vector<std::string> formattedLines(const Format& format, std::span<const Value> values);

// The text of one free-format write statement: one or more lines, each
// ending in '\n'.
std::string listText(std::span<const Value> values);

}  // namespace textio::detail
