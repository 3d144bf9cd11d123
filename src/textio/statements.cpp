// Fixed-format read and write statements: a walk along the parsed format,
// one data item per value, with reversion onto a new line when the values
// outlast the format.
#include <string>

#include "textio/detail.hpp"

namespace textio::detail {
namespace {

struct EndOfFile {};

[[noreturn]] void badType() { throw IoError("fmt", 117); }  // "bad variable type"

// Reversion restarts the format at its last top-level group; a group without
// a data item would then never take a value, and the statement would start
// new lines for ever. Such a format is refused when it comes to reversion.
void requireDataAfterReversion(const Format& format) {
  if (!format.reversionTakesData) throw IoError("fmt", kErrFormat);
}

// The columns [col, col + width) of `line`, blank padded past its end.
std::string columns(std::string_view line, std::size_t col, int width) {
  const auto w = static_cast<std::size_t>(width);
  std::string field;
  if (col < line.size()) field.assign(line.substr(col, w));
  field.append(w - field.size(), ' ');
  return field;
}

// True when a field holds, apart from blanks, an optional sign and at least
// one digit and nothing else: an integer, whatever its size.
bool onlySignAndDigits(std::string_view field) {
  bool digit = false, sign = false;
  for (char c : field) {
    if (c == ' ') continue;
    if ((c == '+' || c == '-') && !sign && !digit) {
      sign = true;
    } else if (c >= '0' && c <= '9') {
      digit = true;
    } else {
      return false;
    }
  }
  return digit;
}

void readField(const EditItem& item, std::string_view line, std::size_t& col, int scale,
               const Target& target) {
  if (item.kind == EditKind::Text) {
    std::string* const* sp = std::get_if<std::string*>(&target);
    if (sp == nullptr) badType();
    const int width = item.width < 0 ? static_cast<int>((*sp)->size()) : item.width;
    readTextField(columns(line, col, width), **sp);
    col += static_cast<std::size_t>(width);
    return;
  }
  const std::string field = columns(line, col, item.width);
  col += static_cast<std::size_t>(item.width);
  if (item.kind == EditKind::Integer) {
    int* const* ip = std::get_if<int*>(&target);
    if (ip == nullptr) badType();
    if (!readIntegerField(field, **ip)) {
      // Digits that do not fit 32 bits are refused as an integer, as in
      // free-format reading, never wrapped; anything else is a stray character.
      throw IoError(onlySignAndDigits(field) ? "invalid integer" : "fmt", kErrUnexpectedChar);
    }
    return;
  }
  float* const* fp = std::get_if<float*>(&target);
  if (fp == nullptr) badType();
  if (!readRealField(field, item.decimals, scale, **fp)) throw IoError("fmt", kErrUnexpectedChar);
}

void readStatement(LineSource& source, const Format& format, std::span<const Target> targets) {
  std::string_view line;
  if (!source.nextLine(line)) throw EndOfFile{};
  std::size_t col = 0;
  std::size_t ip = 0;
  std::size_t next = 0;  // next target
  int scale = 0;
  for (;;) {
    if (ip == format.items.size()) {
      if (next == targets.size()) return;
      requireDataAfterReversion(format);
      if (!source.nextLine(line)) throw EndOfFile{};
      col = 0;
      ip = format.reversionPoint;
      continue;
    }
    const EditItem& item = format.items[ip];
    if (isData(item.kind)) {
      if (next == targets.size()) return;
      readField(item, line, col, scale, targets[next++]);
    } else {
      switch (item.kind) {
        case EditKind::Skip:
          col += static_cast<std::size_t>(item.count);
          break;
        case EditKind::NewLine:
          if (!source.nextLine(line)) throw EndOfFile{};
          col = 0;
          break;
        case EditKind::Scale:
          scale = item.count;
          break;
        default:  // a literal has no meaning on input
          throw IoError("fmt", kErrFormat);
      }
    }
    ++ip;
  }
}

std::string writeField(const EditItem& item, int scale, const Value& value) {
  switch (item.kind) {
    case EditKind::Integer:
      if (const int* i = std::get_if<int>(&value)) return formatInteger(*i, item.width);
      break;
    case EditKind::Fixed:
      if (const float* f = std::get_if<float>(&value))
        return formatFixed(*f, item.width, item.decimals, scale);
      break;
    case EditKind::Exponent:
      if (const float* f = std::get_if<float>(&value))
        return formatExponent(*f, item.width, item.decimals, scale);
      break;
    default:
      if (const std::string_view* s = std::get_if<std::string_view>(&value))
        return formatText(*s, item.width);
      break;
  }
  badType();
}

}  // namespace

bool readFormattedStatement(LineSource& source, const Format& format,
                            std::span<const Target> targets, bool eofBranch) {
  try {
    readStatement(source, format, targets);
  } catch (const EndOfFile&) {
    if (eofBranch) return false;
    throw IoError("fmt", kEndOfFile);
  }
  // Whatever the line holds beyond the last field is left unread.
  return true;
}

std::vector<std::string> formattedLines(const Format& format, std::span<const Value> values) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t ip = 0;
  std::size_t next = 0;
  int scale = 0;
  for (;;) {
    if (ip == format.items.size()) {
      if (next == values.size()) break;
      requireDataAfterReversion(format);
      lines.push_back(std::move(line));
      line.clear();
      ip = format.reversionPoint;
      continue;
    }
    const EditItem& item = format.items[ip];
    if (isData(item.kind)) {
      if (next == values.size()) break;
      line += writeField(item, scale, values[next++]);
    } else {
      switch (item.kind) {
        case EditKind::Skip:
          line.append(static_cast<std::size_t>(item.count), ' ');
          break;
        case EditKind::NewLine:
          lines.push_back(std::move(line));
          line.clear();
          break;
        case EditKind::Scale:
          scale = item.count;
          break;
        default:
          line += item.text;
          break;
      }
    }
    ++ip;
  }
  lines.push_back(std::move(line));
  return lines;
}

}  // namespace textio::detail
