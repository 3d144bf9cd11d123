// The damped oscillator's exact recurrence, one oscillator or a bank of
// them, and the Konno-Ohmachi smoothing with its weights made once.
#include <algorithm>
#include <cmath>
#include <limits>

#include "metrics/metrics.hpp"

namespace metrics {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Oscillators stepped together: a block's state lives in registers, and
// its lanes are independent, so the compiler vectorises them.
constexpr std::size_t kLanes = 8;

}  // namespace

OscillatorBank::OscillatorBank(double dt, std::span<const double> periods, double z)
    : periods_(periods.begin(), periods.end()) {
  for (const double period : periods) {
    const double w = 2.0 * kPi / period;
    const double root = std::sqrt(1.0 - z * z);
    const double wd = w * root;
    const double r = z / root;
    const double E = std::exp(-z * w * dt), S = std::sin(wd * dt), C = std::cos(wd * dt);
    a11_.push_back(E * (r * S + C));
    a12_.push_back(E * S / wd);
    a21_.push_back(-w * E * S / root);
    a22_.push_back(E * (C - r * S));
    const double p = (2.0 * z * z - 1.0) / (w * w * dt), q = 2.0 * z / (w * w * w * dt);
    const double w2 = 1.0 / (w * w);
    b11_.push_back(E * ((p + z / w) * S / wd + (q + w2) * C) - q);
    b12_.push_back(-E * (p * S / wd + q * C) - w2 + q);
    b21_.push_back(E * ((p + z / w) * (C - r * S) - (q + w2) * (wd * S + z * w * C)) + 1.0 / (w * w * dt));
    b22_.push_back(-E * (p * (C - r * S) - q * (wd * S + z * w * C)) - 1.0 / (w * w * dt));
  }
}

void OscillatorBank::peaks(std::span<const double> acc, std::span<double> out) const {
  for (std::size_t first = 0; first < size(); first += kLanes) {
    // A block's coefficients, the lanes past the last oscillator zero (they
    // stay at rest).
    const std::size_t lanes = std::min(kLanes, size() - first);
    double a11[kLanes] = {}, a12[kLanes] = {}, a21[kLanes] = {}, a22[kLanes] = {};
    double b11[kLanes] = {}, b12[kLanes] = {}, b21[kLanes] = {}, b22[kLanes] = {};
    for (std::size_t l = 0; l < lanes; ++l) {
      a11[l] = a11_[first + l], a12[l] = a12_[first + l], a21[l] = a21_[first + l], a22[l] = a22_[first + l];
      b11[l] = b11_[first + l], b12[l] = b12_[first + l], b21[l] = b21_[first + l], b22[l] = b22_[first + l];
    }
    double u[kLanes] = {}, v[kLanes] = {}, best[kLanes] = {};
    for (std::size_t k = 0; k + 1 < acc.size(); ++k) {
      const double x0 = acc[k], x1 = acc[k + 1];
      for (std::size_t l = 0; l < kLanes; ++l) {
        const double un = a11[l] * u[l] + a12[l] * v[l] + b11[l] * x0 + b12[l] * x1;
        const double vn = a21[l] * u[l] + a22[l] * v[l] + b21[l] * x0 + b22[l] * x1;
        u[l] = un;
        v[l] = vn;
        best[l] = std::max(best[l], std::fabs(un));
      }
    }
    for (std::size_t l = 0; l < lanes; ++l) out[first + l] = best[l];
  }
}

void OscillatorBank::pseudoAcceleration(std::span<const double> acc, std::span<double> out) const {
  peaks(acc, out);
  for (std::size_t k = 0; k < size(); ++k) {
    const double w = 2.0 * kPi / periods_[k];
    out[k] = w * w * out[k];
  }
}

double oscillatorPeak(std::span<const double> acc, double dt, double period, double damping) {
  double peak = 0.0;
  OscillatorBank(dt, std::span(&period, 1), damping).peaks(acc, std::span(&peak, 1));
  return peak;
}

KonnoOhmachiSmoother::KonnoOhmachiSmoother(std::span<const double> frequencies,
                                           std::span<const double> centres, double b) {
  // The window's first zeros lie where b log10(f / fc) = +-pi.
  const double reach = kPi / b;
  for (const double fc : centres) {
    const double lo = fc * std::pow(10.0, -reach), hi = fc * std::pow(10.0, reach);
    Window w;
    // Frequencies of 0 or below lie outside every window.
    w.first = static_cast<std::size_t>(
        std::lower_bound(frequencies.begin(), frequencies.end(), lo,
                         [](double f, double bound) { return f <= 0.0 || f < bound; }) -
        frequencies.begin());
    w.weights = weights_.size();
    for (std::size_t j = w.first; j < frequencies.size() && frequencies[j] <= hi; ++j) {
      const double x = b * std::log10(frequencies[j] / fc);
      const double weight = x == 0.0 ? 1.0 : std::pow(std::sin(x) / x, 4);
      weights_.push_back(weight);
      w.sum += weight;
      ++w.count;
    }
    windows_.push_back(w);
  }
}

bool KonnoOhmachiSmoother::complete() const {
  return std::all_of(windows_.begin(), windows_.end(), [](const Window& w) { return w.sum > 0.0; });
}

void KonnoOhmachiSmoother::apply(std::span<const double> amplitude, std::span<double> out) const {
  for (std::size_t c = 0; c < windows_.size(); ++c) {
    const Window& w = windows_[c];
    double sum = 0.0;
    for (std::size_t i = 0; i < w.count; ++i) sum += weights_[w.weights + i] * amplitude[w.first + i];
    out[c] = w.sum > 0.0 ? sum / w.sum : kNaN;
  }
}

}  // namespace metrics
