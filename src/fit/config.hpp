// The configuration of a search, read from a TOML file: the records, the
// varied parameters, the misfit and the search method.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/spectral.hpp"
#include "fit/space.hpp"
#include "source/source.hpp"
#include "study/study.hpp"

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
  bool predict = false;          // no target record: the motion is predicted, not fitted
  int line = 0, column = 0;      // where its params key stands
};

enum class ShiftMode { Common, None };

struct MisfitWeights {
  double acc = 0.0, vel = 1.0, dis = 1.0, envelope = 0.0;
  ShiftMode shift = ShiftMode::Common;
  double maxShift = 1.0;  // seconds
  engine::SpectralSettings spectral;  // the psa and fourier terms
};

enum class Method {
  Grid,    // every combination, in model order
  Crs,     // NLopt GN_CRS2_LM: controlled random search with local mutation
  Direct,  // NLopt GN_DIRECT_L: locally biased dividing rectangles
};

// The misfit maps: each a pair of varied parameters (none given: one map of
// the two whose least misfit varies most), coloured up to `clip` times the
// least misfit.
struct MapSettings {
  std::vector<std::array<std::string, 2>> axes;
  double clip = 3;
};

struct SearchSettings {
  Method method = Method::Grid;
  std::uint64_t seed = 1;
  std::uint64_t maxModels = 2000;  // global methods only
};

// What `egffit simulate` runs besides the configuration's own source model:
// the source models of other files (their [source] sections) and models
// drawn from the ranges of [vary], for the spread of the predictions.
struct SimulateSettings {
  std::vector<std::filesystem::path> models;
  std::vector<std::pair<int, int>> modelPlaces;  // line and column of each
  std::uint64_t draws = 0;
  std::uint64_t seed = 1;
};

struct Config {
  std::filesystem::path file;  // the configuration file as given
  std::filesystem::path out;   // output folder, resolved against the working folder
  std::vector<RecordEntry> records;
  ModelSpace space;
  MisfitWeights misfit;
  SearchSettings search;
  MapSettings map;
  // The source model of [source]: the SMGAs that replace the parameter
  // files' source lines 9 to 11; absent, the files' own model.
  std::optional<source::Source> source;
  SimulateSettings simulate;
  // The magnitudes of the target and element events, when the study gives
  // them: the model's moment ratio is compared with theirs.
  std::optional<double> targetMagnitude, elementMagnitude;
  // The study's events, stations and records, when the configuration gives
  // them; egffit sets up their parameter files and adds them to `records`.
  std::optional<study::Study> study;
};

// What the configuration is read for: a search needs [vary] and records
// with targets; a simulation needs [source]; a study's setup neither.
enum class Purpose { Search, Simulate, Setup };

// The largest grid a search accepts.
inline constexpr std::uint64_t kMaxGridModels = 100000000;

// Reads and checks a configuration; ConfigError on any fault. The study's
// record files resolve against `recordFolder` when it is given, else
// against the configuration's record_folder (relative to its folder), else
// against its folder.
Config readConfig(const std::filesystem::path& file, Purpose purpose = Purpose::Search,
                  const std::filesystem::path& recordFolder = {});

// The [source] section of a TOML file (for [simulate] models); ConfigError
// when it has none or it cannot be read.
source::Source readSourceFile(const std::filesystem::path& file);

// The name of a method as the configuration spells it.
const char* methodName(Method m);

}  // namespace fit
