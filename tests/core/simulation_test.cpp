// The bundled example's whole simulation in memory through the core, on two
// threads at once: both give the same bits, and the same fit as egfsim's
// checked transcript.
#include "core/simulation.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <vector>

#include "parallel/parallel.hpp"
#include "support/example.hpp"
#include "support/run.hpp"

namespace {

using namespace runsupport;

TEST(Simulation, TwoThreadsAtOnceGiveEgfsimsResults) {
  const testsupport::BundledExample e = testsupport::bundledExample();
  const model::Params& p = e.params;
  const core::PreparedRecords& prepared = e.prepared;

  std::array<core::Simulation, 2> runs;
  parallel::forEach(2, 2, [&](std::size_t i, int) {
    runs[i] = core::simulate(p, prepared.target, prepared.element);
  });
  for (const core::Simulation& s : runs) ASSERT_EQ(s.done, core::Simulation::Comparison);
  for (std::size_t q = 0; q < 3; ++q) {
    EXPECT_EQ(runs[0].synthetic.motion.series()[q].size(),
              runs[1].synthetic.motion.series()[q].size());
    EXPECT_TRUE(std::ranges::equal(runs[0].synthetic.motion.series()[q],
                                   runs[1].synthetic.motion.series()[q]));
  }

  // The fit lines egfsim printed for the same run.
  testsupport::StringConsole lines;
  const char* names[3] = {"acc", "vel", "dis"};
  for (std::size_t q = 0; q < 3; ++q) {
    EXPECT_EQ(runs[0].fits[q].res, runs[1].fits[q].res);
    EXPECT_EQ(runs[0].fits[q].cor, runs[1].fits[q].cor);
    const std::string name(names[q]);
    lines.io.writeList(6, {name + " res =", runs[0].fits[q].res});
    lines.io.writeList(6, {name + " cor =", runs[0].fits[q].cor});
    lines.io.writeList(6, {name + " mtime =", runs[0].fits[q].lag});
  }
  lines.io.writeList(6, {"ntt =", runs[0].synthetic.ntt});
  const std::string transcript =
      readFile(kSourceDir / "tests" / "golden" / "example" / "transcript.txt");
  for (const std::string& line : lines.outLines())
    EXPECT_NE(transcript.find(line + "\n"), std::string::npos) << line;
}

}  // namespace
