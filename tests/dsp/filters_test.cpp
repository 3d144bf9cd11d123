#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/dsp.hpp"

namespace {

// Console unit 6 captured in a string.
struct Console {
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io{in, out, err};
};

struct Design {
  std::vector<float> coeffs = std::vector<float>(dsp::kCoeffCapacity, 0.0f);
  int m = -1;
  float gn = 0.0f;
  std::string printed;
  bool operator==(const Design&) const = default;  // unused coefficients stay 0
};

// fl = 0 asks for the low-pass design from fh and fs.
Design design(float fl, float fh, float fs, float ap = 0.1f, float as = 5.0f) {
  Console c;
  Design d;
  if (fl == 0.0f)
    dsp::chblop(c.io, d.coeffs, d.m, d.gn, fh, fs, ap, as);
  else
    dsp::chbpas(c.io, d.coeffs, d.m, d.gn, fl, fh, fs, ap, as);
  d.printed = c.out.str();
  return d;
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
    const Design d = design(r.fl, r.fh, r.fs, r.ap);
    const bool band = r.fl != 0.0f;
    ASSERT_EQ(d.m, band ? r.order : (r.order + 1) / 2);
    EXPECT_EQ(d.printed, "");
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
  const Design ref = design(0.0f, 0.1f, 0.2f);
  EXPECT_TRUE(design(0.0f, 0.1f, 0.2f, 0.0f, 0.0f) == ref);
  EXPECT_TRUE(design(0.0f, 0.1f, 0.2f, -5.0f, -0.1f) == ref);
  // Each zero stands for its own default: beside 2.0 it is 0.1 either way.
  const Design two = design(0.0f, 0.1f, 0.2f, 0.1f, 2.0f);
  EXPECT_TRUE(design(0.0f, 0.1f, 0.2f, 0.0f, 2.0f) == two);
  EXPECT_TRUE(design(0.0f, 0.1f, 0.2f, 2.0f, 0.0f) == two);
  const Design band = design(0.05f, 0.1f, 0.2f);
  EXPECT_TRUE(design(0.1f, 0.05f, 0.2f) == band);
  EXPECT_TRUE(design(-0.05f, 0.1f, -0.2f) == band);
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
    const Design d = design(r[0], r[1], r[2], r[3], r[4]);
    EXPECT_EQ(d.m, 0) << r[0] << " " << r[1] << " " << r[2];
    EXPECT_NE(d.printed.find(r[0] == 0 ? "(chblop) invalid input" : "(chbpas)   invalid input"),
              std::string::npos);
  }
}

// The four complaints, byte for byte; the series is left as it was.
TEST(Filtering, ComplaintsAndUntouchedSeries) {
  std::vector<float> x{1.0f, 2.0f, 3.0f, -4.0f};
  const std::vector<float> before = x;
  const std::vector<float> coeffs(8, 0.0f);
  const std::string tandem0 =
      "\n\n ?????   (tandem)   invalid input   n =    4   m =    0?????\n\n\n";
  struct Row {
    std::function<void(textio::Channels&)> call;
    std::string printed;
  };
  const Row rows[] = {
      {[&](textio::Channels& io) {
         dsp::bandp(io, x, 4, 0.01f, 0.0f, 10.0f, 60.0f, 0.1f, 5.0f, 0);
       },
       "\n ????? (chblop) invalid input  fp=      0.100000   fs=  6.000000E-01   ?????\n\n\n"},
      {[&](textio::Channels& io) { dsp::bandp(io, x, 4, 0.01f, 1.0f, 5.0f, 3.0f, 0.1f, 5.0f, 0); },
       "\n ?????   (chbpas)   invalid input   fl =      0.010000   fh =      0.050000   "
       "fs =      0.030000   ?????\n\n\n"},
      {[&](textio::Channels& io) { dsp::recfil(io, x.data(), x.data(), 0, 1, 1, 0, 0, 1); },
       "\n\n ?????   (recfil)   invalid input   n =    0   ?????\n\n\n"},
      {[&](textio::Channels& io) { dsp::tandem(io, before, x, 0, coeffs, 2, 1); },
       "\n\n ?????   (tandem)   invalid input   n =    0   m =    2?????\n\n\n"},
      // Both passes of an unusable cascade report, and nothing is scaled.
      {[&](textio::Channels& io) { dsp::chebf(io, x, 4, coeffs, 0, 2.0f); }, tandem0 + tandem0},
  };
  for (const Row& row : rows) {
    Console c;
    row.call(c.io);
    EXPECT_EQ(c.out.str(), row.printed);
    EXPECT_EQ(x, before);
  }
}

// Backward then forward: the impulse response is even about the impulse (the
// series is long enough for it to die out before either end), and a steady
// cosine comes out in phase, times the squared single-pass amplitude of the
// design at f*dt.
TEST(Filtering, ZeroPhaseSymmetryAndSquaredAmplitude) {
  Console c;
  for (float fl : {0.5f, 0.0f}) {
    const int n = 8001, mid = 4000;
    std::vector<float> x(n, 0.0f);
    x[mid] = 1.0f;
    dsp::bandp(c.io, x, n, 0.01f, fl, 5.0f, 10.0f, 0.1f, 5.0f, 0);
    ASSERT_GT(x[mid], 0.01f);
    EXPECT_LT(std::fabs(x[0]), 1e-7f * x[mid]);
    for (int k = 1; k <= mid; ++k) ASSERT_NEAR(x[mid + k], x[mid - k], 1e-5f * x[mid]) << fl << k;
  }
  const Design d = design(0.005f, 0.05f, 0.1f);
  for (double f : {0.005, 0.02, 0.1}) {
    std::vector<float> x(6000);
    for (int i = 0; i < 6000; ++i) x[i] = static_cast<float>(std::cos(2.0 * M_PI * f * i));
    dsp::bandp(c.io, x, 6000, 0.01f, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 0);
    const double a = amplitude(d, f);
    for (int i = 2500; i < 3500; ++i) ASSERT_NEAR(x[i], a * a * std::cos(2.0 * M_PI * f * i), 1e-3);
  }
}

TEST(Filtering, LeadingZerosAreFilteredAndDroppedWithinTheWorkCapacity) {
  Console c;
  const int n = 500, npad = 100;
  std::vector<float> x(n), padded(npad + n, 0.0f);
  for (int i = 0; i < n; ++i) x[i] = padded[npad + i] = static_cast<float>((i * 37) % 11) - 5.0f;
  dsp::bandp(c.io, x, n, 0.01f, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, npad);
  dsp::bandp(c.io, padded, npad + n, 0.01f, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 0);
  for (int i = 0; i < n; ++i) ASSERT_EQ(x[i], padded[npad + i]) << i;

  std::vector<float> big(dsp::kWorkCapacity, 0.0f);
  EXPECT_NO_THROW(
      dsp::bandp(c.io, big, dsp::kWorkCapacity, 0.01f, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 0));
  EXPECT_THROW(dsp::bandp(c.io, big, dsp::kWorkCapacity, 0.01f, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, 1),
               textio::InputRejected);
  EXPECT_THROW(dsp::bandp(c.io, big, 10, 0.01f, 0.5f, 5.0f, 10.0f, 0.1f, 5.0f, -1),
               textio::InputRejected);
}

}  // namespace
