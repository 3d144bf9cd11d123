// Helpers of the text I/O tests: console streams in memory, and a private
// working folder per test (figure files are created in the working folder).
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

#include "textio/textio.hpp"

namespace textio_test {

struct Console {
  explicit Console(std::string input = "") : in(std::move(input)), io(in, out, err) {}
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  textio::Channels io;
};

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
class WorkFolder {
 public:
  WorkFolder() : previous_(std::filesystem::current_path()) {
    std::string templ = (std::filesystem::temp_directory_path() / "textio_test_XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
    std::filesystem::current_path(path_);
  }
  ~WorkFolder() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

inline void writeFile(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

inline std::string readFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace textio_test
