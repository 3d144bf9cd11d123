// Fixed-column blocks of the strong-motion text formats (COSMOS, CSMIP):
// Fortran edit descriptors, a cursor over the lines of a file, and the
// reading of a block of values each in its own columns.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/util.hpp"

namespace convert::detail {

std::string lower(std::string_view s);

// A Fortran edit descriptor such as 10I8, 6F13.6, 5E15.7: values per line
// and columns per value.
struct Fixed {
  int perLine = 0;
  int width = 0;
  bool integer = false;
};

// The first descriptor of the "Format=(...)" (any letter case) on `line`.
std::optional<Fixed> parseFixed(std::string_view line);

struct Cursor {
  const std::vector<std::string_view>& lines;
  std::string_view source;
  std::string_view format;  // "COSMOS", for messages
  std::size_t at = 0;

  std::string where(std::size_t l) const {
    return std::string(format) + " line " + std::to_string(l + 1);
  }
  bool done() const { return at >= lines.size(); }
  void skipBlank() {
    while (!done() && detail::trim(lines[at]).empty()) ++at;
  }
  // The line a layout rule names, with the rule described for a refusal.
  std::string_view expect(std::string_view what) {
    if (done())
      refuse(source, std::string(format) + " file ends where " + std::string(what) + " should follow");
    return lines[at];
  }
  [[noreturn]] void bad(std::string_view what) const {
    refuse(source, where(at) + " should be " + std::string(what) + ", not '" +
                       detail::printable(lines[at]) + "'");
  }
};

// A count line: "<n> <words...>" holding `word`. Returns n.
long long countLine(Cursor& c, std::string_view word, std::string_view what);

// A line of words (the next layout line), not of numbers.
bool startsWithLetter(std::string_view line);

// `count` fields of `f`, from the line at the cursor on; each line holds up
// to f.perLine fields of f.width columns. `header` is the line that
// announced them, `what` names them in a refusal.
std::vector<std::string_view> fields(Cursor& c, long long count, const Fixed& f, std::size_t header,
                                     std::string_view what);

}  // namespace convert::detail
