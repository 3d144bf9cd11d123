// Input records written on the fly for the converter tests: SAC binary in
// either byte order, SAC alphanumeric, AT2 and plain columns.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace convert_test {

// A SAC header with the standard layout: 70 floats, 40 integers, 192
// characters of names. Fields not set stay undefined (-12345).
struct SacFile {
  std::array<float, 70> f;
  std::array<std::int32_t, 40> i;
  std::string names;
  std::vector<float> data;

  SacFile() {
    f.fill(-12345.0f);
    i.fill(-12345);
    names.clear();
    for (int k = 0; k < 23; ++k) names += (k == 1 ? "-12345          " : "-12345  ");
    names.resize(192, ' ');
    i[6] = 6;    // nvhdr
    i[15] = 1;   // iftype ITIME
    i[35] = 1;   // leven
  }
  void delta(float d) { f[0] = d; }
  void b(float v) { f[5] = v; }
  void o(float v) { f[7] = v; }
  void idep(int v) { i[16] = v; }
  void time(int year, int jday, int hour, int min, int sec, int msec) {
    i[0] = year, i[1] = jday, i[2] = hour, i[3] = min, i[4] = sec, i[5] = msec;
  }
  void name(std::size_t offset, std::size_t width, const std::string& s) {
    std::string v = s;
    v.resize(width, ' ');
    names.replace(offset, width, v);
  }
  void kstnm(const std::string& s) { name(0, 8, s); }
  void kevnm(const std::string& s) { name(8, 16, s); }
  void kcmpnm(const std::string& s) { name(160, 8, s); }
  void knetwk(const std::string& s) { name(168, 8, s); }
  void samples(std::vector<float> x) {
    data = std::move(x);
    i[9] = static_cast<std::int32_t>(data.size());
  }

  // The binary file; `bigEndian` picks the byte order of every word.
  std::string binary(bool bigEndian) const {
    std::string out;
    auto put = [&](std::uint32_t w) {
      const bool swap = bigEndian == (std::endian::native == std::endian::little);
      if (swap) w = __builtin_bswap32(w);
      char b[4];
      std::memcpy(b, &w, 4);
      out.append(b, 4);
    };
    for (float v : f) put(std::bit_cast<std::uint32_t>(v));
    for (std::int32_t v : i) put(static_cast<std::uint32_t>(v));
    out += names;
    for (float v : data) put(std::bit_cast<std::uint32_t>(v));
    return out;
  }

  // The alphanumeric file: 5G15.7 floats, 5I10 integers, names in columns
  // of 8 (the first line kstnm 8 and kevnm 16), samples 5G15.7.
  std::string alpha() const {
    std::ostringstream s;
    char buf[40];
    for (std::size_t k = 0; k < f.size(); ++k) {
      std::snprintf(buf, sizeof buf, "%#15.7g", static_cast<double>(f[k]));
      s << buf << (k % 5 == 4 ? "\n" : "");
    }
    for (std::size_t k = 0; k < i.size(); ++k) {
      std::snprintf(buf, sizeof buf, "%10d", i[k]);
      s << buf << (k % 5 == 4 ? "\n" : "");
    }
    for (std::size_t k = 0; k < 8; ++k) s << names.substr(24 * k, 24) << '\n';
    for (std::size_t k = 0; k < data.size(); ++k) {
      std::snprintf(buf, sizeof buf, "%#15.7g", static_cast<double>(data[k]));
      s << buf << (k % 5 == 4 || k + 1 == data.size() ? "\n" : "");
    }
    return s.str();
  }
};

// An AT2 file; `newHeader` picks "NPTS=  n, DT= d SEC" over "n d NPTS, DT".
inline std::string at2(const std::vector<double>& x, const std::string& dt, bool newHeader,
                       const std::string& unitLine = "ACCELERATION TIME SERIES IN UNITS OF G") {
  std::ostringstream s;
  s << "PEER NGA STRONG MOTION DATABASE RECORD\n";
  s << (newHeader ? "Imperial Valley, 5/19/1940, El Centro Array #9, 180\n"
                  : "Imperial Valley 1940, El Centro Array #9, 180\n");
  s << unitLine << '\n';
  char buf[64];
  if (newHeader)
    std::snprintf(buf, sizeof buf, "NPTS=%7zu, DT=   %s SEC", x.size(), dt.c_str());
  else
    std::snprintf(buf, sizeof buf, "%7zu   %s    NPTS, DT", x.size(), dt.c_str());
  s << buf << '\n';
  for (std::size_t k = 0; k < x.size(); ++k) {
    std::snprintf(buf, sizeof buf, "%15.7E", x[k]);
    s << buf << (k % 5 == 4 || k + 1 == x.size() ? "\n" : "");
  }
  return s.str();
}

// A fresh directory per test, removed afterwards.
class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("egf_convert_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" +
             info->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
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
  std::string read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A series with varied magnitudes and signs: the shape of a record, with
// values that need all of a float's digits.
inline std::vector<float> wiggle(std::size_t n, float amplitude) {
  std::vector<float> x(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double t = static_cast<double>(k);
    x[k] = static_cast<float>(amplitude * std::sin(0.37 * t) * std::exp(-0.002 * t) +
                              amplitude * 1e-3 * std::cos(2.1 * t));
  }
  return x;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);) out.push_back(l);
  return out;
}

}  // namespace convert_test
