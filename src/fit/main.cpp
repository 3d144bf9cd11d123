// egffit: finds the source model that fits several stations' records at
// once, by evaluating models in memory through the same stages as egfsim.
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "fit/config.hpp"
#include "fit/finish.hpp"
#include "fit/map.hpp"
#include "fit/problem.hpp"
#include "fit/search.hpp"
#include "fit/simulate.hpp"
#include "fit/table.hpp"
#include "parallel/parallel.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int kExitFault = 1, kExitUsage = 2, kExitInterrupted = 130;

const char* kUsage =
    "usage: egffit CONFIG.toml [--out DIR] [--threads N] [--shard K/N] | egffit simulate CONFIG.toml [--out DIR] "
    "[--threads N] | egffit merge DIR SHARD_DIR...";

const char* kHelp =
    "egffit: finds the source model (subfault count, stress-drop ratio, rupture velocity,\n"
    "rise time, starting point ...) that fits the records of several stations and\n"
    "components at once, by the empirical Green's function method of egfsim.\n"
    "\n"
    "  egffit CONFIG.toml [--out DIR] [--threads N] [--shard K/N]\n"
    "  egffit simulate CONFIG.toml [--out DIR] [--threads N]\n"
    "  egffit merge DIR SHARD_DIR...\n"
    "\n"
    "CONFIG.toml names one egfsim parameter file per record ([[record]]), the\n"
    "parameters to vary ([vary]), the misfit ([misfit]) and the method ([search]);\n"
    "[source] gives the source model as strong-motion generation areas in km and s\n"
    "(varied as smga.K.NAME). egffit simulate runs that model exactly at every\n"
    "record (default folder OUT/simulate): series files and egfsim's comparison\n"
    "report, predictions at records with predict = true, and with [simulate]\n"
    "the spread of the predictions over several models.\n"
    "Options:\n"
    "  --out DIR      output folder (default: the configuration's out, or fit-out)\n"
    "  --threads N    workers (default: EGF_THREADS, or every core)\n"
    "  --shard K/N    evaluate only the K-th of N interleaved slices of the models\n"
    "                 (a global method: an independent start with seed + K);\n"
    "                 join the slices' folders with egffit merge\n"
    "  --help, --version\n"
    "\n"
    "Writes DIR/models.csv (one row per model, as it goes), DIR/best/ (the best\n"
    "model's parameter files and egfsim's run of each), DIR/summary.txt,\n"
    "DIR/summary.json and DIR/misfit_map.pdf/.png.\n"
    "Exit status: 0 done; 1 a file could not be written; 2 a bad configuration,\n"
    "parameter file or record (one line on standard error, nothing written);\n"
    "130 interrupted (models.csv keeps every finished model).\n"
    "The manual (docs/manual.md, chapter \"Fitting a source model\") has worked examples.\n";

void onInterrupt(int) { fit::stopRequested.store(true); }

fs::path egfsimBeside() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return (ec ? fs::path(".") : self.parent_path()) / "egfsim";
}

bool parseCount(const std::string& s, std::uint64_t& v) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) return false;
  v = std::stoull(s);
  return v > 0;
}

[[noreturn]] void usage(const std::string& problem) {
  std::cerr << "egffit: " << problem << " (" << kUsage << ")\n";
  std::exit(kExitUsage);
}

struct ShardFile {
  std::string configuration;
  fit::Shard shard;
  std::uint64_t models = 0;
  double seconds = 0;
  int threads = 1;
  bool complete = false;
};

void writeShardFile(const fs::path& dir, const ShardFile& s) {
  nlohmann::ordered_json j;
  j["configuration"] = s.configuration;
  j["shard"] = std::to_string(s.shard.k) + "/" + std::to_string(s.shard.n);
  j["models"] = s.models;
  j["complete"] = s.complete;
  j["seconds"] = s.seconds;
  j["threads"] = s.threads;
  std::ofstream(dir / "shard.json") << j.dump(2) << "\n";
}

ShardFile readShardFile(const fs::path& dir) {
  std::ifstream in(dir / "shard.json");
  if (!in) throw fit::ConfigError((dir / "shard.json").string() + ": missing: not the folder of an egffit --shard run");
  try {
    const auto j = nlohmann::json::parse(in);
    ShardFile s;
    s.configuration = j.at("configuration").get<std::string>();
    const std::string shard = j.at("shard").get<std::string>();
    const auto slash = shard.find('/');
    if (slash == std::string::npos || !parseCount(shard.substr(0, slash), s.shard.k) ||
        !parseCount(shard.substr(slash + 1), s.shard.n))
      throw fit::ConfigError((dir / "shard.json").string() + ": bad shard \"" + shard + "\"");
    s.models = j.at("models").get<std::uint64_t>();
    s.complete = j.at("complete").get<bool>();
    s.seconds = j.at("seconds").get<double>();
    s.threads = j.at("threads").get<int>();
    return s;
  } catch (const nlohmann::json::exception& e) {
    throw fit::ConfigError((dir / "shard.json").string() + ": " + e.what());
  }
}

int merge(const std::vector<std::string>& args) {
  if (args.size() < 2) usage("merge needs the output folder and at least one shard folder");
  const fs::path out = args[0];
  std::vector<ShardFile> shards;
  for (std::size_t i = 1; i < args.size(); ++i) shards.push_back(readShardFile(args[i]));
  const ShardFile& first = shards.front();
  std::vector<int> seen(first.shard.n + 1, 0);
  for (std::size_t i = 0; i < shards.size(); ++i) {
    const ShardFile& s = shards[i];
    if (s.configuration != first.configuration || s.shard.n != first.shard.n)
      throw fit::ConfigError(args[i + 1] + ": shard " + std::to_string(s.shard.k) + "/" + std::to_string(s.shard.n) +
                             " of " + s.configuration + " does not belong with " + args[1]);
    if (!s.complete) throw fit::ConfigError(args[i + 1] + ": this shard did not finish; run it again");
    if (seen[s.shard.k]++) throw fit::ConfigError(args[i + 1] + ": shard " + std::to_string(s.shard.k) + " given twice");
  }
  for (std::uint64_t k = 1; k <= first.shard.n; ++k)
    if (!seen[k]) throw fit::ConfigError("shard " + std::to_string(k) + "/" + std::to_string(first.shard.n) + " is missing");

  const fit::Problem problem = fit::loadProblem(fit::readConfig(first.configuration));
  const std::string header = fit::tableHeader(problem);
  const std::size_t columns = fit::headerColumns(header);
  std::vector<std::pair<std::uint64_t, std::string>> rows;
  double seconds = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const fs::path csv = fs::path(args[i]) / "models.csv";
    std::ifstream in(csv);
    std::string line;
    if (!std::getline(in, line) || line != header)
      throw fit::ConfigError(csv.string() + ": its header is not this configuration's");
    fit::TableRow row;
    while (std::getline(in, line)) {
      if (!fit::parseRow(line, columns, row)) throw fit::ConfigError(csv.string() + ": a line that is not a row: " + line);
      rows.emplace_back(row.model, line);
    }
    seconds += shards[i - 1].seconds;
  }
  std::sort(rows.begin(), rows.end());
  for (std::size_t i = 1; i < rows.size(); ++i)
    if (rows[i].first == rows[i - 1].first)
      throw fit::ConfigError("model " + std::to_string(rows[i].first) + " appears in two shards");
  fs::create_directories(out);
  {
    std::ofstream csv(out / "models.csv", std::ios::trunc);
    csv << header << '\n';
    for (const auto& r : rows) csv << r.second << '\n';
    if (!csv.flush()) throw std::runtime_error("cannot write " + (out / "models.csv").string());
  }
  fit::RunInfo info{first.shard.n, seconds, first.threads};
  return fit::finishSearch(problem, out, info, egfsimBeside(), std::cerr) ? 0 : kExitFault;
}

// Options shared by a search and a simulation.
struct Options {
  std::string config, out;
  int threads = parallel::defaultThreads();
  fit::Shard shard;
};

Options parseOptions(const std::vector<std::string>& args, bool shards) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) usage(a + " needs a value");
      return args[++i];
    };
    if (a == "--out") {
      o.out = value();
    } else if (a == "--threads") {
      std::uint64_t n = 0;
      if (!parseCount(value(), n) || n > 1024) usage("--threads needs a count from 1 to 1024");
      o.threads = static_cast<int>(n);
    } else if (a == "--shard" && shards) {
      const std::string& s = value();
      const auto slash = s.find('/');
      if (slash == std::string::npos || !parseCount(s.substr(0, slash), o.shard.k) ||
          !parseCount(s.substr(slash + 1), o.shard.n) || o.shard.k > o.shard.n)
        usage("--shard needs K/N with 1 <= K <= N, not \"" + s + "\"");
    } else if (!a.empty() && a[0] == '-') {
      usage("unknown option " + a);
    } else if (o.config.empty()) {
      o.config = a;
    } else {
      usage("one configuration file only");
    }
  }
  if (o.config.empty()) usage("no configuration file");
  return o;
}

int simulateMain(const std::vector<std::string>& args) {
  const Options o = parseOptions(args, false);
  const fit::Problem problem = fit::loadProblem(fit::readConfig(o.config, fit::Purpose::Simulate), false);
  const fs::path out = o.out.empty() ? problem.config.out / "simulate" : fs::path(o.out);
  fit::runSimulate(problem, out, o.threads, std::cerr);
  std::ifstream summary(out / "simulate.txt");
  std::cout << summary.rdbuf();
  return 0;
}

int fitMain(const std::vector<std::string>& args) {
  const Options options = parseOptions(args, true);
  const std::string& config = options.config;
  const std::string& outArg = options.out;
  const int threads = options.threads;
  const fit::Shard shard = options.shard;

  const fit::Problem problem = fit::loadProblem(fit::readConfig(config));
  const fs::path out = outArg.empty() ? problem.config.out : fs::path(outArg);
  fs::create_directories(out);
  std::signal(SIGINT, onInterrupt);
  ShardFile shardFile{fs::absolute(config).lexically_normal().string(), shard, 0, 0, threads, false};
  if (shard.n > 1) writeShardFile(out, shardFile);
  const fit::SearchOutcome o = fit::runSearch(problem, out, threads, shard, std::cerr, isatty(2) != 0);
  if (o.interrupted) {
    std::cerr << "egffit: interrupted; " << (out / "models.csv").string() << " keeps the " << o.models
              << " finished models\n";
    return kExitInterrupted;
  }
  if (shard.n > 1) {
    shardFile.models = o.models;
    shardFile.seconds = o.seconds;
    shardFile.complete = true;
    writeShardFile(out, shardFile);
    std::cout << "egffit: shard " << shard.k << "/" << shard.n << ": " << o.models << " models in "
              << (out / "models.csv").string() << "; join the shards with egffit merge\n";
    return 0;
  }
  const fit::RunInfo info{1, o.seconds, threads};
  if (!fit::finishSearch(problem, out, info, egfsimBeside(), std::cerr)) return kExitFault;
  std::ifstream summary(out / "summary.txt");
  std::cout << summary.rdbuf();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kHelp;
    return 0;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << "egffit " << EGF_VERSION << "\n";
    return 0;
  }
  try {
    const std::string command = args.empty() ? "" : args[0];
    const int status = command == "merge"      ? merge({args.begin() + 1, args.end()})
                       : command == "simulate" ? simulateMain({args.begin() + 1, args.end()})
                                               : fitMain(args);
    fit::releaseDrawingCaches();
    return status;
  } catch (const fit::ConfigError& e) {
    std::cerr << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "egffit: " << e.what() << "\n";
    return kExitFault;
  }
}
