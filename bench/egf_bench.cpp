// Times the summation of element-record copies, the program's dominant
// cost, for the largest grid the program accepts and for a typical one.
//
// Three forms are compared on the same copies and data:
//   scalar   syntAllScalar, a plain loop built without vectorisation
//   synt     one synt call per copy and series (the compiler's own -O3 code)
//   syntAll  the blocked, fused kernel the program uses, once per
//            instruction set this processor offers, on one thread, two
//            and every core when there are more (EGF_THREADS=N sets that
//            count); the set the program dispatches to is marked
// Each form must give bit-identical synthetics; the bench says so. Times are
// wall-clock seconds, best of a few runs for the fast forms; ratios are to
// the plain loop timed in the same run.
//
// Usage: egf_bench [worst|typical]   (default: both; worst alone takes
//        about half a minute)
//        egf_bench --write-run DIR     writes the inputs of a whole
//        worst-case run (30 x 30 subfaults, ntt 500, ns 15000, two records
//        of 15000 samples) into DIR, for profiling the program:
//          cd DIR && perf record -g egfsim < answers.txt > transcript.txt
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "synthesis/synthesis.hpp"

namespace {

using synthesis::Copy;
using Series = std::array<std::vector<float>, 3>;

struct Case {
  const char* name;
  int nx, nw, ntt, ns, nin;
  int repeats;  // timings of the fast forms: best of this many
};

struct Problem {
  Series in;
  std::vector<Copy> copies;
  double copySamples = 0;  // multiply-adds over the three series
};

// Copies laid out as the summation lays them out: per subfault a delay that
// grows with the distance from the starting subfault (rupture and travel
// time), then ntt shifts one sample apart.
Problem build(const Case& c) {
  Problem p;
  std::mt19937 rng(2026);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (auto& s : p.in) {
    s.assign(15000, 0.0f);
    for (int n = 0; n < c.nin; ++n) s[n] = u(rng) * std::exp(-0.0003f * n);
  }
  for (int i = 1; i <= c.nx; ++i) {
    for (int j = 1; j <= c.nw; ++j) {
      const float d = std::hypot(float(i - c.nx / 2), float(j - 1));
      const int lag = static_cast<int>(60.0f * d);
      const float amp = 1.0f / (1.0f + 0.05f * d);
      for (int k = 1; k <= c.ntt; ++k) {
        const int shift = lag + (k - 1);
        p.copies.push_back({shift, amp, 1.0f / float(c.ntt)});
        const int cnt = std::min(c.nin, c.ns - shift);
        if (cnt > 0) p.copySamples += 3.0 * cnt;
      }
    }
  }
  return p;
}

using Kernel = std::function<void(Series&, const Problem&, int, int)>;

// Wall-clock time: the threaded forms are measured by how soon they finish.
// On a shared machine other processes' work inflates it, which is why every
// form is timed in the same run and the fast ones keep their best of a few.
double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// CPU time of the whole process, all threads: beside the wall time it shows
// whether the threads really ran side by side (a busy machine lets them
// take turns on one core).
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct Timing {
  double wall, cpu;
};

Timing timeOnce(const Kernel& k, Series& out, const Problem& p, const Case& c) {
  for (auto& s : out) s.assign(15000, 0.0f);
  const double w0 = wallSeconds(), c0 = cpuSeconds();
  k(out, p, c.ns, c.nin);
  return {wallSeconds() - w0, cpuSeconds() - c0};
}

bool identical(const Series& a, const Series& b) {
  for (int s = 0; s < 3; ++s)
    if (std::memcmp(a[s].data(), b[s].data(), a[s].size() * sizeof(float)) != 0) return false;
  return true;
}

const char* isaName(synthesis::KernelIsa isa) {
  const char* names[] = {"baseline vectors", "AVX2", "AVX-512"};
  return names[static_cast<int>(isa)];
}

void measure(const Case& c) {
  const Problem p = build(c);
  std::printf("%s: %d x %d subfaults, ntt %d, ns %d, element %d samples: %zu copies, %.3g copy-samples\n",
              c.name, c.nx, c.nw, c.ntt, c.ns, c.nin, p.copies.size(), p.copySamples);

  const Kernel scalar = [](Series& o, const Problem& q, int ns, int nin) {
    synthesis::syntAllScalar({o[0], o[1], o[2]}, ns, {q.in[0], q.in[1], q.in[2]}, nin, q.copies);
  };
  const Kernel perCopy = [](Series& o, const Problem& q, int ns, int nin) {
    for (const Copy& cp : q.copies)
      for (int s = 0; s < 3; ++s) synthesis::synt(o[s], ns, q.in[s], nin, cp.shift, cp.a, cp.b);
  };
  const auto fastOn = [](synthesis::KernelIsa isa, int threads) {
    return Kernel([isa, threads](Series& o, const Problem& q, int ns, int nin) {
      synthesis::useKernelIsa(isa);
      synthesis::useSummationThreads(threads);
      synthesis::syntAll({o[0], o[1], o[2]}, ns, {q.in[0], q.in[1], q.in[2]}, nin, q.copies);
    });
  };

  Series ref, out;
  std::printf("  %-38s %9s    %9s    %9s     %7s\n", "form", "wall", "cpu", "copy-samples/s",
              "vs plain");
  const Timing scalarTime = timeOnce(scalar, ref, p, c);
  const double tScalar = scalarTime.wall;
  std::printf("  %-38s %9.4f s  %9.4f s  %9.3g       %6.2fx\n", "plain scalar loop (no vectors)",
              tScalar, scalarTime.cpu, p.copySamples / tScalar, 1.0);
  struct Form {
    std::string label;
    Kernel kernel;
    int repeats;
    Timing best{1e300, 0};
    bool same = true;
  };
  std::vector<Form> forms;
  forms.push_back({"synt per copy (-O3)", perCopy, std::max(1, c.repeats / 3)});
  const synthesis::KernelIsa chosen = synthesis::kernelIsa();
  const synthesis::KernelIsa widest = synthesis::useKernelIsa(synthesis::KernelIsa::Avx512);
  const int cores = synthesis::useSummationThreads(0);
  std::vector<int> threadCounts = {1, 2};
  if (cores > 2) threadCounts.push_back(cores);
  for (int threads : threadCounts) {
    for (int i = 0; i <= static_cast<int>(widest); ++i) {
      const auto isa = static_cast<synthesis::KernelIsa>(i);
      forms.push_back({std::string("syntAll, ") + isaName(isa) + ", " + std::to_string(threads) +
                           (threads == 1 ? " thread" : " threads") + (isa == chosen ? " *" : ""),
                       fastOn(isa, threads), c.repeats});
    }
  }
  // The repeats go round the forms, so a burst of load on a shared machine
  // slows one run of several forms rather than every run of one.
  for (int r = 0; r < c.repeats; ++r) {
    for (Form& f : forms) {
      if (r >= f.repeats) continue;
      const Timing t = timeOnce(f.kernel, out, p, c);
      if (t.wall < f.best.wall) f.best = t;
      f.same = f.same && identical(out, ref);
    }
  }
  for (const Form& f : forms) {
    std::printf("  %-38s %9.4f s  %9.4f s  %9.3g       %6.2fx  bit-identical: %s\n",
                f.label.c_str(), f.best.wall, f.best.cpu, p.copySamples / f.best.wall,
                tScalar / f.best.wall, f.same ? "yes" : "NO");
  }
  std::printf("  (* the instruction set egfsim dispatches to on this processor)\n");
  synthesis::useKernelIsa(chosen);
  synthesis::useSummationThreads(0);
}

int writeRun(const std::string& dir) {
  bench::writeWorstCaseRecord(dir + "/target.kib", 1, 40.0f, "egf_bench");
  bench::writeWorstCaseRecord(dir + "/element.kib", 2, 30.0f, "egf_bench");
  std::ofstream(dir + "/params.txt")
      << "21 22\n1 4.0\n1\n0.1 10.0 15.0 0.5 5.0\n1.0 0.0 0.0 0.0 0.0 0.0 0.0\n"
         "30.0 45.0 90.0 10.0\n1\n30.0 45.0 90.0 10.0\n1.5 1.5 0.5 0.0 0.0 0.0\n"
         "30 30 10 0 15 15 15000 0.01\n3.5 2.8 2 1\ntarget.kib\nelement.kib\n"
         "20.0 60.0 20.0 60.0 90.0 3\n400 14000 400 14000\nWORST\nWST EW\n400 8500 100\n";
  std::ofstream(dir + "/answers.txt") << "params.txt\nobs.dat\nworst case\nsyn.dat\nworst case\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "both";
  if (which == "--write-run") {
    if (argc != 3) {
      std::fprintf(stderr, "usage: egf_bench --write-run DIR\n");
      return 2;
    }
    return writeRun(argv[2]);
  }
  if (which != "both" && which != "worst" && which != "typical") {
    std::fprintf(stderr, "usage: egf_bench [worst|typical] | --write-run DIR\n");
    return 2;
  }
  std::printf("%s; summation kernel in use: %s; threads: %d\n", bench::processorName().c_str(),
              isaName(synthesis::kernelIsa()), synthesis::summationThreads());
  const Case worst{"worst", 30, 30, 500, 15000, 15000, 3};
  const Case typical{"typical", 10, 10, 100, 6000, 4300, 20};
  if (which == "both" || which == "worst") measure(worst);
  if (which == "both" || which == "typical") measure(typical);
  return 0;
}
