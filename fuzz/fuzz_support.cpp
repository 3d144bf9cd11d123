#include "fuzz_support.hpp"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace egffuzz {

ScratchFile::ScratchFile() {
  std::string pattern = (std::filesystem::temp_directory_path() / "egf_fuzz_XXXXXX").string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) std::abort();
  ::close(fd);
  path_ = pattern;
}

ScratchFile::~ScratchFile() { std::remove(path_.c_str()); }

void ScratchFile::write(std::string_view text) {
  std::FILE* f = std::fopen(path_.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), f) != text.size()) std::abort();
  std::fclose(f);
}

}  // namespace egffuzz
