// The bundled example's generator: the same bytes on every run, identical to
// what is committed under examples/, a parameter file that the program reads
// to the model's values, its transform against a direct sum, and records
// whose samples the program's own reader gets exactly.
#include <gtest/gtest.h>

#include "example/element.hpp"
#include "example/example.hpp"
#include "example/kibtrace.hpp"
#include "example/random.hpp"
#include "records/records.hpp"
#include "run/parameter_file.hpp"
#include "support/run.hpp"
#include "textio/textio.hpp"

namespace {

using namespace runsupport;

const char* const kFiles[] = {example::kParamsName, example::kWrongStartName, example::kAnswersName,
                              example::kElementName, example::kTargetName};

TEST(Example, ToolWritesTheSameBytesTwice) {
  const fs::path tool = fs::path(EGF_TEST_BINARY_DIR) / "tools" / "egf_example";
  if (!fs::exists(tool)) GTEST_SKIP() << "egf_example not built at " << tool;
  RunFolder a("example_a"), b("example_b");
  for (const RunFolder* run : {&a, &b}) {
    const std::string cmd = "'" + tool.string() + "' '" + run->path().string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  for (const char* name : kFiles) {
    EXPECT_FALSE(readFile(a.path() / name).empty()) << name;
    EXPECT_TRUE(readFile(a.path() / name) == readFile(b.path() / name)) << name;
  }
  EXPECT_TRUE(readFile(a.path() / example::kTargetName) == example::makeExample().target);
}

TEST(Example, CommittedFilesAreWhatTheGeneratorWrites) {
  // A difference means the generator changed and egf_example must be run
  // again into examples/.
  const example::ExampleFiles files = example::makeExample();
  const std::string made[] = {files.params, files.wrongStart, files.answers, files.element, files.target};
  for (std::size_t k = 0; k < std::size(kFiles); ++k)
    EXPECT_TRUE(readFile(kSourceDir / "examples" / kFiles[k]) == made[k]) << kFiles[k];
}

TEST(Example, ProgramReadsTheParameterFileToTheModelsValues) {
  const example::ExampleFault fault;
  RunFolder folder("example_params");
  writeFile(folder.path() / "params.txt", example::parameterFile(fault));
  std::istringstream in;
  std::ostringstream console, err;
  model::Params p;
  textio::Channels io(in, console, err);
  io.open(run::kParameterUnit, (folder.path() / "params.txt").string());
  run::readParameterFile(io, p);
  io.closeAll();
  EXPECT_NO_THROW(run::checkParameters(p, "params.txt"));
  // Every value the geometry and summation use, bit for bit.
  const model::Params m = example::parameters(fault);
  using P = model::Params;
  for (float P::*r : {&P::str, &P::dip, &P::rak, &P::z, &P::stra, &P::dipa, &P::raka, &P::za, &P::dx, &P::dw,
                      &P::tra, &P::dx0, &P::dw0, &P::cfac, &P::vs, &P::vr, &P::rm, &P::pm, &P::ra, &P::pa, &P::cmp})
    EXPECT_EQ(p.*r, m.*r);
  for (int P::*i : {&P::nx, &P::nw, &P::nt, &P::nsx, &P::nsw, &P::ksm, &P::kem, &P::ksa, &P::kea, &P::IW})
    EXPECT_EQ(p.*i, m.*i);
  EXPECT_TRUE(p.ird == m.ird && p.ipfm == m.ipfm && p.imdl == m.imdl);
  EXPECT_EQ(p.ns, 0);  // the file's 0: the target's count, which the model uses
  EXPECT_EQ(p.fmain.substr(0, 10), "target.kib");
  EXPECT_EQ(p.faft.substr(0, 11), "element.kib");
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
  RunFolder folder("kibtrace");
  for (const bool counts : {false, true}) {
    SCOPED_TRACE(counts ? "10I8" : "8F10.4");
    const example::KibText k = counts ? example::writeCountRecord(h, x) : example::writeFloatRecord(h, x);
    const fs::path path = folder.path() / "r.kib";
    writeFile(path, k.text);
    std::istringstream in;
    std::ostringstream out, err;
    textio::Channels io(in, out, err);
    std::vector<float> got(20000, 0.0f);
    int npts = 0, isps = 0;
    records::RecordHeader rh;
    io.open(10, path.string());
    records::readkib(io, 10, got, npts, isps, rh, path.string());
    io.closeAll();
    got.resize(static_cast<std::size_t>(npts));
    EXPECT_EQ(got, k.samples);
    EXPECT_EQ(isps, 100);
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
