// What a search leaves besides models.csv, made from models.csv alone so
// that one run and a merge of its shards leave the same files: the best
// model's folder best/ (one parameter file per record and egfsim's own run
// of each), summary.txt, summary.json and the misfit map.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "fit/map.hpp"
#include "fit/problem.hpp"

namespace fit {

struct RunInfo {
  std::uint64_t shards = 1;
  double seconds = 0;  // time of the search (summed over shards)
  int threads = 1;
};

// Reads out/models.csv, finds the best model (least misfit, ties to the
// lower model number) and writes the rest. `egfsim` is the program that
// runs the best model (no runs when it does not exist; a note goes to
// `log`). Returns false when no model could be evaluated.
bool finishSearch(const Problem& problem, const std::filesystem::path& out, const RunInfo& info,
                  const std::filesystem::path& egfsim, std::ostream& log);

// The first misfit map that finishSearch draws (misfit_map.*), from
// out/models.csv: over the configuration's first pair of [map] axes, or the
// two parameters along which the least misfit changes most; the others at
// the best model's values (the grid) or the least over them (a global
// method, a continuous parameter in 20 bins of its range). Nothing when no
// model could be evaluated.
std::optional<MisfitMap> misfitMap(const Problem& problem, const std::filesystem::path& out);

}  // namespace fit
