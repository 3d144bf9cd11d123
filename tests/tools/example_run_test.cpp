// The bundled example run end to end by the built program: it must recover
// the target it was built from, fail to with a wrong rupture start, and
// leave two figures that Ghostscript interprets without error.
#include <gtest/gtest.h>

#include "example/example.hpp"
#include "support/run.hpp"

namespace {

using namespace runsupport;

class ExampleRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kProgram)) GTEST_SKIP() << "egfsim not built at " << kProgram;
  }
  // Runs the example's records with `params` in `folder`.
  static Outcome run(const fs::path& folder, const std::string& params) {
    const example::ExampleFiles files = example::makeExample();
    writeFile(folder / example::kElementName, files.element);
    writeFile(folder / example::kTargetName, files.target);
    writeFile(folder / example::kParamsName, params);
    return runProgram(folder, std::string(example::kParamsName) + "\nobserved.dat\nexample\nsynthetic.dat\nexample\n");
  }
};

TEST_F(ExampleRun, TrueFaultRecoversTheTargetAndAWrongStartDoesNot) {
  // The target is the model's own sum plus noise of 1 gal rms, of which the
  // 0.1-10 Hz band keeps some 0.45 gal against a signal of about 80 gal rms
  // in the compared window: by noise alone the coefficient would be
  // 0.9999+. What separates the run from a perfect fit is that preparing
  // the records does not commute exactly with the summation (mean removal
  // over different spans, the filter's transients at the element's end, the
  // integration starting at each copy's first sample); it grows with each
  // integration, to about 0.99 for displacement. 0.95 leaves room for that
  // and still fails any misplaced or misweighted copy: moving the rupture
  // start by one subfault along strike already costs more.
  RunFolder truth;
  const Outcome good = run(truth.path(), example::makeExample().params);
  ASSERT_EQ(good.status, 0) << good.errors;
  const Fit fit = correlations(good.transcript);
  EXPECT_GT(fit.acc, 0.95);
  EXPECT_GT(fit.vel, 0.95);
  EXPECT_GT(fit.dis, 0.95);
  EXPECT_LE(fit.acc, 1.0 + 1e-6);
  EXPECT_FALSE(fs::exists(truth.path() / "observed.dat"));  // answers 2 and 4 are echoed only

  // Starting the rupture at the far end of the fault reverses its
  // directivity at the station: the copies arrive spread out and in another
  // order, and the correlation drops to about 0.5-0.7 whatever the lag.
  RunFolder wrong;
  const Outcome bad = run(wrong.path(), example::makeExample().wrongStart);
  ASSERT_EQ(bad.status, 0) << bad.errors;
  const Fit off = correlations(bad.transcript);
  EXPECT_LT(off.acc, 0.8);
  EXPECT_LT(off.acc, fit.acc - 0.2);
  EXPECT_LT(off.vel, fit.vel - 0.2);
  EXPECT_LT(off.dis, fit.dis - 0.2);
}

TEST_F(ExampleRun, FiguresPassGhostscript) {
  if (!haveGhostscript()) GTEST_SKIP() << "Ghostscript (gs) is not installed";
  RunFolder folder;
  const Outcome o = run(folder.path(), example::makeExample().params);
  ASSERT_EQ(o.status, 0) << o.errors;
  expectFiguresPassGhostscript(folder.path());
}

}  // namespace
