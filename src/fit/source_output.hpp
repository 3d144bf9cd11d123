// What egffit writes about a source model: its facts as text and JSON, the
// model as a [source] section, and the map view of it with the stations.
#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fit/map.hpp"
#include "fit/problem.hpp"
#include "paramfile/paramfile.hpp"
#include "source/source.hpp"

namespace fit {

// The facts of every SMGA of `s` on the fault of `base`.
std::vector<source::AreaFacts> sourceFacts(const source::Source& s, const model::Params& base);

// One line per SMGA (L x W, area, depth range of its top and bottom edges,
// rise time, C, C N^3, start and onset), then the total moment ratio and
// its comparison with the magnitudes' when the configuration gives them.
std::vector<std::string> factLines(const Config& c, const std::vector<source::AreaFacts>& facts);
nlohmann::ordered_json factsJson(const Config& c, const std::vector<source::AreaFacts>& facts);

// The source model as a [source] section that readSourceFile reads back to
// the same values.
std::string sourceToml(const source::Source& s, const std::string& comment);

// The map view of `facts` on the fault of the first record, with every
// record's station (fitted and predicted).
FaultMap problemFaultMap(const Problem& problem, const std::vector<source::AreaFacts>& facts,
                         const std::string& title);

// The parameter-file values of an SMGA's parameter set, to be written into
// a file: lines 9 to 11 (but tr0, ntt and ns, which stay the file's) and
// imdl.
paramfile::Changes smgaValues(const model::Params& area);

// egfsim's run of a one-SMGA model's parameter file lacks the SMGA's onset:
// a note of how many samples earlier its synthetic lies than the model's at
// record r (and that best/ holds the exact run), or "" when it lies where
// the model's does.
std::string onsetShiftNote(const PreparedRecord& r, const model::Params& base, const source::Source& s);

// The source model of the configuration with a model's varied values, and a
// record's parameter set with them.
source::Source modelSource(const Problem& problem, const std::vector<double>& values);
model::Params modelParams(const Problem& problem, const PreparedRecord& r, const std::vector<double>& values);

}  // namespace fit
