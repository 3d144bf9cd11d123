// Recursive Chebyshev type I filters: design by the bilinear transformation
// of the analog prototype, application as a cascade of second-order sections
// run backward and then forward for zero phase.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <string>
#include <stdexcept>
#include <vector>

#include "dsp/dsp.hpp"

namespace dsp {

namespace {

// Elementary functions in double on the widened float argument, rounded to
// float at once: every named intermediate of a design is a float.
float fsin(float a) { return static_cast<float>(std::sin(static_cast<double>(a))); }
float fcos(float a) { return static_cast<float>(std::cos(static_cast<double>(a))); }
float ftan(float a) { return static_cast<float>(std::tan(static_cast<double>(a))); }
float flog(float a) { return static_cast<float>(std::log(static_cast<double>(a))); }
float fsqrt(float a) { return static_cast<float>(std::sqrt(static_cast<double>(a))); }
float fcosh(float a) { return static_cast<float>(std::cosh(static_cast<double>(a))); }
float fsinh(float a) { return static_cast<float>(std::sinh(static_cast<double>(a))); }

// The designs keep their own rounded pi and pi/2; they are deliberately not
// derived from each other (3.141593f / 2 is not 1.570796f).
constexpr float kPi = 3.141593f;
constexpr float kHalfPi = 1.570796f;

// The prototype shared by both designs, derived from the stop-edge term r.
struct Prototype {
  int order = 0;      // n, 2 .. 31
  float gain = 0.0f;  // g = 1 / (2^(n-1) eps)
  float ch = 0.0f;    // cosh v
  float sh = 0.0f;    // sinh v
};

// Order, ripple and pole scaling from the stop-edge term r and the two
// tolerances. Returns false when they give no usable filter: no finite order
// from 2 to 31 (r not positive or not a number, q above 1, an order beyond
// 31, where 2^(n-1) would overflow a 32-bit integer) or a ripple that
// underflows to zero.
bool prototype(float r, float ap, float as, Prototype& p) {
  if (!(r > 0.0f)) return false;
  const float aap = std::fabs(ap);
  const float aas = std::fabs(as);
  // The smaller tolerance is the pass-band target, the larger the stop-band
  // one; a zero stands for its own default, independently of the other.
  float e1 = aap < aas ? aap : aas;
  if (e1 == 0.0f) e1 = 0.1f;
  float e2 = aap < aas ? aas : aap;
  if (e2 == 0.0f) e2 = 5.0f;
  const float q = e1 / e2;
  // arcosh(1/q) / r, rounded half up. NaN (q > 1) and anything at or above 32
  // fail the comparison, so no out-of-range value is ever converted.
  const float exact = std::fabs(flog((1.0f + fsqrt((1.0f + q) * (1.0f - q))) / q) / r) + 0.5f;
  if (!(exact < 32.0f)) return false;
  int n = static_cast<int>(exact);
  if (n < 2) n = 2;
  // Halfway, on a logarithmic scale, between the ripple that meets the pass
  // target and the one that meets the stop target with the rounded order.
  const float eps = fsqrt(e1 * e2 / fcosh(r * static_cast<float>(n)));
  if (!(eps > 0.0f) || !std::isfinite(eps)) return false;
  const int power = 1 << (n - 1);  // n <= 31: fits a 32-bit signed integer
  const float g = 1.0f / (static_cast<float>(power) * eps);
  const float v = flog((fsqrt(eps * eps + 1.0f) + 1.0f) / eps) / static_cast<float>(n);
  const float ch = fcosh(v);
  const float sh = fsinh(v);
  if (!std::isfinite(g) || !std::isfinite(ch) || !std::isfinite(sh)) return false;
  p.order = n;
  p.gain = g;
  p.ch = ch;
  p.sh = sh;
  return true;
}

void requireRoom(std::span<float> coeffs, int sections, const char* who) {
  if (coeffs.size() < static_cast<std::size_t>(4 * sections)) {
    throw std::logic_error(std::string(who) + ": room for " + std::to_string(coeffs.size()) +
                           " coefficients, the design needs " + std::to_string(4 * sections));
  }
}

}  // namespace

FilterDesign designLowPass(float fp, float fs, float ap, float as) {
  FilterDesign design;
  design.coeffs.assign(kCoeffCapacity, 0.0f);
  std::span<float> coeffs = design.coeffs;
  int& m = design.sections;
  float& gn = design.gain;
  const float wp = kPi * fp;
  const float ws = kPi * fs;
  // A pass edge at or below zero would put the poles outside the unit circle
  // (an unstable filter), so it is refused along with a zero one.
  if (wp == ws || !(wp > 0.0f) || !(ws < kHalfPi)) {
    return design;
  }
  const float c = ftan(kPi / 2.0f - wp);  // cot wp
  const float t = c * ftan(ws);           // prewarped stop edge / pass edge
  // arcosh t, with t^2 - 1 written in a form that keeps its precision near 1.
  // A stop edge below the pass edge makes the root's argument negative (NaN).
  const float r = flog(fsqrt((t + 1.0f) * fsin(ws - wp) / (fsin(wp) * fcos(ws))) + t);
  Prototype p;
  if (!prototype(r, ap, as, p)) {
    return design;
  }
  const int n = p.order;
  const int pairs = n / 2;
  requireRoom(coeffs, pairs + n % 2, "low-pass design");
  float g = p.gain;
  const float step = kHalfPi / static_cast<float>(n);
  float odd = 1.0f;
  for (int k = 0; k < pairs; ++k) {
    const float theta = step * odd;
    odd = odd + 2.0f;
    const float cc = p.ch * fcos(theta);
    const float alpha = cc * cc;
    const float beta = p.sh * fsin(theta);
    const float e = 1.0f / ((c + beta) * (c + beta) + alpha);
    g = g * e;
    float* s = coeffs.data() + 4 * k;
    s[0] = 2.0f;
    s[1] = 1.0f;
    s[2] = 2.0f * ((beta - c) * (beta + c) + alpha) * e;
    s[3] = ((beta - c) * (beta - c) + alpha) * e;
  }
  m = pairs;
  gn = g;
  if (n % 2 == 1) {
    // The real pole of an odd order: a first-order section.
    float* s = coeffs.data() + 4 * pairs;
    s[0] = 1.0f;
    s[1] = 0.0f;
    s[2] = (p.sh - c) / (p.sh + c);
    s[3] = 0.0f;
    m = pairs + 1;
    gn = g / (p.sh + c);
  }
  return design;
}

FilterDesign designBandPass(float fl, float fh, float fs, float ap, float as) {
  FilterDesign design;
  design.coeffs.assign(kCoeffCapacity, 0.0f);
  std::span<float> coeffs = design.coeffs;
  int& m = design.sections;
  float& gn = design.gain;
  const float afl = std::fabs(fl);
  const float afh = std::fabs(fh);
  const float wl = kPi * (afl < afh ? afl : afh);
  const float wh = kPi * (afl < afh ? afh : afl);
  const float ws = kPi * std::fabs(fs);
  // The stop edge must lie strictly below or strictly above the band. The
  // comparisons are written so that a NaN edge is refused as well.
  if (wl == wh || !(wl != 0.0f) || !(wh < kHalfPi) || ws == 0.0f || !(ws < kHalfPi) ||
      !((ws - wl) * (ws - wh) > 0.0f)) {
    return design;
  }
  const float pp = fcos(wl) * fcos(wh);
  const float kk = pp / fsin(wh - wl);  // 1 / (tan wh - tan wl)
  const float d = ftan(wh) * ftan(wl) * (kk * kk);
  const float w = kk * ftan(ws);
  const float t = std::fabs(w - d / w);  // stop edge on the prototype's axis
  const float r = flog(fsqrt((t - 1.0f) * (t + 1.0f)) + t);
  Prototype p;
  if (!prototype(r, ap, as, p)) {
    return design;
  }
  const int n = p.order;
  const int pairs = n / 2;
  requireRoom(coeffs, n, "band-pass design");
  float g = p.gain;
  const float step = kHalfPi / static_cast<float>(n);
  float odd = 1.0f;
  int count = 0;
  for (int k = 0; k < pairs; ++k) {
    const float theta = step * odd;
    odd = odd + 2.0f;
    const float pr = 0.5f * p.ch * fcos(theta);
    const float pim = 0.5f * p.sh * fsin(theta);
    // p^2 in single precision, then the principal root of p^2 + D in double.
    const float p2r = pr * pr - pim * pim;
    const float p2i = pr * pim + pim * pr;
    // A zero imaginary part is taken as +0 so that a negative real argument
    // gives the root with a positive imaginary part.
    const std::complex<double> arg(static_cast<double>(p2r + d),
                                   p2i == 0.0f ? 0.0 : static_cast<double>(p2i));
    const std::complex<double> root = std::sqrt(arg);
    const float sr = static_cast<float>(root.real());
    const float si = static_cast<float>(root.imag());
    g = g * (kk * kk);
    for (int sign = 0; sign < 2; ++sign) {
      const float rho = sign == 0 ? pr + sr : pr - sr;
      const float iota = sign == 0 ? pim + si : pim - si;
      const float sigma = rho * rho;
      const float e = 1.0f / ((kk + iota) * (kk + iota) + sigma);
      g = g * e;
      float* s = coeffs.data() + 4 * count;
      s[0] = 0.0f;
      s[1] = -1.0f;
      s[2] = 2.0f * ((iota - kk) * (iota + kk) + sigma) * e;
      s[3] = ((iota - kk) * (iota - kk) + sigma) * e;
      ++count;
    }
  }
  m = count;
  gn = g;
  if (n % 2 == 1) {
    // The prototype's real pole becomes one more second-order section.
    const float a = fcos(wh - wl) * (kk * kk) / pp;
    const float b = -fcos(wh + wl) * (kk * kk) / pp;
    const float e = 1.0f / (kk * p.sh + a);
    float* s = coeffs.data() + 4 * count;
    s[0] = 0.0f;
    s[1] = -1.0f;
    s[2] = 2.0f * b * e;
    s[3] = (a - kk * p.sh) * e;
    m = count + 1;
    gn = g * kk * e;
  }
  return design;
}

namespace {

// One section over x[0..n-1] into y[0..n-1]; x may equal y (each input is
// read before its output is written).
void runSection(const float* x, float* y, int n, float a1, float a2, float b1, float b2,
                int direction) {
  if (n <= 0) throw std::logic_error("filter section over " + std::to_string(n) + " samples");
  const std::ptrdiff_t first = direction < 0 ? n - 1 : 0;
  const std::ptrdiff_t step = direction < 0 ? -1 : 1;
  // Every pass starts from rest at the first sample it visits.
  float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;
  std::ptrdiff_t i = first;
  for (int count = 0; count < n; ++count, i += step) {
    const float x0 = x[i];  // read before y[i] is written: x may be y
    const float y0 = ((a1 * x1 + x0) + a2 * x2) - b1 * y1 - b2 * y2;
    y[i] = y0;
    x2 = x1;
    x1 = x0;
    y2 = y1;
    y1 = y0;
  }
}

// Runs the sections once over x(1..n) into y(1..n) (distinct arrays):
// direction < 0 from the last sample to the first, otherwise from the first
// to the last, each section starting from rest.
void runCascade(std::span<const float> x, std::span<float> y, int n, const FilterDesign& design,
                int direction) {
  const int m = design.sections;
  const auto count = static_cast<std::size_t>(n);
  if (n <= 0 || m <= 0 || x.size() < count || y.size() < count ||
      design.coeffs.size() / 4 < static_cast<std::size_t>(m)) {
    throw std::logic_error("filter cascade of " + std::to_string(m) + " sections over " +
                           std::to_string(n) + " samples: nothing to run or arrays too short");
  }
  const float* c = design.coeffs.data();
  runSection(x.data(), y.data(), n, c[0], c[1], c[2], c[3], direction);
  for (int j = 1; j < m; ++j) {
    const float* s = c + 4 * j;
    runSection(y.data(), y.data(), n, s[0], s[1], s[2], s[3], direction);
  }
}

}  // namespace

void filterZeroPhase(std::span<float> x, int n, const FilterDesign& design) {
  std::vector<float> work(static_cast<std::size_t>(std::max(n, 0)));
  runCascade(x, work, n, design, -1);
  for (int i = 0; i < n; ++i) x[i] = design.gain * work[i];
  runCascade(x, work, n, design, 1);
  for (int i = 0; i < n; ++i) x[i] = design.gain * work[i];
}

FilterDesign designFilter(float dt, const Band& band) {
  if (band.fl == 0.0f) return designLowPass(band.fh * dt, band.fs * dt, band.ap, band.as);
  return designBandPass(band.fl * dt, band.fh * dt, band.fs * dt, band.ap, band.as);
}

}  // namespace dsp
