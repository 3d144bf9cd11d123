// The KIBTRACE writer: field layout of the header and the sample formats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"
#include "textio/stop.hpp"

namespace {

using convert::NumberStyle;
using convert::WriteOptions;
using convert_test::lines;

TEST(FixedField, RowsOfTheFwdRules) {
  struct Row {
    float v;
    int w, d;
    const char* text;
  };
  const Row rows[] = {
      {841.6f, 9, 3, "  841.600"},   {0.5f, 9, 3, "    0.500"},  {-0.5f, 6, 2, " -0.50"},
      {-0.0004f, 9, 3, "    0.000"},  // rounds to zero: no minus sign
      {-0.0f, 6, 1, "   0.0"},        {123456.0f, 8, 0, " 123456."},
      {1.0f, 3, 3, "1.000"},          // too narrow: the text is longer than w, never starred
  };
  for (const auto& r : rows) EXPECT_EQ(convert::fixedField(r.v, r.w, r.d), r.text) << r.v;
}

TEST(ChooseFormat, FreeFormatIsExactForEveryFloat) {
  const std::vector<float> x = {1.0f / 3.0f, -1.17549435e-38f, 3.40282347e38f, 1e-45f, 0.1f};
  WriteOptions o;
  const auto f = convert::chooseFormat(x, o, "s");
  EXPECT_EQ(f.dfmt, "*");
  // Oracle: strtof of the written text (the reader goes through double,
  // which for nine digits gives the same float).
  convert::Trace t;
  t.samples = x;
  t.unit = convert::Unit::Gal;
  const auto out = lines(convert::formatKib(t, 100, o, "s"));
  std::vector<float> back;
  for (std::size_t l = 16; l < out.size(); ++l) {
    const char* p = out[l].c_str();
    char* end;
    for (float v = std::strtof(p, &end); end != p; v = std::strtof(p, &end)) back.push_back(v), p = end;
  }
  ASSERT_EQ(back.size(), x.size());
  for (std::size_t k = 0; k < x.size(); ++k) EXPECT_EQ(back[k], x[k]) << k;
}

TEST(ChooseFormat, CountsWithAndWithoutAScale) {
  WriteOptions o;
  o.style = NumberStyle::Counts;
  const std::vector<float> x = {123.456789f, -0.5f};
  auto f = convert::chooseFormat(x, o, "s");
  EXPECT_EQ(f.scale, 1e-4f);  // peak 123.456789 becomes 1234568 counts
  EXPECT_EQ(f.dfmt, "10I8");
  o.countScale = 0.01f;
  f = convert::chooseFormat(x, o, "s");
  EXPECT_EQ(f.dfmt, "13I6");  // " 12346", " -50"
  o.countScale.reset();
  try {
    convert::chooseFormat(std::vector<float>{1e-40f}, o, "s");  // a scale of 1e-46 is no float
    ADD_FAILURE() << "not refused";
  } catch (const textio::InputRejected& e) {
    EXPECT_EQ(e.message, "s: peak 9.99995E-41 is too small for integer counts; use --number free");
  }
  o.countScale = 1e-8f;       // 1.2e10 counts do not fit 32 bits
  try {
    convert::chooseFormat(x, o, "s");
    ADD_FAILURE() << "not refused";
  } catch (const textio::InputRejected& e) {
    EXPECT_NE(e.message.find("--scale: sample 1 would be"), std::string::npos) << e.message;
  }
}

TEST(FormatKib, HeaderFieldsSitInTheirColumns) {
  convert::Trace t;
  t.samples = {1.0f, -2.0f, 57.373f};
  t.station = "CLC";
  t.stationName = "CHINA LAKE";
  t.component = "HNE";
  t.network = "CI";
  t.eventName = "Ridgecrest";
  t.startMs = convert::epochMs(2019, 187, 3, 19, 51, 790);
  t.eventMs = convert::epochMs(2019, 187, 3, 19, 53, 40);
  t.unit = convert::Unit::Gal;
  WriteOptions o;
  o.comments = {"first", std::string(90, 'x'), "bad\tbyte"};
  const auto l = lines(convert::formatKib(t, 100, o, "s"));
  ASSERT_EQ(l.size(), 16u + 3u + 1u);
  const std::vector<std::string> header = {
      "KIBTRACE FORMAT",
      "HNE",
      "2019/07/06 03:19",
      "CLC  CHINA LAKE  ",
      "       100",
      "         3",
      "Ridgecrest              ",
      "CI.CLC HNE              ",
      "    57.373",
      "*         gal  ",
      "1.0",
      "*         ",
      "CI        CLC       HNE       ",
      "converted by kibconv",
      "dt=0.01000 ",
      "3",
  };
  for (std::size_t k = 0; k < header.size(); ++k) EXPECT_EQ(l[k], header[k]) << "line " << k + 1;
  EXPECT_EQ(l[16], "first");
  EXPECT_EQ(l[17], std::string(80, 'x'));  // comment lines are cut at 80 columns
  EXPECT_EQ(l[18], "bad?byte");            // control characters never reach the record
}

TEST(FormatKib, PeakTooWideForF10_3UsesAnExponent) {
  convert::Trace t;
  t.samples = {-12345678.0f};
  t.unit = convert::Unit::NanometrePerS2;
  const auto l = lines(convert::formatKib(t, 50, WriteOptions{}, "s"));
  EXPECT_EQ(l[8], " 1.235E+07");
  EXPECT_EQ(l[9], "*         nm/s2");
}

TEST(FormatKib, CommentLinesStopAtAHundred) {
  convert::Trace t;
  t.samples = {1.0f};
  WriteOptions o;
  o.comments.assign(130, "c");
  const auto l = lines(convert::formatKib(t, 1, o, "s"));
  EXPECT_EQ(l[15], "100");
  EXPECT_EQ(l.size(), 16u + 100u + 1u);
}

}  // namespace
