// Small KIBTRACE records written on the fly for the record tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace records_test {

inline std::string rjust(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

inline std::string ljust(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

// The lines of one record; every field can be replaced by a test.
struct KibFile {
  std::string line1 = "KIBTRACE FORMAT";
  std::string head3 = "EW";
  std::string head16 = "2019/07/06 03:16";
  std::string code = "CLC  CHINA LAKE";
  std::string isps = rjust("100", 10);
  std::string npts = rjust("4", 10);
  std::string head24a = "TEST EVENT";
  std::string head24b = "TEST CHANNEL";
  std::string hreal = rjust("57.373", 10);
  std::string fmtLine = "F10.3     gal";  // sfmt columns 1-10, dunit 11-15
  std::string scale = rjust("1.000", 10);
  std::string dfmt = "8F10.3";
  std::string head10 = "CI        CLC       HNE";
  std::string head20 = "CGS V1 TEST";
  std::string head11 = "dt=0.01000";
  std::string nskip = "0";
  std::vector<std::string> skip;
  std::vector<std::string> data = {"     1.000     2.000     3.000     4.000"};

  std::string text() const {
    std::ostringstream s;
    for (const auto* l : {&line1, &head3, &head16, &code, &isps, &npts, &head24a, &head24b,
                          &hreal, &fmtLine, &scale, &dfmt, &head10, &head20, &head11, &nskip})
      s << *l << '\n';
    for (const auto& l : skip) s << l << '\n';
    for (const auto& l : data) s << l << '\n';
    return s.str();
  }
};

// A fresh directory per test, removed afterwards.
class TempDir {
 public:
  // Short names: record file names travel in 80-column parameter fields.
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "egfrXXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string write(const std::string& name, const std::string& contents) const {
    const auto p = path_ / name;
    std::ofstream(p, std::ios::binary) << contents;
    return p.string();
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The console transcript split into lines (without their newlines).
inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);) out.push_back(l);
  return out;
}

}  // namespace records_test
