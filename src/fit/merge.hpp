// Joining the folders of a search's shards into the folder of one run.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "fit/finish.hpp"
#include "fit/problem.hpp"

namespace fit {

struct Merged {
  Problem problem;
  RunInfo info;
};

// Checks that `shards` are every shard of one search, complete and as they
// finished, made by `program` from the files as they are now; then writes
// out/models.csv (the rows in model order) and out/shard.json as one
// unsharded run writes them, for finishSearch to complete. Refuses
// (ConfigError, one line naming the folder or file and what to do) before
// writing anything: an unreadable or malformed shard.json, shards of other
// counts, files, versions or searches, a shard unfinished, given twice or
// missing, a models.csv changed since its shard finished, with more or fewer
// rows than its shard's models or a row out of its place, and an output
// folder that holds a search already.
Merged mergeShards(const std::filesystem::path& out, const std::vector<std::filesystem::path>& shards,
                   const std::string& program, std::ostream& console);

}  // namespace fit
