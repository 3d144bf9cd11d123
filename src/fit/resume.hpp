// Continuing an interrupted search in its folder, and keeping a new search
// from mixing with an earlier one's files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fit/problem.hpp"
#include "fit/search.hpp"
#include "fit/shard.hpp"

namespace fit {

// The first file or folder of a search (models.csv, shard.json, the
// summaries, the map, best/) that `out` holds; "" when none.
std::string earlierSearchFile(const std::filesystem::path& out);

// Reads the models.csv of a search to be resumed (none: nothing kept). A
// half last line (a crash while writing) is left out; every whole row must
// be the row this search writes at its place (its model number and, for the
// grid, its values), else ConfigError naming the file and line and ending
// with `remedy` (what to do).
KeptRows readKeptRows(const Problem& problem, const std::filesystem::path& csv, const Shard& shard,
                      const std::string& remedy);

// What a search resumed in `out` goes on from: its rows, checked by
// readKeptRows, and the time it took so far. Refuses (ConfigError, one line)
// models.csv without shard.json beside it, another shard's folder, another
// program version's, files read that changed since (naming the first), and
// rows changed after the search completed.
struct Resumed {
  KeptRows kept;
  double seconds = 0;
};
Resumed resumeSearch(const Problem& problem, const std::filesystem::path& out, const Shard& shard,
                     const std::string& program, const std::vector<InputDigest>& inputs);

}  // namespace fit
