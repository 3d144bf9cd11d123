// Faults found by fuzzing and by the whole-program mutations, each pinned
// down where it lives. The inputs that found them are also in the fuzz
// corpus (fuzz/corpus/<target>/finding_*), replayed by the fuzz-replay tests.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "records/records.hpp"
#include "textio/textio.hpp"

namespace {

// A format whose last group holds no data item made reversion start new
// lines for ever; it is a format error. A group with a data item reverts.
TEST(Findings, ReversionIntoAGroupWithoutDataIsAFormatError) {
  try {
    textio::internalWrite("(i2,(x))", 80, {1, 2});
    FAIL() << "no error";
  } catch (const textio::IoError& e) {
    EXPECT_EQ(e.context, "fmt");
    EXPECT_EQ(e.errorNumber, textio::kErrFormat);
  }
  EXPECT_EQ(textio::internalWrite("(i2,(i3))", 8, {1, 2}), " 1  2   ");
}

void readRecord(const std::string& scale, const std::string& samples) {
  std::istringstream in(
      "KIBTRACE FORMAT\nEW \n2000/01/01 00:00\nEXS  SITE\n       100\n         3\n\n\n    29.995\n"
      "*         gal  \n" + scale + "\n*\n\n\n\n0\n" + samples + "\n");
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  std::vector<float> x(20000);
  int npts = 0, isps = 0;
  records::RecordHeader h;
  records::readkib(io, 5, x, npts, isps, h, "rec.kib");
}

// Record values beyond single precision read as infinity and turned the
// run's figures into inf and nan; the record is refused naming the file.
TEST(Findings, RecordValuesBeyondSinglePrecisionAreRefused) {
  const struct {
    const char *scale, *samples, *says;
  } rows[] = {
      {"1e39", "1 2 3", "scale factor"},
      {"-1e39", "1 2 3", "scale factor"},
      {"1.0", "1 1e39 3", "sample 2 "},
      {"1e30", "1 2 1e10", "sample 3 "},  // the product overflows
  };
  for (const auto& row : rows) {
    try {
      readRecord(row.scale, row.samples);
      ADD_FAILURE() << row.scale << " / " << row.samples << ": accepted";
    } catch (const textio::InputRejected& e) {
      EXPECT_NE(e.message.find("rec.kib"), std::string::npos) << e.message;
      EXPECT_NE(e.message.find(row.says), std::string::npos) << e.message;
    }
  }
  EXPECT_NO_THROW(readRecord("1.0", "3.4e38 -3.4e38 1e-45"));
}

}  // namespace
