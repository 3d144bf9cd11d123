#include "element.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "random.hpp"

namespace example {

namespace {

constexpr double kPi = 3.141592653589793;

int nextPowerOfTwo(int n) {
  int m = 1;
  while (m < n) m *= 2;
  return m;
}

// The zero-phase spectral shaping spreads each arrival a fraction of a
// second both ways; a real arrival is causal, so the shaped group is gated
// to zero before its onset (a 0.1-s cosine ramp ending at the onset), and
// the record is brought to rest over its last two seconds so that a copy
// cut at the record's end leaves no step.
double gate(const ElementSpec& recipe, const WaveGroup& g, double t) {
  constexpr double ramp = 0.1, tail = 2.0;
  double w = 1.0;
  if (t <= g.onset - ramp) return 0.0;
  if (t < g.onset) w = 0.5 - 0.5 * std::cos(kPi * (t - (g.onset - ramp)) / ramp);
  const double end = (recipe.samples - 1) * recipe.dt;
  if (t > end - tail) w *= 0.5 + 0.5 * std::cos(kPi * (t - (end - tail)) / tail);
  return w;
}

// One wave group: enveloped white noise, whitened to a unit mean-square
// spectrum and shaped by the source spectrum (the usual stochastic-method
// normalisation, so that the spectrum's shape, not the noise draw, sets the
// frequency content). The FFT buffer is at least twice the record so that
// the shaping filter's tails do not wrap round onto the first samples.
std::vector<double> waveGroup(const ElementSpec& recipe, const WaveGroup& g, Random& random) {
  const int n = nextPowerOfTwo(2 * recipe.samples);
  std::vector<double> re(n, 0.0), im(n, 0.0);
  for (int i = 0; i < recipe.samples; ++i) {
    re[i] = random.normal() * envelope(g, i * recipe.dt);
  }
  fft(re, im, -1);

  double power = 0;
  for (int k = 0; k < n; ++k) power += re[k] * re[k] + im[k] * im[k];
  const double rms = std::sqrt(power / n);
  if (rms == 0) throw std::logic_error("element wave group has an empty envelope");

  const double df = 1.0 / (n * recipe.dt);
  for (int k = 0; k <= n / 2; ++k) {
    const double shape = omegaSquaredAcceleration(k * df, g.corner, recipe.kappa) / rms;
    re[k] *= shape;
    im[k] *= shape;
    if (k > 0 && k < n / 2) {  // keep the spectrum Hermitian: a real series
      re[n - k] = re[k];
      im[n - k] = -im[k];
    }
  }
  im[0] = 0;
  im[n / 2] = 0;
  fft(re, im, +1);

  std::vector<double> out(recipe.samples);
  double sumSquares = 0;
  for (int i = 0; i < recipe.samples; ++i) {
    out[i] = re[i] / n * gate(recipe, g, i * recipe.dt);
    sumSquares += out[i] * out[i];
  }
  const double scale = g.weight / std::sqrt(sumSquares / recipe.samples);
  for (double& v : out) v *= scale;
  return out;
}

}  // namespace

double envelope(const WaveGroup& g, double t) {
  const double u = t - g.onset;
  if (u <= 0) return 0;
  if (u < g.rise) return (u / g.rise) * (u / g.rise);
  const double after = u - g.rise;
  return (1.0 - g.codaLevel) * std::exp(-after / g.decay) + g.codaLevel * std::exp(-after / g.coda);
}

double omegaSquaredAcceleration(double f, double fc, double kappa) {
  const double w = 2.0 * kPi * f;
  return w * w / (1.0 + (f / fc) * (f / fc)) * std::exp(-kPi * kappa * f);
}

std::vector<double> makeElement(const ElementSpec& recipe) {
  if (recipe.samples <= 0 || recipe.dt <= 0 || recipe.peak <= 0) {
    throw std::invalid_argument("element: samples, dt and peak must be positive");
  }
  Random random(recipe.seed);
  const std::vector<double> p = waveGroup(recipe, recipe.p, random);
  const std::vector<double> s = waveGroup(recipe, recipe.s, random);

  std::vector<double> acc(recipe.samples);
  double peak = 0;
  for (int i = 0; i < recipe.samples; ++i) {
    acc[i] = p[i] + s[i];
    peak = std::max(peak, std::fabs(acc[i]));
  }
  for (double& v : acc) v = v * (recipe.peak / peak) + recipe.noise * random.normal();
  return acc;
}

void fft(std::vector<double>& re, std::vector<double>& im, int sign) {
  const std::size_t n = re.size();
  if (n == 0 || (n & (n - 1)) != 0 || im.size() != n) {
    throw std::invalid_argument("fft: length must be a power of two");
  }
  for (std::size_t i = 1, j = 0; i < n; ++i) {  // bit-reversal permutation
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const double angle = sign * 2.0 * kPi / static_cast<double>(len);
    for (std::size_t k = 0; k < len / 2; ++k) {
      // Twiddles straight from the angle, not by recurrence, so that rounding
      // does not accumulate along a stage.
      const double wr = std::cos(angle * static_cast<double>(k));
      const double wi = std::sin(angle * static_cast<double>(k));
      for (std::size_t i = k; i < n; i += len) {
        const std::size_t j = i + len / 2;
        const double tr = re[j] * wr - im[j] * wi;
        const double ti = re[j] * wi + im[j] * wr;
        re[j] = re[i] - tr;
        im[j] = im[i] - ti;
        re[i] += tr;
        im[i] += ti;
      }
    }
  }
}

}  // namespace example
