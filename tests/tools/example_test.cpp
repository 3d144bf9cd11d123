// The bundled example's generator: identical to what is committed under
// examples/, its transform against a direct sum, and records whose samples
// the program's own reader gets exactly.
#include <gtest/gtest.h>

#include "example/element.hpp"
#include "example/example.hpp"
#include "example/kibtrace.hpp"
#include "example/random.hpp"
#include "records/records.hpp"
#include "support/console.hpp"
#include "support/run.hpp"
#include "textio/textio.hpp"

namespace {

using namespace runsupport;

const char* const kFiles[] = {example::kParamsName, example::kWrongStartName, example::kAnswersName,
                              example::kElementName, example::kTargetName};

TEST(Example, CommittedFilesAreWhatTheGeneratorWrites) {
  // A difference means the generator changed and egf_example must be run
  // again into examples/.
  const example::ExampleFiles files = example::makeExample();
  const std::string made[] = {files.params, files.wrongStart, files.answers, files.element, files.target};
  for (std::size_t k = 0; k < std::size(kFiles); ++k)
    EXPECT_TRUE(readFile(kSourceDir / "examples" / kFiles[k]) == made[k]) << kFiles[k];
}

TEST(Fft, MatchesDirectSumAndInvertsToTheInput) {
  constexpr int n = 64;
  example::Random r(3);
  std::vector<double> x(n), re(n), im(n, 0.0);
  for (int i = 0; i < n; ++i) x[i] = re[i] = r.normal();
  example::fft(re, im, -1);
  for (int k = 0; k < n; ++k) {
    double sr = 0, si = 0;
    for (int i = 0; i < n; ++i) {
      sr += x[i] * std::cos(-2 * M_PI * k * i / n);
      si += x[i] * std::sin(-2 * M_PI * k * i / n);
    }
    EXPECT_NEAR(re[k], sr, 1e-10);
    EXPECT_NEAR(im[k], si, 1e-10);
  }
  example::fft(re, im, +1);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(re[i] / n, x[i], 1e-12);
}

TEST(KibWriter, ProgramReaderGetsExactlyTheSamplesOfBothEncodings) {
  example::KibHeader h;
  h.rcode = "EXS";
  h.rname = "EXAMPLE SITE";
  h.dunit = "gal";
  h.comments = {"first comment", "second comment"};
  std::vector<double> x;
  for (int i = 0; i < 1001; ++i) x.push_back(400.0 * std::sin(0.07 * i) * std::exp(-0.003 * i));
  x[1] = 0.0625, x[2] = 0.1875;  // 62.5 and 187.5 counts of 0.001: halves go to the even count
  RunFolder folder;
  for (const bool counts : {false, true}) {
    SCOPED_TRACE(counts ? "10I8" : "8F10.4");
    const example::KibText k = counts ? example::writeCountRecord(h, x) : example::writeFloatRecord(h, x);
    const fs::path path = folder.path() / "r.kib";
    writeFile(path, k.text);
    testsupport::StringConsole c;
    records::RecordHeader rh;
    const records::RecordSamples r = records::readRecordFile(c.io, 10, path.string(), rh);
    const std::vector<float>& got = r.samples;
    EXPECT_EQ(got, k.samples);
    EXPECT_EQ(r.isps, 100);
    EXPECT_EQ(rh.rcode + rh.rname + rh.dunit, "EXS  EXAMPLE SITEgal  ");
    EXPECT_EQ(rh.nskip, 2);
    if (counts) {
      EXPECT_EQ(got[1], 62 * 0.001f);
      EXPECT_EQ(got[2], 188 * 0.001f);
    }
  }
  x[0] = 10000.0;  // neither encoding holds it in its columns
  EXPECT_THROW(example::writeCountRecord(h, x), std::invalid_argument);
  x[0] = 100000.0;
  EXPECT_THROW(example::writeFloatRecord(h, x), std::invalid_argument);
}

}  // namespace
