// A device plotting on unit 6, with the console output captured.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "plot/device.hpp"
#include "support/console.hpp"

namespace plottest {

// Points per centimetre, as an independent double-precision oracle.
inline constexpr double kCm = 72.0 / 2.54;

struct Page : testsupport::StringConsole {
  plot::Device dev{io};

  // Starts a page on the console and forgets the prolog.
  void start() {
    dev.plots(6);
    out.str("");
  }
  std::vector<std::string> lines() const { return outLines(); }
};

// A text drawn by symbol/number: its move point in points, the rotate and
// size lines, and the shown string without leading or trailing blanks.
struct Label {
  double px = 0.0, py = 0.0;
  std::string rotate, size, text;
};

inline std::vector<Label> labels(const std::vector<std::string>& lines) {
  std::vector<Label> result;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    if (lines[i].rfind(" (", 0) != 0) continue;
    Label label{0.0, 0.0, lines[i - 2], lines[i - 1], lines[i].substr(2, lines[i].size() - 3)};
    std::istringstream(lines[i - 3]) >> label.px >> label.py;
    label.text.erase(label.text.find_last_not_of(' ') + 1);
    label.text.erase(0, label.text.find_first_not_of(' '));
    result.push_back(label);
  }
  return result;
}

}  // namespace plottest
