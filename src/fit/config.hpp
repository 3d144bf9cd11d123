// The configuration of a search, read from a TOML file: the records, the
// varied parameters, the misfit and the search method.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "fit/space.hpp"

namespace fit {

// A configuration that cannot be used. The message is one line of the form
// "FILE:LINE:COLUMN: problem" (or "FILE: problem" when no place applies).
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RecordEntry {
  std::filesystem::path params;  // the parameter file, resolved against the configuration's folder
  double weight = 1.0;
  int line = 0, column = 0;      // where its params key stands
};

enum class ShiftMode { Common, None };

struct MisfitWeights {
  double acc = 0.0, vel = 1.0, dis = 1.0, envelope = 0.0;
  ShiftMode shift = ShiftMode::Common;
  double maxShift = 1.0;  // seconds
};

enum class Method {
  Grid,    // every combination, in model order
  Crs,     // NLopt GN_CRS2_LM: controlled random search with local mutation
  Direct,  // NLopt GN_DIRECT_L: locally biased dividing rectangles
};

struct SearchSettings {
  Method method = Method::Grid;
  std::uint64_t seed = 1;
  std::uint64_t maxModels = 2000;  // global methods only
};

struct Config {
  std::filesystem::path file;  // the configuration file as given
  std::filesystem::path out;   // output folder, resolved against the working folder
  std::vector<RecordEntry> records;
  ModelSpace space;
  MisfitWeights misfit;
  SearchSettings search;
};

// The largest grid a search accepts.
inline constexpr std::uint64_t kMaxGridModels = 100000000;

// Reads and checks a configuration; ConfigError on any fault.
Config readConfig(const std::filesystem::path& file);

// The name of a method as the configuration spells it.
const char* methodName(Method m);

}  // namespace fit
