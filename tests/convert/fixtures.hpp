// Inputs for the converter tests written on the fly (SAC in either byte
// order or as text, AT2), a scratch folder, and the program's own reader.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "convert/convert.hpp"
#include "records/records.hpp"
#include "support/console.hpp"
#include "support/files.hpp"

namespace convert_test {

// A SAC file with the standard header layout (70 floats, 40 integers, 192
// characters of names); fields not set stay undefined (-12345). The default
// is a valid record: interval 0.01 s, nm/s/s, three samples.
struct SacFile {
  std::array<float, 70> f;
  std::array<std::int32_t, 40> i;
  std::string names;
  std::vector<float> data;

  SacFile() {
    f.fill(-12345.0f);
    i.fill(-12345);
    for (int k = 0; k < 23; ++k) names += (k == 1 ? "-12345          " : "-12345  ");
    names.resize(192, ' ');
    i[6] = 6, i[15] = 1, i[35] = 1, i[16] = 8;  // nvhdr, iftype ITIME, leven, idep IACC
    f[0] = 0.01f;                               // delta
    samples({1.0f, 2.0f, 3.0f});
  }
  void name(std::size_t offset, std::size_t width, std::string s) {
    s.resize(width, ' ');
    names.replace(offset, width, s);
  }
  void samples(std::vector<float> x) {
    data = std::move(x);
    i[9] = static_cast<std::int32_t>(data.size());  // npts
  }

  std::string binary(bool bigEndian) const {
    std::string out;
    auto put = [&](std::uint32_t w) {
      if (bigEndian == (std::endian::native == std::endian::little)) w = __builtin_bswap32(w);
      out.append(reinterpret_cast<const char*>(&w), 4);
    };
    for (float v : f) put(std::bit_cast<std::uint32_t>(v));
    for (std::int32_t v : i) put(static_cast<std::uint32_t>(v));
    out += names;
    for (float v : data) put(std::bit_cast<std::uint32_t>(v));
    return out;
  }

  // 5G15.7 floats, 5I10 integers, names in lines of 24 columns, samples 5G15.7.
  std::string alpha() const {
    std::ostringstream s;
    char buf[40];
    auto put = [&](std::size_t k, std::size_t n) { s << buf << (k % 5 == 4 || k + 1 == n ? "\n" : ""); };
    for (std::size_t k = 0; k < f.size(); ++k)
      std::snprintf(buf, sizeof buf, "%#15.7g", static_cast<double>(f[k])), put(k, f.size());
    for (std::size_t k = 0; k < i.size(); ++k) std::snprintf(buf, sizeof buf, "%10d", i[k]), put(k, i.size());
    for (std::size_t k = 0; k < 8; ++k) s << names.substr(24 * k, 24) << '\n';
    for (std::size_t k = 0; k < data.size(); ++k)
      std::snprintf(buf, sizeof buf, "%#15.7g", static_cast<double>(data[k])), put(k, data.size());
    return s.str();
  }
};

// An AT2 file; `newHeader` picks "NPTS=  n, DT= d SEC" over "n d NPTS, DT".
inline std::string at2(const std::vector<double>& x, const std::string& dt, bool newHeader,
                       const std::string& unitLine = "ACCELERATION TIME SERIES IN UNITS OF G") {
  std::ostringstream s;
  s << "PEER NGA STRONG MOTION DATABASE RECORD\n"
    << (newHeader ? "Imperial Valley, 5/19/1940, El Centro Array #9, 180\n"
                  : "Imperial Valley 1940, El Centro Array #9, 180\n")
    << unitLine << '\n';
  char buf[64];
  if (newHeader) std::snprintf(buf, sizeof buf, "NPTS=%7zu, DT=   %s SEC", x.size(), dt.c_str());
  else std::snprintf(buf, sizeof buf, "%7zu   %s    NPTS, DT", x.size(), dt.c_str());
  s << buf << '\n';
  for (std::size_t k = 0; k < x.size(); ++k) {
    std::snprintf(buf, sizeof buf, "%15.7E", x[k]);
    s << buf << (k % 5 == 4 || k + 1 == x.size() ? "\n" : "");
  }
  return s.str();
}

using TempDir = testsupport::TempFolder;

// A record as the program's own reader gives it.
struct ReadBack {
  std::vector<float> x;
  int isps = 0;
  records::RecordHeader h;
  std::string comments;  // the comment lines unwrapped, each ending in a newline
};

// Comment lines as written (80 columns, a wrapped comment going on in lines
// that start with two blanks) joined back into one line per comment.
inline std::string unwrapped(const std::vector<std::string>& lines) {
  std::string out;
  for (std::string l : lines) {
    l.erase(l.find_last_not_of(' ') + 1);
    if (l.rfind("  ", 0) == 0 && !out.empty()) {
      out.back() = ' ';
      l.erase(0, 2);
    }
    out += l + "\n";
  }
  return out;
}

inline ReadBack readBack(const std::string& path) {
  testsupport::StringConsole c;
  ReadBack r;
  records::RecordSamples read = records::readRecordFile(c.io, 10, path, r.h);
  r.x = std::move(read.samples);
  r.isps = read.isps;
  r.comments = unwrapped(r.h.skipl);
  return r;
}

// A K-NET file: each header label in columns 1-18 before its value, then the
// counts eight a line.
inline std::string knetFile(const std::vector<std::pair<std::string, std::string>>& header,
                            const std::vector<std::int32_t>& c) {
  std::string s;
  for (auto [k, v] : header) s += (k.empty() ? "" : k.append(18 - std::min<std::size_t>(18, k.size()), ' ')) + v + "\n";
  for (std::size_t k = 0; k < c.size(); ++k) s += std::to_string(c[k]) + (k % 8 == 7 || k + 1 == c.size() ? "\n" : " ");
  return s;
}

// Runs kibconv on `args`: refused with `status` and `message` after
// "kibconv: " (a leading ": " stands for args[0], the input file's name).
inline void expectRefusal(const std::vector<std::string>& args, const std::string& message, int status = 2) {
  const std::string want = message.rfind(": ", 0) == 0 ? args.at(0) + message : message;
  std::ostringstream out, err;
  EXPECT_EQ(convert::kibconv(args, out, err), status) << want;
  EXPECT_EQ(err.str(), "kibconv: " + want + "\n");
  EXPECT_EQ(out.str(), "");
}

// Inputs written into `d` and converted to d/o.kib with their options, each
// refused; no record is written.
struct Refused {
  std::string name, contents;
  std::vector<std::string> opts;
  std::string message;
};
inline void expectRefusals(const TempDir& d, const std::vector<Refused>& rows) {
  for (const auto& r : rows) {
    std::vector<std::string> args = {d.write(r.name, r.contents), "-o", d.file("o.kib")};
    args.insert(args.end(), r.opts.begin(), r.opts.end());
    expectRefusal(args, r.message);
  }
  EXPECT_FALSE(std::filesystem::exists(d.file("o.kib")));
}

// The text's first 60 lines and last 4: a record's header, comment lines and
// the start and end of its samples.
inline std::string headAndTail(const std::string& text) {
  std::vector<std::size_t> starts = {0};
  for (std::size_t k = 0; k + 1 < text.size(); ++k)
    if (text[k] == '\n') starts.push_back(k + 1);
  if (starts.size() <= 64) return text;
  return text.substr(0, starts[60]) + "...\n" + text.substr(starts[starts.size() - 4]);
}

// Converts `input` with `opts` into the record o.kib in `d` and reads it back;
// with `stored`, what kibconv printed and the record's head and tail are
// compared with tests/convert/data/STORED.txt.
inline ReadBack convertAndRead(const TempDir& d, const std::string& input, std::vector<std::string> opts,
                               const std::string& stored = "") {
  opts.insert(opts.begin(), {input, "-o", d.file("o.kib")});
  std::ostringstream out, err;
  EXPECT_EQ(convert::kibconv(opts, out, err), 0) << err.str();
  if (!stored.empty())
    testsupport::expectStoredText(std::filesystem::path(EGF_TEST_SOURCE_DIR) / "tests/convert/data" / (stored + ".txt"),
                                  out.str() + err.str() + "--- o.kib\n" + headAndTail(d.read("o.kib")), d.path().string());
  return readBack(d.file("o.kib"));
}

}  // namespace convert_test
