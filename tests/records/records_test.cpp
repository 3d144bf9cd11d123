// The KIBTRACE reader, mean removal, the figure labels and the preparation of
// a target and an element record.
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
#include "run/params.hpp"
#include "run/workspace.hpp"
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
  Lines console;        // kept on a rejection as well
  std::string problem;  // the rejection after "record file <path>: "
};

// Reads a record on unit 10 into `room` samples preset to -7.
Outcome read(const Record& record, std::size_t room = 20000) {
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
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
  r.console = split(out.str());
  return r;
}

// Fixed formats with implied decimals, integer counts (rounded to a float
// before the one multiplication), free format over irregular lines.
TEST(ReadKib, EachNumberEncoding) {
  struct Row {
    const char *fmtLine, *scale, *dfmt, *data;
    std::vector<float> want;
    const char* lastConsoleLine;
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
       "  data is floting"},
      {"I10       gal", "         3", "10I7", ints, times(counts, 3.0f), "  data is integer"},
      {"f10.3     gal", "        10", "10i7", ints, times(counts, 0.01f), "  data is integer"},
      {"*         gal", "  0.01 ", "10I7", ints, times(counts, 0.01f), "  data is integer"},
      // 16777217 becomes 16777216 first; scaling before rounding would give 50331652.
      {"I10       gal",
       "         3",
       "2I10",
       "  16777217         1",
       {50331648.0f, 3.0f},
       "  data is integer"},
      {"*         gal", "2.5", "*", "1\n2.0  -3 ,4.5e1\n\n  0.1\n6 7 8 9",
       times({1.0f, 2.0f, -3.0f, 45.0f, 0.1f, 6.0f, 7.0f}, 2.5f), "  skip  0"},
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
    EXPECT_EQ(r.console.back(), row.lastConsoleLine);
  }
}

TEST(ReadKib, HeaderFieldsTextLinesAndConsole) {
  const Record k({{1, "kibtrace format  converted 2024"},  // text after column 15 is ignored
                  {12, "8f10.3    x"},                     // the descriptor ends at a blank
                  {16, "2\nfirst free text line\n" + std::string(85, 'z')}});
  const Outcome r = read(k);
  ASSERT_EQ(r.problem, "");
  EXPECT_EQ(r.npts, 4);
  EXPECT_EQ(r.isps, 100);
  EXPECT_EQ(r.h.rcode + "|" + r.h.rname + "|" + r.h.dunit, "CLC  |CHINA LAKE  |gal  ");
  EXPECT_EQ(r.h.head10a + "|" + r.h.head10b + "|" + r.h.head10c,
            "CI        |CLC       |HNE       ");
  EXPECT_EQ(r.h.head11, "dt=0.01000 ");
  EXPECT_EQ(r.h.hreal, 57.373f);
  EXPECT_EQ(r.h.skipl,
            (Lines{"first free text line" + std::string(60, ' '), std::string(80, 'z')}));
  // The A15 echo without a leading blank; list-directed lines open with a
  // blank; the descriptor as a ten-column A10 line.
  EXPECT_EQ(r.console, (Lines{"kibtrace format", "  skip  2", "8f10.3    ", "  data is floting"}));
}

// Each refusal with the console lines written before it: nothing past the
// refused field is read, and the count and rate are refused before any sample.
// An end of file or a bad number in free format is the fatal report instead,
// with the line the read stood on.
TEST(ReadKib, RefusesRecordsWithoutUsableSamples) {
  struct Row {
    std::string problem;
    std::size_t consoleLines;
    std::vector<std::pair<int, std::string>> edits;
    std::size_t keep = 99;  // lines of the record kept
  };
  const std::string freeScale = "*         gal";
  const Row rows[] = {
      {"empty record file", 0, {}, 0},
      {R"(first line is not "KIBTRACE FORMAT" but "Kibtrace Format")", 2, {{1, "Kibtrace Format"}}},
      {"no scale factor on line 11", 1, {{10, freeScale}, {11, ","}}},
      {"end of file at the scale factor line", 1, {}, 10},
      {"list in: end of file; ends after line 10", 1, {{10, freeScale}}, 10},
      {"no number format for the scale factor (line 10 column 1 is blank)",
       1,
       {{10, "       gal"}}},
      {"no nskip value on line 16", 1, {{16, "/"}}},
      {"nskip 101 is outside 0..100", 2, {{16, "101"}}},
      {"nskip -1 is outside 0..100", 2, {{16, "-1"}}},
      {"npts 0 is not positive", 4, {{6, ""}}, 16},  // a blank I10 field reads 0
      {"npts 15001 exceeds the 15000 samples a record may hold", 4, {{6, "15001"}}, 16},
      {"isps -100 is not positive", 4, {{5, "-100"}}, 16},
      {"no number format for the samples (line 12 column 1 is blank)", 4, {{12, ""}}},
      {"end of file before all 5 samples were read", 4, {{6, "5"}, {12, "4F10.3"}}},
      {"end of file before all 11 samples were read",
       4,
       {{6, "11"}, {12, "10I7"}, {17, "      1      2"}}},
      {"list in: end of file; ends after line 18", 2, {{6, "5"}, {12, "*"}, {17, "1 2 3\n4"}}},
      {"invalid number: read unexpected character; line 19: 4 5x", 2,
       {{6, "5"}, {12, "*"}, {17, "1 2 3\n\n4 5x"}}},
  };
  for (const Row& row : rows) {
    const Outcome r = read(Record(row.edits, row.keep));
    EXPECT_EQ(r.problem, row.problem);
    EXPECT_EQ(r.console.size(), row.consoleLines) << row.problem;
  }
  // A count beyond the caller's array is refused before anything is stored.
  const Outcome r = read(Record({{6, "5"}, {12, "*"}, {17, "1 2 3 4 5"}}), 4);
  EXPECT_EQ(r.problem, "npts 5 exceeds the 4 samples a record may hold");
  EXPECT_EQ(r.samples, std::vector<float>(4, -7.0f));
}

TEST(Zero, RangeOnlySinglePrecisionEmptyAndOutside) {
  std::vector<float> x = {9.0f, 1.0f, 2.0f, 3.0f, 6.0f, 9.0f}, big = {16777216.0f, 1.0f, 1.0f};
  float mean = 0;
  records::zero(x, 2, 5, mean);
  EXPECT_EQ(x, (std::vector<float>{9.0f, -2.0f, -1.0f, 0.0f, 3.0f, 9.0f}));
  records::zero(big, 1, 3, mean);  // each 1 is lost against 2^24 in a float sum
  EXPECT_EQ(mean, 16777216.0f / 3.0f);
  records::zero(x, 2, 1, mean);  // an empty range: 0/0
  EXPECT_TRUE(std::isnan(mean));
  EXPECT_THROW(records::zero(x, 1, 7, mean), std::out_of_range);
  EXPECT_THROW(records::zero(x, 0, 2, mean), std::out_of_range);
}

TEST(Labels, FixedWidthFieldsWithAsterisksWhenTooWide) {
  run::Params p;
  p.nx = 8, p.cfac = 1.5f, p.dx = 2.5f, p.dw = 2.0f, p.tra = 0.3f;
  p.nsx = 1, p.nsw = 4, p.fl = 0.1f, p.fh = 10.0f;
  records::Labels l = records::buildLabels(p);
  EXPECT_EQ(
      (Lines{l.labn, l.labc, l.labsz, l.labt, l.labns, l.labbp}),
      (Lines{"N= 8", "C= 1.50", "2.50km x 2.00km", "0.30s", "( 1, 4)", "B.P.F= 0.10~10.00Hz"}));
  p.nx = 100, p.cfac = -10.0f, p.dx = 10.0f, p.dw = 0.5f, p.tra = 9.999f;  // 9.999 rounds to 10.00
  p.nsx = -1, p.nsw = 12, p.fl = 0.0f, p.fh = 100.0f;
  l = records::buildLabels(p);
  EXPECT_EQ(
      (Lines{l.labn, l.labc, l.labsz, l.labt, l.labns, l.labbp}),
      (Lines{"N=**", "C=*****", "****km x 0.50km", "****s", "(-1,12)", "B.P.F= 0.00~*****Hz"}));
}

// ---- preparation ----------------------------------------------------------------

// A record of x at isps samples per second, eight F10.3 fields a line.
Record recordOf(const std::vector<float>& x, int isps, const std::string& name,
                const std::string& unit = "gal") {
  std::string data;
  char field[16];
  for (std::size_t i = 0; i < x.size(); ++i) {
    std::snprintf(field, sizeof field, i % 8 == 7 ? "%10.3f\n" : "%10.3f",
                  static_cast<double>(x[i]));
    data += field;
  }
  return Record(
      {{5, rjust(std::to_string(isps))},
       {6, rjust(std::to_string(x.size()))},
       {10, "F10.3     " + unit},
       {17, data}},
      99, name);
}

// An independent transcription of the rules: single-precision running means,
// the rectangle-then-trapezoid integral, the filter after both integrations,
// then the scaled copies, each made mean-free. Returns d, di, dii and the copies.
std::vector<std::vector<float>> prepared(const std::vector<float>& x, float dt,
                                         const run::Params& p, float scale) {
  auto meanFree = [](std::vector<float> v) {
    float sum = 0.0f;
    for (float s : v) sum = sum + s;
    const float mean = sum / static_cast<float>(v.size());
    for (float& s : v) s = s - mean;
    return v;
  };
  auto integral = [&](const std::vector<float>& v) {
    std::vector<float> y(v.size());
    y[0] = dt * v[0];
    for (std::size_t i = 1; i < v.size(); ++i) y[i] = y[i - 1] + ((v[i - 1] + v[i]) / 2.0f) * dt;
    return meanFree(y);
  };
  std::vector<std::vector<float>> e{meanFree(x)};
  e.push_back(integral(e[0]));
  e.push_back(integral(e[1]));
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  for (int k = 0; k < 3; ++k) {
    if (p.ifilt == 1)
      dsp::bandp(io, e[k], static_cast<int>(x.size()), dt, p.fl, p.fh, p.fs, p.ap, p.as, 0);
  }
  for (int k = 0; k < 3; ++k) {
    std::vector<float> c = e[k];
    for (float& v : c) v = v * scale;
    e.push_back(meanFree(c));
  }
  return e;
}

// got starts with want and holds zeros from there up to `end`.
void expectSeries(const std::vector<float>& got, const std::vector<float>& want, std::size_t end,
                  const char* what) {
  EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin())) << what;
  EXPECT_TRUE(
      std::all_of(got.begin() + want.size(), got.begin() + end, [](float v) { return v == 0.0f; }))
      << what << " beyond the count";
}

class Preparation : public ::testing::Test {
 protected:
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io{in, out, err};
  run::Params p;
  run::Workspace w;
  records::RecordHeader h;
};

TEST_F(Preparation, ConstantRecordsAndTheirTranscript) {
  const Record target = recordOf({1.0f, 1.0f, 1.0f, 1.0f}, 100, "t");
  const Record element = recordOf({2.0f, 2.0f, 2.0f}, 100, "e");
  p.fmain = target.path, p.faft = element.path, p.ifilt = 0, p.cfac = 1.5f;
  records::prepareTarget(io, p, w, h);
  records::prepareElement(io, p, w, h);
  // Every mean after the first of each record is exactly 0: the constant
  // goes with the first, and the integral of zeros is zero.
  const Lines reader = {"KIBTRACE FORMAT", "  skip  0", "8F10.3    ", "  data is floting"};
  Lines want = reader;
  for (const char* l :
       {" dt=  0.00999999978", " d sum =  1.", " di sum =  0.", " dii sum =  0.", " dm sum =  0.",
        " dmm sum =  0.", " dmmm sum =  0.", "  target event prelimilary analysis was done "})
    want.push_back(l);
  want.insert(want.end(), reader.begin(), reader.end());
  for (const char* l :
       {" d sum =  2.", " di sum =  0.", " dii sum =  0.", " da sum =  0.", " daa sum =  0.",
        " daaa sum =  0.", "  small event prelimilary analysis was done "})
    want.push_back(l);
  EXPECT_EQ(split(out.str()), want);
  expectSeries(w.dm, {}, w.dm.size(), "dm");
  expectSeries(w.da, {}, w.da.size(), "da");
  EXPECT_EQ(p.ns, 4) << "ns read as 0 becomes the target's count";
}

// A target and an element record that cannot be compared sample by sample
// are refused once the element is read: another rate, or units of different
// families. Units of one family, or any unit not recognised, still run.
TEST_F(Preparation, RefusedRecordPairs) {
  const struct Row {
    int targetRate, elementRate;
    const char *targetUnit, *elementUnit;
    const char* problem;  // part of what follows "record files T (target) and E (element) "; empty: runs
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
    const Record target = recordOf({1, 2, 3, 4}, r.targetRate, "t", r.targetUnit);
    const Record element = recordOf({1, 2, 3}, r.elementRate, "e", r.elementUnit);
    p.fmain = target.path, p.faft = element.path, p.ifilt = 0, p.cfac = 1.0f;
    std::string got;
    try {
      records::prepareTarget(io, p, w, h);
      records::prepareElement(io, p, w, h);
    } catch (const textio::InputRejected& e) {
      got = e.message;
    }
    const std::string files = "record files " + target.path + " (target) and " + element.path +
                              " (element) ", part = r.problem;
    EXPECT_EQ(got.rfind(files, 0) == 0, !part.empty()) << got;
    EXPECT_NE(got.find(part), std::string::npos) << got;
  }
}

// Band-passed, and the element's series end with its shorter count.
TEST_F(Preparation, BandPassedTargetAndShorterElement) {
  std::vector<float> tx(400), ex(150);  // multiples of 1/8: the F10.3 text reads back exactly
  for (std::size_t i = 0; i < tx.size(); ++i)
    tx[i] = std::round((std::sin(0.29 * i) * 40.0 + 1.5) * 8.0) / 8.0;
  for (std::size_t i = 0; i < ex.size(); ++i)
    ex[i] = std::round((std::sin(0.53 * i) * 40.0 - 2.0) * 8.0) / 8.0;
  const Record target = recordOf(tx, 100, "t"), element = recordOf(ex, 100, "e");
  p.fmain = target.path, p.faft = element.path, p.cfac = 2.5f, p.ns = 500;
  p.ifilt = 1, p.fl = 0.5f, p.fh = 8.0f, p.fs = 12.0f, p.ap = 0.5f, p.as = 5.0f;
  records::prepareTarget(io, p, w, h);
  EXPECT_EQ(w.dt, 0.01f);
  records::prepareElement(io, p, w, h);
  EXPECT_EQ(w.dt, 0.01f);
  EXPECT_EQ(p.ns, 500) << "a non-zero ns stays";
  EXPECT_EQ(w.nmain, 400);
  EXPECT_EQ(w.naft, 150);
  EXPECT_EQ(h.npts, 150) << "the header is the element record's";

  const auto t = prepared(tx, 0.01f, p, 1.0f), e = prepared(ex, 0.01f, p, 2.5f);
  const std::size_t cap = records::kMaxSamples;
  expectSeries(w.dm, t[3], cap, "dm");
  expectSeries(w.dmm, t[4], cap, "dmm");
  expectSeries(w.dmmm, t[5], cap, "dmmm");
  expectSeries(w.d, e[0], cap, "d");
  expectSeries(w.di, e[1], cap, "di");
  expectSeries(w.dii, e[2], cap, "dii");
  expectSeries(w.da, e[3], cap, "da");
  expectSeries(w.daa, e[4], cap, "daa");
  expectSeries(w.daaa, e[5], cap, "daaa");
  run::Params raw = p;
  raw.ifilt = 0;
  EXPECT_NE(prepared(tx, 0.01f, raw, 1.0f)[3], t[3]) << "the filter changes the series";
  // "dt=" once, right after the target reader's lines; the element's gets none.
  const Lines lines = split(out.str());
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind(" dt=", 0) == 0; }),
            1);
  EXPECT_EQ(lines[4], " dt=  0.00999999978");
}

}  // namespace
