// The spectrum comparison page: two rows (observed, synthetic) of three
// log-log panels (displacement, velocity and acceleration spectra), all
// derived from one 8192-point transform of each acceleration window.
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "dsp/dsp.hpp"
#include "figures/figures.hpp"
#include "model/limits.hpp"
#include "textio/stop.hpp"

namespace figures {
namespace {

// Transform length: one radix-2 transform of 2^13 points per row.
constexpr int kTransformLength = model::kFftLength;
constexpr int kHalfLength = kTransformLength / 2;

// Every frame: 4 decades by 4 decades of 1.5 cm, 0.3 cm labels and ticks,
// panels 9.5 cm apart.
constexpr int kDecadesX = 4;
constexpr int kDecadesY = 4;
constexpr float kDecade = 1.5f;
constexpr float kLabelHeight = 0.3f;
constexpr float kPanelSpacing = 9.5f;

// Left edge of every frame, Hz.
constexpr float kLowestFrequency = 0.01f;

void title(plot::Device& dev, float x, std::string_view text, int n) {
  plot::symbol(dev, x, 6.5f, 0.5f, text, 0.0f, n);
}

// The titles above one row, half a centimetre above its frames.
void rowTitles(plot::Device& dev, const model::Params& p, const FigureTexts& t,
               std::string_view rowName) {
  title(dev, 0.0f, p.ttl2, 7);
  title(dev, 2.7f, p.ttl1, 6);
  title(dev, 9.5f, rowName, static_cast<int>(rowName.size()));
  title(dev, 19.0f, t.rcode, 5);
}

// w^p by repeated multiplication in single precision; a negative power
// multiplies the reciprocal, p = 0 gives 1 (so the curve is amp unchanged).
float powerOf(float w, int p) {
  if (p == 0) return 1.0f;
  const float base = p < 0 ? 1.0f / w : w;
  const int n = p < 0 ? -p : p;
  float r = base;
  for (int k = 1; k < n; ++k) r = r * base;
  return r;
}

// Cuts the window first..last of `series` (samples counted from 1) to at
// most ne samples, copies it into the first ne values of `window` (padded
// with zeros) and tapers both ends over iw samples when iw > 0 (a quarter
// sine period rising over samples 1..iw, a quarter cosine period falling
// over samples L-iw..L). Returns the window length L (0 for an empty window).
int spectrumWindow(std::span<const float> series, int first, int last, int iw, int ne,
                   std::span<float> window) {
  const int size = static_cast<int>(std::min<std::size_t>(window.size(), static_cast<std::size_t>(ne)));
  // The window never holds more than ne samples.
  if (last - first >= ne) last = first + ne - 1;
  std::fill(window.begin(), window.begin() + size, 0.0f);
  const int length = last >= first ? last - first + 1 : 0;
  for (int i = 1; i <= length && i <= size; ++i) {
    const long long k = static_cast<long long>(first) + i - 1;
    if (k >= 1 && k <= static_cast<long long>(series.size())) {
      window[static_cast<std::size_t>(i - 1)] = series[static_cast<std::size_t>(k - 1)];
    }
  }
  if (iw <= 0) return length;

  // Quarter periods of 1.5708 rad: the first sample keeps sin(1.5708 / iw) of
  // its value (it is not brought to zero), sample iw keeps sin(1.5708), and
  // the falling taper runs from weight 1 at L - iw to cos(1.5708) at L.
  const float fiw = static_cast<float>(iw);
  for (int i = 1; i <= iw && i <= size; ++i) {
    const float angle = static_cast<float>(i) * 1.5708f / fiw;
    const float weight = static_cast<float>(std::sin(static_cast<double>(angle)));
    float& s = window[static_cast<std::size_t>(i - 1)];
    s = s * weight;
  }
  for (int j = 0; j <= iw; ++j) {
    const long long k = static_cast<long long>(length) - iw + j;
    if (k < 1 || k > size) continue;
    const float angle = static_cast<float>(j) * 1.5708f / fiw;
    const float weight = static_cast<float>(std::cos(static_cast<double>(angle)));
    float& s = window[static_cast<std::size_t>(k - 1)];
    s = s * weight;
  }
  return length;
}

// The bottom of a spectrum panel's amplitude axis for the curve peak `peak`:
// ten to the power (nearest power of ten to the peak) - 4. A peak of 0
// gives 0.0001.
float spectrumFloor(float peak) {
  // A zero panel takes no logarithm: its frame tops at 1 and its curve lies
  // on the bottom edge.
  if (!(peak > 0.0f)) return 0.0001f;
  float e = static_cast<float>(std::log10(static_cast<double>(peak)));
  // Finite single-precision peaks have |e| < 46; keep the conversion defined
  // for an overflowed (infinite) peak too.
  e = std::clamp(e, -100.0f, 100.0f);
  // Rounded half away from zero: the frame's top line is the power of ten
  // nearest to the peak, four decades above ylow.
  const int m = e >= 0.0f ? static_cast<int>(e + 0.5f) : static_cast<int>(e - 0.5f);
  const float ylow = static_cast<float>(std::pow(10.0, static_cast<double>(m - kDecadesY)));
  return ylow == 0.0f ? 10.0f : ylow;
}

// Transforms the first ne samples of x (ne a power of two, 4 <= ne <= 8192,
// ne <= x.size()) and draws one row of three log-log panels, 9.5 cm apart,
// of the spectrum times (2 pi f)^p for p = II, II + 1, II + 2, with the
// title indices ntitle, ntitle + 1, ntitle + 2 and flow Hz at the left
// edge of every frame. fre and amp (at least ne / 2 values) receive the
// frequencies and the amplitude spectrum; fre(2..) may come back raised to
// flow where the curve drawing clamped them. The plot origin is left where
// it was found.
void pltfft(textio::Channels& io, plot::Device& dev, std::span<const float> x, int ne, float dt,
            int ntitle, int II, float flow, std::span<float> amp, std::span<float> fre) {
  const int half = ne / 2;
  if (ne < 4 || ne > kTransformLength || (ne & (ne - 1)) != 0 ||
      static_cast<std::size_t>(ne) > x.size() || static_cast<std::size_t>(half) > amp.size() ||
      static_cast<std::size_t>(half) > fre.size()) {
    throw std::invalid_argument("pltfft: transform length or array sizes out of range");
  }

  io.writeList(model::kConsoleOut, {"II inside=", II});
  std::vector<std::complex<float>> cc(static_cast<std::size_t>(ne));
  std::vector<float> curve(static_cast<std::size_t>(half));
  for (int i = 0; i < ne; ++i) cc[static_cast<std::size_t>(i)] = std::complex<float>(x[static_cast<std::size_t>(i)], 0.0f);

  // The exponent of ne, with 0.01 added so that a logarithm ratio just below
  // a whole number still truncates to it.
  const float lne = static_cast<float>(std::log10(static_cast<double>(static_cast<float>(ne))));
  const float l2 = static_cast<float>(std::log10(static_cast<double>(2.0f)));
  const int n = static_cast<int>(lne / l2 + 0.01f);
  io.writeList(model::kConsoleOut, {"sorry now calculating, before fft.  ne=", n});
  dsp::fft(n, std::span<std::complex<float>>(cc.data(), static_cast<std::size_t>(ne)));

  // Fourier amplitude of the acceleration in gal*s: the unscaled transform
  // times dt, times 100 for metres to centimetres, in that order. The
  // modulus is taken in double and rounded once.
  const float nedt = static_cast<float>(ne) * dt;
  for (int i = 1; i <= half; ++i) {
    const std::size_t k = static_cast<std::size_t>(i - 1);
    fre[k] = static_cast<float>(i - 1) / nedt;
    const std::complex<double> z(static_cast<double>(cc[k].real()), static_cast<double>(cc[k].imag()));
    const float modulus = static_cast<float>(std::abs(z));
    amp[k] = modulus * dt * 100.0f;
  }
  io.writeList(model::kConsoleOut, {fre[1], fre[2], dt, ne});
  io.writeList(model::kConsoleOut, {"sorry now calculating, after  fft"});

  for (int k = 1; k <= 3; ++k) {
    const float shift = static_cast<float>(k - 1) * kPanelSpacing;
    dev.plot(shift, 0.0f, -3);

    // The zero frequency is skipped. fre is read back after the previous
    // panel's curve drawing, which raises frequencies below flow to flow.
    const int power = k + II - 1;
    for (int i = 2; i <= half; ++i) {
      const std::size_t j = static_cast<std::size_t>(i - 1);
      const float omega = (3.1416f + 3.1416f) * fre[j];
      curve[j] = powerOf(omega, power) * amp[j];
    }
    float peak = 0.0f;
    for (int i = 2; i <= half; ++i) {
      const float v = std::fabs(curve[static_cast<std::size_t>(i - 1)]);
      if (v > peak) peak = v;
    }
    // A spectrum beyond the float range has no decade to draw it in.
    if (!std::isfinite(peak)) {
      throw textio::InputRejected("the spectrum figure cannot draw panel " + std::to_string(k) +
                                  ": the spectral amplitudes overflow single precision");
    }
    // "emAX" is the transcript's own spelling: keep it.
    io.writeList(model::kConsoleOut, {"sorry now calculating, emAX=", peak});
    const float ylow = spectrumFloor(peak);
    io.writeList(model::kConsoleOut, {"sorry now calculating, before plotting", ylow});

    plot::pltlog(dev, kDecadesX, kDecadesY, kDecade, kDecade, kLabelHeight, kLabelHeight, flow, ylow,
                 k + ntitle - 1);
    const std::size_t count = static_cast<std::size_t>(half - 1);
    plot::ptline(dev, fre.subspan(1, count), std::span<float>(curve).subspan(1, count), kDecade, kDecade,
                 flow, ylow, half - 1);
    dev.plot(-shift, 0.0f, -3);
  }
}

// One row: console header, window, taper, transform and the three panels.
void spectrumRow(textio::Channels& io, plot::Device& dev, const model::Params& p, float dt,
                 std::span<const float> series, int first, int last, std::string_view heading) {
  io.writeList(model::kConsoleOut, {"***********************"});
  io.writeList(model::kConsoleOut, {heading});
  const int ne = kTransformLength;
  io.writeList(model::kConsoleOut, {" ne =", ne});
  std::vector<float> window(kTransformLength), amp(kHalfLength), fre(kHalfLength);
  spectrumWindow(series, first, last, p.IW, ne, window);
  pltfft(io, dev, window, ne, dt, 1, -2, kLowestFrequency, amp, fre);
}

}  // namespace

void spectrumFigure(textio::Channels& io, plot::Device& dev, const model::Params& p,
                    const FigureMotions& m, const FigureTexts& t) {
  dev.plots(p.iuspc);
  dev.yoko(p.iuspc);
  dev.plot(3.5f, 13.5f, -3);
  rowTitles(dev, p, t, "OBSERVED");
  spectrumRow(io, dev, p, m.dt, m.observed.acc, p.ksm, p.kem, "observed spectra");
  dev.plot(0.0f, -10.0f, -3);
  rowTitles(dev, p, t, "SYNTHETIC");
  spectrumRow(io, dev, p, m.dt, m.synthetic.acc, p.ksa, p.kea, "synthetic spectra");
  dev.plote(p.iuspc);
}

}  // namespace figures
