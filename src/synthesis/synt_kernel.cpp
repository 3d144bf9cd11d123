// The fast form of the three-series summation.
//
// Exactness: every output sample must receive its terms (a*b)*in in the
// order of the copy list, each product rounded to single precision before
// it is added, exactly as the plain loop does. Everything below only
// changes which sample is worked on when:
//   - the output is cut into blocks that stay in the L1 cache while every
//     copy adds its slice into them (the three series share the blocking);
//   - inside a block, G consecutive copies that all cover a common stretch
//     are added in one pass over that stretch: each sample is loaded once,
//     receives the G terms one after the other in copy order, and is
//     stored once; the samples of the block outside the common stretch get
//     the same copies one by one, again in copy order;
//   - the passes are compiled for AVX-512 and AVX2 as well as the baseline
//     and the widest one the processor has is chosen at run time, so one
//     binary uses the widest vectors wherever it runs.
//   - the blocks are summed on several threads, each block whole by one
//     thread, so a sample's terms never meet another thread's.
// No multiply is fused with an add (the build has -ffp-contract=off and
// these loops never ask for it), nothing is reassociated, and the
// vectoriser only ever runs the sample loop in parallel lanes, each lane
// keeping its own order of additions.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>

#include "parallel/parallel.hpp"
#include "synthesis/copy_range.hpp"
#include "synthesis/synthesis.hpp"

namespace synthesis {
namespace {

// Output samples per block and series: three blocks of 8 KiB.
constexpr long long kBlock = 2048;
// Copies added in one pass over a common stretch.
constexpr int kGroup = 4;
// A common stretch shorter than this is not worth a fused pass.
constexpr long long kMinFused = 16;

struct Placed {
  long long lo, hi;  // output samples [lo, hi) of the copy
  long long shift;
  float c;           // a*b
};

// The two passes, written once and compiled three times: for the baseline
// instruction set, for AVX2 and for AVX-512 (each variant below inlines the
// body under its own target, so the vectoriser uses that target's vectors).

// o(n) += c * x(n), n = 0..count-1.
[[gnu::always_inline]] inline void addOneBody(float* __restrict o, const float* __restrict x,
                                              long long count, float c) {
  for (long long n = 0; n < count; ++n) o[n] += c * x[n];
}

// o(n) += c0*x0(n), then += c1*x1(n), += c2*x2(n), += c3*x3(n), n = 0..count-1.
[[gnu::always_inline]] inline void addFourBody(float* __restrict o, const float* __restrict x0,
                                               const float* __restrict x1,
                                               const float* __restrict x2,
                                               const float* __restrict x3, long long count,
                                               float c0, float c1, float c2, float c3) {
  for (long long n = 0; n < count; ++n) {
    float v = o[n];
    v += c0 * x0[n];
    v += c1 * x1[n];
    v += c2 * x2[n];
    v += c3 * x3[n];
    o[n] = v;
  }
}

#define EGF_KERNEL_VARIANT(suffix, attribute)                                                  \
  attribute void addOne##suffix(float* __restrict o, const float* __restrict x,               \
                                long long count, float c) {                                   \
    addOneBody(o, x, count, c);                                                               \
  }                                                                                           \
  attribute void addFour##suffix(float* __restrict o, const float* __restrict x0,             \
                                 const float* __restrict x1, const float* __restrict x2,      \
                                 const float* __restrict x3, long long count, float c0,       \
                                 float c1, float c2, float c3) {                              \
    addFourBody(o, x0, x1, x2, x3, count, c0, c1, c2, c3);                                    \
  }

EGF_KERNEL_VARIANT(Baseline, )
EGF_KERNEL_VARIANT(Avx2, [[gnu::target("avx2")]])
EGF_KERNEL_VARIANT(Avx512, [[gnu::target("avx512f")]])
#undef EGF_KERNEL_VARIANT

using AddOne = void (*)(float*, const float*, long long, float);
using AddFour = void (*)(float*, const float*, const float*, const float*, const float*,
                         long long, float, float, float, float);

struct Kernels {
  KernelIsa isa;
  AddOne one;
  AddFour four;
};

Kernels kernelsFor(KernelIsa isa) {
  switch (isa) {
    case KernelIsa::Avx512:
      return {isa, addOneAvx512, addFourAvx512};
    case KernelIsa::Avx2:
      return {isa, addOneAvx2, addFourAvx2};
    default:
      return {KernelIsa::Baseline, addOneBaseline, addFourBaseline};
  }
}

// The widest set is taken wherever the processor has it. AVX-512 was checked
// against AVX2 on the 2-core development machine (an Intel Xeon with AVX-512
// and AMX): on the worst case its passes take 0.66 s against 0.74 s on one
// thread and 0.40 s against 0.45 s on two (medians of three runs on the
// otherwise idle machine), so nothing there argues for the narrower set. Processors that run 512-bit
// operations as two 256-bit halves have not been measured; should AVX2 prove
// faster on one, the place to prefer it is here (every set gives the same
// bits).
KernelIsa supportedIsa() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return KernelIsa::Avx512;
  if (__builtin_cpu_supports("avx2")) return KernelIsa::Avx2;
  return KernelIsa::Baseline;
}

Kernels& active() {
  static Kernels k = kernelsFor(supportedIsa());
  return k;
}

struct Arrays {
  float* out[3];
  const float* in[3];
};

// Copy p on output samples [lo, hi), all three series.
void single(const Kernels& k, const Arrays& a, const Placed& p, long long lo, long long hi) {
  if (lo >= hi) return;
  for (int s = 0; s < 3; ++s) k.one(a.out[s] + lo, a.in[s] + (lo - p.shift), hi - lo, p.c);
}

}  // namespace

KernelIsa kernelIsa() { return active().isa; }

KernelIsa useKernelIsa(KernelIsa wanted) {
  active() = kernelsFor(std::min(wanted, supportedIsa()));
  return active().isa;
}

namespace {

// Copies generated per chunk while a block is summed; the chunk's list of
// placed copies stays in the L1 cache.
constexpr std::size_t kChunk = 1024;

// Below this many copy-samples (per series) the summation stays on the
// calling thread. Measured on the 2-core development machine while it was
// otherwise idle (median of 41 runs each): starting and joining a second
// worker costs about 8 microseconds, but the second thread also starts with
// cold caches, so two threads were 5 to 20 % slower than one at 1e6 and 2e6
// copy-samples, and 1.2, 1.4 and 1.5 times faster at 4e6, 8e6 and 1.6e7.
// The typical run (4e7 in three blocks) and the worst case (6e9) are
// threaded.
constexpr double kMinThreadedWork = 4e6;

// Threads asked for by useSummationThreads; 0 means the default.
std::atomic<int> requestedThreads{0};

// Per-task scratch: the copies of one chunk as made, and those of them that
// reach the block being summed, placed.
struct Scratch {
  std::array<Copy, kChunk> made;
  std::array<Placed, kChunk> placed;
};

// The blocked summation over `count` copies; fill(first, n, dst) writes
// copies first..first+n-1 into dst. The copies are made chunk by chunk for
// every block instead of being listed once, so the memory needed does not
// grow with their number. The blocks are independent (each output sample
// belongs to one block and receives its terms in copy order within it), so
// they are spread over threads without changing any bit.
template <class Fill>
void sumBlocks(const std::array<std::span<float>, 3>& out, int nout,
               const std::array<std::span<const float>, 3>& in, int nin, std::size_t count,
               const Fill& fill) {
  // One range for all three series: the smallest of their sizes bounds it
  // (the program's series all have the same capacity).
  const std::size_t inSize = std::min({in[0].size(), in[1].size(), in[2].size()});
  const std::size_t outSize = std::min({out[0].size(), out[1].size(), out[2].size()});
  // Places copies c0..c0+n-1; `keep` picks those that go on the list.
  const auto placeChunk = [&](Scratch& sc, std::size_t c0, std::size_t n, auto keep) {
    fill(c0, n, sc.made.data());
    std::size_t kept = 0;
    for (std::size_t t = 0; t < n; ++t) {
      const Copy& cp = sc.made[t];
      const detail::OutputRange r = detail::outputRange(cp.shift, nin, nout, inSize, outSize);
      const Placed p{r.lo, r.hi, cp.shift, (cp.a * cp.b) * cp.w};
      if (keep(p)) sc.placed[kept++] = p;
    }
    return kept;
  };
  long long end = 0;
  double work = 0;  // copy-samples per series
  {
    Scratch sc;
    for (std::size_t c0 = 0; c0 < count; c0 += kChunk) {
      placeChunk(sc, c0, std::min(kChunk, count - c0), [&](const Placed& p) {
        end = std::max(end, p.hi);
        if (p.hi > p.lo) work += static_cast<double>(p.hi - p.lo);
        return false;
      });
    }
  }

  const Arrays a{{out[0].data(), out[1].data(), out[2].data()},
                 {in[0].data(), in[1].data(), in[2].data()}};
  const Kernels& k = active();
  const auto sumBlock = [&](long long b0) {
    const long long b1 = std::min(b0 + kBlock, end);
    Scratch sc;
    const Placed* placed = sc.placed.data();
    for (std::size_t c0 = 0; c0 < count; c0 += kChunk) {
      // The chunk's copies that add something to this block, in order.
      const std::size_t n = placeChunk(sc, c0, std::min(kChunk, count - c0), [&](const Placed& p) {
        return p.lo < b1 && p.hi > b0 && p.lo < p.hi;
      });
      std::size_t q = 0;
      while (q < n) {
        if (q + kGroup <= n) {
          const Placed* g = &placed[q];
          long long lo = b0, hi = b1;
          for (int t = 0; t < kGroup; ++t) {
            lo = std::max(lo, g[t].lo);
            hi = std::min(hi, g[t].hi);
          }
          if (hi - lo >= kMinFused) {
            // Outside the common stretch each copy adds alone, in order;
            // inside it the four add together, in the same order.
            for (int t = 0; t < kGroup; ++t) {
              single(k, a, g[t], std::max(b0, g[t].lo), lo);
              single(k, a, g[t], hi, std::min(b1, g[t].hi));
            }
            for (int s = 0; s < 3; ++s) {
              k.four(a.out[s] + lo, a.in[s] + (lo - g[0].shift), a.in[s] + (lo - g[1].shift),
                     a.in[s] + (lo - g[2].shift), a.in[s] + (lo - g[3].shift), hi - lo,
                     g[0].c, g[1].c, g[2].c, g[3].c);
            }
            q += kGroup;
            continue;
          }
        }
        single(k, a, placed[q], std::max(b0, placed[q].lo), std::min(b1, placed[q].hi));
        ++q;
      }
    }
  };
  const auto blocks = static_cast<std::size_t>((end + kBlock - 1) / kBlock);
  const int threads = work < kMinThreadedWork ? 1 : summationThreads();
  parallel::forEach(blocks, threads, [&](std::size_t block, int) {
    sumBlock(static_cast<long long>(block) * kBlock);
  });
}

}  // namespace

int summationThreads() {
  const int n = requestedThreads.load(std::memory_order_relaxed);
  return n > 0 ? n : parallel::defaultThreads();
}

int useSummationThreads(int threads) {
  requestedThreads.store(std::max(threads, 0), std::memory_order_relaxed);
  return summationThreads();
}

void syntAll(const std::array<std::span<float>, 3>& out, int nout,
             const std::array<std::span<const float>, 3>& in, int nin,
             std::span<const Copy> copies) {
  sumBlocks(out, nout, in, nin, copies.size(), [&](std::size_t first, std::size_t n, Copy* dst) {
    std::copy_n(copies.begin() + static_cast<std::ptrdiff_t>(first), n, dst);
  });
}

void syntPlan(const std::array<std::span<float>, 3>& out, int nout,
              const std::array<std::span<const float>, 3>& in, int nin,
              const SummationPlan& plan) {
  sumBlocks(out, nout, in, nin, plan.copies(), [&](std::size_t first, std::size_t n, Copy* dst) {
    plan.fill(first, n, dst);
  });
}

}  // namespace synthesis
