// The fast form of the three-series summation.
//
// Exactness: every output sample must receive its terms (a*b)*in in the
// order of the copy list, each rounded to single precision before it is
// added, exactly as the plain loop does. Blocking the output and treating
// the three series in one loop only changes which sample is worked on when;
// it never reorders the additions into one sample, never fuses a multiply
// with an add (the build has -ffp-contract=off) and never reassociates.
#include <algorithm>
#include <vector>

#include "synthesis/copy_range.hpp"
#include "synthesis/synthesis.hpp"

namespace synthesis {
namespace {

// Output samples per block and series: three blocks of 4 KiB stay in the L1
// cache while every copy adds its slice into them.
constexpr long long kBlock = 1024;

struct Placed {
  long long lo, hi;  // output samples [lo, hi) of the copy
  long long shift;
  float c;           // a*b
};

__attribute__((target_clones("avx2", "default")))
void addBlock(float* __restrict o0, float* __restrict o1, float* __restrict o2,
              const float* __restrict i0, const float* __restrict i1,
              const float* __restrict i2, long long count, float c) {
  for (long long n = 0; n < count; ++n) {
    o0[n] += c * i0[n];
    o1[n] += c * i1[n];
    o2[n] += c * i2[n];
  }
}

}  // namespace

void syntAll(const std::array<std::span<float>, 3>& out, int nout,
             const std::array<std::span<const float>, 3>& in, int nin,
             std::span<const Copy> copies) {
  // One range for all three series: the smallest of their sizes bounds it.
  const std::size_t inSize = std::min({in[0].size(), in[1].size(), in[2].size()});
  const std::size_t outSize = std::min({out[0].size(), out[1].size(), out[2].size()});
  std::vector<Placed> placed;
  placed.reserve(copies.size());
  long long end = 0;
  for (const Copy& cp : copies) {
    const detail::OutputRange r = detail::outputRange(cp.shift, nin, nout, inSize, outSize);
    if (r.lo >= r.hi) continue;
    placed.push_back({r.lo, r.hi, cp.shift, cp.a * cp.b});
    end = std::max(end, r.hi);
  }

  float* o0 = out[0].data();
  float* o1 = out[1].data();
  float* o2 = out[2].data();
  for (long long b0 = 0; b0 < end; b0 += kBlock) {
    const long long b1 = std::min(b0 + kBlock, end);
    for (const Placed& p : placed) {
      const long long lo = std::max(p.lo, b0);
      const long long hi = std::min(p.hi, b1);
      if (lo >= hi) continue;
      const long long src = lo - p.shift;
      addBlock(o0 + lo, o1 + lo, o2 + lo, in[0].data() + src, in[1].data() + src,
               in[2].data() + src, hi - lo, p.c);
    }
  }
}

}  // namespace synthesis
