// Round trips: a record written by kibconv and read back by the program's
// own reader gives the input samples (after the unit conversion, one float
// multiplication) to the precision of the chosen number format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"
#include "records/records.hpp"
#include "textio/textio.hpp"

namespace {

using convert::Unit;
using convert_test::lines;
using convert_test::SacFile;
using convert_test::TempDir;

struct ReadBack {
  std::vector<float> x;
  int isps = 0;
  records::RecordHeader h;
};

ReadBack readBack(const std::string& path) {
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  ReadBack r;
  r.x.assign(20000, 0.0f);
  int npts = 0;
  io.open(10, path);
  records::readkib(io, 10, r.x, npts, r.isps, r.h, path);
  io.close(10);
  r.x.resize(static_cast<std::size_t>(npts));
  return r;
}

std::vector<float> scaled(std::vector<float> x, Unit from, Unit to) {
  convert::convertUnits(x, from, to);
  return x;
}

// Converts and reads back; the style is "free", "fixed" or "counts".
ReadBack roundTrip(const TempDir& d, const std::string& input, const std::string& style,
                   std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {input, "-o", d.file("o.kib"), "--number", style};
  args.insert(args.end(), extra.begin(), extra.end());
  std::ostringstream out, err;
  EXPECT_EQ(convert::kibconv(args, out, err), 0) << err.str();
  return readBack(d.file("o.kib"));
}

// The precision the written record promises for a sample of size |w|:
// free format exact; Fw.d half a unit of the last decimal (from the
// descriptor on line 12); counts half a count (the scale on line 11). Both
// fixed forms add the float rounding of the value read back (the decimal
// read into a float, or the reader's count x scale product).
void expectSamples(const TempDir& d, const ReadBack& r, const std::vector<float>& want,
                   const std::string& style) {
  ASSERT_EQ(r.x.size(), want.size());
  const auto l = lines(d.read("o.kib"));
  double half = 0.0;
  if (style == "fixed") {
    const std::string dfmt = l.at(11);
    half = 0.5 * std::pow(10.0, -std::atoi(dfmt.substr(dfmt.find('.') + 1).c_str()));
  } else if (style == "counts") {
    half = 0.5 * std::strtod(l.at(10).c_str(), nullptr);
  }
  // Either fixed form keeps seven significant digits of the peak.
  float peak = 0.0f;
  for (float v : want) peak = std::max(peak, std::fabs(v));
  EXPECT_LE(half, 5e-7 * peak) << style;
  for (std::size_t k = 0; k < want.size(); ++k) {
    if (style == "free")
      ASSERT_EQ(r.x[k], want[k]) << "sample " << k + 1;
    else
      ASSERT_NEAR(r.x[k], want[k], half + std::fabs(want[k]) * 1.2e-7) << "sample " << k + 1;
  }
}

const char* const kStyles[] = {"free", "fixed", "counts"};

TEST(RoundTrip, SacBinaryBothByteOrdersEveryStyle) {
  SacFile s;
  s.delta(0.01f);
  s.idep(8);  // nm/s/s
  s.kstnm("CLC");
  s.kcmpnm("HNE");
  s.knetwk("CI");
  s.time(2019, 187, 3, 19, 53, 40);
  s.b(0.0f);
  s.samples(convert_test::wiggle(3000, 5.0e8f));  // about 50 gal
  const auto want = scaled(s.data, Unit::NanometrePerS2, Unit::Gal);
  for (bool big : {false, true}) {
    for (const char* style : kStyles) {
      SCOPED_TRACE(std::string(big ? "big-endian " : "little-endian ") + style);
      TempDir d;
      const auto r = roundTrip(d, d.write("x.sac", s.binary(big)), style);
      EXPECT_EQ(r.isps, 100);
      EXPECT_EQ(r.h.rcode, "CLC  ");
      EXPECT_EQ(r.h.head3, "HNE");
      EXPECT_EQ(r.h.dunit, "gal  ");
      EXPECT_EQ(r.h.head24b, "CI.CLC HNE              ");
      EXPECT_EQ(r.h.head11, "dt=0.01000 ");
      float peak = 0.0f;
      for (float v : want) peak = std::max(peak, std::fabs(v));
      EXPECT_NEAR(r.h.hreal, peak, 0.0005f);  // F10.3
      expectSamples(d, r, want, style);
    }
  }
}

TEST(RoundTrip, PeakInTheHeaderIsTheLargestMagnitude) {
  SacFile s;
  s.delta(0.02f);
  s.idep(8);
  s.samples({1.0e9f, -3.456789e9f, 2.0e9f});  // 100, -345.6789, 200 gal
  TempDir d;
  const auto r = roundTrip(d, d.write("x.sac", s.binary(false)), "free");
  EXPECT_EQ(r.isps, 50);
  EXPECT_NEAR(r.h.hreal, 345.679f, 1e-4f);  // F10.3
}

TEST(RoundTrip, SacAlphanumeric) {
  SacFile s;
  s.delta(0.005f);
  s.idep(8);
  s.samples(convert_test::wiggle(500, 2.0e7f));
  // The alphanumeric text holds seven digits: the converter starts from the
  // floats those digits give, so that is the oracle here.
  TempDir d;
  const auto path = d.write("x.alpha", s.alpha());
  std::vector<float> fromText = convert::readSacAlpha(d.read("x.alpha"), "x").samples;
  const auto want = scaled(fromText, Unit::NanometrePerS2, Unit::Gal);
  for (const char* style : kStyles) {
    SCOPED_TRACE(style);
    const auto r = roundTrip(d, path, style);
    EXPECT_EQ(r.isps, 200);
    expectSamples(d, r, want, style);
  }
}

TEST(RoundTrip, At2InGBothHeaders) {
  std::vector<double> g(1200);
  for (std::size_t k = 0; k < g.size(); ++k) g[k] = 0.3 * std::sin(0.05 * k) * std::exp(-0.003 * k);
  for (bool newHeader : {false, true}) {
    TempDir d;
    const auto path = d.write("e.at2", convert_test::at2(g, ".0050", newHeader));
    std::vector<float> asRead;
    for (double v : g) {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%15.7E", v);  // the digits the file holds
      asRead.push_back(std::strtof(buf, nullptr));
    }
    const auto want = scaled(asRead, Unit::G, Unit::Gal);
    for (const char* style : kStyles) {
      SCOPED_TRACE(std::string(newHeader ? "new " : "old ") + style);
      const auto r = roundTrip(d, path, style, {"--station", "ECA9"});
      EXPECT_EQ(r.isps, 200);
      EXPECT_EQ(r.h.rcode, "ECA9 ");
      EXPECT_EQ(r.h.rname, "El Centro Ar");  // the AT2 station name, cut to 12 columns
      EXPECT_EQ(r.h.head3, "180");
      expectSamples(d, r, want, style);
    }
  }
}

TEST(RoundTrip, PlainTextBothLayouts) {
  const auto x = convert_test::wiggle(800, 0.02f);
  std::ostringstream one, two;
  for (std::size_t k = 0; k < x.size(); ++k) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(x[k]));
    one << buf << '\n';
    two << k * 0.01 << '\t' << buf << '\n';
  }
  const auto want = scaled(x, Unit::MetrePerS2, Unit::Gal);
  TempDir d;
  const auto p1 = d.write("one.txt", one.str());
  const auto p2 = d.write("two.txt", two.str());
  for (const char* style : kStyles) {
    SCOPED_TRACE(style);
    auto r = roundTrip(d, p1, style, {"--dt", "0.01", "--unit", "m/s/s"});
    EXPECT_EQ(r.isps, 100);
    expectSamples(d, r, want, style);
    r = roundTrip(d, p2, style, {"--unit", "m/s/s"});
    expectSamples(d, r, want, style);
  }
}

TEST(RoundTrip, ExtremeMagnitudesSurviveFreeFormat) {
  // Denormals and the largest floats: only the free format can hold them all.
  const std::vector<float> x = {1e-45f, -1.17549435e-38f, 3.40282347e38f, -0.0f, 1.0f / 3.0f};
  std::ostringstream s;
  for (float v : x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g\n", static_cast<double>(v));
    s << buf;
  }
  TempDir d;
  const auto r = roundTrip(d, d.write("x.txt", s.str()), "free", {"--dt", "0.01", "--unit", "gal"});
  expectSamples(d, r, x, "free");
}

TEST(RoundTrip, CommentLinesRecordTheSourceAndConversions) {
  SacFile s;
  s.delta(0.01f);
  s.idep(8);
  s.samples(convert_test::wiggle(20, 1e9f));
  TempDir d;
  const auto path = d.write("x.sac", s.binary(true));
  const auto r = roundTrip(d, path, "free");
  ASSERT_GE(r.h.nskip, 4);
  EXPECT_EQ(r.h.skipl[0].rfind("kibconv: converted from ", 0), 0u);
  std::string all;
  for (const auto& l : r.h.skipl) all += l + "\n";
  EXPECT_NE(all.find("input SAC binary, big-endian, 20 samples, interval"), std::string::npos) << all;
  EXPECT_NE(all.find("input unit nm/s/s from SAC header idep IACC"), std::string::npos) << all;
  EXPECT_NE(all.find("converted nm/s/s to cm/s/s: each sample times 1E-07 in single precision"),
            std::string::npos)
      << all;
}

}  // namespace
