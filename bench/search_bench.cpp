// Times whole searches: models per second of egffit's search (the
// models.csv it writes, not the egfsim runs of the best model) on 1 and 2
// threads, the median of several runs each, the runs of the two thread
// counts taking turns so that a burst of load hits both. Checks that every
// run wrote the same models.csv.
//
// Usage: search_bench [RUNS] [CONFIG.toml ...]
//   default: 7 runs of examples/example_fit.toml and, when its records are
//   found, examples/ridgecrest_clc.toml.
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fit/config.hpp"
#include "fit/problem.hpp"
#include "fit/search.hpp"

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& p) {
  std::ostringstream s;
  s << std::ifstream(p).rdbuf();
  return s.str();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// CPU seconds of every thread of the process so far: a rate per CPU
// second does not fall when other processes take the cores.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double loadAverage() {
  double load = 0;
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (std::fscanf(f, "%lf", &load) != 1) load = 0;
    std::fclose(f);
  }
  return load;
}

void bench(const fs::path& config, int runs, const fs::path& scratch) {
  fit::Problem problem;
  try {
    problem = fit::loadProblem(fit::readConfig(config));
  } catch (const std::exception& e) {
    std::printf("%s: skipped (%s)\n", config.string().c_str(), e.what());
    return;
  }
  std::ostringstream quiet;
  std::vector<double> rate[2], cpuRate[2];
  std::string first;
  bool same = true;
  std::uint64_t models = 0;
  const double load0 = loadAverage();
  for (int r = 0; r < runs; ++r) {
    for (const int threads : {1, 2}) {
      const fs::path out = scratch / (std::to_string(threads) + "-" + std::to_string(r));
      fs::create_directories(out);
      const double cpu0 = cpuSeconds();
      const fit::SearchOutcome o = fit::runSearch(problem, out, threads, {}, quiet, false);
      rate[threads - 1].push_back(static_cast<double>(o.models) / o.seconds);
      cpuRate[threads - 1].push_back(static_cast<double>(o.models) / (cpuSeconds() - cpu0));
      models = o.models;
      const std::string csv = read(out / "models.csv");
      if (first.empty()) first = csv;
      same = same && csv == first;
      fs::remove_all(out);
    }
  }
  const double one = median(rate[0]), two = median(rate[1]);
  std::printf("%s: %llu models, %s; load average %.1f to %.1f\n", config.filename().c_str(),
              static_cast<unsigned long long>(models),
              fit::methodName(problem.config.search.method), load0, loadAverage());
  std::printf("  1 thread:  %.0f models/s (median of %d; %.0f to %.0f)\n", one, runs,
              *std::min_element(rate[0].begin(), rate[0].end()),
              *std::max_element(rate[0].begin(), rate[0].end()));
  std::printf("  2 threads: %.0f models/s (median of %d; %.0f to %.0f), %.2f times 1 thread\n", two,
              runs, *std::min_element(rate[1].begin(), rate[1].end()),
              *std::max_element(rate[1].begin(), rate[1].end()), two / one);
  std::printf("  per CPU second of all threads: %.0f models (1 thread), %.0f (2 threads)\n", median(cpuRate[0]),
              median(cpuRate[1]));
  std::printf("  models.csv the same in every run: %s\n", same ? "yes" : "NO");
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 7;
  std::vector<fs::path> configs;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (!a.empty() && a.find_first_not_of("0123456789") == std::string::npos)
      runs = std::max(1, std::atoi(a.c_str()));
    else
      configs.emplace_back(a);
  }
  if (configs.empty()) {
    const fs::path examples = fs::path(EGF_SOURCE_DIR) / "examples";
    configs = {examples / "example_fit.toml", examples / "ridgecrest_clc.toml"};
  }
  const fs::path scratch = fs::temp_directory_path() / ("search_bench." + std::to_string(getpid()));
  for (const fs::path& c : configs) bench(c, runs, scratch);
  fs::remove_all(scratch);
  return 0;
}
