// The model space of a search: the source parameters that vary, the values
// each may take, and the numbering of the grid's models.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/params.hpp"
#include "paramfile/paramfile.hpp"
#include "source/source.hpp"

namespace fit {

// How a parameter's value is written and stored (never a text here).
using Kind = paramfile::Type;

// A numeric source parameter of parameter-file lines 6 to 11 (or N, which
// sets nx, nw and nt together), or a value of the source model of [source].
struct SourceParameter {
  std::string name;
  int line;  // 0 for N and the source model's values
  Kind kind;
};

// The parameter of that name that a search may vary, or nothing. It may
// when it changes the synthetic the search computes: a numeric value of
// lines 6 to 11 that the parameter file's table marks as shaping the
// synthetic (preparation, source model or summation), except ns, the
// synthetic's length, which the search fixes when it prepares a record.
// And N.
std::optional<SourceParameter> findParameter(std::string_view name);

// Why the value of that name of lines 6 to 11 cannot vary, as one sentence
// (for example "'ntt' cannot vary: it does not change the synthetic
// (echoed only: the run derives its own from nt, tra and the sample
// interval); take it out of [vary]"); "" when it can or is no such value.
std::string whyNotVaried(std::string_view name);

// The names a search may vary, in the parameter file's order, N last.
std::vector<std::string> variedNames();

// True for the values that only the radiation correction reads, which
// ipfm 0 (and below) turns off: the target's rake and the element's
// strike, dip and rake (the table's roles say "(ipfm 1 or 2)").
bool radiationOnly(std::string_view name);

// Sets one parameter into a parameter set as the parameter-file reader
// would (paramfile::set; N sets its three counts).
void setParameter(model::Params& p, const SourceParameter& which, double value);

// Shortest decimal text that the reader takes as the float nearest `value`;
// integers without a point.
using paramfile::valueText;

// The values of one varied parameter, in the order they are tried.
struct Axis {
  SourceParameter parameter;
  std::vector<double> values;  // each already as valueText reads it back
  bool continuous = false;     // a real given by from/to only (global methods)
  double lo = 0, hi = 0;       // bounds of a continuous axis
  int line = 0, column = 0;    // where the configuration names it
  std::optional<source::Field> field{};  // a value of the source model rather than of the files
};

// The varied parameters in the order of the configuration. Grid model m
// (counted from 0) takes value index (m / stride_k) % size_k on axis k, the
// first axis varying slowest.
struct ModelSpace {
  std::vector<Axis> axes;

  // Number of grid models (saturates at UINT64_MAX).
  std::uint64_t gridSize() const;
  // The values of grid model m.
  std::vector<double> gridModel(std::uint64_t m) const;
  // Sets the values of a model's parameter-file axes into a parameter set.
  void apply(model::Params& p, const std::vector<double>& values) const;
  // Sets the values of a model's source-model axes into a source model.
  void applySource(source::Source& s, const std::vector<double>& values) const;
  // The values as they appear in models.csv.
  std::vector<std::string> texts(const std::vector<double>& values) const;
};

}  // namespace fit
