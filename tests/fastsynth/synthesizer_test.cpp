// The fast synthetic against the exact single-precision summation.
#include "fastsynth/synthesizer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "dsp/dsp.hpp"

namespace {

using Series = std::array<std::vector<float>, 3>;

struct RandomModel {
  synthesis::SubfaultModel model;
  std::array<float, synthesis::kMaxShifts> ft{};
  int nx, nw, ntt, nin, nout;
  float dtau, dt;
  Series element;
};

// Subfault delays spread over up to `lagSpread` samples (some negative, as
// lagij may be), amplitudes and weights of several magnitudes, shift
// spacings of about one sample, an element that may be longer or shorter
// than the synthetic.
RandomModel randomModel(std::mt19937& rng, int lagSpread, bool impulse = false) {
  RandomModel r;
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  r.nx = 1 + static_cast<int>(rng() % 12);
  r.nw = 1 + static_cast<int>(rng() % 12);
  r.ntt = 1 + static_cast<int>(rng() % 300);
  r.nin = 200 + static_cast<int>(rng() % 5000);
  r.nout = 300 + static_cast<int>(rng() % 6000);
  r.dt = 0.01f;
  r.dtau = r.dt * (0.5f + 1.5f * u(rng));
  r.model.lagmin = 0;
  for (int i = 0; i < r.nx; ++i)
    for (int j = 0; j < r.nw; ++j) {
      r.model.lagij[i][j] = static_cast<int>(rng() % (lagSpread + 1)) - lagSpread / 4;
      r.model.lagmin = std::min(r.model.lagmin, r.model.lagij[i][j]);
      r.model.ampij[i][j] = std::pow(10.0f, 2.0f * u(rng) - 1.0f);
    }
  synthesis::weights(1 + static_cast<int>(rng() % 4), 1 + static_cast<int>(rng() % 10), r.ntt,
                     r.ft);
  for (auto& s : r.element) {
    s.resize(static_cast<std::size_t>(r.nin));
    for (float& v : s) v = (u(rng) - 0.5f) * 30.0f;
  }
  // A unit impulse makes the synthetic the taps themselves: a copy placed
  // one sample off would stand out at once.
  if (impulse) {
    std::fill(r.element[0].begin(), r.element[0].end(), 0.0f);
    r.element[0][0] = 1.0f;
  }
  return r;
}

// The exact summation's three series, nout samples each.
Series exact(const RandomModel& r, const synthesis::CopyGrid& grid) {
  Series out;
  for (auto& s : out) s.assign(static_cast<std::size_t>(r.nout), 0.0f);
  synthesis::syntGrid({out[0], out[1], out[2]}, r.nout, {r.element[0], r.element[1], r.element[2]},
                      r.nin, grid);
  return out;
}

// Largest |fast - exact| over the samples, as a fraction of exact's peak.
double worstError(const std::vector<float>& ref, std::span<const double> fast) {
  double peak = 0.0, worst = 0.0;
  for (std::size_t n = 0; n < ref.size(); ++n) {
    peak = std::max(peak, std::fabs(static_cast<double>(ref[n])));
    worst = std::max(worst, std::fabs(fast[n] - static_cast<double>(ref[n])));
  }
  return peak > 0.0 ? worst / peak : worst;
}

TEST(Synthesizer, AgreesWithTheExactSummationOnRandomModels) {
  std::mt19937 rng(16);
  fastsynth::Synthesizer synth(6000, 7000);
  for (int trial = 0; trial < 24; ++trial) {
    const RandomModel r = randomModel(rng, trial % 2 == 0 ? 40 : 3000, trial % 3 == 0);
    const synthesis::CopyGrid grid{r.model, r.nx, r.nw, r.ntt, r.ft, r.dtau, r.dt};
    const Series ref = exact(r, grid);
    const fastsynth::Element element({r.element[0], r.element[1], r.element[2]}, r.nin, r.nout);
    for (const auto method : {fastsynth::Method::Direct, fastsynth::Method::Fft}) {
      synth.synthesize(element, grid, r.nout, method);
      for (int q = 0; q < 3; ++q)
        EXPECT_LT(worstError(ref[q], synth.series(q)), 1e-4)
            << "trial " << trial << " series " << q << " fft "
            << (method == fastsynth::Method::Fft);
    }
  }
}

TEST(Synthesizer, RemovesTheMeansAsTheSummationDoes) {
  std::mt19937 rng(7);
  const RandomModel r = randomModel(rng, 100);
  const synthesis::CopyGrid grid{r.model, r.nx, r.nw, r.ntt, r.ft, r.dtau, r.dt};
  Series ref = exact(r, grid);
  const int ksa = r.nout / 4, kea = r.nout / 2;
  float mean = 0;
  for (auto& s : ref) {
    dsp::removeMean(s, 1, r.nout, mean);
    dsp::removeMean(s, ksa, kea, mean);
  }
  const fastsynth::Element element({r.element[0], r.element[1], r.element[2]}, r.nin, r.nout);
  fastsynth::Synthesizer synth(r.nin, r.nout);
  synth.synthesize(element, grid, r.nout);
  synth.removeMeans(ksa, kea);
  for (int q = 0; q < 3; ++q) EXPECT_LT(worstError(ref[q], synth.series(q)), 1e-4) << q;
}

}  // namespace
