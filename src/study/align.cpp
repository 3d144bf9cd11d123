// The windows that align the element's S arrival, as the summation places
// it, with the target's.
#include <cmath>

#include "study/study.hpp"

namespace study {
namespace {

// The nearest whole sample, halves away from zero.
int nearest(double samples) { return static_cast<int>(std::lround(samples)); }

// The real sample (counted from 1) at which the S wave of an event arrives.
double sArrival(double origin, double distance, double vs, double first, double dt) {
  return 1.0 + (origin + distance / vs - first) / dt;
}

}  // namespace

Alignment align(const AlignmentInput& in) {
  Alignment a;
  a.targetS = sArrival(in.targetOrigin, in.targetDistance, in.vs, in.targetFirst, in.dt);
  a.elementS = sArrival(in.elementOrigin, in.elementDistance, in.vs, in.elementFirst, in.dt);
  const double offset = a.elementS - static_cast<double>(in.lagmin) - a.targetS;
  a.offset = nearest(offset);
  a.residual = offset - a.offset;
  a.ksm = nearest(a.targetS + in.from / in.dt);
  a.kem = nearest(a.targetS + in.to / in.dt);
  a.ksa = a.ksm + a.offset;
  a.kea = a.kem + a.offset;
  return a;
}

}  // namespace study
