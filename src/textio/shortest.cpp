#include "textio/shortest.hpp"

#include <charconv>
#include <cstdio>
#include <system_error>

namespace textio {
namespace {

// std::to_chars's shortest text; `format` as given, or its own choice.
template <class T, class... Format>
std::string toChars(T value, Format... format) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, value, format...);
  return std::string(text, r.ptr);
}

}  // namespace

std::string shortest(float value) { return toChars(value); }

std::string shortest(double value) { return toChars(value); }

std::string shortestGeneral(float value) {
  // The shortest digits that read back as `value`, counted in their
  // exponent form; printf's %g with that many digits rounds to the same
  // digits and chooses the form as %g does.
  const std::string digits = toChars(value, std::chars_format::scientific);
  int count = 0;
  for (const char c : digits) {
    if (c == 'e') break;
    count += c >= '0' && c <= '9';
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", count, static_cast<double>(value));
  return text;
}

}  // namespace textio
