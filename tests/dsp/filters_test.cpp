#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "dsp/dsp.hpp"

namespace {

// Console unit 6 captured in a string.
struct Console {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  textio::Channels io{in, out, err};
};

struct Design {
  std::vector<float> coeffs = std::vector<float>(dsp::kCoeffCapacity, 0.0f);
  int m = -1;
  float gn = 0.0f;
  std::string printed;
};

Design lowPass(float fp, float fs, float ap, float as) {
  Console c;
  Design d;
  dsp::chblop(c.io, d.coeffs, d.m, d.gn, fp, fs, ap, as);
  d.printed = c.out.str();
  return d;
}

Design bandPass(float fl, float fh, float fs, float ap, float as) {
  Console c;
  Design d;
  dsp::chbpas(c.io, d.coeffs, d.m, d.gn, fl, fh, fs, ap, as);
  d.printed = c.out.str();
  return d;
}

bool sameFilter(const Design& a, const Design& b) {
  if (a.m != b.m || a.gn != b.gn) return false;
  for (int i = 0; i < 4 * a.m; ++i) {
    if (a.coeffs[i] != b.coeffs[i]) return false;
  }
  return true;
}

// Single-pass amplitude of the designed cascade at normalised frequency f
// (cycles per sample), evaluated in double from the stored coefficients.
double amplitude(const Design& d, double f) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * f);  // z^-1
  std::complex<double> h = d.gn;
  for (int k = 0; k < d.m; ++k) {
    const double a1 = d.coeffs[4 * k], a2 = d.coeffs[4 * k + 1];
    const double b1 = d.coeffs[4 * k + 2], b2 = d.coeffs[4 * k + 3];
    h *= (1.0 + a1 * z1 + a2 * z1 * z1) / (1.0 + b1 * z1 + b2 * z1 * z1);
  }
  return std::abs(h);
}

// The Chebyshev targets, computed in double from the design rules: ripple
// eps placed halfway (logarithmically) between the pass and stop targets for
// the order n, and the prototype frequency t of the stop edge.
struct Targets {
  double passEdge;  // 1 / sqrt(1 + eps^2)
  double stopEdge;  // 1 / sqrt(1 + eps^2 T_n(t)^2)
  double peak;      // 1: the ripple's top
};

Targets targets(double t, int n, double e1, double e2) {
  const double r = std::acosh(t);
  const double eps = std::sqrt(e1 * e2 / std::cosh(r * n));
  const double tn = std::cosh(n * r);
  return {1.0 / std::sqrt(1.0 + eps * eps), 1.0 / std::sqrt(1.0 + eps * eps * tn * tn), 1.0};
}

Targets lowPassTargets(double fp, double fs, int n, double e1, double e2) {
  return targets(std::tan(M_PI * fs) / std::tan(M_PI * fp), n, e1, e2);
}

Targets bandPassTargets(double fl, double fh, double fs, int n, double e1, double e2) {
  const double k = 1.0 / (std::tan(M_PI * fh) - std::tan(M_PI * fl));
  const double d = std::tan(M_PI * fh) * std::tan(M_PI * fl) * k * k;
  const double w = k * std::tan(M_PI * fs);
  return targets(std::fabs(w - d / w), n, e1, e2);
}

// Coefficients are floats, so the response agrees with the double-precision
// targets to a few parts in 10^5; 2e-4 leaves room without hiding a wrong
// coefficient (which moves the response by percent).
constexpr double kTol = 2e-4;

void expectPassBandWithinRipple(const Design& d, double from, double to, const Targets& t) {
  for (int i = 0; i <= 50; ++i) {
    const double f = from + (to - from) * i / 50.0;
    const double a = amplitude(d, f);
    EXPECT_LE(a, t.peak + kTol) << f;
    EXPECT_GE(a, t.passEdge - kTol) << f;
  }
}

// ---- low-pass designs ------------------------------------------------------

TEST(Chblop, OrderThreeIsOneSecondAndOneFirstOrderSection) {
  const Design d = lowPass(0.1f, 0.2f, 0.1f, 5.0f);
  ASSERT_EQ(d.m, 2);
  EXPECT_EQ(d.printed, "");
  EXPECT_EQ(d.coeffs[0], 2.0f);  // (1 + z^-1)^2
  EXPECT_EQ(d.coeffs[1], 1.0f);
  EXPECT_EQ(d.coeffs[4], 1.0f);  // 1 + z^-1, no second-order terms
  EXPECT_EQ(d.coeffs[5], 0.0f);
  EXPECT_EQ(d.coeffs[7], 0.0f);

  const Targets t = lowPassTargets(0.1, 0.2, 3, 0.1, 5.0);
  EXPECT_NEAR(amplitude(d, 0.0), 1.0, kTol);  // odd order: top of the ripple at zero
  EXPECT_NEAR(amplitude(d, 0.1), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.2), t.stopEdge, kTol);
  EXPECT_LT(t.passEdge, 1.0);
  EXPECT_GT(t.passEdge, 0.99);
  EXPECT_LT(t.stopEdge, 0.5);
  expectPassBandWithinRipple(d, 0.0, 0.1, t);
  EXPECT_NEAR(amplitude(d, 0.5), 0.0, 1e-6);  // zeros at the Nyquist frequency
}

TEST(Chblop, TolerancesAreInterchangeableAndZeroTakesTheDefault) {
  const Design ref = lowPass(0.1f, 0.2f, 0.1f, 5.0f);
  EXPECT_TRUE(sameFilter(lowPass(0.1f, 0.2f, 0.0f, 0.0f), ref));
  EXPECT_TRUE(sameFilter(lowPass(0.1f, 0.2f, 5.0f, 0.1f), ref));
  EXPECT_TRUE(sameFilter(lowPass(0.1f, 0.2f, -0.1f, -5.0f), ref));
  // Each default applies on its own: a zero beside 2.0 stands for 0.1.
  const Design two = lowPass(0.1f, 0.2f, 0.1f, 2.0f);
  EXPECT_TRUE(sameFilter(lowPass(0.1f, 0.2f, 0.0f, 2.0f), two));
  EXPECT_TRUE(sameFilter(lowPass(0.1f, 0.2f, 2.0f, 0.0f), two));
}

TEST(Chblop, EvenOrderStartsAtTheBottomOfTheRipple) {
  const Design d = lowPass(0.1f, 0.2f, 0.5f, 5.0f);
  ASSERT_EQ(d.m, 1);
  const Targets t = lowPassTargets(0.1, 0.2, 2, 0.5, 5.0);
  EXPECT_NEAR(amplitude(d, 0.0), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.1), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.2), t.stopEdge, kTol);
  EXPECT_LT(t.passEdge, 0.95);
  expectPassBandWithinRipple(d, 0.0, 0.1, t);
}

TEST(Chblop, OrderFiveIsTwoSecondAndOneFirstOrderSection) {
  const Design d = lowPass(0.1f, 0.14f, 0.1f, 5.0f);
  ASSERT_EQ(d.m, 3);
  EXPECT_EQ(d.coeffs[4 * 2 + 1], 0.0f);
  EXPECT_EQ(d.coeffs[4 * 2 + 3], 0.0f);
  const Targets t = lowPassTargets(0.1, 0.14, 5, 0.1, 5.0);
  EXPECT_NEAR(amplitude(d, 0.0), 1.0, kTol);
  EXPECT_NEAR(amplitude(d, 0.1), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.14), t.stopEdge, kTol);
  expectPassBandWithinRipple(d, 0.0, 0.1, t);
}

// ---- band-pass designs -----------------------------------------------------

TEST(Chbpas, OrderTwoAndSwappedEdges) {
  const Design d = bandPass(0.05f, 0.1f, 0.2f, 0.1f, 5.0f);
  ASSERT_EQ(d.m, 2);
  EXPECT_EQ(d.printed, "");
  for (int k = 0; k < d.m; ++k) {  // numerator 1 - z^-2
    EXPECT_EQ(d.coeffs[4 * k], 0.0f);
    EXPECT_EQ(d.coeffs[4 * k + 1], -1.0f);
  }
  const Targets t = bandPassTargets(0.05, 0.1, 0.2, 2, 0.1, 5.0);
  EXPECT_NEAR(amplitude(d, 0.0), 0.0, 1e-6);
  EXPECT_NEAR(amplitude(d, 0.05), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.1), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.2), t.stopEdge, kTol);
  EXPECT_GT(t.passEdge, 0.99);
  EXPECT_LT(t.stopEdge, 0.5);
  expectPassBandWithinRipple(d, 0.05, 0.1, t);

  EXPECT_TRUE(sameFilter(bandPass(0.1f, 0.05f, 0.2f, 0.1f, 5.0f), d));
  EXPECT_TRUE(sameFilter(bandPass(-0.05f, 0.1f, -0.2f, 0.1f, 5.0f), d));
}

TEST(Chbpas, OddOrderAddsOneSection) {
  const Design d = bandPass(0.01f, 0.05f, 0.1f, 0.1f, 5.0f);
  ASSERT_EQ(d.m, 3);
  EXPECT_EQ(d.coeffs[4 * 2], 0.0f);
  EXPECT_EQ(d.coeffs[4 * 2 + 1], -1.0f);
  const Targets t = bandPassTargets(0.01, 0.05, 0.1, 3, 0.1, 5.0);
  EXPECT_NEAR(amplitude(d, 0.0), 0.0, 1e-6);
  EXPECT_NEAR(amplitude(d, 0.01), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.05), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.1), t.stopEdge, kTol);
  expectPassBandWithinRipple(d, 0.01, 0.05, t);
}

TEST(Chbpas, StopEdgeBelowTheBand) {
  const Design d = bandPass(0.1f, 0.2f, 0.05f, 0.1f, 5.0f);
  ASSERT_GT(d.m, 0);
  const int n = d.m;  // band-pass: one section per order
  const Targets t = bandPassTargets(0.1, 0.2, 0.05, n, 0.1, 5.0);
  EXPECT_NEAR(amplitude(d, 0.1), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.2), t.passEdge, kTol);
  EXPECT_NEAR(amplitude(d, 0.05), t.stopEdge, kTol);
}

// ---- rejected designs --------------------------------------------------------

// A designer's complaint: one empty line, the message line, two empty lines.
std::string framed(std::string_view line) {
  std::string text(1, '\n');
  text.append(line);
  text.append(3, '\n');
  return text;
}

const std::string kLowPassMessage =
    "\n ????? (chblop) invalid input  fp=      0.100000   fs=  6.000000E-01   ?????\n\n\n";

TEST(Chblop, RejectedRequestsPrintTheirMessage) {
  EXPECT_EQ(lowPass(0.1f, 0.6f, 0.1f, 5.0f).printed, kLowPassMessage);  // beyond Nyquist
  struct Row {
    float fp, fs, ap, as;
    const char* line;
  };
  const Row rows[] = {
      {0.1f, 0.5f, 0.1f, 5.0f,
       " ????? (chblop) invalid input  fp=      0.100000   fs=  5.000000E-01   ?????"},
      {0.1f, 0.1f, 0.1f, 5.0f,
       " ????? (chblop) invalid input  fp=      0.100000   fs=  1.000000E-01   ?????"},
      {0.0f, 0.2f, 0.1f, 5.0f,
       " ????? (chblop) invalid input  fp=      0.000000   fs=  2.000000E-01   ?????"},
      // Stop edge below the pass edge: arcosh of a value below 1.
      {0.2f, 0.1f, 0.1f, 5.0f,
       " ????? (chblop) invalid input  fp=      0.200000   fs=  1.000000E-01   ?????"},
      // Order above 31: the stop edge almost on the pass edge.
      {0.1f, 0.1003f, 0.1f, 5.0f,
       " ????? (chblop) invalid input  fp=      0.100000   fs=  1.003000E-01   ?????"},
      // Tolerance ratio above 1: zero stands for 0.1, larger than 0.05.
      {0.1f, 0.2f, 0.0f, 0.05f,
       " ????? (chblop) invalid input  fp=      0.100000   fs=  2.000000E-01   ?????"},
      // Negative edges would give an unstable filter.
      {-0.1f, -0.2f, 0.1f, 5.0f,
       " ????? (chblop) invalid input  fp=     -0.100000   fs= -2.000000E-01   ?????"},
  };
  for (const Row& row : rows) {
    const Design d = lowPass(row.fp, row.fs, row.ap, row.as);
    EXPECT_EQ(d.m, 0) << row.line;
    EXPECT_EQ(d.printed, framed(row.line));
  }
}

TEST(Chbpas, RejectedRequestsPrintTheirMessage) {
  struct Row {
    float fl, fh, fs, ap, as;
    const char* line;
  };
  const char* head = " ?????   (chbpas)   invalid input   fl =";
  const Row rows[] = {
      // Stop edge inside the band, on a band edge, at the Nyquist frequency.
      {0.05f, 0.1f, 0.07f, 0.1f, 5.0f,
       "      0.050000   fh =      0.100000   fs =      0.070000   ?????"},
      {0.05f, 0.1f, 0.1f, 0.1f, 5.0f,
       "      0.050000   fh =      0.100000   fs =      0.100000   ?????"},
      {0.05f, 0.1f, 0.5f, 0.1f, 5.0f,
       "      0.050000   fh =      0.100000   fs =      0.500000   ?????"},
      // Equal edges, a zero edge, an upper edge at the Nyquist frequency.
      {0.1f, 0.1f, 0.2f, 0.1f, 5.0f,
       "      0.100000   fh =      0.100000   fs =      0.200000   ?????"},
      {0.0f, 0.1f, 0.2f, 0.1f, 5.0f,
       "      0.000000   fh =      0.100000   fs =      0.200000   ?????"},
      {0.1f, 0.5f, 0.2f, 0.1f, 5.0f,
       "      0.100000   fh =      0.500000   fs =      0.200000   ?????"},
      {0.05f, 0.1f, 0.0f, 0.1f, 5.0f,
       "      0.050000   fh =      0.100000   fs =      0.000000   ?????"},
      // Order above 31 and a tolerance ratio above 1.
      {0.05f, 0.1f, 0.1001f, 0.1f, 5.0f,
       "      0.050000   fh =      0.100000   fs =      0.100100   ?????"},
      {0.05f, 0.1f, 0.2f, 0.05f, 0.0f,
       "      0.050000   fh =      0.100000   fs =      0.200000   ?????"},
  };
  for (const Row& row : rows) {
    const Design d = bandPass(row.fl, row.fh, row.fs, row.ap, row.as);
    EXPECT_EQ(d.m, 0) << row.line;
    EXPECT_EQ(d.printed, framed(std::string(head) + row.line));
  }
}

// ---- application -------------------------------------------------------------

TEST(Recfil, FirstOrderSectionForwardBackwardAndInPlace) {
  Console c;
  // y(i) = x(i) + 0.5 y(i-1): the impulse response halves each step (exact).
  std::vector<float> x(8, 0.0f), y(8, -1.0f);
  x[0] = 1.0f;
  dsp::recfil(c.io, x.data(), y.data(), 8, 0.0f, 0.0f, -0.5f, 0.0f, 1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(y[i], std::ldexp(1.0f, -i)) << i;

  std::vector<float> back(8, 0.0f);
  back[7] = 1.0f;
  dsp::recfil(c.io, back.data(), back.data(), 8, 0.0f, 0.0f, -0.5f, 0.0f, -1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(back[7 - i], std::ldexp(1.0f, -i)) << i;
  EXPECT_EQ(c.out.str(), "");
}

TEST(Recfil, NoSamplesPrintsItsMessage) {
  Console c;
  float y = 4.0f;
  dsp::recfil(c.io, &y, &y, 0, 1.0f, 1.0f, 0.0f, 0.0f, 1);
  EXPECT_EQ(y, 4.0f);
  EXPECT_EQ(c.out.str(), "\n\n ?????   (recfil)   invalid input   n =    0   ?????\n\n\n");
}

TEST(Tandem, UnusableCountsPrintTheirMessage) {
  Console c;
  std::vector<float> x(4, 1.0f), y(4, 9.0f), coeffs(12, 0.0f);
  dsp::tandem(c.io, x, y, 0, coeffs, 3, 1);
  EXPECT_EQ(c.out.str(), "\n\n ?????   (tandem)   invalid input   n =    0   m =    3?????\n\n\n");
  c.out.str("");
  dsp::tandem(c.io, x, y, 4, coeffs, 0, -1);
  EXPECT_EQ(c.out.str(), "\n\n ?????   (tandem)   invalid input   n =    4   m =    0?????\n\n\n");
  for (float v : y) EXPECT_EQ(v, 9.0f);
}

TEST(Chebf, NoSectionsLeavesTheSeriesAndReportsBothPasses) {
  Console c;
  std::vector<float> x{1.0f, -2.0f, 3.0f};
  const std::vector<float> before = x;
  std::vector<float> coeffs(4, 0.0f);
  dsp::chebf(c.io, x, 3, coeffs, 0, 2.0f);
  EXPECT_EQ(x, before);
  const std::string once = "\n\n ?????   (tandem)   invalid input   n =    3   m =    0?????\n\n\n";
  EXPECT_EQ(c.out.str(), once + once);
}

// Band 0.5 .. 5 Hz, stop edge 10 Hz at 100 samples per second.
constexpr float kDt = 0.01f;

TEST(Bandp, ZerosStayZeros) {
  Console c;
  std::vector<float> x(3000, 0.0f);
  dsp::bandp(c.io, x, 3000, kDt, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 0);
  for (float v : x) ASSERT_EQ(v, 0.0f);
  EXPECT_EQ(c.out.str(), "");
}

// Backward then forward: the impulse response is even about the impulse. The
// series is long enough for the response to die out (below 1e-7 of its peak)
// before either end, so the two passes start and end at rest.
TEST(Bandp, ImpulseResponseIsSymmetric) {
  for (float fl : {0.5f, 0.0f}) {
    Console c;
    const int n = 8001, mid = 4000;
    std::vector<float> x(n, 0.0f);
    x[mid] = 1.0f;
    dsp::bandp(c.io, x, n, kDt, fl, 5.0f, 10.0f, 0.1f, 5.0f, 0);
    float peak = 0.0f;
    for (float v : x) peak = std::max(peak, std::fabs(v));
    ASSERT_GT(peak, 0.01f);
    EXPECT_LT(std::fabs(x[0]), 1e-7f * peak);
    for (int k = 1; k <= mid; ++k) {
      ASSERT_NEAR(x[mid + k], x[mid - k], 1e-5f * peak) << "fl=" << fl << " k=" << k;
    }
  }
}

// A cosine well inside the series comes out in phase with the squared
// single-pass amplitude of the designed cascade.
TEST(Bandp, SteadyToneGetsTheSquaredAmplitudeAndNoPhaseShift) {
  Console c;
  Design d = bandPass(0.5f * kDt, 5.0f * kDt, 10.0f * kDt, 0.1f, 5.0f);
  for (double hz : {0.5, 2.0, 5.0, 10.0}) {
    const int n = 6000;
    std::vector<float> x(n);
    const double f = hz * kDt;
    for (int i = 0; i < n; ++i) x[i] = static_cast<float>(std::cos(2.0 * M_PI * f * i));
    dsp::bandp(c.io, x, n, kDt, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 0);
    const double a = amplitude(d, f);
    for (int i = 2500; i < 3500; ++i) {
      ASSERT_NEAR(x[i], a * a * std::cos(2.0 * M_PI * f * i), 1e-3) << hz << " Hz, i=" << i;
    }
  }
}

TEST(Bandp, LeadingZerosAreFilteredAndDropped) {
  Console c;
  const int n = 500, npad = 100;
  std::vector<float> x(n), padded(npad + n, 0.0f);
  for (int i = 0; i < n; ++i) x[i] = padded[npad + i] = static_cast<float>((i * 37) % 11) - 5.0f;
  dsp::bandp(c.io, x, n, kDt, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, npad);
  dsp::bandp(c.io, padded, npad + n, kDt, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 0);
  for (int i = 0; i < n; ++i) ASSERT_EQ(x[i], padded[npad + i]) << i;
}

TEST(Bandp, RejectedDesignLeavesTheSeriesAndPrintsOnlyItsMessage) {
  Console c;
  std::vector<float> x{1.0f, 2.0f, 3.0f, -4.0f};
  const std::vector<float> before = x;
  // Low-pass at 10 Hz with the stop edge at 60 Hz: 0.6 cycles per sample.
  dsp::bandp(c.io, x, 4, kDt, 0.0f, 10.0f, 60.0f, 0.1f, 5.0f, 0);
  EXPECT_EQ(x, before);
  EXPECT_EQ(c.out.str(), kLowPassMessage);

  c.out.str("");
  dsp::bandp(c.io, x, 4, kDt, 1.0f, 5.0f, 3.0f, 0.1f, 5.0f, 0);
  EXPECT_EQ(x, before);
  EXPECT_EQ(c.out.str(),
            "\n ?????   (chbpas)   invalid input   fl =      0.010000   fh =      0.050000   "
            "fs =      0.030000   ?????\n\n\n");
}

TEST(Bandp, EmptySeriesReportsBothPasses) {
  Console c;
  std::vector<float> x;
  dsp::bandp(c.io, x, 0, kDt, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 0);
  const Design d = bandPass(0.5f * kDt, 5.0f * kDt, 10.0f * kDt, 0.1f, 5.0f);
  ASSERT_GT(d.m, 0);
  ASSERT_LT(d.m, 10);
  const std::string once =
      "\n\n ?????   (tandem)   invalid input   n =    0   m =    " + std::to_string(d.m) +
      "?????\n\n\n";
  EXPECT_EQ(c.out.str(), once + once);
}

TEST(Bandp, WorkBufferCapacityIsEnforced) {
  Console c;
  std::vector<float> x(dsp::kWorkCapacity, 0.0f);
  EXPECT_NO_THROW(dsp::bandp(c.io, x, dsp::kWorkCapacity, kDt, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 0));
  EXPECT_THROW(dsp::bandp(c.io, x, dsp::kWorkCapacity, kDt, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 1),
               textio::InputRejected);
  EXPECT_THROW(dsp::bandp(c.io, x, 10, kDt, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, -1),
               textio::InputRejected);
  EXPECT_THROW(dsp::bandp(c.io, x, dsp::kWorkCapacity + 1, kDt, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 0),
               textio::InputRejected);
}

}  // namespace
