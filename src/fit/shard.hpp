// shard.json: what a search folder was made from and how far it got. Every
// search writes one (an unsharded search is shard 1/1): the configuration,
// the program's version, the SHA-256 of every file the search read, the
// models written and, once complete, the digest of models.csv. A resumed
// search and a merge trust a folder only when all of it still holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fit/problem.hpp"
#include "fit/search.hpp"

namespace fit {

struct InputDigest {
  std::string file;  // absolute path
  std::string sha256;
};

struct ShardState {
  std::string configuration;  // absolute path of the configuration
  Shard shard;
  std::string program;        // "egffit VERSION"
  std::vector<InputDigest> inputs;
  std::uint64_t models = 0;   // rows in models.csv
  bool complete = false;
  std::string modelsSha256;   // of models.csv; set once complete
  double seconds = 0;         // time spent, summed over resumed runs
  int threads = 1;
  std::string recordFolder;   // absolute; "" when the configuration's own
};

// The files a problem was read from, in reading order: the configuration,
// then per record its parameter file, target record and element record.
std::vector<InputDigest> inputDigests(const Problem& problem);

// "" when `now` equals `recorded`; otherwise the first file whose digest
// differs ("the list of files read" when their number differs).
std::string changedInput(const std::vector<InputDigest>& recorded, const std::vector<InputDigest>& now);

// Writes dir/shard.json whole (temporary name, then rename).
void writeShardState(const std::filesystem::path& dir, const ShardState& state);

// Reads dir/shard.json; ConfigError naming the file when it is missing or
// does not hold a shard's record (K outside 1..N included).
ShardState readShardState(const std::filesystem::path& dir);

// "K/N".
std::string shardText(const Shard& shard);

// Reads "K/N" with 1 <= K <= N <= kMaxShards; false when it is not that.
bool parseShard(const std::string& text, Shard& shard);

inline constexpr std::uint64_t kMaxShards = 1000000;

}  // namespace fit
