#include "textio/shortest.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string shortestGeneral(float value, bool plainWhole) {
  // No fewer digits than the shortest text that reads back as `value`
  // (counted in its exponent form). printf's %g with as many digits rounds
  // to the nearest; beside a power of two that may fall outside the float's
  // narrower lower interval (1.5474251e+26 is "1.547425e+26" at 7 digits,
  // which reads back as the float below), so one more digit is tried until
  // it reads back.
  const std::string digits = toChars(value, std::chars_format::scientific);
  int count = 0;
  for (const char c : digits) {
    if (c == 'e') break;
    count += c >= '0' && c <= '9';
  }
  const bool plain = plainWhole && std::fabs(value) >= 1 && std::fabs(value) < 1e9;
  char text[64];
  for (;; ++count) {
    std::snprintf(text, sizeof text, "%.*g", count, static_cast<double>(value));
    if (count >= 9 || !std::isfinite(value)) break;
    if (plain && std::strchr(text, 'e') != nullptr) continue;
    if (std::strtof(text, nullptr) == value) break;
  }
  return text;
}

}  // namespace textio
