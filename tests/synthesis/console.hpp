// Console channels on strings, and the message of an expected rejection.
#pragma once

#include <sstream>
#include <string>

#include "textio/stop.hpp"
#include "textio/textio.hpp"

namespace synthesis_test {

struct Console {
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io{in, out, err};
};

template <class F>
std::string rejection(F&& f) {
  try {
    f();
  } catch (const textio::InputRejected& e) {
    return e.message;
  }
  return "(no rejection)";
}

}  // namespace synthesis_test
