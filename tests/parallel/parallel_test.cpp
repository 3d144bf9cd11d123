// The pool: every index once, worker numbers a task may index scratch by,
// calls from inside a task, failures carried to the caller with their
// message, and results that do not depend on the number of threads.
#include "parallel/parallel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Records, per worker number, whether a task is running under it: two
// tasks of one call running at once under one number would share scratch.
class Exclusive {
 public:
  explicit Exclusive(int threads) : busy_(static_cast<std::size_t>(threads)) {}
  void enter(int worker) {
    if (worker < 0 || worker >= static_cast<int>(busy_.size()) ||
        busy_[static_cast<std::size_t>(worker)].exchange(true))
      shared_ = true;
  }
  void leave(int worker) { busy_[static_cast<std::size_t>(worker)] = false; }
  bool violated() const { return shared_; }

 private:
  std::vector<std::atomic<bool>> busy_;
  std::atomic<bool> shared_{false};
};

TEST(ForEach, RunsEveryIndexOnceUnderAWorkerNumberOfItsOwn) {
  for (int threads : {0, 1, 2, 7}) {
    std::vector<std::atomic<int>> hits(1000);
    Exclusive workers(std::max(1, threads));
    parallel::forEach(hits.size(), threads, [&](std::size_t i, int worker) {
      workers.enter(worker);
      ++hits[i];
      workers.leave(worker);
    });
    for (const auto& h : hits) ASSERT_EQ(h.load(), 1) << threads << " threads";
    EXPECT_FALSE(workers.violated()) << threads << " threads";
  }
}

// Calls three deep, each task of each level starting the next: every
// innermost index runs once, and every level's worker numbers stay its own.
TEST(ForEach, CallsFromInsideATaskFinish) {
  for (int threads : {1, 2, 3}) {
    std::vector<std::atomic<int>> hits(6 * 5 * 40);
    std::atomic<bool> violated{false};
    parallel::forEach(6, threads, [&](std::size_t a, int) {
      Exclusive middle(threads);
      parallel::forEach(5, threads, [&](std::size_t b, int w) {
        middle.enter(w);
        Exclusive inner(threads);
        parallel::forEach(40, threads, [&](std::size_t c, int v) {
          inner.enter(v);
          ++hits[(a * 5 + b) * 40 + c];
          inner.leave(v);
        });
        if (inner.violated()) violated = true;
        middle.leave(w);
      });
      if (middle.violated()) violated = true;
    });
    for (const auto& h : hits) ASSERT_EQ(h.load(), 1) << threads << " threads";
    EXPECT_FALSE(violated.load()) << threads << " threads";
  }
}

TEST(ForEach, CarriesTheFirstFailureToTheCallerWithItsMessage) {
  for (int threads : {1, 2, 4}) {
    std::atomic<int> done{0};
    try {
      parallel::forEach(100000, threads, [&](std::size_t i, int) {
        if (i == 10) throw std::runtime_error("task 10 failed");
        ++done;
      });
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "task 10 failed");
    }
    EXPECT_LT(done.load(), 100000 - 1);  // the rest was not handed out
    // From inside a task of an outer call, on a helper thread or not.
    try {
      parallel::forEach(4, threads, [&](std::size_t i, int) {
        parallel::forEach(50, threads, [&](std::size_t j, int) {
          if (i == 3 && j == 7) throw std::invalid_argument("inner 3/7");
        });
      });
      ADD_FAILURE() << "no exception";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "inner 3/7");
    }
    // The pool is fit for the next call.
    std::atomic<int> after{0};
    parallel::forEach(100, threads, [&](std::size_t, int) { ++after; });
    EXPECT_EQ(after.load(), 100);
  }
}

// Per-index results, combined in index order, are the same bits on any
// number of threads with any nesting.
TEST(ForEach, ResultsDoNotDependOnTheThreadCount) {
  const auto run = [](int threads) {
    std::vector<double> part(64);
    parallel::forEach(part.size(), threads, [&](std::size_t i, int) {
      std::vector<double> inner(32);
      parallel::forEach(inner.size(), threads, [&](std::size_t j, int) {
        inner[j] = std::sin(static_cast<double>(i * 32 + j)) / (1.0 + static_cast<double>(j));
      });
      for (double v : inner) part[i] += v;
    });
    double sum = 0;
    for (double v : part) sum += v;
    return sum;
  };
  const double one = run(1);
  for (int threads : {2, 3, 8}) EXPECT_EQ(run(threads), one) << threads << " threads";
}

}  // namespace
