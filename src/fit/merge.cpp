#include "fit/merge.hpp"

#include <fstream>
#include <map>

#include "fit/files.hpp"
#include "fit/resume.hpp"
#include "fit/setup.hpp"
#include "fit/shard.hpp"
#include "fit/table.hpp"

namespace fit {
namespace {

namespace fs = std::filesystem;

// The shard.json of every folder, checked against each other: one count,
// one program, the same files read, each complete, each K once, none missing.
std::vector<ShardState> readShards(const std::vector<fs::path>& dirs, const std::string& program) {
  std::vector<ShardState> shards;
  for (const fs::path& d : dirs) shards.push_back(readShardState(d));
  const ShardState& first = shards.front();
  std::map<std::uint64_t, std::size_t> given;
  for (std::size_t i = 0; i < shards.size(); ++i) {
    const ShardState& s = shards[i];
    const std::string where = dirs[i].string() + ": shard " + shardText(s.shard);
    if (s.program != program)
      throw ConfigError(where + " was made by " + s.program + ", not " + program +
                        ": run every shard with one version");
    if (s.shard.n != first.shard.n)
      throw ConfigError(where + " does not belong with " + dirs[0].string() + "'s shards of " +
                        std::to_string(first.shard.n) + ": merge the shards of one search");
    if (const std::string changed = changedInput(first.inputs, s.inputs); !changed.empty())
      throw ConfigError(where + " read other files than " + dirs[0].string() + " (" + changed +
                        " differs): merge the shards of one search, run on the same files");
    if (!s.complete)
      throw ConfigError(where + " did not finish: go on with egffit " + s.configuration + " --shard " +
                        shardText(s.shard) + " --out " + dirs[i].string() + " --resume");
    if (const auto [at, fresh] = given.emplace(s.shard.k, i); !fresh)
      throw ConfigError(where + " is given twice (also " + dirs[at->second].string() + ")");
  }
  for (std::uint64_t k = 1; k <= first.shard.n; ++k)
    if (!given.count(k))
      throw ConfigError("shard " + shardText({k, first.shard.n}) + " is missing: give the folders of all " +
                        std::to_string(first.shard.n) + " shards");
  return shards;
}

// A shard's rows, checked: the file as it finished, the rows its shard.json
// counts, each in its place.
std::vector<std::string> shardRows(const Problem& problem, const fs::path& dir, const ShardState& s) {
  const fs::path csv = dir / "models.csv";
  if (!fs::exists(csv)) throw ConfigError(csv.string() + ": missing: run the shard again");
  const std::string again = "run the shard again";
  if (fileSha256(csv) != s.modelsSha256)
    throw ConfigError(csv.string() + ": changed after the shard finished (shard.json holds its SHA-256): " + again);
  const KeptRows kept = readKeptRows(problem, csv, s.shard, "not the rows of this shard; " + again);
  if (kept.bytes != fs::file_size(csv))
    throw ConfigError(csv.string() + ": ends in a half row: " + again);
  std::uint64_t expected = s.models;
  if (problem.config.search.method == Method::Grid) {
    const std::uint64_t total = problem.config.space.gridSize();
    expected = total >= s.shard.k ? (total - s.shard.k) / s.shard.n + 1 : 0;
    if (s.models != expected)
      throw ConfigError((dir / "shard.json").string() + ": " + std::to_string(s.models) + " models where shard " +
                        shardText(s.shard) + " of the grid has " + std::to_string(expected) + ": " + again);
  }
  if (kept.rows != expected)
    throw ConfigError(csv.string() + ": " + std::to_string(kept.rows) + " rows where its shard has " +
                      std::to_string(expected) + " models" +
                      (kept.rows < expected ? " (model " + std::to_string(kept.rows * s.shard.n + s.shard.k) + " is missing)" : "") +
                      ": " + again);
  std::ifstream in(csv, std::ios::binary);
  std::vector<std::string> rows;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) rows.push_back(line);
  return rows;
}

}  // namespace

Merged mergeShards(const fs::path& out, const std::vector<fs::path>& dirs, const std::string& program,
                   std::ostream& console) {
  if (const std::string held = earlierSearchFile(out); !held.empty())
    throw ConfigError(out.string() + ": holds a search already (" + held + "): give another folder to merge into");
  const std::vector<ShardState> shards = readShards(dirs, program);
  const ShardState& first = shards.front();
  Config config = readConfig(first.configuration, Purpose::Search, first.recordFolder);
  addStudyRecords(config, out, console);
  Merged m{loadProblem(config), {first.shard.n, 0, first.threads}};
  if (const std::string changed = changedInput(first.inputs, inputDigests(m.problem)); !changed.empty())
    throw ConfigError(changed + " changed since the shards ran (their shard.json holds its SHA-256): run the shards again");

  // Shard K's j-th row is model j*N + K: the rows in model order take one
  // row of each shard in turn.
  std::vector<std::vector<std::string>> rows(first.shard.n);
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    rows[shards[i].shard.k - 1] = shardRows(m.problem, dirs[i], shards[i]);
    m.info.seconds += shards[i].seconds;
  }
  std::string text = tableHeader(m.problem) + "\n";
  std::uint64_t count = 0;
  for (std::size_t j = 0;; ++j) {
    bool any = false;
    for (const auto& shardRows : rows) {
      if (j >= shardRows.size()) continue;
      text += shardRows[j] + "\n";
      any = true;
      ++count;
    }
    if (!any) break;
  }
  fs::create_directories(out);
  writeWhole(out / "models.csv", text);
  ShardState merged = first;
  merged.shard = {1, 1};
  merged.models = count;
  merged.modelsSha256 = sha256(text);
  merged.seconds = m.info.seconds;
  writeShardState(out, merged);
  return m;
}

}  // namespace fit
