// Faults found by fuzzing and by the whole-program mutations, each pinned
// down where it lives. The inputs that found them are also in the fuzz
// corpus (fuzz/corpus/<target>/finding_*), replayed by the fuzz-replay tests.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "mutation_support.hpp"
#include "records/records.hpp"
#include "textio/textio.hpp"

namespace {

// A format whose last group holds no data item: reversion would start new
// lines for ever (a write grew without bound). Refused as a format error.
TEST(Findings, ReversionIntoAGroupWithoutDataIsAFormatError) {
  try {
    textio::internalWrite("(i2,(x))", 80, {1, 2});
    FAIL() << "no error";
  } catch (const textio::IoError& e) {
    EXPECT_EQ(e.context, "fmt");
    EXPECT_EQ(e.errorNumber, textio::kErrFormat);
  }
  std::istringstream in(" 1\n 2\n 3\n");
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  int a = 0, b = 0;
  EXPECT_THROW(io.readFormatted(5, "(i2,(1x))", {&a, &b}), textio::IoError);
  // A group with a data item still reverts as before.
  EXPECT_EQ(textio::internalWrite("(i2,(i3))", 8, {1, 2}), " 1  2   ");
}

// An integer field of fixed-format input whose digits do not fit 32 bits
// was reported under the context "fmt"; like a free-format integer it is
// now refused as an "invalid integer", and never wraps.
TEST(Findings, IntegerBeyond32BitsInAFixedFieldIsAnInvalidInteger) {
  struct Row {
    const char* field;
    const char* context;
  } rows[] = {
      {"2147483648", "invalid integer"},
      {"9999999999", "invalid integer"},
      {"-2147483649", "invalid integer"},
      {"  12 34 5678901", "invalid integer"},  // blanks inside are ignored
      {"1.5", "fmt"},
      {"12x", "fmt"},
  };
  for (const Row& row : rows) {
    std::istringstream in(std::string(row.field) + "\n");
    std::ostringstream out, err;
    textio::Channels io(in, out, err);
    int v = 0;
    try {
      io.readFormatted(5, "(i15)", {&v});
      ADD_FAILURE() << row.field << " read as " << v;
    } catch (const textio::IoError& e) {
      EXPECT_EQ(e.context, row.context) << row.field;
    }
  }
  std::istringstream in("-2147483648\n 2147483647\n");
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  int a = 0, b = 0;
  io.readFormatted(5, "(i11)", {&a});
  io.readFormatted(5, "(i11)", {&b});
  EXPECT_EQ(a, -2147483647 - 1);
  EXPECT_EQ(b, 2147483647);
}

// Reads a small record whose scale line and samples are given.
void readRecord(const std::string& scale, const std::string& samples) {
  std::string r =
      "KIBTRACE FORMAT\nEW \n2000/01/01 00:00\nEXS  SITE\n       100\n         3\n\n\n    29.995\n"
      "*         gal  \n" +
      scale + "\n*\n\n\n\n0\n" + samples + "\n";
  std::istringstream in(r);
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  std::vector<float> x(20000);
  int npts = 0, isps = 0;
  records::RecordHeader h;
  records::readkib(io, 5, x, npts, isps, h, "rec.kib");
}

// Values beyond single precision read as infinity; the means, integrals and
// figures of the run would turn into inf and nan. The record is refused with
// a line that names the file.
TEST(Findings, RecordValuesBeyondSinglePrecisionAreRefused) {
  struct Row {
    const char* scale;
    const char* samples;
    const char* says;
  } rows[] = {
      {"1e39", "1 2 3", "scale factor"},
      {"1.0", "1 1e39 3", "sample 2 "},
      {"1e30", "1 2 1e10", "sample 3 "},  // the product overflows
      {"-1e39", "1 2 3", "scale factor"},
  };
  for (const Row& row : rows) {
    try {
      readRecord(row.scale, row.samples);
      ADD_FAILURE() << row.scale << " / " << row.samples << ": accepted";
    } catch (const textio::InputRejected& e) {
      EXPECT_NE(e.message.find("rec.kib"), std::string::npos) << e.message;
      EXPECT_NE(e.message.find(row.says), std::string::npos) << e.message;
    }
  }
  // The largest finite values are still taken.
  EXPECT_NO_THROW(readRecord("1.0", "3.4e38 -3.4e38 1e-45"));
}

// Finite samples can overflow later: summed for a mean or integrated (the
// element record), or summed over the subfault copies with a large
// amplitude factor (the synthetic). Each run ended with status 0 and
// "Res.=nan" in the waveform figure; now it is refused with one line.
TEST(Findings, OverflowAfterReadingIsRefused) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("egf_findings_" + std::to_string(::getpid()));
  robustness::Inputs in = robustness::baseInputs();
  // A sample of 3e38: a float, but the integral of it is not.
  const std::size_t line19 = [&] {
    std::size_t pos = 0;
    for (int k = 0; k < 18; ++k) pos = in.element.find('\n', pos) + 1;
    return pos;
  }();
  in.element.replace(line19 + 20, 10, "    3.0e38");
  robustness::Outcome o = robustness::runIn(dir, in);
  EXPECT_EQ(o.status, 2) << o.err;
  EXPECT_NE(o.err.find("record file element.kib: the samples are too large"), std::string::npos)
      << o.err;
  EXPECT_EQ(robustness::verdict(o), "");

  // An element record scaled by 1e25 is finite, and so is ra = 1e15 km, but
  // ra/rij times the element overflows in the summation.
  in = robustness::baseInputs();
  in.element.replace(in.element.find("\n1.0\n"), 5, "\n1.0e25\n");
  in.params.replace(in.params.find("20.0 60.0 20.0 60.0"), 19, "20.0 60.0 1e15 60.0");
  o = robustness::runIn(dir, in);
  EXPECT_EQ(o.status, 2) << o.err;
  EXPECT_NE(o.err.find("the synthetic motion overflows single precision"), std::string::npos)
      << o.err;
  EXPECT_EQ(robustness::verdict(o), "");
}

}  // namespace
