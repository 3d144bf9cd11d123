// KIBTRACE writing: each header line checked by what its columns should
// hold, and the records read back by the program's own reader, which must
// give exactly the samples the writer says a reader gets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "example/kibtrace.hpp"
#include "records/records.hpp"
#include "textio/textio.hpp"

namespace {

example::KibHeader testHeader() {
  example::KibHeader h;
  h.head3 = "EW";
  h.head16 = "2000/01/01 00:00";
  h.rcode = "EXS";
  h.rname = "EXAMPLE SITE";
  h.isps = 100;
  h.head24a = "EVENT";
  h.head24b = "XX.EXS HNE";
  h.dunit = "gal";
  h.head10a = "XX";
  h.head10b = "EXS";
  h.head10c = "HNE";
  h.head20 = "test";
  h.head11 = "dt=0.01000";
  h.comments = {"first comment", "second comment"};
  return h;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Reads `text` with the program's reader; the console lines go to `console`.
std::vector<float> readBack(const std::string& text, records::RecordHeader& h, int& npts,
                            std::string& console) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("egf_kib_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".kib");
  {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }
  std::istringstream in;
  std::ostringstream out, err;
  std::vector<float> samples(20000, 0.0f);
  int isps = 0;
  {
    textio::Channels io(in, out, err);
    io.open(10, path.string());
    records::readkib(io, 10, samples, npts, isps, h, path.string());
    io.close(10);
    io.closeAll();
  }
  std::filesystem::remove(path);
  console = out.str();
  EXPECT_EQ(isps, 100);
  samples.resize(npts > 0 ? npts : 0);
  return samples;
}

TEST(KibWriter, FloatRecordHeaderLinesHoldTheirFields) {
  const std::vector<double> x = {1.0, -2.5, 0.00004, 123.45678, 0, 0, 0, 0, 9.0};
  const example::KibText k = example::writeFloatRecord(testHeader(), x);
  const std::vector<std::string> l = lines(k.text);
  ASSERT_EQ(l.size(), 16u + 2u + 2u);  // 16 header lines, 2 comments, 9 samples on 2 lines
  EXPECT_EQ(l[0], "KIBTRACE FORMAT");
  EXPECT_EQ(l[1], "EW ");
  EXPECT_EQ(l[2], "2000/01/01 00:00");
  EXPECT_EQ(l[3], "EXS  EXAMPLE SITE");  // rcode columns 1-5, rname 6-17
  EXPECT_EQ(l[4], "       100");         // I10
  EXPECT_EQ(l[5], "         9");         // I10
  EXPECT_EQ(l[6].size(), 24u);
  EXPECT_EQ(l[7].size(), 24u);
  EXPECT_EQ(l[8], "   123.457");         // F10.3: the peak as read back
  EXPECT_EQ(l[9], "F10.3     gal  ");    // sfmt columns 1-10, dunit 11-15
  EXPECT_EQ(l[10], "     1.000");
  EXPECT_EQ(l[11], "8F10.4    ");
  EXPECT_EQ(l[12], "XX        EXS       HNE       ");
  EXPECT_EQ(l[13].size(), 20u);
  EXPECT_EQ(l[14], "dt=0.01000 ");
  EXPECT_EQ(l[15], "         2");
  EXPECT_EQ(l[16], "first comment");
  EXPECT_EQ(l[18], "    1.0000   -2.5000    0.0000  123.4568    0.0000    0.0000    0.0000    0.0000");
  EXPECT_EQ(l[19], "    9.0000");
  EXPECT_EQ(k.samples, (std::vector<float>{1.0f, -2.5f, 0.0f, 123.4568f, 0, 0, 0, 0, 9.0f}));
}

TEST(KibWriter, CountRecordWritesRoundedCountsOfOneThousandth) {
  std::vector<double> x(12, 0.0);
  x[0] = 1.234;
  x[1] = -0.0016;    // -1.6 counts
  x[2] = 0.0625;     // 62.5 counts: halves go to the even count
  x[3] = 0.1875;     // 187.5 counts
  x[11] = 9999.999;  // the largest value eight columns hold
  const example::KibText k = example::writeCountRecord(testHeader(), x);
  const std::vector<std::string> l = lines(k.text);
  EXPECT_EQ(l[9], "F10.6     gal  ");
  EXPECT_EQ(l[10], "  0.001000");
  EXPECT_EQ(l[11], "10I8      ");
  EXPECT_EQ(l[18], "    1234      -2      62     188       0       0       0       0       0       0");
  EXPECT_EQ(l[19], "       0 9999999");
  EXPECT_EQ(k.samples[0], 1234.0f * 0.001f);
  EXPECT_EQ(k.samples[1], -2.0f * 0.001f);
  x[11] = 10000.0;
  EXPECT_THROW(example::writeCountRecord(testHeader(), x), std::invalid_argument);
}

TEST(KibWriter, RefusesValuesAndTextsThatDoNotFit) {
  EXPECT_THROW(example::writeFloatRecord(testHeader(), {100000.0}), std::invalid_argument);
  EXPECT_THROW(example::field("TOOLONG", 5), std::invalid_argument);
  EXPECT_EQ(example::field("ab", 4), "ab  ");
}

TEST(KibWriter, ProgramReaderGetsExactlyTheSamplesOfBothEncodings) {
  std::vector<double> x;
  for (int i = 0; i < 1001; ++i) x.push_back(400.0 * std::sin(0.07 * i) * std::exp(-0.003 * i));
  for (const bool counts : {false, true}) {
    const example::KibText k = counts ? example::writeCountRecord(testHeader(), x)
                                      : example::writeFloatRecord(testHeader(), x);
    records::RecordHeader h;
    int npts = 0;
    std::string console;
    const std::vector<float> got = readBack(k.text, h, npts, console);
    EXPECT_EQ(npts, 1001);
    EXPECT_EQ(got, k.samples) << (counts ? "10I8" : "8F10.4");
    EXPECT_EQ(h.rcode, "EXS  ");
    EXPECT_EQ(h.rname, "EXAMPLE SITE");
    EXPECT_EQ(h.dunit, "gal  ");
    EXPECT_EQ(h.nskip, 2);
    EXPECT_NE(console.find(counts ? "data is integer" : "data is floting"), std::string::npos);
  }
}

}  // namespace
