// Draws on unit 6 into a string and splits what was written into lines, so
// that console lines and PostScript lines can be read back in order.
#pragma once

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "plot/plot.hpp"
#include "support/console.hpp"

namespace figures_test {

struct Capture : testsupport::StringConsole {
  plot::Device dev{io};

  std::vector<std::string> lines() {
    io.closeAll();
    return outLines();
  }
};

// A zero peak must never reach a division: no NaN or infinity on the page.
inline bool hasNanOrInf(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text.find("nan") != std::string::npos || text.find("inf") != std::string::npos;
}

}  // namespace figures_test
