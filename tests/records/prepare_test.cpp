// Mean removal, the figure labels, and the preparation of a target and an
// element record: the series, the counts, the interval and the transcript.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/dsp.hpp"
#include "record_files.hpp"
#include "records/records.hpp"
#include "run/params.hpp"
#include "run/workspace.hpp"
#include "textio/textio.hpp"

namespace {

using records_test::KibFile;
using records_test::lines;
using records_test::rjust;
using records_test::TempDir;

// ---- zero ---------------------------------------------------------------------

TEST(Zero, RemovesTheMeanOfTheRangeOnly) {
  std::vector<float> x = {9.0f, 1.0f, 2.0f, 3.0f, 6.0f, 9.0f};
  float mean = 0;
  records::zero(x, 2, 5, mean);
  EXPECT_EQ(mean, 3.0f);
  EXPECT_EQ(x, (std::vector<float>{9.0f, -2.0f, -1.0f, 0.0f, 3.0f, 9.0f}));
}

TEST(Zero, SumsInSinglePrecisionInIndexOrder) {
  // 2^24 + 1 is not a float: each addition of 1 is lost, so the mean is
  // 2^24 / 3 in single precision (a double sum would give 5592406).
  std::vector<float> x = {16777216.0f, 1.0f, 1.0f};
  float mean = 0;
  records::zero(x, 1, 3, mean);
  EXPECT_EQ(mean, 16777216.0f / 3.0f);
  EXPECT_EQ(x[1], 1.0f - 16777216.0f / 3.0f);
}

TEST(Zero, EmptyRangeGivesNotANumberAndChangesNothing) {
  std::vector<float> x = {1.0f, 2.0f};
  float mean = 0;
  records::zero(x, 2, 1, mean);
  EXPECT_TRUE(std::isnan(mean));
  EXPECT_EQ(x, (std::vector<float>{1.0f, 2.0f}));
}

TEST(Zero, RangeOutsideTheSeriesIsRefused) {
  std::vector<float> x(4, 1.0f);
  float mean = 0;
  EXPECT_THROW(records::zero(x, 1, 5, mean), std::out_of_range);
  EXPECT_THROW(records::zero(x, 0, 2, mean), std::out_of_range);
}

// ---- labels -------------------------------------------------------------------

TEST(Labels, WorkedExample) {
  run::Params p;
  p.nx = 8;
  p.cfac = 1.5f;
  p.dx = 2.5f;
  p.dw = 2.0f;
  p.tra = 0.3f;
  p.nsx = 1;
  p.nsw = 4;
  p.fl = 0.1f;
  p.fh = 10.0f;
  const records::Labels l = records::buildLabels(p);
  EXPECT_EQ(l.labn, "N= 8");
  EXPECT_EQ(l.labc, "C= 1.50");
  EXPECT_EQ(l.labsz, "2.50km x 2.00km");
  EXPECT_EQ(l.labt, "0.30s");
  EXPECT_EQ(l.labns, "( 1, 4)");
  EXPECT_EQ(l.labbp, "B.P.F= 0.10~10.00Hz");
}

TEST(Labels, ValuesTooWideForTheirColumnsShowAsterisks) {
  run::Params p;
  p.nx = 100;
  p.cfac = -10.0f;
  p.dx = 10.0f;
  p.dw = 0.5f;
  p.tra = 9.999f;  // rounds to 10.00: too wide as well
  p.nsx = -1;
  p.nsw = 12;
  p.fl = 0.0f;
  p.fh = 100.0f;
  const records::Labels l = records::buildLabels(p);
  EXPECT_EQ(l.labn, "N=**");
  EXPECT_EQ(l.labc, "C=*****");
  EXPECT_EQ(l.labsz, "****km x 0.50km");
  EXPECT_EQ(l.labt, "****s");
  EXPECT_EQ(l.labns, "(-1,12)");
  EXPECT_EQ(l.labbp, "B.P.F= 0.00~*****Hz");
}

// ---- preparation ----------------------------------------------------------------

// An independent transcription of the rules: single-precision running mean
// and the rectangle-then-trapezoid integral, each step stored as a float.
float meanOf(const std::vector<float>& x) {
  float sum = 0.0f;
  for (float v : x) sum = sum + v;
  return sum / static_cast<float>(x.size());
}
void removeMean(std::vector<float>& x, float& mean) {
  mean = meanOf(x);
  for (float& v : x) v = v - mean;
}
std::vector<float> integrate(const std::vector<float>& x, float dt) {
  std::vector<float> y(x.size());
  y[0] = dt * x[0];
  for (std::size_t i = 1; i < x.size(); ++i) y[i] = y[i - 1] + ((x[i - 1] + x[i]) / 2.0f) * dt;
  return y;
}

// Samples that are exact in binary (multiples of 1/8), so the decimal text
// of the record reads back to exactly these floats.
std::vector<float> wave(int n, double frequency, double offset) {
  std::vector<float> x(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    x[static_cast<std::size_t>(i)] =
        static_cast<float>(std::round((std::sin(frequency * i) * 40.0 + offset) * 8.0) / 8.0);
  return x;
}

KibFile recordOf(const std::vector<float>& x, int isps) {
  KibFile k;
  k.isps = rjust(std::to_string(isps), 10);
  k.npts = rjust(std::to_string(x.size()), 10);
  k.data.clear();
  std::string line;
  for (std::size_t i = 0; i < x.size(); ++i) {
    char field[32];
    std::snprintf(field, sizeof field, "%10.3f", static_cast<double>(x[i]));
    line += field;
    if (i % 8 == 7 || i + 1 == x.size()) {
      k.data.push_back(line);
      line.clear();
    }
  }
  return k;
}

// What preparation must make of one record, derived without the code under test
// (the filter itself is the signal-processing library's).
struct Expected {
  std::vector<float> d, di, dii;     // before the copies
  std::vector<float> c1, c2, c3;     // the copies, scaled and mean-free
  float m[6];                        // the six means in transcript order
};
Expected expectedFor(const std::vector<float>& x, float dt, const run::Params& p, float scale,
                     bool applyScale) {
  Expected e;
  e.d = x;
  removeMean(e.d, e.m[0]);
  e.di = integrate(e.d, dt);
  removeMean(e.di, e.m[1]);
  e.dii = integrate(e.di, dt);
  removeMean(e.dii, e.m[2]);
  if (p.ifilt == 1) {
    std::istringstream in;
    std::ostringstream out, err;
    textio::Channels io(in, out, err);
    const int n = static_cast<int>(x.size());
    dsp::bandp(io, e.d, n, dt, p.fl, p.fh, p.fs, p.ap, p.as, 0);
    dsp::bandp(io, e.di, n, dt, p.fl, p.fh, p.fs, p.ap, p.as, 0);
    dsp::bandp(io, e.dii, n, dt, p.fl, p.fh, p.fs, p.ap, p.as, 0);
  }
  e.c1 = e.d;
  e.c2 = e.di;
  e.c3 = e.dii;
  if (applyScale) {
    for (auto* c : {&e.c1, &e.c2, &e.c3})
      for (float& v : *c) v = v * scale;
  }
  removeMean(e.c1, e.m[3]);
  removeMean(e.c2, e.m[4]);
  removeMean(e.c3, e.m[5]);
  return e;
}

void expectPrefix(const std::vector<float>& got, const std::vector<float>& want,
                  const char* what) {
  for (std::size_t i = 0; i < want.size(); ++i)
    ASSERT_EQ(got[i], want[i]) << what << " sample " << i + 1;
}
void expectZeroFrom(const std::vector<float>& got, std::size_t first, std::size_t last,
                    const char* what) {
  for (std::size_t i = first; i < last; ++i) ASSERT_EQ(got[i], 0.0f) << what << " sample " << i + 1;
}

class Preparation : public ::testing::Test {
 protected:
  Preparation() : io(in, out, err) {
    p.ifilt = 0;
    p.cfac = 1.0f;
  }
  void files(const KibFile& target, const KibFile& element) {
    p.fmain = records_test::ljust(dir.write("t.kib", target.text()), 80);
    p.faft = records_test::ljust(dir.write("e.kib", element.text()), 80);
  }
  void bandPass() {
    p.ifilt = 1;
    p.fl = 0.5f;
    p.fh = 8.0f;
    p.fs = 12.0f;
    p.ap = 0.5f;
    p.as = 5.0f;
  }
  std::vector<std::string> transcript() const { return lines(out.str()); }

  TempDir dir;
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io;
  run::Params p;
  run::Workspace w;
  records::RecordHeader h;
};

TEST_F(Preparation, ConstantRecordsAndTheirTranscript) {
  KibFile target = recordOf(std::vector<float>(4, 1.0f), 100);
  KibFile element = recordOf(std::vector<float>(3, 2.0f), 50);
  element.code = "ELEM Element";
  files(target, element);
  p.cfac = 1.5f;
  records::prepareTarget(io, p, w, h);
  records::prepareElement(io, p, w, h);

  // Every mean after the first of each record is exactly 0: the constant
  // goes with the first, and the integral of zeros is zero.
  const std::vector<std::string> reader = {"KIBTRACE FORMAT", "  skip  0", "8F10.3    ",
                                           "  data is floting"};
  std::vector<std::string> want = reader;
  for (const char* l : {" dt=  0.00999999978", " d sum =  1.", " di sum =  0.", " dii sum =  0.",
                        " dm sum =  0.", " dmm sum =  0.", " dmmm sum =  0.",
                        "  target event prelimilary analysis was done "})
    want.push_back(l);
  want.insert(want.end(), reader.begin(), reader.end());
  for (const char* l : {" d sum =  2.", " di sum =  0.", " dii sum =  0.", " da sum =  0.",
                        " daa sum =  0.", " daaa sum =  0.",
                        "  small event prelimilary analysis was done "})
    want.push_back(l);
  EXPECT_EQ(transcript(), want);

  expectZeroFrom(w.dm, 0, w.dm.size(), "dm");
  expectZeroFrom(w.da, 0, w.da.size(), "da");
  EXPECT_EQ(w.nmain, 4);
  EXPECT_EQ(w.naft, 3);
  EXPECT_EQ(w.dt, 1.0f / 50.0f);
  EXPECT_EQ(p.ns, 4) << "ns read as 0 becomes the target's count";
  EXPECT_EQ(h.rcode, "ELEM ") << "the header is the element record's";
  EXPECT_EQ(h.isps, 50);
}

TEST_F(Preparation, FilterActsAfterBothIntegrations) {
  const std::vector<float> x = wave(300, 0.37, 3.0);
  files(recordOf(x, 100), recordOf(wave(200, 0.21, -1.0), 100));
  bandPass();
  records::prepareTarget(io, p, w, h);

  const Expected e = expectedFor(x, 0.01f, p, 1.0f, false);
  expectPrefix(w.d, e.d, "d");
  expectPrefix(w.di, e.di, "di");
  expectPrefix(w.dii, e.dii, "dii");
  expectPrefix(w.dm, e.c1, "dm");
  expectPrefix(w.dmm, e.c2, "dmm");
  expectPrefix(w.dmmm, e.c3, "dmmm");
  // The filter really changed the series (the check above is not vacuous).
  std::vector<float> unfiltered = x;
  float m = 0;
  removeMean(unfiltered, m);
  EXPECT_NE(w.d[150], unfiltered[150]);

  const auto t = transcript();
  ASSERT_EQ(t.size(), 12u);
  const char* texts[] = {" d sum =", " di sum =", " dii sum =", " dm sum =", " dmm sum =",
                         " dmmm sum ="};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(t[static_cast<std::size_t>(5 + i)], texts[i] + textio::listReal(e.m[i]));
}

TEST_F(Preparation, TargetAtHundredAndElementAtFiftySamplesPerSecond) {
  const std::vector<float> tx = wave(400, 0.29, 1.5);
  const std::vector<float> ex = wave(150, 0.53, -2.0);
  files(recordOf(tx, 100), recordOf(ex, 50));
  bandPass();
  p.cfac = 2.5f;
  p.ns = 500;
  records::prepareTarget(io, p, w, h);
  EXPECT_EQ(w.dt, 0.01f);
  records::prepareElement(io, p, w, h);
  EXPECT_EQ(w.dt, 0.02f);
  EXPECT_EQ(p.ns, 500) << "a non-zero ns stays";

  const Expected et = expectedFor(tx, 0.01f, p, 1.0f, false);
  expectPrefix(w.dm, et.c1, "dm");
  expectPrefix(w.dmm, et.c2, "dmm");
  expectPrefix(w.dmmm, et.c3, "dmmm");
  const Expected ee = expectedFor(ex, 0.02f, p, 2.5f, true);
  expectPrefix(w.d, ee.d, "d");
  expectPrefix(w.di, ee.di, "di");
  expectPrefix(w.dii, ee.dii, "dii");
  expectPrefix(w.da, ee.c1, "da");
  expectPrefix(w.daa, ee.c2, "daa");
  expectPrefix(w.daaa, ee.c3, "daaa");

  // The shorter element: its series and the work arrays are 0 beyond its
  // count, the target's copies beyond theirs.
  expectZeroFrom(w.da, 150, w.da.size(), "da");
  expectZeroFrom(w.daa, 150, w.daa.size(), "daa");
  expectZeroFrom(w.daaa, 150, w.daaa.size(), "daaa");
  expectZeroFrom(w.d, 150, records::kMaxSamples, "d");
  expectZeroFrom(w.di, 150, records::kMaxSamples, "di");
  expectZeroFrom(w.dii, 150, records::kMaxSamples, "dii");
  expectZeroFrom(w.dm, 400, w.dm.size(), "dm");
  EXPECT_EQ(w.nmain, 400);
  EXPECT_EQ(w.naft, 150);

  // "dt=" once, right after the target reader's lines, with the target's
  // interval; the element's gets no line.
  const auto t = transcript();
  int dtLines = 0;
  for (const auto& l : t) dtLines += l.rfind(" dt=", 0) == 0;
  EXPECT_EQ(dtLines, 1);
  EXPECT_EQ(t[4], " dt=  0.00999999978");
  EXPECT_EQ(t[5].rfind(" d sum =", 0), 0u);
  EXPECT_EQ(t.back(), "  small event prelimilary analysis was done ");
}

TEST_F(Preparation, MissingTargetFileIsNotCreated) {
  p.fmain = records_test::ljust(dir.file("absent.kib"), 80);
  EXPECT_THROW(records::prepareTarget(io, p, w, h), textio::IoError);
  EXPECT_FALSE(std::filesystem::exists(dir.file("absent.kib")));
}

TEST_F(Preparation, UnusableElementRecordStopsBeforeTheIntervalChanges) {
  KibFile element = recordOf(std::vector<float>(3, 2.0f), 0);  // isps 0: no interval
  files(recordOf(std::vector<float>(4, 1.0f), 100), element);
  records::prepareTarget(io, p, w, h);
  try {
    records::prepareElement(io, p, w, h);
    ADD_FAILURE() << "accepted";
  } catch (const textio::InputRejected& e) {
    EXPECT_NE(e.message.find("e.kib: isps 0 is not positive"), std::string::npos) << e.message;
  }
  EXPECT_EQ(w.dt, 0.01f);
  EXPECT_EQ(w.naft, 0);
}

}  // namespace
