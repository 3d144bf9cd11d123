// The samples one copy of the element record touches, shared by every form
// of the summation so that they agree on the bounds.
#pragma once

#include <algorithm>
#include <cstddef>

namespace synthesis::detail {

// Zero-based output samples [lo, hi) that the copy placed `shift` samples
// late writes: out(shift + m) += .. in(m) for m = 1..cnt, cnt = nin, or
// nout - shift when shift + nin > nout. The range is further cut to the
// samples that both arrays actually hold, so no index ever leaves them
// (a negative shift loses its leading samples instead of writing before
// the array). Input sample n - shift goes to output sample n.
struct OutputRange {
  long long lo;
  long long hi;
};

inline OutputRange outputRange(int shift, int nin, int nout, std::size_t inSize,
                               std::size_t outSize) {
  const long long s = shift;
  long long cnt = nin;
  if (s + nin > nout) cnt = nout - s;
  cnt = std::min<long long>(cnt, static_cast<long long>(inSize));
  const long long first = std::max<long long>(1, 1 - s);                          // first m
  const long long last = std::min<long long>(cnt, static_cast<long long>(outSize) - s);  // last m
  if (last < first) return {0, 0};
  return {s + first - 1, s + last};
}

}  // namespace synthesis::detail
