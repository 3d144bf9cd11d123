// The real Ridgecrest pair (Mw 7.1 mainshock, Mw 4.97 foreshock at CI.CLC),
// run with its suggested parameter files when the folder ../shared/realdata
// sits beside the repository; skipped otherwise. The records are only read
// from there, never copied into the repository.
#include <gtest/gtest.h>

#include "run_support.hpp"

namespace {

using namespace runsupport;

fs::path realdata() { return sourceDir() / ".." / "shared" / "realdata"; }

class RealData : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!fs::exists(realdata() / "params_clc_ns.txt")) {
      GTEST_SKIP() << "no real records at " << realdata();
    }
    if (!fs::exists(program())) GTEST_SKIP() << "egfsim not built at " << program();
  }
};

TEST_P(RealData, SuggestedParametersGiveAPartialButRealFit) {
  const std::string component = GetParam();
  RunFolder folder("realdata_" + component);
  const std::string params = "params_clc_" + component + ".txt";
  for (const std::string& name :
       {params, "clc_m71_" + component + ".kib", "clc_m50_" + component + ".kib"}) {
    fs::copy_file(realdata() / name, folder.path() / name);
  }
  const Outcome o = runProgram(folder.path(), params + "\nobs\nRidgecrest\nsyn\nRidgecrest\n");
  ASSERT_EQ(o.status, 0) << o.errors;
  const Fit fit = correlations(o.transcript);
  // A single-plane model of a bilateral multi-segment rupture, seen 3 km
  // from the fault, matches the record only in part: the coefficients are
  // positive (some lag lines the synthetic up with the record) and
  // clearly below the near-perfect fit of the synthetic example.
  for (double c : {fit.acc, fit.vel, fit.dis}) {
    EXPECT_GT(c, 0.0);
    EXPECT_LT(c, 0.95);
  }
  if (haveGhostscript()) {
    for (const char* figure : {"fort.21", "fort.22"}) {
      std::string log;
      EXPECT_EQ(ghostscript(folder.path() / figure, log), 0) << figure << ":\n" << log;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Components, RealData, ::testing::Values("ns", "ew", "ud"));

}  // namespace
