// Helpers of the text I/O tests: console streams in memory, and a private
// working folder per test (figure files are created in the working folder).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "textio/textio.hpp"

namespace textio_test {

// Console streams held in memory around one Channels table.
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

// Makes a fresh folder the working folder for the lifetime of the object.
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
  const std::filesystem::path& path() const { return path_; }

  // Names of the entries of the folder, sorted, for checking what was left.
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
  std::ofstream f(name, std::ios::binary);
  f << content;
}

inline std::string readFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace textio_test
