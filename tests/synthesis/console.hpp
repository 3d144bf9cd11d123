// Console channels on strings, and the message of an expected rejection.
#pragma once

#include <string>

#include "string_console.hpp"
#include "textio/stop.hpp"

namespace synthesis_test {

using Console = testsupport::StringConsole;

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
