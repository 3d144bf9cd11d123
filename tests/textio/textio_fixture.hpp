// Helpers of the text I/O tests: reading one value and the error of a
// statement; the console in memory and a private working folder come from
// tests/support.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/console.hpp"
#include "support/files.hpp"
#include "textio/textio.hpp"

namespace textio_test {

using Console = testsupport::StringConsole;
using testsupport::readFile;
using testsupport::writeFile;

// Runs `statement`, which must throw IoError, and returns the error.
inline textio::IoError ioErrorOf(const std::function<void()>& statement) {
  try {
    statement();
  } catch (const textio::IoError& e) {
    return e;
  }
  ADD_FAILURE() << "no IoError thrown";
  return textio::IoError("none", 0);
}

// Reads one variable, preset to `value`, from console input `input` in one
// statement: free format when `format` is empty.
template <class T>
T readOne(std::string_view format, const std::string& input, T value = T()) {
  Console con(input);
  if (format.empty()) {
    con.io.readList(5, {&value});
  } else {
    con.io.readFormatted(5, format, {&value});
  }
  return value;
}

template <class T>
textio::IoError readError(std::string_view format, const std::string& input) {
  return ioErrorOf([&] { readOne<T>(format, input); });
}

// A fresh working folder for the lifetime of the object.
struct WorkFolder : testsupport::TempFolder {
  WorkFolder() : TempFolder(true) {}
};

}  // namespace textio_test
