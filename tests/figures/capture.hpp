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
#include "support/files.hpp"

namespace figures_test {

struct Capture : testsupport::StringConsole {
  plot::Device dev{io};

  std::vector<std::string> lines() {
    io.closeAll();
    return outLines();
  }
};

using testsupport::hasNanOrInf;

}  // namespace figures_test
