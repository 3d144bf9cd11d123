// Response spectra against fine time stepping of the oscillator, the
// smoothing window written out, Anderson's bands and the band filter.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "metrics/metrics.hpp"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A broadband test signal: a few sines under an envelope.
std::vector<double> signal(std::size_t n, double dt) {
  std::vector<double> x(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double t = static_cast<double>(k) * dt;
    x[k] = std::exp(-0.3 * t) * t *
           (std::sin(2 * kPi * 0.3 * t) + 0.7 * std::sin(2 * kPi * 1.7 * t + 1) +
            0.4 * std::sin(2 * kPi * 6.1 * t + 2) + 0.2 * std::sin(2 * kPi * 13 * t));
  }
  return x;
}

// Peak |u| at the samples, by fourth-order Runge-Kutta on `sub` sub-steps
// per sample with the ground acceleration linear between samples.
double rungeKuttaPeak(const std::vector<double>& a, double dt, double period, double z, int sub) {
  const double w = 2 * kPi / period, h = dt / sub;
  auto f = [&](double acc, double u, double v, double& du, double& dv) {
    du = v;
    dv = -acc - 2 * z * w * v - w * w * u;
  };
  double u = 0, v = 0, best = 0;
  for (std::size_t k = 0; k + 1 < a.size(); ++k) {
    for (int s = 0; s < sub; ++s) {
      auto ag = [&](double frac) { return a[k] + (a[k + 1] - a[k]) * frac; };
      const double f0 = static_cast<double>(s) / sub, f1 = (s + 0.5) / sub, f2 = (s + 1.0) / sub;
      double k1u, k1v, k2u, k2v, k3u, k3v, k4u, k4v;
      f(ag(f0), u, v, k1u, k1v);
      f(ag(f1), u + h / 2 * k1u, v + h / 2 * k1v, k2u, k2v);
      f(ag(f1), u + h / 2 * k2u, v + h / 2 * k2v, k3u, k3v);
      f(ag(f2), u + h * k3u, v + h * k3v, k4u, k4v);
      u += h / 6 * (k1u + 2 * k2u + 2 * k3u + k4u);
      v += h / 6 * (k1v + 2 * k2v + 2 * k3v + k4v);
    }
    best = std::max(best, std::fabs(u));
  }
  return best;
}

TEST(ResponseSpectrum, BankStepsEveryOscillatorExactly) {
  // Eleven periods from twice the interval on: one full block of oscillators
  // stepped together and a part-filled one; each must be the lone
  // oscillator's number exactly and agree with fine time stepping.
  const double dt = 0.01;
  const auto a = signal(2000, dt);
  const auto periods = metrics::logSpaced(0.02, 8.0, 11);
  const metrics::OscillatorBank bank(dt, periods);
  std::vector<double> peaks(periods.size()), psa(periods.size());
  bank.peaks(a, peaks);
  bank.pseudoAcceleration(a, psa);
  const auto direct = metrics::pseudoSpectralAcceleration(a, dt, periods);
  for (std::size_t k = 0; k < periods.size(); ++k) {
    EXPECT_EQ(peaks[k], metrics::oscillatorPeak(a, dt, periods[k], metrics::kDamping)) << k;
    EXPECT_NEAR(peaks[k], rungeKuttaPeak(a, dt, periods[k], metrics::kDamping, 40), 1e-7 * peaks[k]) << k;
    EXPECT_EQ(psa[k], direct[k]) << k;
  }
}

TEST(Smoothing, KonnoOhmachiIsTheWeightedMeanInItsWindow) {
  // An uneven spectrum against the window's definition written out; a
  // centre below the first frequency has an empty window.
  metrics::Spectrum s;
  for (int j = 0; j <= 600; ++j) s.frequency.push_back(j * 0.03), s.amplitude.push_back(1.0 + std::sin(0.37 * j) + 0.01 * j);
  const double centres[] = {0.001, 0.2, 1.0, 7.3, 17.99};
  const auto smoothed = metrics::konnoOhmachi(s, centres, 40.0);
  const metrics::KonnoOhmachiSmoother smoother(s.frequency, std::span(centres).subspan(1), 40.0);
  EXPECT_TRUE(smoother.complete());
  EXPECT_TRUE(std::isnan(smoothed[0]));
  std::vector<double> applied(4);
  smoother.apply(s.amplitude, applied);
  for (std::size_t c = 1; c < 5; ++c) {
    double sw = 0, swa = 0;
    for (std::size_t j = 1; j < s.frequency.size(); ++j) {
      const double x = 40.0 * std::log10(s.frequency[j] / centres[c]);
      if (std::fabs(x) > kPi) continue;
      const double w = x == 0 ? 1.0 : std::pow(std::sin(x) / x, 4);
      sw += w, swa += w * s.amplitude[j];
    }
    EXPECT_NEAR(smoothed[c], swa / sw, 1e-12 * swa / sw) << c;
    EXPECT_EQ(applied[c - 1], smoothed[c]) << c;
  }
}

TEST(Anderson, BandsUpToTheNyquistFrequency) {
  const struct {
    double nyquist;
    std::size_t bands;
  } rows[] = {{50.0, 9}, {50.0000011, 9}, {49.999, 8}, {25.0000006, 8}, {100.0, 10}, {0.09, 0}};
  for (const auto& r : rows) EXPECT_EQ(metrics::andersonBands(r.nyquist).size(), r.bands) << r.nyquist;
}

// The band's motion from the acceleration against the band pass of the
// exact velocity and displacement of a Gaussian pulse that starts and ends
// at rest: d = exp(-u^2 / 2), u = (t - t0) / s.
TEST(BandFilter, IntegratesWithinTheBand) {
  const double dt = 0.01, t0 = 10, s = 0.2;
  const std::size_t n = 2000;
  std::vector<double> a(n), v(n), d(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double u = (static_cast<double>(k) * dt - t0) / s, g = std::exp(-u * u / 2);
    d[k] = g;
    v[k] = -u / s * g;
    a[k] = (u * u - 1) / (s * s) * g;
  }
  const metrics::BandFilter fromAcc(a, dt), fromVel(v, dt), fromDis(d, dt);
  for (metrics::Band band : {metrics::Band{0.2, 0.5}, metrics::Band{0.5, 1.0}, metrics::Band{1.0, 2.0}}) {
    const auto m = fromAcc.motion(band);
    const auto vel = fromVel.motion(band).acc, dis = fromDis.motion(band).acc;
    ASSERT_EQ(m.vel.size(), n);
    const double pv = metrics::peak(vel), pd = metrics::peak(dis);
    ASSERT_GT(pv, 0.05);
    for (std::size_t k = 0; k < n; ++k) {
      ASSERT_NEAR(m.vel[k], vel[k], 1e-9 * pv) << band.low << " Hz, sample " << k;
      ASSERT_NEAR(m.dis[k], dis[k], 1e-9 * pd) << band.low << " Hz, sample " << k;
    }
  }
}

}  // namespace
