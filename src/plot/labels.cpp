#include "plot/labels.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "plot/convert.hpp"

namespace plot {

namespace {

// Every shown string is exactly this long, blank padded.
constexpr int kShownLength = 80;
// Longest formatted number the fixed-point form produces; wider fields (and
// more than 9 decimals) are drawn as asterisks of the field's width.
constexpr int kMaxNumberWidth = 40;
constexpr int kMaxDecimals = 9;

std::string_view fontProcedure(int ifont) {
  switch (ifont) {
    case 1: return " pR";
    case 2: return " pB";
    case 3: return " pI";
    case 4: return " pBI";
    default: return " hV";
  }
}

// The shown string as the body of a PostScript string literal. Balanced
// parentheses are legal inside a literal and are kept as they are (so labels
// such as "( 1, 4)" come out unchanged); a parenthesis without a partner and
// every backslash are escaped, so the literal always closes where we close
// it. Control characters (a carriage return left over from a record header,
// a tab) are written as octal escapes, so each text stays one line.
std::string postscriptString(const std::string& shown) {
  std::vector<bool> balanced(shown.size(), false);
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == '(') {
      open.push_back(i);
    } else if (shown[i] == ')' && !open.empty()) {
      balanced[open.back()] = true;
      balanced[i] = true;
      open.pop_back();
    }
  }
  std::string out;
  out.reserve(shown.size() + 8);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const char c = shown[i];
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || ((c == '(' || c == ')') && !balanced[i])) {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      char esc[5];
      std::snprintf(esc, sizeof esc, "\\%03o", static_cast<unsigned>(byte));
      out += esc;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

void xsymbol(Device& dev, float x, float y, float height, std::string_view text, float angle,
             int nchar, int ifont) {
  int n = nchar < kShownLength ? nchar : kShownLength;
  if (n < 0) n = 0;
  std::string shown(text.substr(0, static_cast<std::size_t>(n)));
  shown.resize(kShownLength, ' ');

  const float size = std::fabs(height) * dev.scale() * 1.5f;
  if (height >= 0.0f) {
    dev.plot(x, y, 3);
  } else {
    dev.plot(x, y, -3);
  }

  textio::Channels& io = dev.io();
  const int unit = dev.unit();
  io.writeFormatted(unit, "(f9.3,a)", {angle, std::string_view(" rotate")});
  std::string procedure(1, ' ');
  procedure += fontProcedure(ifont);
  io.writeFormatted(unit, "(f9.3,a)", {size, std::string_view(procedure)});
  std::string literal = " (";
  literal += postscriptString(shown);
  literal += ')';
  io.writeLine(unit, literal);
  io.writeLine(unit, " show");
  io.writeFormatted(unit, "(f9.3,a)", {-angle, std::string_view(" rotate")});
}

void symbol(Device& dev, float x, float y, float height, std::string_view text, float angle,
            int nchar) {
  xsymbol(dev, x, y, height, text, angle, nchar, 5);
}

std::string numberText(float value, int ndec) {
  if (value == 0.0f) return "0";

  // Digits before the decimal point. The logarithm is rounded to single
  // precision before 1 is added, so a value just below a power of ten whose
  // logarithm rounds up gets one more column (a leading blank), never one
  // less. A non-finite value gets 1 and is drawn as asterisks below.
  int k = 1;
  if (std::isfinite(value)) {
    const float lg = static_cast<float>(std::log10(static_cast<double>(std::fabs(value))));
    k = detail::truncToInt(lg + 1.0f);
    if (k < 1) k = 1;
  }

  if (ndec >= 0) {
    // Width in 64 bits: ndec may be anything an int holds.
    const std::int64_t w = static_cast<std::int64_t>(ndec) + k + 2;
    if (!std::isfinite(value) || ndec > kMaxDecimals || w > kMaxNumberWidth) {
      return std::string(static_cast<std::size_t>(w < kShownLength ? w : kShownLength), '*');
    }
    char descriptor[16];
    std::snprintf(descriptor, sizeof descriptor, "(f%2d.%1d)", static_cast<int>(w), ndec);
    return textio::internalWrite(descriptor, static_cast<int>(w), {value});
  }

  if (value < 0.0f) k += 1;  // the sign column
  // Only a value inside the 32-bit range is ever converted; beyond it (and
  // NaN) the field cannot hold the value and shows asterisks.
  if (!(value >= -2147483648.0f && value < 2147483648.0f)) {
    return std::string(static_cast<std::size_t>(k), '*');
  }
  char descriptor[16];
  std::snprintf(descriptor, sizeof descriptor, "(i%2d)", k);
  return textio::internalWrite(descriptor, k, {static_cast<int>(value)});
}

void xnumber(Device& dev, float x, float y, float height, float value, float angle, int ndec,
             int ifont) {
  const std::string text = numberText(value, ndec);
  xsymbol(dev, x, y, height, text, angle, static_cast<int>(text.size()), ifont);
}

void number(Device& dev, float x, float y, float height, float value, float angle, int ndec) {
  xnumber(dev, x, y, height, value, angle, ndec, 5);
}

}  // namespace plot
