// The input readers: what each takes from its format, and what it refuses.
#include <gtest/gtest.h>

#include "convert/convert.hpp"
#include "convert/fixtures.hpp"
#include "textio/stop.hpp"

namespace {

using convert::InputFormat;
using convert::Trace;
using convert::Unit;
using convert_test::SacFile;

SacFile sampleSac() {
  SacFile s;
  s.delta(0.01f);
  s.b(-1.25f);
  s.o(0.5f);
  s.idep(8);
  s.time(2019, 187, 3, 19, 53, 40);  // 2019-07-06 03:19:53.040
  s.kstnm("CLC");
  s.kevnm("Ridgecrest M7.1");
  s.kcmpnm("HNE");
  s.knetwk("CI");
  s.samples({1.5f, -2.25f, 3.1415927f, 1e-30f, -7.0e20f});
  return s;
}

// The refusal message of a call, or "" when it does not refuse.
template <class F>
std::string refusal(F&& f) {
  try {
    f();
  } catch (const textio::InputRejected& e) {
    return e.message;
  }
  return "";
}

TEST(SacBinary, BothByteOrdersGiveTheSameTrace) {
  const SacFile s = sampleSac();
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "big-endian" : "little-endian");
    const std::string bytes = s.binary(big);
    EXPECT_EQ(convert::detectFormat(bytes), InputFormat::SacBinary);
    const Trace t = convert::readSacBinary(bytes, "x.sac");
    EXPECT_EQ(t.samples, s.data);  // bit for bit: the samples are floats already
    EXPECT_EQ(t.dt, static_cast<double>(0.01f));
    EXPECT_EQ(t.station, "CLC");
    EXPECT_EQ(t.component, "HNE");
    EXPECT_EQ(t.network, "CI");
    EXPECT_EQ(t.eventName, "Ridgecrest M7.1");
    EXPECT_EQ(t.unit, Unit::NanometrePerS2);
    ASSERT_TRUE(t.startMs && t.eventMs);
    // Day 187 of 2019 is 6 July; b = -1.25 s, o = +0.5 s.
    EXPECT_EQ(convert::isoText(*t.startMs), "2019-07-06T03:19:51.790");
    EXPECT_EQ(convert::isoText(*t.eventMs), "2019-07-06T03:19:53.540");
    EXPECT_NE(t.formatText.find(big ? "big-endian" : "little-endian"), std::string::npos);
  }
}

TEST(SacBinary, UndefinedFieldsLeaveNamesTimesAndUnitOpen) {
  SacFile s;
  s.delta(0.005f);
  s.samples({1.0f, 2.0f});
  const Trace t = convert::readSacBinary(s.binary(true), "x.sac");
  EXPECT_EQ(t.station, "");
  EXPECT_EQ(t.component, "");
  EXPECT_FALSE(t.startMs);
  EXPECT_EQ(t.unit, Unit::Unknown);
  EXPECT_NE(t.unitOrigin.find("does not name a unit"), std::string::npos);
}

TEST(SacBinary, HeaderThatDisagreesWithTheDataLengthIsRefused) {
  SacFile s = sampleSac();
  std::string bytes = s.binary(false);
  // npts says 5; one sample short, one too many, and a torn last word.
  EXPECT_NE(refusal([&] { convert::readSacBinary(bytes.substr(0, bytes.size() - 4), "x.sac"); })
                .find("npts 5 disagrees with the file, which holds 4 samples"),
            std::string::npos);
  EXPECT_NE(refusal([&] { convert::readSacBinary(bytes + std::string(4, '\0'), "x.sac"); })
                .find("holds 6 samples"),
            std::string::npos);
  EXPECT_NE(refusal([&] { convert::readSacBinary(bytes + "ab", "x.sac"); }).find("2 stray bytes"),
            std::string::npos);
  // A version 7 file may carry its 22-double footer after the samples.
  s.i[6] = 7;
  EXPECT_EQ(convert::readSacBinary(s.binary(false) + std::string(176, '\0'), "x.sac").samples.size(), 5u);
}

TEST(SacBinary, RefusalsNameTheFileAndTheField) {
  const auto refuse = [](SacFile s) { return refusal([&] { convert::readSacBinary(s.binary(false), "r.sac"); }); };
  SacFile s = sampleSac();
  s.f[0] = -12345.0f;
  EXPECT_EQ(refuse(s), "r.sac: SAC header delta -12345 is not a sample interval");
  s = sampleSac();
  s.i[15] = 4;  // IXY
  EXPECT_EQ(refuse(s), "r.sac: SAC header iftype 4 is not a time series (ITIME = 1)");
  s = sampleSac();
  s.i[35] = 0;
  EXPECT_NE(refuse(s).find("leven is false"), std::string::npos);
  s = sampleSac();
  s.samples({});
  EXPECT_EQ(refuse(s), "r.sac: SAC header npts 0 gives no samples");
  s = sampleSac();
  s.data[2] = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(refuse(s), "r.sac: sample 3 is not a finite number");
  s = sampleSac();
  s.i[6] = 5;
  EXPECT_NE(refuse(s).find("not a SAC binary file"), std::string::npos);
  EXPECT_NE(refusal([] { convert::readSacBinary(std::string(100, '\0'), "r.sac"); })
                .find("shorter than the 632-byte header"),
            std::string::npos);
}

TEST(SacAlpha, ReadsTheSameHeaderAndSamplesAsBinary) {
  const SacFile s = sampleSac();
  const std::string text = s.alpha();
  EXPECT_EQ(convert::detectFormat(text), InputFormat::SacAlpha);
  const Trace t = convert::readSacAlpha(text, "x.txt");
  // The alphanumeric form writes seven significant digits.
  ASSERT_EQ(t.samples.size(), s.data.size());
  for (std::size_t k = 0; k < t.samples.size(); ++k)
    EXPECT_NEAR(t.samples[k], s.data[k], std::fabs(s.data[k]) * 1e-7f) << k;
  EXPECT_EQ(t.station, "CLC");
  EXPECT_EQ(t.eventName, "Ridgecrest M7.1");
  EXPECT_EQ(t.component, "HNE");
  EXPECT_EQ(t.network, "CI");
  EXPECT_EQ(t.unit, Unit::NanometrePerS2);
  EXPECT_EQ(convert::isoText(*t.startMs), "2019-07-06T03:19:51.790");
}

TEST(SacAlpha, CountThatDisagreesWithTheHeaderIsRefused) {
  SacFile s = sampleSac();
  s.i[9] = 6;
  EXPECT_EQ(refusal([&] { convert::readSacAlpha(s.alpha(), "a.txt"); }),
            "a.txt: SAC header npts 6 disagrees with the file, which holds 5 samples");
}

TEST(At2, OldAndNewHeaderLines) {
  const std::vector<double> x = {0.2406e-2, -0.123456e-1, 0.5, 0.0, -1.5e-6, 0.31};
  for (bool newHeader : {false, true}) {
    SCOPED_TRACE(newHeader ? "NPTS=, DT=" : "NPTS, DT");
    const std::string text = convert_test::at2(x, ".0100", newHeader);
    EXPECT_EQ(convert::detectFormat(text), InputFormat::At2);
    const Trace t = convert::readAt2(text, "e.at2");
    ASSERT_EQ(t.samples.size(), x.size());
    for (std::size_t k = 0; k < x.size(); ++k)
      EXPECT_NEAR(t.samples[k], x[k], std::fabs(x[k]) * 1e-7) << k;
    EXPECT_EQ(t.dt, 0.01);
    EXPECT_EQ(t.unit, Unit::G);
    EXPECT_EQ(t.stationName, "El Centro Array #9");
    EXPECT_EQ(t.component, "180");
  }
}

TEST(At2, UnitWithATrailingPoint) {
  const auto t = convert::readAt2(convert_test::at2({1.0}, ".01", true, "ACCELERATION IN UNITS OF G."), "e.at2");
  EXPECT_EQ(t.unit, Unit::G);
}

TEST(At2, RefusesOtherQuantitiesAndWrongCounts) {
  const std::vector<double> x = {1, 2, 3};
  EXPECT_NE(refusal([&] {
              convert::readAt2(convert_test::at2(x, ".01", true, "VELOCITY TIME SERIES IN UNITS OF CM/S"), "v.at2");
            }).find("not an acceleration record"),
            std::string::npos);
  std::string text = convert_test::at2(x, ".01", true);
  text += "   4.0\n";
  EXPECT_EQ(refusal([&] { convert::readAt2(text, "e.at2"); }),
            "e.at2: AT2 NPTS 3 disagrees with the file, which holds 4 samples");
  text = convert_test::at2(x, ".01", true);
  text.replace(text.find("NPTS"), 4, "NPTX");
  EXPECT_NE(refusal([&] { convert::readAt2(text, "e.at2"); }).find("does not give NPTS and DT"),
            std::string::npos);
}

TEST(Columns, OneValuePerLineTakesDtFromTheCaller) {
  const std::string text = "# a comment\n1.5\n\n-2.5\r\n3e-3\n";
  EXPECT_EQ(convert::detectFormat(text), InputFormat::Columns);
  const Trace t = convert::readColumns(text, "c.txt", 0.02);
  EXPECT_EQ(t.samples, (std::vector<float>{1.5f, -2.5f, 3e-3f}));
  EXPECT_EQ(t.dt, 0.02);
  EXPECT_EQ(t.unit, Unit::Unknown);
  EXPECT_EQ(refusal([&] { convert::readColumns(text, "c.txt", std::nullopt); }),
            "c.txt: one value per line and no time column: give the sample interval with --dt");
}

TEST(Columns, TimeValuePairsGiveTheInterval) {
  const Trace t = convert::readColumns("0.000 1\n0.005 2\n0.010 3\n0.015 4\n", "c.txt", std::nullopt);
  EXPECT_DOUBLE_EQ(t.dt, 0.005);
  EXPECT_EQ(t.samples.size(), 4u);
}

TEST(Columns, Refusals) {
  const auto refuse = [](const std::string& text, std::optional<double> dt = std::nullopt) {
    return refusal([&] { convert::readColumns(text, "c.txt", dt); });
  };
  EXPECT_EQ(refuse("1 2 3\n"), "c.txt: line 1 holds 3 values; expected one value or a time and a value per line");
  EXPECT_EQ(refuse("0 1\n0.01 2\n5\n"), "c.txt: line 3 holds 1 values but line 1 holds 2");
  EXPECT_EQ(refuse("0 1\n0.01 x\n"), "c.txt: line 2: 'x' is not a number");
  EXPECT_EQ(refuse("1\nnan\n", 0.01), "c.txt: line 2: 'nan' is not a number");
  EXPECT_EQ(refuse("1e999\n", 0.01), "c.txt: line 1: '1e999' is not a number");
  EXPECT_EQ(refuse("3.4028236e38\n", 0.01), "c.txt: line 1: '3.4028236e38' is not a number");  // rounds to infinity
  EXPECT_EQ(refuse("# only\n\n"), "c.txt: the file holds no samples");
  EXPECT_NE(refuse("0 1\n0.01 2\n0.03 3\n0.04 4\n").find("not evenly spaced"), std::string::npos);
  EXPECT_EQ(refuse("0 1\n0 2\n"), "c.txt: the time column does not increase");
  EXPECT_NE(refuse("0 1\n0.01 2\n", 0.02).find("--dt 0.02 disagrees"), std::string::npos);
}

TEST(ReadTrace, DtIsOnlyForPlainText) {
  SacFile s = sampleSac();
  EXPECT_NE(refusal([&] { convert::readTrace(s.binary(false), InputFormat::Detect, "x.sac", 0.01); })
                .find("--dt: applies to plain text only"),
            std::string::npos);
}

}  // namespace
