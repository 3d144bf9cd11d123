// What both benchmarks need: the worst-case record pair and the name of the
// machine the figures come from.
#pragma once

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace bench {

// A KIBTRACE record of 15000 integer samples at 100 per second: decaying
// white noise with a short onset, scaled by 0.001 to gal. `program` names
// the benchmark in the record's header.
inline void writeWorstCaseRecord(const std::string& path, unsigned seed, float decay,
                                 const std::string& program) {
  std::ofstream f(path);
  std::string name = program;
  name.resize(20, ' ');
  f << "KIBTRACE FORMAT\nEW \n2000/01/01 00:00\nBNCH BENCH SITE\n       100\n     15000\n"
       "BENCH WORST CASE        \nXX.BNC HNE 090deg       \n     0.000\nF10.6     gal  \n"
       "  0.001000\n10I8      \nXX        BNC       HNE       \n"
    << name << "\ndt=0.01000 \n         1\nSYNTHETIC record for timing; not a real record\n";
  std::mt19937 rng(seed);
  std::normal_distribution<float> g(0.0f, 1.0f);
  char field[16];
  for (int n = 0; n < 15000; ++n) {
    const float t = 0.01f * n;
    const float v = 3000.0f * g(rng) * std::exp(-t / decay) * (1.0f - std::exp(-t / 0.5f));
    std::snprintf(field, sizeof field, "%8d", static_cast<int>(std::lround(v)));
    f << field << ((n % 10 == 9) ? "\n" : "");
  }
}

// The processor's name as the system reports it, so that figures can be
// quoted with the machine they came from.
inline std::string processorName() {
  std::ifstream f("/proc/cpuinfo");
  for (std::string line; std::getline(f, line);)
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown processor";
}

}  // namespace bench
