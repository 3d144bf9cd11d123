// Text I/O channels whose console is a pair of strings: input read from
// `in`, console output and the error stream collected in `out` and `err`.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "textio/textio.hpp"

namespace testsupport {

struct StringConsole {
  explicit StringConsole(std::string input = "") : in(std::move(input)) {}
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io{in, out, err};

  // What was written to the console so far, line by line.
  std::vector<std::string> outLines() const {
    std::vector<std::string> result;
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);) result.push_back(line);
    return result;
  }
};

}  // namespace testsupport
