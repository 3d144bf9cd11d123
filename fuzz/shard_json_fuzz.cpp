// Fuzz target: the shard record egffit's resume and merge read (shard.json).
//
// Input: the file's bytes. Reading must give a record with 1 <= K <= N <=
// kMaxShards and SHA-256 digests of 64 characters, or refuse it with one
// line naming the file; nothing else may escape and nothing may be written.
#include <filesystem>
#include <fstream>

#include "fit/shard.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const egffuzz::ScratchFolder folder;
  std::ofstream(folder.path / "shard.json", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  try {
    const fit::ShardState s = fit::readShardState(folder.path);
    if (s.shard.k < 1 || s.shard.k > s.shard.n || s.shard.n > fit::kMaxShards) std::abort();
    for (const fit::InputDigest& d : s.inputs)
      if (d.sha256.size() != 64) std::abort();
  } catch (const fit::ConfigError& e) {
    const std::string message = e.what();
    if (message.rfind((folder.path / "shard.json").string() + ": ", 0) != 0 || message.find('\n') != std::string::npos)
      std::abort();
  }
  return 0;
}
