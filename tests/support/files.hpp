// Files for tests: a temporary folder removed afterwards, whole-file reading
// and writing, and the first line where two texts differ.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

inline void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A fresh, empty folder under the temporary directory, removed at the end;
// `enter` makes it the working folder meanwhile (figure files are written
// into the working folder).
class TempFolder {
 public:
  explicit TempFolder(bool enter = false) : previous_(fs::current_path()) {
    std::string name = (fs::temp_directory_path() / "egf_test_XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = name;
    if (enter) fs::current_path(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::permissions(path_, fs::perms::owner_all, ec);
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string write(const std::string& name, const std::string& text) const {
    writeFile(path_ / name, text);
    return file(name);
  }
  std::string read(const std::string& name) const { return readFile(path_ / name); }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path previous_, path_;
};

// The first line where the two differ, or "" when they are equal.
inline std::string firstDifference(const std::string& expected, const std::string& actual) {
  std::size_t line = 1, k = 0;
  while (k < expected.size() && k < actual.size() && expected[k] == actual[k])
    if (expected[k++] == '\n') ++line;
  if (k == expected.size() && k == actual.size()) return "";
  auto lineAt = [](const std::string& s, std::size_t at) {
    const std::size_t b = s.rfind('\n', at == 0 ? 0 : at - 1), e = s.find('\n', at);
    return s.substr(b == std::string::npos ? 0 : b + 1, e == std::string::npos ? std::string::npos : e - b - 1);
  };
  return "line " + std::to_string(line) + "\nexpected: " + lineAt(expected, k).substr(0, 300) +
         "\nactual:   " + lineAt(actual, k).substr(0, 300);
}

// A whole output against its stored copy: `text` with `folder` (a run's
// temporary folder, also as the tail of its name that a shortened path
// keeps) written as "<tmp>" and the source tree as "<source>", compared
// with the file `golden`;
// EGF_UPDATE_GOLDEN=1 stores it instead (and skips the test). Every line a
// program writes is pinned this way, so a stored copy is renewed only after
// reading its difference as a user would.
inline void expectStoredText(const fs::path& golden, std::string text, const std::string& folder = "") {
  for (const std::string& f : {folder, folder.size() > 6 ? folder.substr(folder.size() - 6) : std::string()})
    for (std::size_t at = 0; !f.empty() && (at = text.find(f, at)) != std::string::npos;) text.replace(at, f.size(), "<tmp>");
  for (std::size_t at = 0; (at = text.find(EGF_TEST_SOURCE_DIR, at)) != std::string::npos;)
    text.replace(at, std::string_view(EGF_TEST_SOURCE_DIR).size(), "<source>");
  if (std::getenv("EGF_UPDATE_GOLDEN") != nullptr) {
    fs::create_directories(golden.parent_path());
    writeFile(golden, text);
    GTEST_SKIP() << "wrote " << golden;
  }
  ASSERT_TRUE(fs::exists(golden)) << golden << " is missing (EGF_UPDATE_GOLDEN=1 writes it)";
  EXPECT_EQ(firstDifference(readFile(golden), text), "") << "the output differs from " << golden;
}

}  // namespace testsupport
