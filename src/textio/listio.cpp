// Free-format (list) reading and writing.
#include <cmath>
#include <cstdio>
#include <string>

#include "textio/detail.hpp"

namespace textio {

std::string listReal(float value) {
  if (value == 0.0f) return "  0.";  // also -0.0: zero carries no sign
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.9G", static_cast<double>(value));
  std::string s = buf;
  if (std::isfinite(value) && s.find('.') == std::string::npos) {
    const std::size_t e = s.find('E');
    if (e == std::string::npos) {
      s += '.';
    } else {
      s.insert(e, 1, '.');
    }
  }
  // Two leading characters: a blank, then the sign position.
  std::string text(s[0] == '-' ? 1 : 2, ' ');
  text += s;
  return text;
}

float nearestFloat(double x) { return detail::roundToFloat(x); }

namespace detail {
namespace {

// A free-format line holds at most this many columns before an item that
// does not start the line is moved to a new one.
constexpr std::size_t kListLineLimit = 80;

int digitCount(int v) {
  long long m = v;
  if (m < 0) m = -m;
  int n = 1;
  while (m >= 10) {
    m /= 10;
    ++n;
  }
  return n;
}

}  // namespace

std::string listText(std::span<const Value> values) {
  std::string out;
  std::string line;
  for (const Value& v : values) {
    std::string text;
    std::size_t counted = 0;
    bool isString = false;
    if (const int* i = std::get_if<int>(&v)) {
      text = ' ';
      text += std::to_string(*i);
      counted = static_cast<std::size_t>(digitCount(*i));
    } else if (const float* f = std::get_if<float>(&v)) {
      text = listReal(*f);
      counted = text.size();
    } else {
      text = std::string(std::get<std::string_view>(v));
      counted = text.size();
      isString = true;
    }
    if (!line.empty() && line.size() + counted >= kListLineLimit) {
      out += line;
      out += '\n';
      line.clear();
    }
    if (line.empty() && isString) line += ' ';
    line += text;
  }
  out += line;
  out += '\n';
  return out;
}

namespace {

constexpr const char* kInvalidInteger = "invalid integer";
constexpr const char* kInvalidNumber = "invalid number";
constexpr const char* kBadRepeat = "bad repetition count";
constexpr const char* kExponentField = "exponent field";

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
// What ends an unquoted value: a blank, a tab, a comma or a slash (and the
// line end, which the caller checks).
bool endsValue(char c) { return isBlank(c) || c == ',' || c == '/'; }

[[noreturn]] void reject(const char* context) { throw IoError(context, kErrUnexpectedChar); }

// One value of the input as written: a null, a quoted string (text holds the
// string itself) or the unquoted characters up to the next separator.
struct Item {
  bool null = false;
  bool quoted = false;
  std::string text;
};

struct EndOfFile {};

int toInteger(const Item& item) {
  const std::string& s = item.text;
  if (item.quoted) reject(kInvalidNumber);
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long magnitude = 0;
  std::size_t digits = 0;
  for (; i < s.size() && isDigit(s[i]); ++i, ++digits) {
    magnitude = magnitude * 10 + (s[i] - '0');
    // Beyond 32 bits: rejected, never wrapped.
    if (magnitude > 2147483648LL) reject(kInvalidInteger);
  }
  if (i < s.size()) {
    const char c = s[i];
    const bool realSyntax = c == '.' || (digits > 0 && (c == 'e' || c == 'E' || c == 'd' ||
                                                         c == 'D' || c == '+' || c == '-'));
    reject(realSyntax ? kInvalidInteger : kInvalidNumber);
  }
  if (digits == 0) reject(kInvalidNumber);
  if (!negative && magnitude > 2147483647LL) reject(kInvalidInteger);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

float toReal(const Item& item) {
  const std::string& s = item.text;
  if (item.quoted) reject(kInvalidNumber);
  std::size_t i = 0;
  const Significand m = scanSignificand(s, i);
  if (m.digits.empty()) reject(kInvalidNumber);
  long long exponent = 0;
  if (i < s.size()) {
    const char c = s[i];
    const bool letter = c == 'e' || c == 'E' || c == 'd' || c == 'D';
    if (letter || c == '+' || c == '-') {
      // An exponent: a letter with an optional sign, or a sign alone (1.5-3).
      if (letter) ++i;
      bool expNegative = false;
      if (i < s.size() && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
      if (i == s.size() || !isDigit(s[i])) reject(kExponentField);
      for (; i < s.size() && isDigit(s[i]); ++i) {
        exponent = exponent * 10 + (s[i] - '0');
        if (exponent > 99999999) reject(kExponentField);
      }
      if (expNegative) exponent = -exponent;
    }
  }
  if (i < s.size()) reject(kInvalidNumber);  // e.g. 1.5x
  return roundToFloat(decimalToDouble(m.negative, m.digits, exponent - m.fraction));
}

void assign(const Item& item, const Target& target) {
  if (item.null) return;
  if (int* const* ip = std::get_if<int*>(&target)) {
    **ip = toInteger(item);
  } else if (float* const* fp = std::get_if<float*>(&target)) {
    **fp = toReal(item);
  } else {
    std::string& t = *std::get<std::string*>(target);
    const std::size_t len = t.size();
    t.assign(item.text.substr(0, len));
    t.append(len - t.size(), ' ');
  }
}

class ListReader {
 public:
  explicit ListReader(LineSource& source) : source_(source) {}

  // Fills the targets in order; returns at a slash. Throws EndOfFile.
  void run(std::span<const Target> targets) {
    fetch();  // a read statement always starts on a new line
    Item repeated;
    long repeatLeft = 0;
    for (const Target& target : targets) {
      if (repeatLeft > 0) {
        --repeatLeft;
        assign(repeated, target);
        continue;
      }
      if (!findValue()) return;  // a slash: the rest keep their contents
      if (atNull_) {
        atNull_ = false;
        continue;
      }
      long count = 1;
      repeated = readValue(count);
      repeatLeft = count - 1;
      previousWasValue_ = true;
      assign(repeated, target);
    }
    // The rest of the current line is left unread: the next statement
    // starts on the following line.
  }

 private:
  void fetch() {
    if (!source_.nextLine(line_)) throw EndOfFile{};
    pos_ = 0;
  }
  bool atEnd() const { return pos_ >= line_.size(); }

  // Skips blanks, tabs and line ends. A comma that follows a value is that
  // value's separator (blanks and line ends before it belong to it); any
  // other comma is a null value (atNull_). False at a slash.
  bool findValue() {
    for (;;) {
      while (atEnd() || isBlank(line_[pos_])) {
        if (atEnd()) {
          fetch();
        } else {
          ++pos_;
        }
      }
      const char c = line_[pos_];
      if (c == '/') return false;
      if (c == ',') {
        ++pos_;
        if (previousWasValue_) {
          previousWasValue_ = false;
          continue;
        }
        atNull_ = true;
        return true;
      }
      return true;
    }
  }

  // A value at pos_, with its optional repeat count "r*".
  Item readValue(long& count) {
    std::size_t p = pos_;
    bool negative = false;
    if (line_[p] == '+' || line_[p] == '-') negative = line_[p++] == '-';
    const std::size_t digitsStart = p;
    long long r = 0;
    bool tooLarge = false;
    while (p < line_.size() && isDigit(line_[p])) {
      r = r * 10 + (line_[p] - '0');
      if (r > 2147483647LL) {
        tooLarge = true;
        r = 2147483647LL;
      }
      ++p;
    }
    if (p > digitsStart && p < line_.size() && line_[p] == '*') {
      if (negative || r == 0 || tooLarge) reject(kBadRepeat);
      count = static_cast<long>(r);
      pos_ = p + 1;
      if (atEnd() || endsValue(line_[pos_])) {  // "r*" alone: r null values
        Item null;
        null.null = true;
        return null;
      }
    }
    return readItem();
  }

  Item readItem() {
    Item item;
    const char q = line_[pos_];
    if (q == '\'' || q == '"') {
      item.quoted = true;
      ++pos_;
      for (;;) {
        if (atEnd()) {  // the string continues on the next line
          fetch();
          continue;
        }
        const char c = line_[pos_++];
        if (c == q) {
          if (!atEnd() && line_[pos_] == q) {  // a doubled quote stands for one
            item.text += q;
            ++pos_;
            continue;
          }
          return item;
        }
        item.text += c;
      }
    }
    const std::size_t start = pos_;
    while (!atEnd() && !endsValue(line_[pos_])) ++pos_;
    item.text.assign(line_.substr(start, pos_ - start));
    return item;
  }

  LineSource& source_;
  std::string_view line_;
  std::size_t pos_ = 0;
  bool previousWasValue_ = false;
  bool atNull_ = false;
};

}  // namespace

bool readListStatement(LineSource& source, std::span<const Target> targets, bool eofBranch) {
  try {
    ListReader(source).run(targets);
  } catch (const EndOfFile&) {
    if (eofBranch) return false;
    throw IoError("list in", kEndOfFile);
  }
  return true;
}

}  // namespace detail
}  // namespace textio
