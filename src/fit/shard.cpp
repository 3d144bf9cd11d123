#include "fit/shard.hpp"

#include <nlohmann/json.hpp>

#include <fstream>

#include "fit/files.hpp"

namespace fit {
namespace {

namespace fs = std::filesystem;

std::string absolutePath(const fs::path& p) { return fs::absolute(p).lexically_normal().string(); }

bool parseCount(const std::string& s, std::uint64_t& v) {
  if (s.empty() || s.size() > 7 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  v = std::stoull(s);
  return v > 0;
}

}  // namespace

std::vector<InputDigest> inputDigests(const Problem& problem) {
  std::vector<fs::path> files{problem.config.file};
  for (const PreparedRecord& r : problem.records) {
    files.push_back(r.paramsFile);
    files.push_back(r.targetFile);
    files.push_back(r.elementFile);
  }
  std::vector<InputDigest> digests;
  for (const fs::path& f : files) digests.push_back({absolutePath(f), fileSha256(f)});
  return digests;
}

std::string changedInput(const std::vector<InputDigest>& recorded, const std::vector<InputDigest>& now) {
  for (std::size_t i = 0; i < recorded.size() && i < now.size(); ++i)
    if (recorded[i].sha256 != now[i].sha256) return now[i].file;
  return recorded.size() != now.size() ? "the list of files read" : "";
}

std::string shardText(const Shard& shard) { return std::to_string(shard.k) + "/" + std::to_string(shard.n); }

bool parseShard(const std::string& text, Shard& shard) {
  const auto slash = text.find('/');
  Shard s;
  if (slash == std::string::npos || !parseCount(text.substr(0, slash), s.k) || !parseCount(text.substr(slash + 1), s.n) ||
      s.k > s.n || s.n > kMaxShards)
    return false;
  shard = s;
  return true;
}

void writeShardState(const fs::path& dir, const ShardState& s) {
  nlohmann::ordered_json j;
  j["configuration"] = s.configuration;
  j["shard"] = shardText(s.shard);
  j["program"] = s.program;
  j["inputs"] = nlohmann::ordered_json::array();
  for (const InputDigest& d : s.inputs) j["inputs"].push_back({{"file", d.file}, {"sha256", d.sha256}});
  j["models"] = s.models;
  j["complete"] = s.complete;
  if (s.complete) j["models_csv_sha256"] = s.modelsSha256;
  j["seconds"] = s.seconds;
  j["threads"] = s.threads;
  if (!s.recordFolder.empty()) j["record_folder"] = s.recordFolder;
  writeWhole(dir / "shard.json", j.dump(2) + "\n");
}

ShardState readShardState(const fs::path& dir) {
  const fs::path file = dir / "shard.json";
  std::ifstream in(file);
  if (!in) throw ConfigError(file.string() + ": missing: " + dir.string() + " is not the folder of an egffit search");
  auto malformed = [&](const std::string& why) {
    return ConfigError(file.string() + ": " + why + ": not a shard record egffit wrote; run the shard again");
  };
  try {
    const auto j = nlohmann::json::parse(in);
    ShardState s;
    s.configuration = j.at("configuration").get<std::string>();
    const std::string shard = j.at("shard").get<std::string>();
    if (!parseShard(shard, s.shard))
      throw malformed("shard \"" + shard + "\" is not K/N with 1 <= K <= N <= " + std::to_string(kMaxShards));
    s.program = j.at("program").get<std::string>();
    for (const auto& d : j.at("inputs")) {
      s.inputs.push_back({d.at("file").get<std::string>(), d.at("sha256").get<std::string>()});
      if (s.inputs.back().sha256.size() != 64) throw malformed("a digest that is not SHA-256");
    }
    s.models = j.at("models").get<std::uint64_t>();
    s.complete = j.at("complete").get<bool>();
    if (s.complete) s.modelsSha256 = j.at("models_csv_sha256").get<std::string>();
    s.seconds = j.at("seconds").get<double>();
    s.threads = j.at("threads").get<int>();
    s.recordFolder = j.value("record_folder", std::string());
    return s;
  } catch (const nlohmann::json::exception& e) {
    throw malformed(e.what());
  }
}

}  // namespace fit
