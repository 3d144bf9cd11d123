// The KIBTRACE reader: each number encoding, the header fields, the console
// lines byte for byte, and every record it must refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "record_files.hpp"
#include "records/records.hpp"
#include "textio/textio.hpp"

namespace {

using records_test::KibFile;
using records_test::lines;
using records_test::ljust;
using records_test::rjust;
using records_test::TempDir;

constexpr int kUnit = 10;

struct ReadResult {
  std::vector<float> samples = std::vector<float>(20000, -7.0f);
  int npts = -1;
  int isps = -1;
  records::RecordHeader h;
  std::vector<std::string> console;
};

// Reads `file` on unit 10; the console transcript is kept even on a throw.
class Reader {
 public:
  explicit Reader(const std::string& path) : io_(in_, out_, err_), path_(path) {}
  void read(ReadResult& r) {
    io_.open(kUnit, path_);
    try {
      records::readkib(io_, kUnit, r.samples, r.npts, r.isps, r.h, path_);
    } catch (...) {
      r.console = lines(out_.str());
      throw;
    }
    io_.close(kUnit);
    r.console = lines(out_.str());
  }

 private:
  std::istringstream in_;
  std::ostringstream out_, err_;
  textio::Channels io_;
  std::string path_;
};

ReadResult readText(const std::string& text) {
  TempDir dir;
  ReadResult r;
  Reader(dir.write("rec.kib", text)).read(r);
  return r;
}

// The rejection message of a record, with the console lines written before it.
std::string rejection(const std::string& text, std::vector<std::string>* console = nullptr) {
  TempDir dir;
  const std::string path = dir.write("bad.kib", text);
  ReadResult r;
  try {
    Reader(path).read(r);
  } catch (const textio::InputRejected& e) {
    if (console) *console = r.console;
    EXPECT_NE(e.message.find(path), std::string::npos) << e.message;
    EXPECT_EQ(e.message.find('\n'), std::string::npos) << "one line only";
    return e.message;
  }
  ADD_FAILURE() << "record was accepted";
  return {};
}

TEST(ReadKib, FloatingSamplesWithHeaderFields) {
  KibFile k;
  k.npts = rjust("10", 10);
  k.scale = rjust("2.0", 10);
  k.data = {"     1.000     2.000    -3.500      1234     0.125    10.000   100.000     7.000",
            "     0.001  -250.250"};
  const ReadResult r = readText(k.text());

  EXPECT_EQ(r.npts, 10);
  EXPECT_EQ(r.isps, 100);
  // F10.3 without a decimal point: three implied decimals (1234 -> 1.234).
  const std::vector<float> values = {1.0f, 2.0f, -3.5f, 1.234f, 0.125f,
                                     10.0f, 100.0f, 7.0f, 0.001f, -250.25f};
  for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(r.samples[i], values[i] * 2.0f) << i;
  EXPECT_EQ(r.samples[10], -7.0f) << "nothing written past npts";

  const auto& h = r.h;
  EXPECT_EQ(h.head3, "EW ");
  EXPECT_EQ(h.head16, "2019/07/06 03:16");
  EXPECT_EQ(h.rcode, "CLC  ");
  EXPECT_EQ(h.rname, "CHINA LAKE  ");
  EXPECT_EQ(h.isps, 100);
  EXPECT_EQ(h.npts, 10);
  EXPECT_EQ(h.head24a, ljust("TEST EVENT", 24));
  EXPECT_EQ(h.head24b, ljust("TEST CHANNEL", 24));
  EXPECT_EQ(h.hreal, 57.373f);
  EXPECT_EQ(h.dunit, "gal  ");
  EXPECT_EQ(h.head10a, ljust("CI", 10));
  EXPECT_EQ(h.head10b, ljust("CLC", 10));
  EXPECT_EQ(h.head10c, ljust("HNE", 10));
  EXPECT_EQ(h.head20, ljust("CGS V1 TEST", 20));
  EXPECT_EQ(h.head11, "dt=0.01000 ");
  EXPECT_EQ(h.nskip, 0);
  EXPECT_TRUE(h.skipl.empty());

  // A15 echo without a leading blank; free-format lines open with a blank
  // before their text; the descriptor as a ten-column A10 line.
  EXPECT_EQ(r.console, (std::vector<std::string>{"KIBTRACE FORMAT", "  skip  0", "8F10.3    ",
                                                  "  data is floting"}));
}

TEST(ReadKib, LowerCaseHeaderAndDescriptorTextLinesAndTrailingText) {
  KibFile k;
  k.line1 = "kibtrace format  converted 2024";
  k.dfmt = "8f10.3    x";  // text after the first blank is not part of the descriptor
  k.nskip = "2";
  k.skip = {"first free text line", std::string(85, 'z')};
  k.npts = rjust("3", 10);
  k.data = {"     1.5       2.5       3.5"};
  const ReadResult r = readText(k.text());

  EXPECT_EQ(r.samples[0], 1.5f);
  EXPECT_EQ(r.samples[2], 3.5f);
  ASSERT_EQ(r.h.skipl.size(), 2u);
  EXPECT_EQ(r.h.skipl[0], ljust("first free text line", 80));
  EXPECT_EQ(r.h.skipl[1], std::string(80, 'z'));
  EXPECT_EQ(r.console, (std::vector<std::string>{"kibtrace format", "  skip  2", "8f10.3    ",
                                                  "  data is floting"}));
}

TEST(ReadKib, IntegerSamplesWithEachKindOfScaleLine) {
  struct Row {
    const char* fmtLine;
    std::string scale;
    float rscale;
  };
  const Row rows[] = {
      {"I10       gal", rjust("3", 10), 3.0f},  // integer scale read as 3, converted
      {"F10.3     gal", rjust("0.01", 10), 0.01f},
      {"f10.3     gal", rjust("10", 10), 0.01f},  // implied decimals: 10 -> 0.010
      {"*         gal", "  0.01 ", 0.01f},        // free format
  };
  for (const Row& row : rows) {
    KibFile k;
    k.fmtLine = row.fmtLine;
    k.scale = row.scale;
    k.dfmt = "10I7";
    k.npts = rjust("12", 10);
    // Ten fields of seven columns per line, the descriptor re-applied on the
    // second line.
    k.data = {"    123     -5      0      1      2      3      4      5      6 999999",
              "   -123     77"};
    const ReadResult r = readText(k.text());
    const std::vector<int> counts = {123, -5, 0, 1, 2, 3, 4, 5, 6, 999999, -123, 77};
    for (std::size_t i = 0; i < counts.size(); ++i)
      EXPECT_EQ(r.samples[i], static_cast<float>(counts[i]) * row.rscale) << row.fmtLine << i;
    EXPECT_EQ(r.samples[12], -7.0f);
    EXPECT_EQ(r.console, (std::vector<std::string>{"KIBTRACE FORMAT", "  skip  0", "10I7      ",
                                                    "  data is integer"}));
  }
  // A count of 123 in seven columns times 0.01 is 1.23 in
  // single precision.
  KibFile k;
  k.fmtLine = "F10.3     gal";
  k.scale = rjust("0.01", 10);
  k.dfmt = "10I7";
  k.npts = rjust("1", 10);
  k.data = {"    123"};
  EXPECT_EQ(readText(k.text()).samples[0], 1.23f);
}

TEST(ReadKib, IntegerCountIsRoundedToSinglePrecisionBeforeScaling) {
  // 16777217 is not a float: it becomes 16777216 first, and 16777216 * 3 is
  // exact. Scaling before the rounding would give 50331651 -> 50331652.
  KibFile k;
  k.fmtLine = "I10       gal";
  k.scale = rjust("3", 10);
  k.dfmt = "2I10";
  k.npts = rjust("2", 10);
  k.data = {"  16777217         1"};
  const ReadResult r = readText(k.text());
  EXPECT_EQ(r.samples[0], 50331648.0f);
  EXPECT_EQ(r.samples[1], 3.0f);
}

TEST(ReadKib, FreeFormatSamplesOverIrregularLines) {
  KibFile k;
  k.fmtLine = "*         gal";
  k.scale = "2.5";
  k.dfmt = "*";
  k.npts = rjust("7", 10);
  k.data = {"1", "2.0  -3 ,4.5e1", "", "  0.1", "6 7 8 9"};  // values past npts are ignored
  const ReadResult r = readText(k.text());
  const std::vector<float> values = {1.0f, 2.0f, -3.0f, 45.0f, 0.1f, 6.0f, 7.0f};
  for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(r.samples[i], values[i] * 2.5f) << i;
  EXPECT_EQ(r.samples[7], -7.0f);
  // Free-format samples announce no descriptor.
  EXPECT_EQ(r.console, (std::vector<std::string>{"KIBTRACE FORMAT", "  skip  0"}));
}

TEST(ReadKib, ExampleRecordsAgreeWithTheirOwnHeaders) {
  // The bundled records carry their peak acceleration as hreal (F10.3), one
  // integer-count and one floating encoding; the count must match the data
  // lines and the peak must round to hreal.
  const char* source = std::getenv("EGF_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "EGF_SOURCE_DIR not set (run through ctest)";
  for (const char* name : {"target.kib", "element.kib"}) {
    const std::string path = std::string(source) + "/examples/" + name;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not part of this tree";
    ReadResult r;
    Reader(path).read(r);
    float peak = 0;
    for (int i = 0; i < r.npts; ++i) peak = std::max(peak, std::fabs(r.samples[i]));
    EXPECT_NEAR(peak, r.h.hreal, 0.0006f) << name;
    EXPECT_EQ(r.samples[static_cast<std::size_t>(r.npts)], -7.0f) << name;
    EXPECT_EQ(static_cast<int>(r.h.skipl.size()), r.h.nskip) << name;
    // Every line after the text lines holds samples: count the values.
    std::ifstream f(path);
    std::vector<std::string> all;
    for (std::string l; std::getline(f, l);) all.push_back(l);
    int values = 0;
    for (std::size_t i = 16 + static_cast<std::size_t>(r.h.nskip); i < all.size(); ++i) {
      std::istringstream words(all[i]);
      for (std::string w; words >> w;) ++values;
    }
    EXPECT_EQ(values, r.npts) << name;
  }
}

// ---- Records that cannot give usable samples ---------------------------------

TEST(ReadKibRejects, EmptyFileAndWrongHeader) {
  std::vector<std::string> console;
  EXPECT_NE(rejection("", &console).find("empty"), std::string::npos);
  EXPECT_TRUE(console.empty());

  // Only the first letters in capitals: the echo, the complaint, nothing more.
  KibFile k;
  k.line1 = "Kibtrace Format";
  const std::string msg = rejection(k.text(), &console);
  EXPECT_NE(msg.find("Kibtrace Format"), std::string::npos) << msg;
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kibtrace Format", "  This data file does not have KIBTRACE format"}));

  // A short first line is compared blank padded, and fails the same way.
  k.line1 = "KIBTRACE";
  rejection(k.text(), &console);
  EXPECT_EQ(console, (std::vector<std::string>{
                         "KIBTRACE       ", "  This data file does not have KIBTRACE format"}));
}

TEST(ReadKibRejects, MissingScaleFactor) {
  // A null value or a slash where the free-format scale factor stands.
  for (const char* scale : {",", "/", " , 2.0"}) {
    KibFile k;
    k.fmtLine = "*         gal";
    k.scale = scale;
    EXPECT_NE(rejection(k.text()).find("scale factor"), std::string::npos) << scale;
  }
  // The file ends where the scale line should be, fixed or free format.
  for (const char* fmtLine : {"F10.3     gal", "*         gal"}) {
    KibFile k;
    k.fmtLine = fmtLine;
    std::string cut;
    for (int i = 0; i < 10; ++i) cut += lines(k.text())[static_cast<std::size_t>(i)] + "\n";
    EXPECT_NE(rejection(cut).find("scale factor"), std::string::npos) << fmtLine;
  }
}

TEST(ReadKibRejects, TextLineCount) {
  struct Row {
    const char* nskip;
    const char* expect;
  };
  for (const Row& row : {Row{",", "nskip"}, Row{"/", "nskip"}, Row{"101", "nskip 101"},
                         Row{"-1", "nskip -1"}}) {
    KibFile k;
    k.nskip = row.nskip;
    std::vector<std::string> console;
    const std::string msg = rejection(k.text(), &console);
    EXPECT_NE(msg.find(row.expect), std::string::npos) << row.nskip << ": " << msg;
    // No text line and no sample is read after the count is refused.
    EXPECT_LE(console.size(), 2u) << row.nskip;
  }
}

TEST(ReadKibRejects, SampleCountAndRateCheckedBeforeAnySampleIsRead) {
  struct Row {
    std::string npts, isps, expect;
  };
  const Row rows[] = {{"0", "100", "npts 0 is not positive"},
                      {"", "100", "npts 0 is not positive"},  // a blank I10 field reads 0
                      {"-5", "100", "npts -5 is not positive"},
                      {"15001", "100", "npts 15001 exceeds the 15000"},
                      {"4", "0", "isps 0 is not positive"},
                      {"4", "-100", "isps -100 is not positive"}};
  for (const Row& row : rows) {
    KibFile k;
    k.npts = rjust(row.npts, 10);
    k.isps = rjust(row.isps, 10);
    k.data.clear();  // no samples at all: the count must be refused first
    std::vector<std::string> console;
    const std::string msg = rejection(k.text(), &console);
    EXPECT_NE(msg.find(row.expect), std::string::npos) << msg;
    EXPECT_EQ(console, (std::vector<std::string>{"KIBTRACE FORMAT", "  skip  0", "8F10.3    ",
                                                  "  data is floting"}));
  }
}

TEST(ReadKibRejects, SampleCountBeyondTheCallersArray) {
  TempDir dir;
  KibFile k;
  k.npts = rjust("5", 10);
  k.data = {"1 2 3 4 5"};
  k.dfmt = "*";
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  const std::string path = dir.write("r.kib", k.text());
  io.open(kUnit, path);
  std::vector<float> small(4, 0.0f);
  int npts = 0, isps = 0;
  records::RecordHeader h;
  try {
    records::readkib(io, kUnit, small, npts, isps, h, path);
    ADD_FAILURE() << "accepted";
  } catch (const textio::InputRejected& e) {
    EXPECT_NE(e.message.find("npts 5 exceeds the 4"), std::string::npos) << e.message;
  }
  EXPECT_EQ(small, std::vector<float>(4, 0.0f));
}

TEST(ReadKibRejects, EndOfFileInsideTheSamples) {
  KibFile k;
  k.npts = rjust("9", 10);  // eight on the line, the ninth missing
  k.data = {"     1.000     2.000     3.000     4.000     5.000     6.000     7.000     8.000"};
  EXPECT_NE(rejection(k.text()).find("end of file"), std::string::npos);

  k.dfmt = "10I7";
  k.data = {"      1      2"};
  k.npts = rjust("11", 10);
  EXPECT_NE(rejection(k.text()).find("end of file"), std::string::npos);

  k.dfmt = "*";
  k.data = {"1 2 3", "4"};
  k.npts = rjust("5", 10);
  EXPECT_NE(rejection(k.text()).find("end of file"), std::string::npos);
}

TEST(ReadKibRejects, BlankNumberFormat) {
  KibFile k;
  k.fmtLine = "          gal";
  EXPECT_NE(rejection(k.text()).find("scale factor"), std::string::npos);
  k = KibFile{};
  k.dfmt = "";
  EXPECT_NE(rejection(k.text()).find("samples"), std::string::npos);
}

}  // namespace
