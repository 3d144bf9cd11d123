// The study's sections of the configuration: [target], [element],
// [processing] and [[station]] with its [[station.record]], read into a
// study::Study. Paths resolve against `folder` (the configuration's folder,
// or the record_folder the configuration or the command line names).
#pragma once

#include <filesystem>
#include <optional>

#include "fit/toml_reader.hpp"
#include "study/study.hpp"

namespace fit {

// The study, or nothing when the configuration has none of its sections.
std::optional<study::Study> readStudy(const Reader& r, const toml::table& root,
                                      const std::filesystem::path& recordFolder);

}  // namespace fit
