// egffit setup: a study's parameter files written with their geometry and
// windows computed, and the report of every computed value.
#pragma once

#include <filesystem>
#include <ostream>
#include <vector>

#include "fit/config.hpp"

namespace fit {

// The parameter set whose lines 9 to 11 (and imdl) the study's files get:
// the configuration's source model. ConfigError when it has none.
model::Params studySource(const Config& c);
// The summation's lagmin of a record's parameter set under the whole source
// model of [source] (all its SMGAs and their onsets).
study::Lagmin studyLagmin(const Config& c);

// Writes one parameter file per record of the study into `folder` (each
// whole or not at all) and the report setup.txt beside them; returns the
// records as egffit's [[record]] entries, in the study's order. ConfigError
// (one line naming the record and the key) when the study cannot be set up.
std::vector<RecordEntry> setUpStudy(const Config& c, const std::filesystem::path& folder, std::ostream& console,
                                    bool echo);

// A study's records, set up in RUN/setup, joined to the configuration's own
// [[record]] entries; nothing when the configuration is not a study.
void addStudyRecords(Config& c, const std::filesystem::path& run, std::ostream& console);

}  // namespace fit
