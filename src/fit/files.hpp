// Files that a search leaves, written whole or not at all, and the digests
// that tie a search's outputs to the files it read.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace fit {

// Writes `bytes` to `file` whole or not at all: into FILE.tmp beside it,
// synced, then renamed over FILE. Throws std::runtime_error naming the file.
void writeWhole(const std::filesystem::path& file, std::string_view bytes);

// The name a file or folder is built under before it is renamed into the
// place of `final` (FINAL.tmp beside it).
std::filesystem::path buildingName(const std::filesystem::path& final);

// Puts the finished folder `built` in the place of `target`, replacing
// whatever `target` held; a reader sees the old folder or the new one.
void replaceFolder(const std::filesystem::path& built, const std::filesystem::path& target);

// The SHA-256 of a file's bytes as 64 lowercase hexadecimal digits. Throws
// std::runtime_error naming the file when it cannot be read.
std::string fileSha256(const std::filesystem::path& file);

// The SHA-256 of `bytes`, as fileSha256.
std::string sha256(std::string_view bytes);

}  // namespace fit
