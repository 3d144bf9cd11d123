// A device plotting on unit 6, with the console output captured.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "plot/device.hpp"
#include "textio/textio.hpp"

namespace plottest {

struct Page {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  textio::Channels io{in, out, err};
  plot::Device dev{io};

  // Starts a page on the console and forgets the prolog.
  void start() {
    dev.plots(6);
    clear();
  }
  void clear() { out.str(""); }

  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);) result.push_back(line);
    return result;
  }
};

// A text drawn by symbol/number: the pen position of its move line in
// points, the size line, and the shown string without its trailing blanks.
struct Label {
  double px = 0.0;
  double py = 0.0;
  std::string rotate;
  std::string size;
  std::string text;
};

// Picks the six-line text groups out of a page.
inline std::vector<Label> labels(const std::vector<std::string>& lines) {
  std::vector<Label> result;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    if (lines[i].rfind(" (", 0) != 0) continue;
    Label label;
    std::istringstream move(lines[i - 3]);
    move >> label.px >> label.py;
    label.rotate = lines[i - 2];
    label.size = lines[i - 1];
    std::string body = lines[i].substr(2, lines[i].size() - 3);
    body.erase(body.find_last_not_of(' ') + 1);
    label.text = body;
    result.push_back(label);
  }
  return result;
}

inline int countSuffix(const std::vector<std::string>& lines, const std::string& suffix) {
  int n = 0;
  for (const auto& line : lines)
    if (line.size() >= suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) ++n;
  return n;
}

// Points per centimetre, as an independent double-precision oracle.
inline constexpr double kCm = 72.0 / 2.54;

}  // namespace plottest
