// The configuration's source sections: [source] with its [[source.smga]],
// [simulate], and which names of [vary] denote values of the source model.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "fit/config.hpp"
#include "fit/toml_reader.hpp"

namespace fit {

// [source]: the values the SMGAs share and the SMGAs in order; nothing
// when the node is absent.
std::optional<source::Source> readSource(const Reader& r, const toml::node* node);

// [simulate]: files of other source models (relative to `folder`), the
// number of models drawn from [vary] and their seed.
SimulateSettings readSimulate(const Reader& r, const toml::node* node, const std::filesystem::path& folder);

// The axis that the [vary] key `name` (at `key`) denotes when the source
// model is given: a value of it (smga.K.NAME, vs, vr, ird, ipfm, imdl), or
// nothing for a parameter-file parameter of lines 6 to 8. Names of lines 9
// to 11 that the SMGAs replace, and smga.K.NAME without [source], are
// refused at the key.
std::optional<source::Field> sourceAxis(const Reader& r, const toml::key& key, const std::string& name,
                                        const std::optional<source::Source>& model);

// Refuses (at the axis's place) a value of a source-model axis that no model
// may hold.
void checkSourceValue(const Reader& r, const toml::source_region& where, const source::Source& model,
                      const source::Field& field, double value, const std::string& text);

}  // namespace fit
