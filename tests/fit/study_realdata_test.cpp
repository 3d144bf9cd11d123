// The real Ridgecrest pair at CLC set up from coordinates by
// examples/ridgecrest_study.toml, when ../shared/realdata sits beside the
// repository (or EGF_REALDATA_DIR names it): line 14 agrees with the
// records' README (distances on a sphere), the windows put the two
// predicted S arrivals together, and egfsim runs every file.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/run.hpp"

namespace {

using namespace runsupport;

const fs::path kRealData = std::getenv("EGF_REALDATA_DIR") != nullptr
                               ? fs::path(std::getenv("EGF_REALDATA_DIR"))
                               : (kSourceDir / ".." / "shared" / "realdata").lexically_normal();

TEST(RealDataStudy, SetUpFromCoordinatesAndRunByEgfsim) {
  if (!fs::exists(kRealData / "clc_m71_ns.kib")) GTEST_SKIP() << "skipped: no real records in " << kRealData.string();
  RunFolder d;
  const Outcome setup = runFit(d.path(), "setup '" + (kSourceDir / "examples" / "ridgecrest_study.toml").string() +
                                             "' --record-folder '" + kRealData.string() + "' --out setup");
  ASSERT_EQ(setup.status, 0) << setup.errors;
  expectStoredFiles(d.path() / "setup", "fit/data/ridgecrest", {"setup.txt"}, d.path());
  // The README: 5.14 km at 1.8 degrees from the mainshock, 10.81 km at
  // 338.5 degrees from the foreshock, on a sphere of 6371 km (the
  // ellipsoid differs by up to 0.5 % and a few tenths of a degree here).
  const struct {
    const char* component;
    double cmp;
  } rows[] = {{"NS", 0.0}, {"EW", 90.0}, {"UD", 1000.0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.component);
    const std::string params = "params_CLC_" + std::string(r.component) + ".txt";
    const std::string text = readFile(d.path() / "setup" / params);
    const std::vector<double> l14 = numbersOf(lineOf(text, 14));
    ASSERT_EQ(l14.size(), 6u);
    EXPECT_NEAR(l14[0], 5.14, 0.03);
    EXPECT_NEAR(l14[1], 1.8, 0.3);
    EXPECT_NEAR(l14[2], 10.81, 0.06);
    EXPECT_NEAR(l14[3], 338.5, 0.3);
    EXPECT_EQ(l14[4], r.cmp);
    EXPECT_EQ(numbersOf(lineOf(text, 6))[3], 8.0);
    EXPECT_EQ(numbersOf(lineOf(text, 8))[3], 0.88);
    // With the README's distances: the target's S 3.04 + 9.509/3.5 s after
    // its record's start (sample 576.7), the element's 1.46 + 10.846/3.5 s
    // after its own (456.9): the synthetic window starts 120 samples
    // earlier.
    const std::vector<double> l15 = numbersOf(lineOf(text, 15));
    EXPECT_EQ(l15[2] - l15[0], -120);
    EXPECT_EQ(l15[0], 277);  // 3 s before the target's S
    const Outcome o = runProgram(d.path() / "setup", params + "\n\n\n\n\n");
    EXPECT_EQ(o.status, 0) << o.errors;
  }
}

}  // namespace
