// egffit as a program: its command line, the search or the merge of shards,
// stopping on a signal, and its one error policy.
#include "fit/cli.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "fit/config.hpp"
#include "fit/files.hpp"
#include "fit/finish.hpp"
#include "fit/map.hpp"
#include "fit/merge.hpp"
#include "fit/problem.hpp"
#include "fit/resume.hpp"
#include "fit/search.hpp"
#include "fit/setup.hpp"
#include "fit/shard.hpp"
#include "fit/simulate.hpp"
#include "parallel/parallel.hpp"
#include "textio/stop.hpp"

#ifndef EGF_VERSION
#define EGF_VERSION "unknown"
#endif

namespace fit {
namespace {

namespace fs = std::filesystem;

constexpr int kExitFault = textio::kExitIoError, kExitUsage = textio::kExitRejected;

const char* kUsage =
    "usage: egffit CONFIG.toml [--out DIR] [--threads N] [--shard K/N] [--resume] [--record-folder DIR] | egffit "
    "setup STUDY.toml [--out DIR] [--record-folder DIR] | egffit simulate CONFIG.toml [--out DIR] [--threads N] "
    "[--record-folder DIR] | egffit merge DIR SHARD_DIR...";

const char* kHelp =
    "egffit: finds the source model (subfault count, stress-drop ratio, rupture velocity,\n"
    "rise time, starting point ...) that fits the records of several stations and\n"
    "components at once, by the empirical Green's function method of egfsim.\n"
    "\n"
    "  egffit CONFIG.toml [--out DIR] [--threads N] [--shard K/N] [--resume] [--record-folder DIR]\n"
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
    "  --resume       go on with the search in DIR from the rows it kept (a folder\n"
    "                 that holds a search is refused without it)\n"
    "  --help, --version\n"
    "\n"
    "Writes DIR/models.csv (one row per model, as it goes), DIR/shard.json (the\n"
    "digests of the files read), DIR/best/ (the best model's parameter files and\n"
    "egfsim's run of each), DIR/summary.txt, DIR/summary.json and\n"
    "DIR/misfit_map.pdf/.png.\n"
    "Exit status: 0 done; 1 a file could not be read or written; 2 a bad\n"
    "configuration, parameter file, record or folder (one line on standard\n"
    "error, nothing written); 3 an internal error of the program (one line\n"
    "starting \"internal error:\"; please report it); 130 stopped by SIGINT, 143\n"
    "by SIGTERM (models.csv keeps every finished model; --resume goes on).\n"
    "The manual (docs/manual.md, chapter \"Fitting a source model\") has worked examples.\n";

const std::string kProgram = std::string("egffit ") + EGF_VERSION;

// The signal that asked the search to stop (SIGINT or SIGTERM), or 0.
std::atomic<int> stopSignal{0};

void onStopSignal(int signal) {
  stopSignal.store(signal == SIGTERM ? SIGTERM : SIGINT);
  stopRequested.store(true);
}

// SIGINT (Ctrl-C) and SIGTERM (a batch system's time limit or preemption)
// stop the search between models; every finished row is kept. Caught from
// the start, so that a signal while the records are read stops the search
// before its first model.
void catchStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

const char* signalName(int signal) { return signal == SIGTERM ? "SIGTERM" : "SIGINT"; }

// Once every row is written a signal ends the program at once: the files
// still to come are written whole or not at all, and --resume makes them.
void defaultStopSignals() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

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

int merge(const std::vector<std::string>& args, std::ostream& err) {
  if (args.size() < 2) usage("merge needs the output folder and at least one shard folder");
  const Merged m = mergeShards(args[0], {args.begin() + 1, args.end()}, kProgram, err);
  return finishSearch(m.problem, args[0], m.info, egfsimBeside(), err) ? 0 : kExitFault;
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

// Options of a search; a simulation takes --out, --threads and --record-folder.
struct Options {
  std::string config, out, recordFolder;
  int threads = parallel::defaultThreads();
  Shard shard;
  bool resume = false;
};

Options parseOptions(const std::vector<std::string>& args, bool search) {
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
    } else if (a == "--shard" && search) {
      const std::string& s = value();
      if (!parseShard(s, o.shard))
        usage("--shard needs K/N with 1 <= K <= N <= " + std::to_string(kMaxShards) + ", not \"" + s + "\"");
    } else if (a == "--record-folder") {
      o.recordFolder = value();
    } else if (a == "--resume" && search) {
      o.resume = true;
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

// The command that goes on with an interrupted search.
std::string resumeCommand(const Options& o, const fs::path& out) {
  return "egffit " + o.config + " --out " + out.string() +
         (o.shard.n > 1 ? " --shard " + shardText(o.shard) : std::string()) +
         (o.recordFolder.empty() ? std::string() : " --record-folder " + o.recordFolder) + " --resume";
}

int simulate(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const Options o = parseOptions(args, false);
  Config c = readConfig(o.config, Purpose::Simulate, o.recordFolder);
  const fs::path folder = o.out.empty() ? c.out / "simulate" : fs::path(o.out);
  addStudyRecords(c, folder, err);
  const Problem problem = loadProblem(c, false);
  runSimulate(problem, folder, o.threads, err);
  std::ifstream summary(folder / "simulate.txt");
  out << summary.rdbuf();
  return 0;
}

int search(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const Options opt = parseOptions(args, true);
  catchStopSignals();
  Config c = readConfig(opt.config, Purpose::Search, opt.recordFolder);
  const fs::path folder = opt.out.empty() ? c.out : fs::path(opt.out);
  if (!opt.resume) {
    if (const std::string held = earlierSearchFile(folder); !held.empty())
      throw ConfigError(folder.string() + ": holds a search already (" + held +
                        "): continue it with --resume, or give another --out");
  }
  addStudyRecords(c, folder, err);
  const Problem problem = loadProblem(c);
  if (stopRequested.load()) {
    err << "egffit: stopped by " << signalName(stopSignal.load()) << " before the search began; nothing written\n";
    return 128 + stopSignal.load();
  }
  ShardState state{fs::absolute(opt.config).lexically_normal().string(), opt.shard, kProgram, inputDigests(problem),
                   0, false, "", 0, opt.threads,
                   opt.recordFolder.empty() ? "" : fs::absolute(opt.recordFolder).lexically_normal().string()};
  Resumed resumed;
  if (opt.resume) resumed = resumeSearch(problem, folder, opt.shard, kProgram, state.inputs);
  fs::create_directories(folder);
  state.models = resumed.kept.rows;
  state.seconds = resumed.seconds;
  writeShardState(folder, state);

  if (resumed.kept.rows > 0)
    err << "egffit: going on after the " << resumed.kept.rows << " models of " << (folder / "models.csv").string()
        << "\n";
  const SearchOutcome o =
      runSearch(problem, folder, opt.threads, opt.shard, err, &err == &std::cerr && isatty(2) != 0, resumed.kept);
  state.models = o.models;
  state.seconds += o.seconds;
  if (o.interrupted) {
    writeShardState(folder, state);
    const int signal = stopSignal.load();
    err << "egffit: stopped by " << signalName(signal) << "; "
        << (folder / "models.csv").string() << " keeps the " << o.models
        << " finished models; go on with: " << resumeCommand(opt, folder) << "\n";
    return 128 + signal;
  }
  defaultStopSignals();
  state.complete = true;
  state.modelsSha256 = fileSha256(folder / "models.csv");
  writeShardState(folder, state);
  if (opt.shard.n > 1) {
    out << "egffit: shard " << shardText(opt.shard) << ": " << o.models << " models in "
        << (folder / "models.csv").string() << "; join the shards with egffit merge\n";
    return 0;
  }
  const RunInfo info{1, state.seconds, opt.threads};
  if (!finishSearch(problem, folder, info, egfsimBeside(), err)) return kExitFault;
  std::ifstream summary(folder / "summary.txt");
  out << summary.rdbuf();
  return 0;
}

// The program's own work, reporting its user's errors: one line, status 1
// (a file that could not be read or written) or 2 (a bad command line,
// configuration, parameter file, record or folder).
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
