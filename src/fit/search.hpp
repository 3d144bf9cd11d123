// The search: models evaluated on every worker, written to models.csv in
// model order as they finish, by the grid or by a global method of NLopt.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "fit/problem.hpp"

namespace fit {

// The K-th of N interleaved slices (K counted from 1). Local model j of a
// slice is model j*N + K of the whole search; 1/1 is the whole search.
struct Shard {
  std::uint64_t k = 1, n = 1;
};

// A row kept from an interrupted global search, for its replay.
struct KeptRow {
  std::string values;  // its parameter cells as written, joined by commas
  double objective;    // its misfit as written; refused models kRefusedObjective
};

// The rows an interrupted search left in models.csv.
struct KeptRows {
  bool header = false;         // models.csv exists and holds its whole header line
  std::uint64_t rows = 0;      // whole rows kept
  std::uintmax_t bytes = 0;    // the file's length up to the end of its last whole row
  std::vector<KeptRow> replay; // global methods: every kept row in order
};

struct SearchOutcome {
  std::uint64_t models = 0;     // rows in models.csv, kept ones included
  std::uint64_t evaluated = 0;  // models evaluated by this run
  double seconds = 0;
  bool interrupted = false;
};

// Set (by a signal handler) to stop the search between models.
extern std::atomic<bool> stopRequested;

// Evaluates the models of `shard` and writes models.csv into `out` (which
// must exist), flushing each finished batch of rows. `progress` receives
// the progress display (a bar on a terminal, periodic lines otherwise).
// With rows kept, models.csv is cut after them and the search goes on from
// there: the grid at its next model, a global method replayed from its
// start, taking the kept rows' misfits for their models (ConfigError when
// it reaches another model than a kept row holds).
SearchOutcome runSearch(const Problem& problem, const std::filesystem::path& out, int threads,
                        const Shard& shard, std::ostream& progress, bool terminal, const KeptRows& kept = {});

}  // namespace fit
