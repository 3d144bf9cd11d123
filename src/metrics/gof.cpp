// Anderson's (2004) goodness-of-fit scores; the definitions are in
// metrics.hpp.
#include <algorithm>
#include <cmath>
#include <limits>

#include "metrics/metrics.hpp"

namespace metrics {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Mean of the finite values, NaN when there are none.
template <typename Range>
double meanOfDefined(const Range& values) {
  double sum = 0.0;
  int n = 0;
  for (double v : values)
    if (std::isfinite(v)) sum += v, ++n;
  return n ? sum / n : kNaN;
}

// 10 (1 - max |I1 - I2|) of the normalised cumulative integrals of x^2.
double durationScore(std::span<const double> x1, std::span<const double> x2, double dt) {
  const auto c1 = cumulativeSquare(x1, dt), c2 = cumulativeSquare(x2, dt);
  if (c1.empty() || c2.empty() || !(c1.back() > 0.0) || !(c2.back() > 0.0)) return kNaN;
  double worst = 0.0;
  for (std::size_t k = 0; k < std::max(c1.size(), c2.size()); ++k) {
    const double i1 = k < c1.size() ? c1[k] / c1.back() : 1.0;
    const double i2 = k < c2.size() ? c2[k] / c2.back() : 1.0;
    worst = std::max(worst, std::fabs(i1 - i2));
  }
  return 10.0 * (1.0 - worst);
}

double correlationScore(std::span<const double> x1, std::span<const double> x2) {
  const std::size_t n = std::min(x1.size(), x2.size());
  double s12 = 0.0, s11 = 0.0, s22 = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    s12 += x1[k] * x2[k];
    s11 += x1[k] * x1[k];
    s22 += x2[k] * x2[k];
  }
  if (!(s11 > 0.0) || !(s22 > 0.0)) return kNaN;
  return 10.0 * std::max(0.0, s12 / std::sqrt(s11 * s22));
}

double total(std::span<const double> x, double dt) {
  const auto c = cumulativeSquare(x, dt);
  return c.empty() ? 0.0 : c.back();
}

// Mean of S over the points whose frequency lies in the band.
double spectralScore(Band band, std::span<const double> frequencies, std::span<const double> v1,
                     std::span<const double> v2) {
  std::vector<double> s;
  for (std::size_t k = 0; k < frequencies.size(); ++k)
    if (frequencies[k] >= band.low && frequencies[k] <= band.high) s.push_back(score(v1[k], v2[k]));
  return meanOfDefined(s);
}

// Means over the bands (only those within the pass band when asked).
ScoreSummary summarise(const std::vector<BandScore>& bands, bool passBandOnly) {
  ScoreSummary sum{0, {}, kNaN};
  std::vector<const BandScore*> chosen;
  for (const BandScore& b : bands)
    if (b.inPassBand || !passBandOnly) chosen.push_back(&b);
  sum.bands = static_cast<int>(chosen.size());
  for (std::size_t k = 0; k < kCriteria; ++k) {
    std::vector<double> column;
    for (const BandScore* b : chosen) column.push_back(b->c[k]);
    sum.criteria[k] = meanOfDefined(column);
  }
  std::vector<double> scores;
  for (const BandScore* b : chosen) scores.push_back(b->score);
  sum.score = meanOfDefined(scores);
  return sum;
}

}  // namespace

double score(double p1, double p2) {
  const double m = std::min(p1, p2);
  if (!(m > 0.0) || !std::isfinite(p1) || !std::isfinite(p2)) return kNaN;
  const double r = (p1 - p2) / m;
  return 10.0 * std::exp(-r * r);
}

std::vector<Band> andersonBands(double nyquist) {
  static constexpr Band kAll[] = {{0.05, 0.1}, {0.1, 0.2}, {0.2, 0.5}, {0.5, 1.0},  {1.0, 2.0},
                                  {2.0, 5.0},  {5.0, 10.0}, {10.0, 20.0}, {20.0, 50.0}, {50.0, 100.0}};
  std::vector<Band> bands;
  for (Band b : kAll)
    if (within(b, {0.0, nyquist})) bands.push_back(b);
  return bands;
}

GoodnessOfFit anderson(std::span<const double> observed, std::span<const double> synthetic, double dt,
                       Band passBand, std::span<const double> periods,
                       std::span<const double> frequencies, std::span<const double> fasObserved,
                       std::span<const double> fasSynthetic) {
  const BandFilter filterO(observed, dt), filterS(synthetic, dt);
  GoodnessOfFit g;
  for (Band band : andersonBands(0.5 / dt)) {
    const BandMotion o = filterO.motion(band), s = filterS.motion(band);
    // Only the periods of this band need a response.
    std::vector<double> bandPeriods;
    for (double t : periods)
      if (1.0 / t >= band.low && 1.0 / t <= band.high) bandPeriods.push_back(t);
    const auto po = pseudoSpectralAcceleration(o.acc, dt, bandPeriods);
    const auto ps = pseudoSpectralAcceleration(s.acc, dt, bandPeriods);
    std::vector<double> pf(bandPeriods.size());
    for (std::size_t k = 0; k < pf.size(); ++k) pf[k] = 1.0 / bandPeriods[k];

    BandScore b{band, within(band, passBand), {}, kNaN};
    b.c[0] = durationScore(o.acc, s.acc, dt);
    b.c[1] = durationScore(o.vel, s.vel, dt);
    b.c[2] = score(total(o.acc, dt), total(s.acc, dt));
    b.c[3] = score(total(o.vel, dt), total(s.vel, dt));
    b.c[4] = score(peak(o.acc), peak(s.acc));
    b.c[5] = score(peak(o.vel), peak(s.vel));
    b.c[6] = score(peak(o.dis), peak(s.dis));
    b.c[7] = spectralScore(band, pf, po, ps);
    b.c[8] = spectralScore(band, frequencies, fasObserved, fasSynthetic);
    b.c[9] = correlationScore(o.acc, s.acc);
    b.score = meanOfDefined(b.c);
    g.bands.push_back(b);
  }
  g.passBand = summarise(g.bands, true);
  g.allBands = summarise(g.bands, false);
  return g;
}

}  // namespace metrics
