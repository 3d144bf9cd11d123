// Draws on unit 6 into a string and splits what was written into lines, so
// that console lines and PostScript lines can be read back in the order they
// were written.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "plot/plot.hpp"
#include "textio/textio.hpp"

namespace figures_test {

inline constexpr float kScale = 28.346457f;  // points per centimetre

struct Capture {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  textio::Channels io{in, out, err};
  plot::Device dev{io};

  std::vector<std::string> lines() {
    io.closeAll();
    std::vector<std::string> r;
    std::istringstream s(out.str());
    for (std::string line; std::getline(s, line);) r.push_back(line);
    return r;
  }
};

// A path line: two F9.3 fields and " pM" (move) or " pL" (draw).
struct PathPoint {
  float px = 0, py = 0;
  bool draw = false;
};

inline bool isPath(const std::string& line) {
  return line.size() == 21 && (line.substr(18) == " pM" || line.substr(18) == " pL");
}

inline PathPoint pathPoint(const std::string& line) {
  return {std::strtof(line.substr(0, 9).c_str(), nullptr), std::strtof(line.substr(9, 9).c_str(), nullptr),
          line.substr(18) == " pL"};
}

// The shown text of a label line " (....)", trailing blanks removed; empty
// for any other line.
inline std::string shown(const std::string& line) {
  if (line.size() < 3 || line.compare(0, 2, " (") != 0 || line.back() != ')') return {};
  std::string s = line.substr(2, line.size() - 3);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

inline int indexOf(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
  for (int i = from; i < static_cast<int>(lines.size()); ++i) {
    if (lines[static_cast<std::size_t>(i)] == text) return i;
  }
  return -1;
}

inline bool hasNanOrInf(const std::vector<std::string>& lines) {
  for (std::string l : lines) {
    for (char& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (l.find("nan") != std::string::npos || l.find("inf") != std::string::npos) return true;
  }
  return false;
}

}  // namespace figures_test
