// The KIBTRACE reader and the figure labels.
#include "records/records.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "dsp/dsp.hpp"
#include "model/params.hpp"
#include "textio/textio.hpp"

namespace {

using Lines = std::vector<std::string>;

std::string rjust(const std::string& s) {
  return std::string(10 - std::min<std::size_t>(10, s.size()), ' ') + s;
}

Lines split(const std::string& text) {
  Lines out;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);) out.push_back(l);
  return out;
}

// A record in a file of its own, removed afterwards. Line k (from 1) of the
// default record may be replaced (by several lines, too); `keep` cuts the file.
struct Record {
  Lines lines = split(
      "KIBTRACE FORMAT\nEW\n2019/07/06 03:16\nCLC  CHINA LAKE\n       100\n         4\n"
      "TEST EVENT\nTEST CHANNEL\n    57.373\nF10.3     gal\n     1.000\n8F10.3\n"
      "CI        CLC       HNE\nCGS V1 TEST\ndt=0.01000\n0\n     1.000     2.000     3.000     "
      "4.000");
  std::string path;
  Record(const std::vector<std::pair<int, std::string>>& edits = {}, std::size_t keep = 99,
         const std::string& name = "r") {
    for (const auto& [k, text] : edits) lines.at(static_cast<std::size_t>(k - 1)) = text;
    lines.resize(std::min(keep, lines.size()));
    path = testing::TempDir() + "egfr" + std::to_string(::getpid()) + name + ".kib";
    std::ofstream f(path);
    for (const auto& l : lines) f << l << '\n';
  }
  Record(const Record&) = delete;
  ~Record() { std::remove(path.c_str()); }
};

struct Outcome {
  std::vector<float> samples;
  int npts = -1, isps = -1;
  records::RecordHeader h;
  std::string problem;  // the rejection after "record file <path>: "
};

// Reads a record on unit 10 into `room` samples preset to -7.
Outcome read(const Record& record, std::size_t room = 20000) {
  textio::Channels io;  // the reader touches no console
  Outcome r;
  r.samples.assign(room, -7.0f);
  io.open(10, record.path);
  try {
    records::readkib(io, 10, r.samples, r.npts, r.isps, r.h, record.path);
  } catch (const textio::InputRejected& e) {
    const std::string head = "record file " + record.path + ": ";
    EXPECT_EQ(e.message.rfind(head, 0), 0u) << e.message;
    r.problem = e.message.substr(std::min(head.size(), e.message.size()));
  } catch (const textio::IoError& e) {
    // The fatal report's first line and where the read stood, without the path.
    EXPECT_EQ(e.location.rfind(record.path, 0), 0u) << e.location;
    r.problem = e.report().substr(0, e.report().find('\n')) + ";" +
                e.location.substr(std::min(record.path.size(), e.location.size()));
  }
  return r;
}

// Fixed formats with implied decimals, integer counts (rounded to a float
// before the one multiplication), free format over irregular lines.
TEST(ReadKib, EachNumberEncoding) {
  struct Row {
    const char *fmtLine, *scale, *dfmt, *data;
    std::vector<float> want;
    const char* format;  // as the reader's progress tells it
  };
  const char* ints =
      "    123     -5      0      1      2      3      4      5      6 999999\n   -123     77";
  const std::vector<float> counts = {123, -5, 0, 1, 2, 3, 4, 5, 6, 999999, -123, 77};
  auto times = [](std::vector<float> v, float s) {
    for (float& x : v) x = x * s;
    return v;
  };
  const Row rows[] = {
      {"F10.3     gal", "       2.0", "8F10.3",
       "     1.000     2.000    -3.500      1234     0.125    10.000   100.000     7.000\n"
       "     0.001  -250.250",
       times({1.0f, 2.0f, -3.5f, 1.234f, 0.125f, 10.0f, 100.0f, 7.0f, 0.001f, -250.25f}, 2.0f),
       "real"},
      {"I10       gal", "         3", "10I7", ints, times(counts, 3.0f), "integer"},
      {"f10.3     gal", "        10", "10i7", ints, times(counts, 0.01f), "integer"},
      {"*         gal", "  0.01 ", "10I7", ints, times(counts, 0.01f), "integer"},
      // 16777217 becomes 16777216 first; scaling before rounding would give 50331652.
      {"I10       gal",
       "         3",
       "2I10",
       "  16777217         1",
       {50331648.0f, 3.0f},
       "integer"},
      {"*         gal", "2.5", "*", "1\n2.0  -3 ,4.5e1\n\n  0.1\n6 7 8 9",
       times({1.0f, 2.0f, -3.0f, 45.0f, 0.1f, 6.0f, 7.0f}, 2.5f), "free"},
  };
  for (const Row& row : rows) {
    const auto n = row.want.size();
    const Record k({{6, rjust(std::to_string(n))},
                    {10, row.fmtLine},
                    {11, row.scale},
                    {12, row.dfmt},
                    {17, row.data}});
    const Outcome r = read(k);
    ASSERT_EQ(r.problem, "") << row.fmtLine << row.dfmt;
    EXPECT_EQ(std::vector<float>(r.samples.begin(), r.samples.begin() + n), row.want) << row.dfmt;
    EXPECT_EQ(r.samples[n], -7.0f) << "nothing written past npts";
    const records::ReadProgress& g = r.h.progress;
    EXPECT_TRUE(g.headerLine && g.kibtrace && g.skipCount && g.sampleFormat);
    EXPECT_EQ(!g.fixedFormat ? "free" : g.integerSamples ? "integer" : "real", std::string(row.format));
  }
}

// A target and an element record that cannot be compared sample by sample
// are refused: another rate, or units of different families. Units of one
// family, or any unit not recognised, still run.
TEST(RecordPairs, RefusedAtAnotherRateOrUnitFamily) {
  const struct Row {
    int targetRate, elementRate;
    const char *targetUnit, *elementUnit;
    const char* problem;  // part of what follows "record files t.kib (target) and e.kib (element) "; empty: runs
  } rows[] = {
      {100, 50, "gal", "gal", "differ in rate: 100 and 50 samples per second; the synthetic would be "
       "compared with the observation on another time base: bring the lower rate up with kibconv "
       "--resample 100"},
      {20, 200, "gal", "gal", "kibconv --resample 200"},
      {100, 100, "gal", "m/s/s", "differ in unit: \"gal\" (centimetre-based) and \"m/s/s\" "
       "(metre-based); convert one record with kibconv --out-unit"},
      {100, 100, "  G", "cm/s2", "\"G\" (gravity-based) and \"cm/s2\" (centimetre-based)"},
      {100, 100, "M/S^2", "g", "\"M/S^2\" (metre-based) and \"g\" (gravity-based)"},
      {100, 100, "gal", "CM/S/", ""}, {100, 100, "m/s**", "m/s2", ""},
      {100, 100, "gal", "nm/s2", ""}, {100, 100, "", "m/s/s", ""},
  };
  for (const Row& r : rows) {
    std::string got;
    try {
      records::requireComparable({"t.kib", r.targetRate, r.targetUnit}, {"e.kib", r.elementRate, r.elementUnit});
    } catch (const textio::InputRejected& e) {
      got = e.message;
    }
    const std::string part = r.problem;
    EXPECT_EQ(got.rfind("record files t.kib (target) and e.kib (element) ", 0) == 0, !part.empty()) << got;
    EXPECT_NE(got.find(part), std::string::npos) << got;
  }
}

}  // namespace
