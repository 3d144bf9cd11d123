// Misfit curves over every shift against a plain recomputation per shift
// (the best shift's ties are the evaluator's combination test).
#include "engine/misfit.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// The residual and correlation of one shift, summed sample by sample.
void bruteForce(const std::vector<double>& o, const std::vector<double>& syn, int maxShift, int l,
                double& res, double& cor) {
  double soo = 0, sss = 0, sos = 0, sdd = 0;
  for (std::size_t k = 0; k < o.size(); ++k) {
    const double s = syn[k + static_cast<std::size_t>(l + maxShift)];
    soo += o[k] * o[k];
    sss += s * s;
    sos += o[k] * s;
    sdd += (o[k] - s) * (o[k] - s);
  }
  res = sdd / (std::sqrt(soo) * std::sqrt(sss));
  cor = sos / (std::sqrt(soo) * std::sqrt(sss));
}

TEST(Curves, EqualAPlainSumAtEveryShiftDirectAndByFft) {
  std::mt19937 rng(3);
  std::normal_distribution<double> g(0.0, 1.0);
  struct Row {
    int length, maxShift;
    bool fft;
  };
  for (const Row row : {Row{800, 3, false}, Row{800, 200, true}, Row{4001, 100, true}}) {
    std::vector<double> syn(static_cast<std::size_t>(row.length + 2 * row.maxShift));
    for (double& v : syn) v = g(rng) * 1e-3;
    // The observed window is the synthetic 17 samples on, plus noise: the
    // correlation peaks at shift 17 (or the end of the range).
    std::vector<double> o(static_cast<std::size_t>(row.length));
    const int truth = std::min(17, row.maxShift);
    for (std::size_t k = 0; k < o.size(); ++k)
      o[k] = syn[k + static_cast<std::size_t>(row.maxShift + truth)] + 2e-4 * g(rng);
    const engine::Observed observed(o, row.maxShift);
    EXPECT_EQ(observed.viaFft(), row.fft);
    engine::Correlator c;
    c.reserve(observed);
    std::vector<double> res(2 * row.maxShift + 1), cor(res.size());
    c.curves(observed, syn, res, cor);
    for (const int l : {-row.maxShift, -1, 0, truth, row.maxShift}) {
      double r = 0, k = 0;
      bruteForce(o, syn, row.maxShift, l, r, k);
      EXPECT_NEAR(res[l + row.maxShift], r, 1e-9 * (1 + r)) << row.length << " shift " << l;
      EXPECT_NEAR(cor[l + row.maxShift], k, 1e-9) << row.length << " shift " << l;
    }
    EXPECT_EQ(engine::bestShift(res, row.maxShift), truth);
  }
}

TEST(Curves, ZeroEnergyWindowsGiveTheDocumentedValues) {
  // The synthetic is silent up to position 13: the window at shift -5
  // (positions 0..9) has no energy, the one at +5 (10..19) has six ones.
  const int maxShift = 5;
  std::vector<double> syn(20, 0.0);
  for (std::size_t j = 14; j < syn.size(); ++j) syn[j] = 1.0;
  engine::Correlator c;
  std::vector<double> res(2 * maxShift + 1), cor(res.size());
  const engine::Observed ones(std::vector<double>(10, 1.0), maxShift);
  c.reserve(ones);
  c.curves(ones, syn, res, cor);
  EXPECT_EQ(res[0], engine::kNoEnergyResidual);
  EXPECT_EQ(cor[0], 0.0);
  EXPECT_NEAR(res[10], (10 + 6 - 2 * 6) / std::sqrt(60.0), 1e-12);
  EXPECT_NEAR(cor[10], 6 / std::sqrt(60.0), 1e-12);
  // A silent observed window: no shift has a defined ratio.
  const engine::Observed silent(std::vector<double>(10, 0.0), maxShift);
  c.curves(silent, syn, res, cor);
  for (std::size_t t = 0; t < res.size(); ++t) {
    EXPECT_EQ(res[t], engine::kNoEnergyResidual);
    EXPECT_EQ(cor[t], 0.0);
  }
}

TEST(Envelope, IsTheMovingMeanOfTheAbsoluteValue) {
  const std::vector<double> x = {1, -3, 2, 0, -4};
  std::vector<double> e(7);
  engine::envelope(x, 0, 1, e);  // samples 0..6, outside 1..5 read as 0
  const std::vector<double> expected = {1 / 3.0, 4 / 3.0, 2, 5 / 3.0, 2, 4 / 3.0, 4 / 3.0};
  for (std::size_t j = 0; j < e.size(); ++j) EXPECT_NEAR(e[j], expected[j], 1e-15) << j;
}

}  // namespace
