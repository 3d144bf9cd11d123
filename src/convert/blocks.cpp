#include "convert/blocks.hpp"

#include <algorithm>
#include <cctype>

namespace convert::detail {

std::string lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::optional<Fixed> parseFixed(std::string_view line) {
  const std::string l = lower(line);
  const auto at = l.find("format");
  if (at == std::string::npos) return std::nullopt;
  const auto open = l.find('(', at);
  if (open == std::string::npos) return std::nullopt;
  std::size_t i = open + 1;
  auto number = [&]() {
    int v = 0, n = 0;
    while (i < l.size() && std::isdigit(static_cast<unsigned char>(l[i])) && n < 4)
      v = v * 10 + (l[i++] - '0'), ++n;
    return n ? v : -1;
  };
  Fixed f;
  f.perLine = number();
  if (f.perLine < 1 || i >= l.size() ||
      std::string_view("ifegd").find(l[i]) == std::string_view::npos)
    return std::nullopt;
  f.integer = l[i++] == 'i';
  f.width = number();
  if (f.width < 1) return std::nullopt;
  return f;
}


// A count line: "<n> <words...>" holding `word`, with a Format where the
// values need one. Returns n.
long long countLine(Cursor& c, std::string_view word, std::string_view what) {
  const auto line = c.expect(what);
  const auto tok = detail::tokens(line);
  const auto n = tok.empty() ? std::nullopt : detail::parseInteger(tok[0]);
  if (!n || *n < 0 || lower(line).find(word) == std::string::npos) c.bad(what);
  return *n;
}

// A line of words (the next layout line), not of numbers.
bool startsWithLetter(std::string_view line) {
  const auto t = detail::trim(line);
  return !t.empty() && std::isalpha(static_cast<unsigned char>(t[0]));
}

// `count` fields of `f`, from the line after the cursor on; each line holds
// up to f.perLine fields of f.width columns.
std::vector<std::string_view> fields(Cursor& c, long long count, const Fixed& f, std::size_t header,
                                     std::string_view what) {
  std::vector<std::string_view> out;
  while (static_cast<long long>(out.size()) < count) {
    if (c.done() || startsWithLetter(c.lines[c.at]))
      refuse(c.source, c.where(header) + " says " + std::to_string(count) + " " +
                           std::string(what) + ", but " + std::to_string(out.size()) + " follow" +
                           (c.done() ? " before the end of the file" : " before " + c.where(c.at)));
    const std::string_view line = c.lines[c.at];
    for (int k = 0; k < f.perLine && static_cast<long long>(out.size()) < count; ++k) {
      const std::size_t from = static_cast<std::size_t>(k) * static_cast<std::size_t>(f.width);
      const auto field =
          from < line.size() ? detail::trim(line.substr(from, f.width)) : std::string_view{};
      // A short line ends early (the last line of a block, or a cut one);
      // a blank field inside a line is refused.
      if (field.empty() && (from >= line.size() || detail::trim(line.substr(from)).empty())) break;
      if (field.empty())
        refuse(c.source, c.where(c.at) + ": field " + std::to_string(k + 1) +
                             " is blank where value " + std::to_string(out.size() + 1) +
                             " of the " + std::to_string(count) + " " + std::string(what) + " of " +
                             c.where(header) + " belongs");
      out.push_back(field);
    }
    ++c.at;
  }
  return out;
}

}  // namespace convert::detail
