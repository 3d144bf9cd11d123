#include "convert/util.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace convert::detail {

std::optional<double> parseNumber(std::string_view token) {
  // Check the shape first: strtod alone would also take hex, nan, inf.
  std::size_t i = 0;
  const std::size_t n = token.size();
  if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && token[i] >= '0' && token[i] <= '9') ++i, ++digits;
  if (i < n && token[i] == '.') {
    ++i;
    while (i < n && token[i] >= '0' && token[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  std::string text(token.substr(0, i));
  if (i < n) {
    if (token[i] != 'E' && token[i] != 'e' && token[i] != 'D' && token[i] != 'd')
      return std::nullopt;
    ++i;
    std::size_t j = i;
    if (j < n && (token[j] == '+' || token[j] == '-')) ++j;
    const std::size_t first = j;
    while (j < n && token[j] >= '0' && token[j] <= '9') ++j;
    if (j == first || j != n) return std::nullopt;
    text += 'e';
    text += token.substr(i, n - i);
  }
  errno = 0;
  const double v = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<float> parseFloat(std::string_view token) {
  // Halfway between the largest float and 2^128: anything below rounds to
  // the largest float, anything at or above it to infinity.
  const double limit = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
  const auto v = parseNumber(token);
  if (!v || !(std::fabs(*v) < limit)) return std::nullopt;
  return static_cast<float>(*v);
}

std::optional<long long> parseInteger(std::string_view token) {
  std::size_t i = 0;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) ++i;
  if (i == token.size()) return std::nullopt;
  for (std::size_t j = i; j < token.size(); ++j)
    if (token[j] < '0' || token[j] > '9') return std::nullopt;
  const std::string text(token);
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  return v;
}

std::vector<std::string_view> tokens(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  auto isSep = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == ','; };
  while (i < line.size()) {
    while (i < line.size() && isSep(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !isSep(line[i])) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out.push_back(line);
    pos = end + 1;
  }
  return out;
}

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

std::string printable(std::string_view s) {
  std::string out;
  for (char c : trim(s)) {
    const auto u = static_cast<unsigned char>(c);
    out += (u >= 0x20 && u < 0x7f) ? c : '?';
  }
  return out;
}

std::string field(std::string_view s, std::size_t width) {
  std::string out(s.substr(0, std::min(s.size(), width)));
  out.resize(width, ' ');
  return out;
}

std::optional<std::string> velocitySensor(std::string_view channel) {
  constexpr std::string_view bands = "FGDCESHBMLVURPTQAO";
  if (channel.size() != 3 || bands.find(channel[0]) == std::string_view::npos) return std::nullopt;
  if (channel[1] != 'H' && channel[1] != 'L') return std::nullopt;
  return "instrument code " + std::string(1, channel[1]) + ", a seismometer";
}

std::string numberText(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

std::string secondsText(double seconds) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.3f", seconds);
  return buf;
}

std::string floatText(float v) {
  char buf[40];
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*G", digits, static_cast<double>(v));
    if (std::strtof(buf, nullptr) == v) break;
  }
  return buf;
}

}  // namespace convert::detail
