// egffit simulate: the exact run of the configuration's source model at
// every record, and the spread of the predictions over a list of models.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <vector>

#include "fit/problem.hpp"

namespace fit {

// The models of the spread: the configuration's own, those of the files of
// [simulate] models, and `draws` drawn from the ranges of [vary] (a value
// list uniformly by index, a range uniformly between its ends; a drawn model
// that source::refusal refuses is drawn again, up to 20 times `draws` in
// all). Each model is its varied values (in [vary]'s order) over a source.
struct EnsembleModel {
  std::string origin;  // "configuration", the file, or "draw K"
  source::Source source;
  std::vector<double> values;  // the [vary] axes' values (empty: the parameter files' own)
};
std::vector<EnsembleModel> ensembleModels(const Problem& problem, std::uint64_t& refusedDraws);

// Runs the configuration's source model at every record into `out` and, for
// more than one model, the spread of the predictions; writes simulate.txt,
// simulate.json, source.toml and the fault map. Refusals of the given model
// are ConfigError; `log` receives progress and notes.
void runSimulate(const Problem& problem, const std::filesystem::path& out, int threads, std::ostream& log);

}  // namespace fit
