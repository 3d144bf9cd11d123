// The real Ridgecrest pair (Mw 7.1 mainshock, Mw 4.97 foreshock at CI.CLC),
// run with its suggested parameter files when the folder ../shared/realdata
// sits beside the repository (or the folder EGF_REALDATA_DIR names);
// skipped otherwise, naming the folder looked for. The records are only read
// from there, never copied into the repository.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/run.hpp"

namespace {

using namespace runsupport;

// EGF_REALDATA_DIR names another folder (a worktree has no such neighbour).
const fs::path kRealData = std::getenv("EGF_REALDATA_DIR") != nullptr
                               ? fs::path(std::getenv("EGF_REALDATA_DIR"))
                               : (kSourceDir / ".." / "shared" / "realdata").lexically_normal();

class RealData : public ::testing::TestWithParam<const char*> {};

TEST_P(RealData, SuggestedParametersGiveAPartialButRealFit) {
  if (!fs::exists(kRealData / "params_clc_ns.txt")) GTEST_SKIP() << "skipped: no real records in " << kRealData.string();
  if (!fs::exists(kProgram)) GTEST_SKIP() << "egfsim not built at " << kProgram;
  const std::string component = GetParam(), params = "params_clc_" + component + ".txt";
  RunFolder folder;
  for (const std::string& name : {params, "clc_m71_" + component + ".kib", "clc_m50_" + component + ".kib"})
    fs::copy_file(kRealData / name, folder.path() / name);
  const Outcome o = runProgram(folder.path(), params + "\nobs\nRidgecrest\nsyn\nRidgecrest\n");
  ASSERT_EQ(o.status, 0) << o.errors;
  // A single-plane model of a bilateral multi-segment rupture, seen 3 km
  // from the fault, matches the record only in part: the coefficients are
  // positive (some lag lines the synthetic up with the record) and
  // clearly below the near-perfect fit of the synthetic example.
  const Fit fit = correlations(o.transcript);
  for (double c : {fit.acc, fit.vel, fit.dis}) {
    EXPECT_GT(c, 0.0);
    EXPECT_LT(c, 0.95);
  }
  if (haveGhostscript()) expectFiguresPassGhostscript(folder.path());
}

INSTANTIATE_TEST_SUITE_P(Components, RealData, ::testing::Values("ns", "ew", "ud"));

}  // namespace
