// Column fields of fixed-format reading and writing, and the decimal
// conversions shared with free-format reading.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "textio/detail.hpp"

namespace textio::detail {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// printf's text of x under `format` ("%#.*f" or "%.*E") with `precision`.
std::string printfText(const char* format, int precision, double x) {
  char buf[80];
  int n = std::snprintf(buf, sizeof buf, format, precision, x);
  if (n < 0) return "*";
  if (static_cast<std::size_t>(n) < sizeof buf) return std::string(buf, static_cast<std::size_t>(n));
  std::string s(static_cast<std::size_t>(n), '\0');
  std::snprintf(s.data(), s.size() + 1, format, precision, x);
  return s;
}

// Fixed notation, rounded from the exact binary value, always with a decimal
// point (F5.0 of 1 is "   1.").
std::string fixedText(int decimals, double x) { return printfText("%#.*f", decimals, x); }

// One digit, the point (absent for precision 0), the digits, 'E', the
// exponent's sign and at least two digits.
std::string exponentText(int precision, double x) { return printfText("%.*E", precision, x); }

bool allZeroDigits(std::string_view s) {
  for (char c : s) {
    if (isDigit(c) && c != '0') return false;
  }
  return true;
}

// Right-justifies `s` in `width` columns. A text exactly one column too wide
// whose first digit is an optional zero before the point ("0.50", "-0.50")
// loses that zero; anything else too wide becomes `width` asterisks.
std::string fitField(std::string s, int width, bool optionalLeadingZero) {
  const auto w = static_cast<std::size_t>(width);
  if (s.size() == w + 1 && optionalLeadingZero) {
    const std::size_t z = (s[0] == '-') ? 1 : 0;
    if (s.size() > z + 1 && s[z] == '0' && s[z + 1] == '.') s.erase(z, 1);
  }
  if (s.size() > w) return std::string(w, '*');
  return std::string(w - s.size(), ' ') + s;
}

}  // namespace

float roundToFloat(double x) {
  // Halfway between the largest float and 2^128: from here on the nearest
  // float (ties to even) is infinity.
  constexpr double kOverflowHalfway = 0x1.ffffffp+127;
  if (x >= kOverflowHalfway) return std::numeric_limits<float>::infinity();
  if (x <= -kOverflowHalfway) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(x);
}

double decimalToDouble(bool negative, std::string_view digits, long long exponent10) {
  // Exponents this large already give zero or infinity; clamping keeps the
  // text short and the arithmetic below from overflowing.
  constexpr long long kExponentClamp = 999999999;
  if (exponent10 > kExponentClamp) exponent10 = kExponentClamp;
  if (exponent10 < -kExponentClamp) exponent10 = -kExponentClamp;
  std::string text;
  text.reserve(digits.size() + 16);
  if (negative) text += '-';
  if (digits.empty()) {
    text += '0';
  } else {
    text.append(digits);
  }
  text += 'e';
  text += std::to_string(exponent10);
  // The program never changes the C locale, so strtod's decimal rules are
  // the plain ones; it rounds correctly to the nearest double.
  return std::strtod(text.c_str(), nullptr);
}

std::string formatInteger(int value, int width) {
  std::string s = std::to_string(value);
  const auto w = static_cast<std::size_t>(width);
  if (s.size() > w) return std::string(w, '*');
  return std::string(w - s.size(), ' ') + s;
}

std::string formatFixed(float value, int width, int decimals, int scale) {
  double x = static_cast<double>(value);
  if (scale != 0) x = x * std::pow(10.0, scale);
  std::string s = fixedText(decimals, x);
  // A value that rounds to zero carries no sign (also an exact -0.0).
  if (std::isfinite(x) && s[0] == '-' && allZeroDigits(s)) s.erase(0, 1);
  return fitField(std::move(s), width, true);
}

std::string formatExponent(float value, int width, int decimals, int scale) {
  const double x = static_cast<double>(value);
  const auto w = static_cast<std::size_t>(width);
  if (!std::isfinite(x)) return fitField(exponentText(0, x), width, false);
  // Under kP the mantissa holds k digits before the point (k > 0) or -k
  // zeros after it (k <= 0); the standard limits are -d < k < d + 2.
  if (scale <= -decimals || scale > decimals + 1) return std::string(w, '*');
  const int significant = scale <= 0 ? decimals + scale : decimals + 1;
  const std::string m = exponentText(significant - 1, std::fabs(x));
  const std::size_t ePos = m.find('E');
  if (ePos == std::string::npos) return std::string(w, '*');
  std::string digits;
  for (std::size_t i = 0; i < ePos; ++i) {
    if (isDigit(m[i])) digits += m[i];
  }
  const int e = std::atoi(m.c_str() + ePos + 1);
  const bool zero = allZeroDigits(digits);
  const int exponent = zero ? 0 : e + 1 - scale;

  std::string s = (std::signbit(x) && !zero) ? "-" : "";
  if (scale <= 0) {
    s += "0.";
    s.append(static_cast<std::size_t>(-scale), '0');
    s += digits;
  } else {
    s += digits.substr(0, static_cast<std::size_t>(scale));
    s += '.';
    s += digits.substr(static_cast<std::size_t>(scale));
  }
  const int magnitude = exponent < 0 ? -exponent : exponent;
  const char sign = exponent < 0 ? '-' : '+';
  char ex[8];
  if (magnitude <= 99) {
    std::snprintf(ex, sizeof ex, "E%c%02d", sign, magnitude);
  } else if (magnitude <= 999) {
    std::snprintf(ex, sizeof ex, "%c%03d", sign, magnitude);
  } else {
    return std::string(w, '*');
  }
  s += ex;
  return fitField(std::move(s), width, scale <= 0);
}

std::string formatText(std::string_view text, int width) {
  if (width < 0) return std::string(text);
  const auto w = static_cast<std::size_t>(width);
  if (text.size() >= w) return std::string(text.substr(0, w));
  return std::string(w - text.size(), ' ') + std::string(text);
}

bool readIntegerField(std::string_view field, int& value) {
  std::string s;
  for (char c : field) {
    if (c != ' ') s += c;
  }
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long magnitude = 0;
  for (; i < s.size(); ++i) {
    if (!isDigit(s[i])) return false;
    magnitude = magnitude * 10 + (s[i] - '0');
    if (magnitude > 2147483648LL) return false;
  }
  if (!negative && magnitude > 2147483647LL) return false;
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

Significand scanSignificand(std::string_view s, std::size_t& i) {
  Significand m;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) m.negative = s[i++] == '-';
  for (; i < s.size(); ++i) {
    if (isDigit(s[i])) {
      m.digits += s[i];
      if (m.point) ++m.fraction;
    } else if (s[i] == '.' && !m.point) {
      m.point = true;
    } else {
      break;
    }
  }
  return m;
}

bool readRealField(std::string_view field, int decimals, int scale, float& value) {
  std::string s;
  for (char c : field) {
    if (c != ' ') s += c;
  }
  std::size_t i = 0;
  const Significand m = scanSignificand(s, i);
  if (m.digits.empty()) {
    if (i < s.size() || m.point) return false;
    value = m.negative ? -0.0f : 0.0f;  // blanks only, or a lone sign: zero
    return true;
  }
  bool hasExponent = false;
  long long exponent = 0;
  if (i < s.size()) {
    const char c = s[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') ++i;
    else if (c != '+' && c != '-') return false;
    bool expNegative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
    if (i == s.size()) return false;
    for (; i < s.size(); ++i) {
      if (!isDigit(s[i])) return false;
      if (exponent < 1000000000LL) exponent = exponent * 10 + (s[i] - '0');
    }
    if (expNegative) exponent = -exponent;
    hasExponent = true;
  }
  // Without a point the digits carry d implied decimals; a point overrides d.
  long long e10 = exponent - (m.point ? m.fraction : decimals);
  // On input a scale factor divides by 10^k, but only when the field has no
  // exponent of its own.
  if (!hasExponent) e10 -= scale;
  value = roundToFloat(decimalToDouble(m.negative, m.digits, e10));
  return true;
}

void readTextField(std::string_view field, std::string& target) {
  const std::size_t len = target.size();
  if (field.size() >= len) {
    target.assign(field.substr(field.size() - len));
  } else {
    target.assign(field);
    target.append(len - field.size(), ' ');
  }
}

}  // namespace textio::detail
