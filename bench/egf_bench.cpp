// Times the summation of element-record copies, the program's dominant
// cost, for the largest grid the program accepts and for a typical one.
//
// Three forms are compared on the same copies and data:
//   scalar   syntAllScalar, a plain loop built without vectorisation
//   synt     one synt call per copy and series (the compiler's own -O3 code)
//   syntAll  the blocked, fused kernel the program uses, once per
//            instruction set this processor offers (the program itself
//            takes the widest)
// Each form must give bit-identical synthetics; the bench says so. Times are
// CPU seconds of the thread, best of a few runs for the fast forms.
//
// Usage: egf_bench [worst|typical]   (default: both)
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

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

// CPU time of this thread: the machine may be shared, and wall time would
// charge other processes' work to the kernel.
double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

double timeOnce(const Kernel& k, Series& out, const Problem& p, const Case& c) {
  for (auto& s : out) s.assign(15000, 0.0f);
  const double t0 = threadSeconds();
  k(out, p, c.ns, c.nin);
  return threadSeconds() - t0;
}

bool identical(const Series& a, const Series& b) {
  for (int s = 0; s < 3; ++s)
    if (std::memcmp(a[s].data(), b[s].data(), a[s].size() * sizeof(float)) != 0) return false;
  return true;
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
  const Kernel fast = [](Series& o, const Problem& q, int ns, int nin) {
    synthesis::syntAll({o[0], o[1], o[2]}, ns, {q.in[0], q.in[1], q.in[2]}, nin, q.copies);
  };
  const auto fastOn = [&fast](synthesis::KernelIsa isa) {
    return Kernel([&fast, isa](Series& o, const Problem& q, int ns, int nin) {
      synthesis::useKernelIsa(isa);
      fast(o, q, ns, nin);
    });
  };
  const Kernel fastBaseline = fastOn(synthesis::KernelIsa::Baseline);
  const Kernel fastAvx2 = fastOn(synthesis::KernelIsa::Avx2);
  const Kernel fastAvx512 = fastOn(synthesis::KernelIsa::Avx512);

  Series ref, out;
  const double tScalar = timeOnce(scalar, ref, p, c);
  std::printf("  %-34s %9.4f s  %9.3g copy-samples/s  %6.2fx\n", "scalar loop (-fno-tree-vectorize)",
              tScalar, p.copySamples / tScalar, 1.0);
  struct Form {
    const char* label;
    const Kernel* kernel;
  };
  const synthesis::KernelIsa widest = synthesis::useKernelIsa(synthesis::KernelIsa::Avx512);
  std::vector<Form> forms = {{"synt per copy (-O3)", &perCopy},
                             {"syntAll, baseline vectors", &fastBaseline}};
  if (widest >= synthesis::KernelIsa::Avx2) forms.push_back({"syntAll, AVX2", &fastAvx2});
  if (widest >= synthesis::KernelIsa::Avx512) forms.push_back({"syntAll, AVX-512", &fastAvx512});
  for (const Form& f : forms) {
    double best = 1e300;
    bool same = true;
    for (int r = 0; r < c.repeats; ++r) {
      best = std::min(best, timeOnce(*f.kernel, out, p, c));
      same = same && identical(out, ref);
    }
    std::printf("  %-34s %9.4f s  %9.3g copy-samples/s  %6.2fx  bit-identical: %s\n", f.label, best,
                p.copySamples / best, tScalar / best, same ? "yes" : "NO");
  }
  synthesis::useKernelIsa(widest);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "both";
  const char* names[] = {"baseline", "AVX2", "AVX-512"};
  std::printf("summation kernel in use: %s\n", names[static_cast<int>(synthesis::kernelIsa())]);
  const Case worst{"worst", 30, 30, 500, 15000, 15000, 3};
  const Case typical{"typical", 10, 10, 100, 6000, 4300, 20};
  if (which == "both" || which == "worst") measure(worst);
  if (which == "both" || which == "typical") measure(typical);
  return 0;
}
