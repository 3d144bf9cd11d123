// Format texts: parsed once per statement into a flat list of items with
// every repeat count expanded. The formats of the program are short; the
// expansion is capped so that a malformed record descriptor cannot ask for
// an unbounded amount of memory.
#include <cctype>
#include <string>

#include "textio/detail.hpp"

namespace textio::detail {
namespace {

constexpr long kMaxNumber = 1000000;      // widths, counts, repeats
constexpr std::size_t kMaxItems = 100000;   // items after expansion

struct FormatError {};

EditItem itemOf(EditKind kind) {
  EditItem item;
  item.kind = kind;
  return item;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  Format parse() {
    Format f;
    skipBlanks();
    expect('(');
    parseList(f.items, 0, f.reversionPoint);
    skipBlanks();
    if (pos_ != text_.size()) throw FormatError{};
    for (std::size_t i = f.reversionPoint; i < f.items.size(); ++i) {
      if (isData(f.items[i].kind)) f.reversionTakesData = true;
    }
    return f;
  }

 private:
  void skipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  int peek() {
    skipBlanks();
    if (pos_ >= text_.size()) return -1;
    return std::toupper(static_cast<unsigned char>(text_[pos_]));
  }
  void expect(char c) {
    if (peek() != c) throw FormatError{};
    ++pos_;
  }
  bool atDigit() {
    const int c = peek();
    return c >= '0' && c <= '9';
  }
  // An unsigned number; blanks between its digits are ignored.
  long number() {
    if (!atDigit()) throw FormatError{};
    long n = 0;
    while (atDigit()) {
      n = n * 10 + (text_[pos_++] - '0');
      if (n > kMaxNumber) throw FormatError{};
    }
    return n;
  }
  void add(std::vector<EditItem>& out, const EditItem& item, long repeat) {
    for (long r = 0; r < repeat; ++r) {
      if (out.size() >= kMaxItems) throw FormatError{};
      out.push_back(item);
    }
  }

  // Items up to the matching ')', which is consumed. At depth 0 the start of
  // the last group is recorded as the reversion point.
  void parseList(std::vector<EditItem>& out, int depth, std::size_t& reversionPoint) {
    if (peek() == ')') {
      ++pos_;
      return;
    }
    for (;;) {
      parseItem(out, depth, reversionPoint);
      const int c = peek();
      if (c == ',') {
        ++pos_;
        continue;
      }
      if (c == ')') {
        ++pos_;
        return;
      }
      if (c == -1) throw FormatError{};
      // Items may also follow each other without a comma: "1PE14.6", "(a/a)".
    }
  }

  void parseItem(std::vector<EditItem>& out, int depth, std::size_t& reversionPoint) {
    int c = peek();
    if (c == '/') {
      ++pos_;
      add(out, itemOf(EditKind::NewLine), 1);
      return;
    }
    if (c == '\'' || c == '"') {
      EditItem lit = itemOf(EditKind::Literal);
      lit.text = quoted();
      add(out, lit, 1);
      return;
    }
    bool sign = false, negative = false;
    if (c == '+' || c == '-') {
      sign = true;
      negative = c == '-';
      ++pos_;
    }
    long repeat = 1;
    bool hasRepeat = false;
    if (atDigit()) {
      repeat = number();
      hasRepeat = true;
    }
    c = peek();
    if (c == 'P') {  // kP: a scale factor; the k is required
      ++pos_;
      if (!hasRepeat) throw FormatError{};
      EditItem s = itemOf(EditKind::Scale);
      s.count = static_cast<int>(negative ? -repeat : repeat);
      add(out, s, 1);
      return;
    }
    if (sign) throw FormatError{};
    if (hasRepeat && repeat == 0) throw FormatError{};
    if (c == '(') {
      ++pos_;
      const std::size_t start = out.size();
      std::vector<EditItem> group;
      std::size_t unused = 0;
      parseList(group, depth + 1, unused);
      for (long r = 0; r < repeat; ++r) {
        if (out.size() + group.size() > kMaxItems) throw FormatError{};
        out.insert(out.end(), group.begin(), group.end());
      }
      if (depth == 0) reversionPoint = start;
      return;
    }
    if (c == 'X') {  // nX: the count is the number of columns
      ++pos_;
      EditItem x = itemOf(EditKind::Skip);
      x.count = static_cast<int>(repeat);
      add(out, x, 1);
      return;
    }
    if (c == '/') {
      ++pos_;
      add(out, itemOf(EditKind::NewLine), repeat);
      return;
    }
    EditItem item = itemOf(EditKind::Integer);
    switch (c) {
      case 'I':
        ++pos_;
        item.kind = EditKind::Integer;
        item.width = positive();
        break;
      case 'F':
      case 'E':
        ++pos_;
        item.kind = c == 'F' ? EditKind::Fixed : EditKind::Exponent;
        item.width = positive();
        if (peek() == '.') {
          ++pos_;
          item.decimals = static_cast<int>(number());
        }
        break;
      case 'A':
        ++pos_;
        item.kind = EditKind::Text;
        item.width = atDigit() ? positive() : -1;
        break;
      default:
        throw FormatError{};
    }
    add(out, item, repeat);
  }

  int positive() {
    const long n = number();
    if (n == 0) throw FormatError{};
    return static_cast<int>(n);
  }

  std::string quoted() {
    const char q = text_[pos_++];
    std::string s;
    for (;;) {
      if (pos_ >= text_.size()) throw FormatError{};
      const char c = text_[pos_++];
      if (c == q) {
        if (pos_ < text_.size() && text_[pos_] == q) {
          s += q;
          ++pos_;
          continue;
        }
        return s;
      }
      s += c;
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

Format parseFormat(std::string_view text) {
  try {
    return Parser(text).parse();
  } catch (const FormatError&) {
    throw IoError("fmt", kErrFormat);
  }
}

}  // namespace textio::detail
