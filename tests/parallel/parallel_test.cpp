#include "parallel/parallel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace {

TEST(ForEach, RunsEveryIndexOnceOnEveryThreadCount) {
  for (int threads : {0, 1, 2, 7}) {
    std::vector<std::atomic<int>> hits(1000);
    std::atomic<bool> workerInRange{true};
    parallel::forEach(hits.size(), threads, [&](std::size_t i, int worker) {
      ++hits[i];
      if (worker < 0 || worker >= std::max(1, threads)) workerInRange = false;
    });
    for (const auto& h : hits) ASSERT_EQ(h.load(), 1) << threads << " threads";
    EXPECT_TRUE(workerInRange.load());
  }
}

TEST(ForEach, RethrowsTheFirstFailureAfterTheWorkersStop) {
  std::atomic<int> done{0};
  EXPECT_THROW(parallel::forEach(100000, 2,
                                 [&](std::size_t i, int) {
                                   if (i == 10) throw std::runtime_error("task 10");
                                   ++done;
                                 }),
               std::runtime_error);
  EXPECT_LT(done.load(), 100000 - 1);  // the rest was not handed out
}

}  // namespace
