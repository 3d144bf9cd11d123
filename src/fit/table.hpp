// models.csv: one row per evaluated model, in model order. Rows are written
// and read back by the same code, so that a run and a merge of shards agree
// byte for byte and choose the same best model.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/evaluator.hpp"
#include "fit/problem.hpp"

namespace fit {

// The header line (without newline).
std::string tableHeader(const Problem& problem);

// One row (without newline). `model` is the model number (from 1).
std::string tableRow(const Problem& problem, std::uint64_t model, const std::vector<double>& values,
                     const engine::ModelResult& result);

// A row read back: its number, the texts of its cells, and its misfit (none
// when the model was refused).
struct TableRow {
  std::uint64_t model = 0;
  std::vector<std::string> cells;
  std::optional<double> misfit;
};

// Splits one line of models.csv; false when it is not a row of `columns` cells.
bool parseRow(const std::string& line, std::size_t columns, TableRow& row);

// A model's misfit as its row writes it.
std::string misfitText(double misfit);

// What a global method minimises for a model: its misfit as its row holds
// it (so that a search replayed from its rows meets the same values), and
// for a refused model a value above every finite misfit.
inline constexpr double kRefusedObjective = 1e300;
double objective(const engine::ModelResult& result);

// Number of cells of a header line.
std::size_t headerColumns(const std::string& header);

}  // namespace fit
