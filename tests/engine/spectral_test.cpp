// The spectral terms against the report's own measures computed directly
// (a synthetic k times the observed is the evaluator's test), a term of
// weight 0, silence and the windows refused.
#include "engine/spectral.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "engine/misfit.hpp"
#include "metrics/metrics.hpp"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A broadband burst, different for each seed.
std::vector<double> burst(std::size_t n, double dt, double seed) {
  std::vector<double> x(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double t = static_cast<double>(k) * dt;
    x[k] = t * std::exp(-0.4 * t) *
           (std::sin(2 * kPi * (0.4 + 0.1 * seed) * t) + 0.6 * std::sin(2 * kPi * (2.1 + seed) * t + seed) +
            0.3 * std::sin(2 * kPi * (7.3 - seed) * t + 2.0) + 0.2 * std::sin(2 * kPi * 17.0 * t));
  }
  return x;
}

engine::SpectralSettings both() {
  engine::SpectralSettings s;
  s.psa = 1.0;
  s.fourier = 1.0;
  return s;
}

double meanSquaredLnRatio(const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0;
  for (std::size_t k = 0; k < a.size(); ++k) sum += std::pow(std::log(a[k] / b[k]), 2);
  return sum / static_cast<double>(a.size());
}

TEST(SpectralTerms, AreTheReportsMeasuresOfTheTwoWindows) {
  const double dt = 0.01;
  const auto observed = burst(3001, dt, 0.0), synthetic = burst(3001, dt, 0.7);
  const engine::SpectralSettings s = both();
  const engine::SpectralObserved o(observed, dt, s);
  engine::SpectralScratch scratch;
  scratch.reserve(o);

  const auto periods = metrics::logSpaced(0.05, 5.0, 30);
  ASSERT_EQ(o.periods().size(), 30u);
  EXPECT_EQ(o.periods().front(), 0.05);
  EXPECT_EQ(o.periods().back(), 5.0);
  const auto psaO = metrics::pseudoSpectralAcceleration(observed, dt, periods);
  const auto psaS = metrics::pseudoSpectralAcceleration(synthetic, dt, periods);
  const auto lnPsa = scratch.lnPsa(o, synthetic);
  for (std::size_t p = 0; p < periods.size(); ++p) EXPECT_EQ(lnPsa[p], std::log(psaS[p])) << p;
  EXPECT_NEAR(scratch.psa(o, synthetic), meanSquaredLnRatio(psaO, psaS), 1e-14);

  const auto centres = metrics::logSpaced(0.2, 10.0, 30);
  const auto fasO = metrics::konnoOhmachi(metrics::fourierAmplitude(observed, dt), centres);
  const auto fasS = metrics::konnoOhmachi(metrics::fourierAmplitude(synthetic, dt), centres);
  const auto lnFas = scratch.lnFourier(o, synthetic);
  for (std::size_t f = 0; f < centres.size(); ++f) EXPECT_NEAR(lnFas[f], std::log(fasS[f]), 1e-12) << f;
  EXPECT_NEAR(scratch.fourier(o, synthetic), meanSquaredLnRatio(fasO, fasS), 1e-12);
  EXPECT_GT(scratch.psa(o, synthetic), 0.01);  // the two bursts differ
  EXPECT_GT(scratch.fourier(o, synthetic), 0.01);
}

// A term of weight 0 is not computed; the same window gives 0.
TEST(SpectralTerms, ATermOfWeightZeroIsNotComputed) {
  const double dt = 0.01;
  const auto observed = burst(2500, dt, 0.3);
  engine::SpectralSettings s = both();
  s.fourier = 0.0;
  const engine::SpectralObserved psaOnly(observed, dt, s);
  engine::SpectralScratch scratch;
  scratch.reserve(psaOnly);
  const engine::SpectralFit same = scratch.terms(psaOnly, observed);
  EXPECT_EQ(same.psa, 0.0);
  EXPECT_TRUE(std::isnan(same.fourier));
}

TEST(SpectralTerms, SilenceAndWindowsThatCannotGiveATerm) {
  const double dt = 0.01;
  const auto observed = burst(2000, dt, 0.0);
  const engine::SpectralObserved o(observed, dt, both());
  engine::SpectralScratch scratch;
  scratch.reserve(o);
  const std::vector<double> silent(observed.size(), 0.0);
  EXPECT_EQ(scratch.psa(o, silent), engine::kNoEnergyResidual);
  EXPECT_EQ(scratch.fourier(o, silent), engine::kNoEnergyResidual);

  const auto refusal = [&](std::span<const double> window, const engine::SpectralSettings& s) {
    try {
      engine::SpectralObserved bad(window, dt, s);
    } catch (const std::invalid_argument& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(refusal(silent, both()).find("no response at 0.05 s"), std::string::npos);
  engine::SpectralSettings high = both();
  high.band = {0.2, 60.0};
  EXPECT_NE(refusal(observed, high).find("above the Nyquist frequency 50 Hz"), std::string::npos);
  // 64 samples: a spectrum every 1.56 Hz, nothing within 0.2 Hz's window.
  EXPECT_NE(refusal(std::span(observed).first(64), both()).find("too short"), std::string::npos);
}

}  // namespace
