// The search: models evaluated on every worker, written to models.csv in
// model order as they finish, by the grid or by a global method of NLopt.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>

#include "fit/problem.hpp"

namespace fit {

// The K-th of N interleaved slices (K counted from 1). Local model j of a
// slice is model j*N + K of the whole search; 1/1 is the whole search.
struct Shard {
  std::uint64_t k = 1, n = 1;
};

struct SearchOutcome {
  std::uint64_t models = 0;  // rows written
  double seconds = 0;
  bool interrupted = false;
};

// Set (by a signal handler) to stop the search between models.
extern std::atomic<bool> stopRequested;

// Evaluates the models of `shard` and writes models.csv into `out` (which
// must exist), flushing each finished batch of rows. `progress` receives
// the progress display (a bar on a terminal, periodic lines otherwise).
SearchOutcome runSearch(const Problem& problem, const std::filesystem::path& out, int threads,
                        const Shard& shard, std::ostream& progress, bool terminal);

}  // namespace fit
