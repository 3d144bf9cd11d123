// Round trips: every input format, converted by kibconv (format detected
// from the contents) and read back by the program's own reader, gives the
// input samples times the unit factor (one float multiplication) to the
// precision the chosen number format promises.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"

namespace {

using convert_test::SacFile;

struct Input {
  std::string name, contents;
  std::vector<std::string> args;
  std::vector<float> want;  // samples in gal as the record must hold them
  int isps;
  std::string note;         // a comment line the record must carry
  std::vector<std::string> styles = {"free", "fixed", "counts"};
};

// A series with varied magnitudes and signs that needs all of a float's digits.
std::vector<float> wiggle(std::size_t n, double amplitude) {
  std::vector<float> x(n);
  for (std::size_t k = 0; k < n; ++k)
    x[k] = static_cast<float>(amplitude * (std::sin(0.37 * k) * std::exp(-0.002 * k) + 1e-3 * std::cos(2.1 * k)));
  return x;
}

// The float a decimal text of `v` reads back as; each sample times `factor`.
std::vector<float> viaText(const std::vector<float>& x, const char* fmt, float factor) {
  std::vector<float> out;
  for (float v : x) {
    char buf[40];
    std::snprintf(buf, sizeof buf, fmt, static_cast<double>(v));
    out.push_back(std::strtof(buf, nullptr) * factor);
  }
  return out;
}

std::string linesOf(const std::vector<float>& x, bool withTime) {
  std::string s;
  for (std::size_t k = 0; k < x.size(); ++k) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f %.9g\n", 12.5 + k * 0.01, static_cast<double>(x[k]));  // times from 12.5 s
    s += withTime ? buf : std::strchr(buf, ' ') + 1;
  }
  return s;
}

std::vector<Input> inputs() {
  SacFile s;
  s.name(0, 8, "CLC");
  s.name(160, 8, "HNE");
  s.name(168, 8, "CI");
  s.i[0] = 2019, s.i[1] = 187, s.i[2] = 3, s.i[3] = 19, s.i[4] = 53, s.i[5] = 40;  // 6 July, 03:19:53.040
  s.f[5] = 0.0f;  // b
  s.samples(wiggle(3000, 5.0e8));  // nm/s/s, about 50 gal
  const auto sacWant = viaText(s.data, "%.9g", 1e-7f);  // nine digits: exact
  SacFile v7 = s;
  v7.i[6] = 7;
  SacFile a = s;
  a.f[0] = 0.005f;
  a.samples(wiggle(500, 2.0e7));
  const auto g = wiggle(1200, 0.3);
  const std::vector<double> gd(g.begin(), g.end());
  const auto ms2 = wiggle(800, 0.02);
  const std::vector<float> extremes = {1e-45f, -1.17549435e-38f, 3.40282347e38f, -0.0f, 1.0f / 3.0f};
  return {
      {"sac_little", s.binary(false), {}, sacWant, 100, "input SAC binary, little-endian, 3000 samples"},
      {"sac_big", s.binary(true), {}, sacWant, 100, "input SAC binary, big-endian, 3000 samples"},
      // A version 7 file may carry its 22-double footer after the samples.
      {"sac_footer", v7.binary(true) + std::string(176, '\0'), {}, sacWant, 100, "input SAC binary, big-endian"},
      // Seven digits in the text: the floats those digits give are the input.
      {"sac_alpha", a.alpha(), {}, viaText(a.data, "%#15.7g", 1e-7f), 200, "input SAC alphanumeric, 500 samples"},
      {"at2_old", convert_test::at2(gd, ".0050", false), {"--station", "ECA9"}, viaText(g, "%15.7E", 980.665f),
       200, "input PEER NGA AT2, 1200 samples"},
      {"at2_new", convert_test::at2(gd, ".0050", true), {"--station", "ECA9"}, viaText(g, "%15.7E", 980.665f),
       200, "input PEER NGA AT2, 1200 samples"},
      {"text_one", linesOf(ms2, false), {"--dt", "0.01", "--unit", "m/s/s"}, viaText(ms2, "%.9g", 100.0f), 100,
       "input plain text, one value per line"},
      {"text_two", linesOf(ms2, true), {"--unit", "m/s/s"}, viaText(ms2, "%.9g", 100.0f), 100,
       "input plain text, time and value per line"},
      // Denormals and the largest floats: only the free format holds them all.
      {"text_extremes", linesOf(extremes, false), {"--dt", "0.01", "--unit", "gal"}, extremes, 100,
       "input unit cm/s/s given with --unit", {"free"}},
  };
}

void PrintTo(const Input& in, std::ostream* os) { *os << in.name; }

class RoundTrip : public ::testing::TestWithParam<Input> {};

TEST_P(RoundTrip, ProgramReaderGetsTheInputSamples) {
  const Input& in = GetParam();
  float peak = 0.0f;
  for (float v : in.want) peak = std::max(peak, std::fabs(v));
  for (const std::string& style : in.styles) {
    SCOPED_TRACE(style);
    convert_test::TempDir d;
    std::vector<std::string> opts = {"--number", style};
    opts.insert(opts.end(), in.args.begin(), in.args.end());
    const auto r = convert_test::convertAndRead(d, d.write("input", in.contents), opts, "roundtrip/" + in.name + "_" + style);
    EXPECT_EQ(r.isps, in.isps);
    EXPECT_EQ(r.h.dunit, "gal  ");
    // F10.3, or an exponent when too wide; four digits of the largest float
    // round up past the float range, so that one peak is not read back.
    if (peak < 1e38f) {
      EXPECT_NEAR(r.h.hreal, peak, std::max(5e-4, peak * 5e-4));
    }
    EXPECT_EQ(r.comments.rfind("kibconv: converted from ", 0), 0u) << r.comments;
    EXPECT_NE(r.comments.find(in.note), std::string::npos) << r.comments;
    if (in.name.rfind("sac_", 0) == 0) {
      EXPECT_EQ(r.h.rcode, "CLC  ");
      EXPECT_EQ(r.h.head3, "HNE");
      EXPECT_EQ(r.h.head16, "2019/07/06 03:19");
      EXPECT_EQ(r.h.head24b, "CI.CLC HNE              ");
    } else if (in.name.rfind("at2", 0) == 0) {
      EXPECT_EQ(r.h.rcode, "ECA9 ");
      EXPECT_EQ(r.h.rname, "El Centro Ar");  // the AT2 station name, cut to 12 columns
      EXPECT_EQ(r.h.head3, "180");
    }
    // Free format is exact; Fw.d promises half a unit of the last decimal
    // (descriptor on line 12), counts half a count (scale on line 11), plus
    // the float rounding of the value read back. Both keep seven digits of
    // the peak.
    std::istringstream rec(d.read("o.kib"));
    std::string line, scale;
    for (int k = 1; k <= 12; ++k) {
      std::getline(rec, line);
      if (k == 11) scale = line;
    }
    const std::string& dfmt = line;
    double half = 0.0;
    if (style == "fixed") half = 0.5 * std::pow(10.0, -std::atoi(dfmt.substr(dfmt.find('.') + 1).c_str()));
    if (style == "counts") half = 0.5 * std::strtod(scale.c_str(), nullptr);
    EXPECT_LE(half, 5e-7 * peak);
    if (style == "fixed") {
      EXPECT_GT(half, 5e-8 * peak) << "more decimals than the peak's seven digits: " << dfmt;
    }
    ASSERT_EQ(r.x.size(), in.want.size());
    for (std::size_t k = 0; k < in.want.size(); ++k) {
      if (style == "free") ASSERT_EQ(r.x[k], in.want[k]) << "sample " << k + 1;
      else ASSERT_NEAR(r.x[k], in.want[k], half + std::fabs(in.want[k]) * 1.2e-7) << "sample " << k + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Inputs, RoundTrip, ::testing::ValuesIn(inputs()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
