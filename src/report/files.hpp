// Folder creation and whole-file writes for the report writers.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace report {

// Creates `dir` (and its parents) when missing; throws WriteError naming it
// when that fails or it is not a folder.
void makeFolder(const std::filesystem::path& dir);

// Writes `bytes` to dir/name; throws WriteError naming the folder.
void writeFile(const std::filesystem::path& dir, const std::string& name, std::string_view bytes);

}  // namespace report
