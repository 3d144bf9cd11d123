#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "dsp/dsp.hpp"

namespace {

// fl = 0 asks for the low-pass design from fh and fs.
dsp::FilterDesign design(float fl, float fh, float fs, float ap = 0.1f, float as = 5.0f) {
  return fl == 0.0f ? dsp::designLowPass(fh, fs, ap, as) : dsp::designBandPass(fl, fh, fs, ap, as);
}

bool same(const dsp::FilterDesign& a, const dsp::FilterDesign& b) {
  return a.coeffs == b.coeffs && a.sections == b.sections && a.gain == b.gain;
}

// Single-pass amplitude of the designed cascade at normalised frequency f
// (cycles per sample), evaluated in double from the stored coefficients.
double amplitude(const dsp::FilterDesign& d, double f) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * f);  // z^-1
  std::complex<double> h = d.gain;
  for (int k = 0; k < d.sections; ++k) {
    const double a1 = d.coeffs[4 * k], a2 = d.coeffs[4 * k + 1];
    const double b1 = d.coeffs[4 * k + 2], b2 = d.coeffs[4 * k + 3];
    h *= (1.0 + a1 * z1 + a2 * z1 * z1) / (1.0 + b1 * z1 + b2 * z1 * z1);
  }
  return std::abs(h);
}

// Worked designs against the Chebyshev response computed in double: ripple
// eps halfway (logarithmically) between the targets for the order n, pass
// edges at 1/sqrt(1+eps^2), the stop edge at 1/sqrt(1+eps^2 T_n(t)^2) where t
// is the stop edge on the prototype's axis. Float coefficients agree to a few
// parts in 10^5; a wrong coefficient moves the response by percent.
TEST(Designs, OrdersSectionsAndResponseOfWorkedCases) {
  struct Row {
    float fl, fh, fs, ap;
    int order;
  };
  const Row rows[] = {{0.0f, 0.1f, 0.2f, 0.1f, 3},   {0.0f, 0.1f, 0.2f, 0.5f, 2},
                      {0.0f, 0.1f, 0.14f, 0.1f, 5},  {0.05f, 0.1f, 0.2f, 0.1f, 2},
                      {0.01f, 0.05f, 0.1f, 0.1f, 3}, {0.1f, 0.2f, 0.05f, 0.1f, 2}};
  constexpr double kTol = 2e-4;
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.fl << " " << r.fh << " " << r.fs << " " << r.ap);
    const dsp::FilterDesign d = design(r.fl, r.fh, r.fs, r.ap);
    const bool band = r.fl != 0.0f;
    ASSERT_EQ(d.sections, band ? r.order : (r.order + 1) / 2);
    const double tl = std::tan(M_PI * r.fl), th = std::tan(M_PI * r.fh), ts = std::tan(M_PI * r.fs);
    double t = ts / th;
    if (band) {
      const double k = 1.0 / (th - tl), w = k * ts;
      t = std::fabs(w - th * tl * k * k / w);
    }
    const double tn = std::cosh(r.order * std::acosh(t));
    const double eps = std::sqrt(r.ap * 5.0 / tn);
    const double passEdge = 1.0 / std::sqrt(1.0 + eps * eps);
    EXPECT_NEAR(amplitude(d, r.fh), passEdge, kTol);
    if (band) {
      EXPECT_NEAR(amplitude(d, r.fl), passEdge, kTol);
    }
    EXPECT_NEAR(amplitude(d, r.fs), 1.0 / std::sqrt(1.0 + eps * eps * tn * tn), kTol);
    for (int i = 0; i <= 50; ++i) {
      const double a = amplitude(d, r.fl + (r.fh - r.fl) * i / 50.0);
      EXPECT_LE(a, 1.0 + kTol);
      EXPECT_GE(a, passEdge - kTol);
    }
    // Zeros at Nyquist (and at 0 for a band-pass); an odd low-pass peaks at 0.
    EXPECT_NEAR(amplitude(d, 0.5), 0.0, 1e-6);
    EXPECT_NEAR(amplitude(d, 0.0), band ? 0.0 : r.order % 2 ? 1.0 : passEdge, band ? 1e-6 : kTol);
  }
}

TEST(Designs, TolerancesAndEdgesInEitherOrderOrSign) {
  const auto ref = design(0.0f, 0.1f, 0.2f);
  EXPECT_TRUE(same(design(0.0f, 0.1f, 0.2f, 0.0f, 0.0f), ref));
  EXPECT_TRUE(same(design(0.0f, 0.1f, 0.2f, -5.0f, -0.1f), ref));
  // Each zero stands for its own default: beside 2.0 it is 0.1 either way.
  const auto two = design(0.0f, 0.1f, 0.2f, 0.1f, 2.0f);
  EXPECT_TRUE(same(design(0.0f, 0.1f, 0.2f, 0.0f, 2.0f), two));
  EXPECT_TRUE(same(design(0.0f, 0.1f, 0.2f, 2.0f, 0.0f), two));
  // A low pass from frequencies in Hz and the sample interval (a band pass is
  // what the golden run filters with, and pins).
  EXPECT_TRUE(same(dsp::designFilter(0.5f, {0.0f, 0.2f, 0.4f, 0.1f, 5.0f}), ref));
  const auto band = design(0.05f, 0.1f, 0.2f);
  EXPECT_TRUE(same(design(0.1f, 0.05f, 0.2f), band));
  EXPECT_TRUE(same(design(-0.05f, 0.1f, -0.2f), band));
}

// Refused designs: stop edge beyond or at Nyquist, on or inside the band,
// below a low-pass edge; zero or negative edges (an unstable filter); an order
// above 31; a pass tolerance above the stop one.
TEST(Designs, RefusedRequestsGiveNoSections) {
  const float rows[][5] = {{0.0f, 0.1f, 0.5f, 0.1f, 5.0f},    {0.0f, 0.1f, 0.1f, 0.1f, 5.0f},
                           {0.0f, 0.0f, 0.2f, 0.1f, 5.0f},    {0.0f, 0.2f, 0.1f, 0.1f, 5.0f},
                           {0.0f, 0.1f, 0.1003f, 0.1f, 5.0f}, {0.0f, 0.1f, 0.2f, 0.0f, 0.05f},
                           {0.0f, -0.1f, -0.2f, 0.1f, 5.0f},  {0.05f, 0.1f, 0.07f, 0.1f, 5.0f},
                           {0.05f, 0.1f, 0.1f, 0.1f, 5.0f},   {0.05f, 0.1f, 0.5f, 0.1f, 5.0f},
                           {0.1f, 0.1f, 0.2f, 0.1f, 5.0f},    {0.1f, 0.5f, 0.2f, 0.1f, 5.0f},
                           {0.05f, 0.1f, 0.0f, 0.1f, 5.0f},   {0.05f, 0.1f, 0.1001f, 0.1f, 5.0f},
                           {0.05f, 0.1f, 0.2f, 0.05f, 0.0f}};
  for (const auto& r : rows) {
    EXPECT_TRUE(design(r[0], r[1], r[2], r[3], r[4]).refused()) << r[0] << " " << r[1] << " " << r[2];
  }
}

}  // namespace
