// Running the built program as a user does: in a folder of its own, the five
// answers on standard input, the transcript on standard output.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace runsupport {

namespace fs = std::filesystem;

inline std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The source and build folders: from the environment that ctest sets, or
// else the folders this test was configured in.
inline fs::path sourceDir() {
  const std::string v = env("EGF_SOURCE_DIR");
  return v.empty() ? fs::path(EGF_TEST_SOURCE_DIR) : fs::path(v);
}
inline fs::path binaryDir() {
  const std::string v = env("EGF_BINARY_DIR");
  return v.empty() ? fs::path(EGF_TEST_BINARY_DIR) : fs::path(v);
}

inline fs::path program() { return binaryDir() / "egfsim"; }

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// A fresh, empty folder under the temporary directory, removed at the end.
class RunFolder {
 public:
  explicit RunFolder(const std::string& tag)
      : path_(fs::temp_directory_path() / ("egf_" + tag + "_" + std::to_string(getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~RunFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

struct Outcome {
  int status = -1;
  std::string transcript;
  std::string errors;
};

// Runs the program in `folder` with the five answers of `answers`.
inline Outcome runProgram(const fs::path& folder, const std::string& answers) {
  writeFile(folder / "answers.in", answers);
  const std::string cmd = "cd '" + folder.string() + "' && '" + program().string() +
                          "' < answers.in > transcript.txt 2> errors.txt";
  const int raw = std::system(cmd.c_str());
  Outcome o;
  o.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  o.transcript = readFile(folder / "transcript.txt");
  o.errors = readFile(folder / "errors.txt");
  return o;
}

// The value after `label` ("acc cor =") on its transcript line; NaN when absent.
inline double valueAfter(const std::string& transcript, const std::string& label) {
  const auto at = transcript.find(label);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(transcript.c_str() + at + label.size(), nullptr);
}

struct Fit {
  double acc, vel, dis;
};

inline Fit correlations(const std::string& transcript) {
  return {valueAfter(transcript, "acc cor ="), valueAfter(transcript, "vel cor ="),
          valueAfter(transcript, "dis cor =")};
}

inline bool haveGhostscript() { return std::system("gs -v > /dev/null 2>&1") == 0; }

// Interprets a PostScript file with Ghostscript on the null device; the
// result is Ghostscript's exit status, and `log` receives what it printed.
inline int ghostscript(const fs::path& file, std::string& log) {
  const fs::path logPath = file.string() + ".gslog";
  const std::string cmd = "gs -dSAFER -dBATCH -dNOPAUSE -q -sDEVICE=nullpage '" + file.string() +
                          "' > '" + logPath.string() + "' 2>&1";
  const int raw = std::system(cmd.c_str());
  log = readFile(logPath);
  return (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
}

}  // namespace runsupport
