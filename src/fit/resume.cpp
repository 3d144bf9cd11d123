#include "fit/resume.hpp"

#include <cstdlib>
#include <fstream>

#include "fit/files.hpp"
#include "fit/table.hpp"

namespace fit {
namespace {

namespace fs = std::filesystem;

// Model number of a shard's j-th row (from 0).
std::uint64_t rowModel(const Shard& shard, std::uint64_t j) { return j * shard.n + shard.k; }

// Checks grid rows against the values of their model numbers.
class GridRows {
 public:
  explicit GridRows(const ModelSpace& space) : space_(space), texts_(space.axes.size()) {
    for (std::size_t a = 0; a < space.axes.size(); ++a)
      for (double v : space.axes[a].values) texts_[a].push_back(valueText(space.axes[a].parameter.kind, v));
  }
  // "" when the row's cells hold grid model `model`'s values; otherwise what differs.
  std::string mismatch(const TableRow& row, std::uint64_t model) const {
    std::uint64_t m = model - 1;
    for (std::size_t a = space_.axes.size(); a-- > 0;) {
      const std::size_t size = texts_[a].size();
      const std::string& expected = texts_[a][m % size];
      m /= size;
      if (row.cells[1 + a] != expected)
        return std::string(space_.axes[a].parameter.name) + " " + row.cells[1 + a] + " where model " +
               std::to_string(model) + " has " + expected;
    }
    return "";
  }

 private:
  const ModelSpace& space_;
  std::vector<std::vector<std::string>> texts_;
};

}  // namespace

std::string earlierSearchFile(const fs::path& out) {
  for (const char* name : {"models.csv", "shard.json", "summary.txt", "summary.json", "best", "misfit_map.pdf",
                           "misfit_map.png", "fault_map.pdf", "fault_map.png"})
    if (fs::exists(out / name)) return name;
  return "";
}

KeptRows readKeptRows(const Problem& problem, const fs::path& csv, const Shard& shard, const std::string& remedy) {
  KeptRows kept;
  std::ifstream in(csv, std::ios::binary);
  if (!in) return kept;
  const std::string header = tableHeader(problem);
  std::string line;
  // A line is whole when its newline was read.
  auto wholeLine = [&] { return std::getline(in, line) && !in.eof(); };
  if (!wholeLine()) return kept;  // not even the header was finished: start afresh
  auto refuse = [&](std::uint64_t lineNo, const std::string& why) {
    return ConfigError(csv.string() + ":" + std::to_string(lineNo) + ": " + why + ": " + remedy);
  };
  if (line != header) throw refuse(1, "its header is not this configuration's");
  kept.header = true;
  kept.bytes = line.size() + 1;

  const bool grid = problem.config.search.method == Method::Grid;
  const ModelSpace& space = problem.config.space;
  const std::uint64_t total = grid ? space.gridSize() : problem.config.search.maxModels;
  const std::uint64_t local = grid ? (total >= shard.k ? (total - shard.k) / shard.n + 1 : 0) : total;
  const std::size_t columns = headerColumns(header);
  const std::size_t misfitCell = 1 + space.axes.size();
  const GridRows gridRows(space);
  TableRow row;
  for (std::uint64_t lineNo = 2; wholeLine(); ++lineNo) {
    if (!parseRow(line, columns, row)) throw refuse(lineNo, "not a row of this search");
    const std::uint64_t expected = rowModel(shard, kept.rows);
    if (kept.rows >= local) throw refuse(lineNo, "more rows than the search's " + std::to_string(local) + " models");
    if (row.model != expected)
      throw refuse(lineNo, "model " + std::to_string(row.model) + " where model " + std::to_string(expected) + " belongs");
    if (grid) {
      const std::string wrong = gridRows.mismatch(row, row.model);
      if (!wrong.empty()) throw refuse(lineNo, wrong);
    } else {
      std::string values;
      for (std::size_t a = 0; a < space.axes.size(); ++a) values += (a ? "," : "") + row.cells[1 + a];
      const std::string& m = row.cells[misfitCell];
      kept.replay.push_back({values, m == "refused" ? kRefusedObjective : std::strtod(m.c_str(), nullptr)});
    }
    ++kept.rows;
    kept.bytes += line.size() + 1;
  }
  return kept;
}

Resumed resumeSearch(const Problem& problem, const fs::path& out, const Shard& shard, const std::string& program,
                     const std::vector<InputDigest>& inputs) {
  Resumed r;
  const fs::path csv = out / "models.csv";
  if (!fs::exists(out / "shard.json")) {
    if (fs::exists(csv))
      throw ConfigError(csv.string() + ": no shard.json beside it tells what it was made from: give another --out");
    return r;
  }
  const ShardState state = readShardState(out);
  const std::string again = "give another --out to search afresh";
  if (state.shard.k != shard.k || state.shard.n != shard.n)
    throw ConfigError(out.string() + ": holds shard " + shardText(state.shard) + " of a search, not " +
                      shardText(shard) + ": resume it with --shard " + shardText(state.shard) + ", or " + again);
  if (state.program != program)
    throw ConfigError(out.string() + ": written by " + state.program + ", not " + program +
                      ": resume it with that version, or " + again);
  if (const std::string changed = changedInput(state.inputs, inputs); !changed.empty())
    throw ConfigError(out.string() + ": " + changed + " changed since this search began (shard.json holds its SHA-256): " +
                      again);
  if (state.complete && fs::exists(csv) && fileSha256(csv) != state.modelsSha256)
    throw ConfigError(csv.string() + ": changed after the search completed (shard.json holds its SHA-256): " + again);
  r.kept = readKeptRows(problem, csv, shard, "these rows are not this search's; " + again);
  r.seconds = state.seconds;
  return r;
}

}  // namespace fit
