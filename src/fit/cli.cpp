// egffit as a program: its command line, the search or the merge of shards,
// and its one error policy.
#include "fit/cli.hpp"

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
#include "fit/setup.hpp"
#include "fit/simulate.hpp"
#include "fit/table.hpp"
#include "parallel/parallel.hpp"
#include "textio/stop.hpp"

#ifndef EGF_VERSION
#define EGF_VERSION "unknown"
#endif

namespace fit {
namespace {

namespace fs = std::filesystem;

constexpr int kExitFault = textio::kExitIoError, kExitUsage = textio::kExitRejected, kExitInterrupted = 130;

const char* kUsage =
    "usage: egffit CONFIG.toml [--out DIR] [--threads N] [--shard K/N] [--record-folder DIR] | egffit setup STUDY.toml "
    "[--out DIR] [--record-folder DIR] | egffit simulate CONFIG.toml [--out DIR] [--threads N] [--record-folder DIR] "
    "| egffit merge DIR SHARD_DIR...";

const char* kHelp =
    "egffit: finds the source model (subfault count, stress-drop ratio, rupture velocity,\n"
    "rise time, starting point ...) that fits the records of several stations and\n"
    "components at once, by the empirical Green's function method of egfsim.\n"
    "\n"
    "  egffit CONFIG.toml [--out DIR] [--threads N] [--shard K/N] [--record-folder DIR]\n"
    "  egffit setup STUDY.toml [--out DIR] [--record-folder DIR]\n"
    "  egffit simulate CONFIG.toml [--out DIR] [--threads N] [--record-folder DIR]\n"
    "  egffit merge DIR SHARD_DIR...\n"
    "\n"
    "CONFIG.toml names one egfsim parameter file per record ([[record]]), the\n"
    "parameters to vary ([vary]), the misfit ([misfit]) and the method ([search]);\n"
    "[source] gives the source model as strong-motion generation areas in km and s\n"
    "(varied as smga.K.NAME). egffit simulate runs that model exactly at every\n"
    "record (default folder OUT/simulate): series files and egfsim's comparison\n"
    "report, predictions at records with predict = true, and with [simulate]\n"
    "the spread of the predictions over several models.\n"
    "A study names instead of parameter files the two events ([target],\n"
    "[element]), the stations and their records ([[station]], [[station.record]])\n"
    "and the processing ([processing]); egffit setup writes each record's egfsim\n"
    "parameter file with its distances, azimuths, depths and component computed\n"
    "from coordinates and its windows aligned on the predicted S arrival (default\n"
    "folder: OUT/setup, with setup.txt, every computed value and its origin);\n"
    "egffit STUDY.toml sets up the same files in OUT/setup, then searches.\n"
    "Options:\n"
    "  --out DIR      output folder (default: the configuration's out, or fit-out)\n"
    "  --threads N    workers (default: EGF_THREADS, or every core)\n"
    "  --record-folder DIR  the folder the study's record paths are relative to\n"
    "                 (default: the study's record_folder, or its own folder)\n"
    "  --shard K/N    evaluate only the K-th of N interleaved slices of the models\n"
    "                 (a global method: an independent start with seed + K);\n"
    "                 join the slices' folders with egffit merge\n"
    "  --help, --version\n"
    "\n"
    "Writes DIR/models.csv (one row per model, as it goes), DIR/best/ (the best\n"
    "model's parameter files and egfsim's run of each), DIR/summary.txt,\n"
    "DIR/summary.json and DIR/misfit_map.pdf/.png.\n"
    "Exit status: 0 done; 1 a file could not be read or written; 2 a bad\n"
    "configuration, parameter file or record (one line on standard error,\n"
    "nothing written); 3 an internal error of the program (one line starting\n"
    "\"internal error:\"; please report it); 130 interrupted (models.csv keeps\n"
    "every finished model).\n"
    "The manual (docs/manual.md, chapter \"Fitting a source model\") has worked examples.\n";

void onInterrupt(int) { stopRequested.store(true); }

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
  throw ConfigError("egffit: " + problem + " (" + kUsage + ")");
}

// A study's records, set up in OUT/setup, join the configuration's.
void addStudyRecords(Config& c, const fs::path& out, std::ostream& err) {
  if (!c.study) return;
  const std::vector<RecordEntry> set = setUpStudy(c, out / "setup", err, false);
  c.records.insert(c.records.end(), set.begin(), set.end());
}

struct ShardFile {
  std::string configuration;
  std::string recordFolder;
  Shard shard;
  std::uint64_t models = 0;
  double seconds = 0;
  int threads = 1;
  bool complete = false;
};

void writeShardFile(const fs::path& dir, const ShardFile& s) {
  nlohmann::ordered_json j;
  j["configuration"] = s.configuration;
  if (!s.recordFolder.empty()) j["record_folder"] = s.recordFolder;
  j["shard"] = std::to_string(s.shard.k) + "/" + std::to_string(s.shard.n);
  j["models"] = s.models;
  j["complete"] = s.complete;
  j["seconds"] = s.seconds;
  j["threads"] = s.threads;
  std::ofstream(dir / "shard.json") << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

ShardFile readShardFile(const fs::path& dir) {
  std::ifstream in(dir / "shard.json");
  if (!in) throw ConfigError((dir / "shard.json").string() + ": missing: not the folder of an egffit --shard run");
  try {
    const auto j = nlohmann::json::parse(in);
    ShardFile s;
    s.configuration = j.at("configuration").get<std::string>();
    s.recordFolder = j.value("record_folder", std::string());
    const std::string shard = j.at("shard").get<std::string>();
    const auto slash = shard.find('/');
    if (slash == std::string::npos || !parseCount(shard.substr(0, slash), s.shard.k) ||
        !parseCount(shard.substr(slash + 1), s.shard.n))
      throw ConfigError((dir / "shard.json").string() + ": bad shard \"" + shard + "\"");
    s.models = j.at("models").get<std::uint64_t>();
    s.complete = j.at("complete").get<bool>();
    s.seconds = j.at("seconds").get<double>();
    s.threads = j.at("threads").get<int>();
    return s;
  } catch (const nlohmann::json::exception& e) {
    throw ConfigError((dir / "shard.json").string() + ": " + e.what());
  }
}

int merge(const std::vector<std::string>& args, std::ostream& err) {
  if (args.size() < 2) usage("merge needs the output folder and at least one shard folder");
  const fs::path out = args[0];
  std::vector<ShardFile> shards;
  for (std::size_t i = 1; i < args.size(); ++i) shards.push_back(readShardFile(args[i]));
  const ShardFile& first = shards.front();
  std::vector<int> seen(first.shard.n + 1, 0);
  for (std::size_t i = 0; i < shards.size(); ++i) {
    const ShardFile& s = shards[i];
    if (s.configuration != first.configuration || s.shard.n != first.shard.n)
      throw ConfigError(args[i + 1] + ": shard " + std::to_string(s.shard.k) + "/" + std::to_string(s.shard.n) +
                             " of " + s.configuration + " does not belong with " + args[1]);
    if (!s.complete) throw ConfigError(args[i + 1] + ": this shard did not finish; run it again");
    if (seen[s.shard.k]++) throw ConfigError(args[i + 1] + ": shard " + std::to_string(s.shard.k) + " given twice");
  }
  for (std::uint64_t k = 1; k <= first.shard.n; ++k)
    if (!seen[k]) throw ConfigError("shard " + std::to_string(k) + "/" + std::to_string(first.shard.n) + " is missing");

  Config config = readConfig(first.configuration, Purpose::Search, first.recordFolder);
  addStudyRecords(config, out, err);
  const Problem problem = loadProblem(config);
  const std::string header = tableHeader(problem);
  const std::size_t columns = headerColumns(header);
  std::vector<std::pair<std::uint64_t, std::string>> rows;
  double seconds = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const fs::path csv = fs::path(args[i]) / "models.csv";
    std::ifstream in(csv);
    std::string line;
    if (!std::getline(in, line) || line != header)
      throw ConfigError(csv.string() + ": its header is not this configuration's");
    TableRow row;
    while (std::getline(in, line)) {
      if (!parseRow(line, columns, row)) throw ConfigError(csv.string() + ": a line that is not a row: " + line);
      rows.emplace_back(row.model, line);
    }
    seconds += shards[i - 1].seconds;
  }
  std::sort(rows.begin(), rows.end());
  for (std::size_t i = 1; i < rows.size(); ++i)
    if (rows[i].first == rows[i - 1].first)
      throw ConfigError("model " + std::to_string(rows[i].first) + " appears in two shards");
  fs::create_directories(out);
  {
    std::ofstream csv(out / "models.csv", std::ios::trunc);
    csv << header << '\n';
    for (const auto& r : rows) csv << r.second << '\n';
    if (!csv.flush()) throw std::runtime_error("cannot write " + (out / "models.csv").string());
  }
  RunInfo info{first.shard.n, seconds, first.threads};
  return finishSearch(problem, out, info, egfsimBeside(), err) ? 0 : kExitFault;
}

// egffit setup: the study's parameter files and their report, nothing else.
int setup(const std::vector<std::string>& args, std::ostream& out) {
  std::string config, outArg, recordFolder;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) usage(a + " needs a value");
      return args[++i];
    };
    if (a == "--out") outArg = value();
    else if (a == "--record-folder") recordFolder = value();
    else if (!a.empty() && a[0] == '-') usage("unknown option " + a);
    else if (config.empty()) config = a;
    else usage("one study file only");
  }
  if (config.empty()) usage("setup needs the study file");
  const Config c = readConfig(config, Purpose::Setup, recordFolder);
  if (!c.study) throw ConfigError(config + ": not a study: it names no [[station]] with records to set up");
  setUpStudy(c, outArg.empty() ? c.out / "setup" : fs::path(outArg), out, true);
  return 0;
}

// Options shared by a search and a simulation.
struct Options {
  std::string config, out, recordFolder;
  int threads = parallel::defaultThreads();
  Shard shard;
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
    } else if (a == "--record-folder") {
      o.recordFolder = value();
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

int simulate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const Options o = parseOptions(args, false);
  Config c = readConfig(o.config, Purpose::Simulate, o.recordFolder);
  addStudyRecords(c, c.out, err);
  const Problem problem = loadProblem(c, false);
  const fs::path folder = o.out.empty() ? problem.config.out / "simulate" : fs::path(o.out);
  runSimulate(problem, folder, o.threads, err);
  std::ifstream summary(folder / "simulate.txt");
  out << summary.rdbuf();
  return 0;
}

int search(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const Options options = parseOptions(args, true);
  const std::string& config = options.config;
  const std::string& outArg = options.out;
  const int threads = options.threads;
  const Shard shard = options.shard;

  Config c = readConfig(config, Purpose::Search, options.recordFolder);
  const fs::path folder = outArg.empty() ? c.out : fs::path(outArg);
  addStudyRecords(c, folder, err);
  const Problem problem = loadProblem(c);
  fs::create_directories(folder);
  std::signal(SIGINT, onInterrupt);
  ShardFile shardFile{fs::absolute(config).lexically_normal().string(),
                      options.recordFolder.empty() ? "" : fs::absolute(options.recordFolder).lexically_normal().string(),
                      shard, 0, 0, threads, false};
  if (shard.n > 1) writeShardFile(folder, shardFile);
  const SearchOutcome o = runSearch(problem, folder, threads, shard, err, &err == &std::cerr && isatty(2) != 0);
  if (o.interrupted) {
    err << "egffit: interrupted; " << (folder / "models.csv").string() << " keeps the " << o.models
        << " finished models\n";
    return kExitInterrupted;
  }
  if (shard.n > 1) {
    shardFile.models = o.models;
    shardFile.seconds = o.seconds;
    shardFile.complete = true;
    writeShardFile(folder, shardFile);
    out << "egffit: shard " << shard.k << "/" << shard.n << ": " << o.models << " models in "
        << (folder / "models.csv").string() << "; join the shards with egffit merge\n";
    return 0;
  }
  const RunInfo info{1, o.seconds, threads};
  if (!finishSearch(problem, folder, info, egfsimBeside(), err)) return kExitFault;
  std::ifstream summary(folder / "summary.txt");
  out << summary.rdbuf();
  return 0;
}

// The program's own work, reporting its user's errors: one line, status 1
// (a file that could not be read or written) or 2 (a bad configuration).
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
      out << kHelp;
      return 0;
    }
    if (args.size() == 1 && args[0] == "--version") {
      out << "egffit " << EGF_VERSION << "\n";
      return 0;
    }
    const std::string command = args.empty() ? "" : args[0];
    const int status = command == "merge"      ? merge({args.begin() + 1, args.end()}, err)
                       : command == "setup"    ? setup({args.begin() + 1, args.end()}, out)
                       : command == "simulate" ? simulate({args.begin() + 1, args.end()}, out, err)
                                               : search(args, out, err);
    releaseDrawingCaches();
    return status;
  } catch (const ConfigError& e) {
    err << e.what() << "\n";
    return kExitUsage;
  } catch (const textio::IoError& e) {
    const std::string report = e.report();
    err << "egffit: " << report.substr(0, report.find('\n'))
        << (e.location.empty() ? "" : " (" + e.location + ")") << "\n";
    return kExitFault;
  } catch (const std::runtime_error& e) {
    err << "egffit: " << e.what() << "\n";
    return kExitFault;
  }
}

}  // namespace

int egffit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return textio::guarded("egffit", out, err, [&] { return run(args, out, err); });
}

}  // namespace fit
