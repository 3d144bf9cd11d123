// The empirical Green's function summation: ntt delayed, weighted copies of
// the element record per subfault, summed into the three synthetics.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "dsp/dsp.hpp"
#include "synthesis/copy_range.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace synthesis {
void synt(std::span<float> out, int nout, std::span<const float> in, int nin, int shift, float a,
          float b) {
  const detail::OutputRange r = detail::outputRange(shift, nin, nout, in.size(), out.size());
  // The product a*b is formed once; each sample then adds (a*b)*in(m). The
  // loop has no dependence between samples, so it vectorises without
  // changing any sample's arithmetic.
  const float c = a * b;
  float* o = out.data();
  const float* x = in.data() - shift;
  for (long long n = r.lo; n < r.hi; ++n) o[n] += c * x[n];
}

void weights(int imdl, int nt, int ntt, std::span<float> ft) {
  // The e of the decaying model, and its e - 1 (exact in single precision).
  constexpr float e = 2.71828f;
  const int n = std::min<long long>(std::max(ntt, 0), static_cast<long long>(ft.size()));
  const float fnt = static_cast<float>(nt);
  const float fntt = static_cast<float>(ntt);
  const float tail = static_cast<float>(nt - 1) / fntt;
  for (int k = 1; k <= n; ++k) {
    float f = 0.0f;
    switch (imdl) {
      case 1:
        f = fnt / fntt;
        break;
      case 2:
        f = k == 1 ? 1.0f : tail;
        break;
      case 3:
        if (k == 1) {
          f = 1.0f;
        } else {
          const float x = 1.0f - static_cast<float>(k - 1) / fntt;
          const float pw =
              static_cast<float>(std::pow(static_cast<double>(e), static_cast<double>(x)));
          f = tail * pw / (e - 1.0f);
        }
        break;
      case 4:
        if (k == 1) {
          f = 1.0f;
        } else {
          const float s =
              static_cast<float>(std::sqrt(static_cast<double>(static_cast<float>((k - 1) * ntt))));
          f = static_cast<float>(nt - 1) / (2.0f * s);
        }
        break;
      default:
        break;
    }
    ft[k - 1] = f;
  }
}

Synthesis synthesize(const model::Params& p, const SubfaultModel& model,
                     const model::Motion& element, int elementCount, float dt, int ns) {
  const float span = static_cast<float>(p.nt) * p.tra;
  const float sub = span / dt;
  if (!std::isfinite(sub) || std::fabs(sub) > 1.0e9f) {
    throw textio::InputRejected("ntt = nt*tra/dt cannot be formed: nt = " + std::to_string(p.nt) +
                                ", tra =" + textio::listReal(p.tra) + ", dt =" +
                                textio::listReal(dt) + "; it must lie in 1.." +
                                std::to_string(kMaxShifts));
  }
  Synthesis r;
  r.ns = ns;
  r.ntt = static_cast<int>(sub);
  const int ntt = r.ntt;
  if (ntt <= 0 || ntt > kMaxShifts) {
    throw SummationRefused("ntt = nt*tra/dt = " + std::to_string(ntt) + " with nt = " +
                               std::to_string(p.nt) + ", tra =" + textio::listReal(p.tra) +
                               ", dt =" + textio::listReal(dt) + "; it must lie in 1.." +
                               std::to_string(kMaxShifts),
                           ntt, 0);
  }
  r.dtau = span / static_cast<float>(ntt);

  std::array<float, kMaxShifts> ft{};
  weights(static_cast<int>(p.imdl), p.nt, ntt, ft);

  // Every copy in the order (i, j, k); each synthetic sample receives its
  // terms in exactly this order. The shifts are checked here, subfault row by
  // subfault row; the summation then makes the copies again as it needs them.
  const int nx = std::clamp(p.nx, 0, kMaxGrid);
  const int nw = std::clamp(p.nw, 0, kMaxGrid);
  const CopyGrid grid{model, nx, nw, ntt, ft, r.dtau, dt};
  for (int i = 1; i <= nx; ++i) {
    for (int j = 1; j <= nw; ++j) {
      for (int k = 1; k <= ntt; ++k) {
        const float s = grid.shiftValue(i, j, k);
        // The message is only built when the shift is out of range.
        if (!fitsSamples(s)) {
          try {
            toSamples(s, "the shift of copy " + std::to_string(k) + " of subfault (" +
                             std::to_string(i) + ", " + std::to_string(j) + ")");
          } catch (const textio::InputRejected& e) {
            throw SummationRefused(e.message, ntt, i);
          }
        }
      }
    }
  }

  r.motion = model::Motion(model::kMaxSamples);
  const auto out = r.motion.series();
  syntGrid(out, ns, element.series(), elementCount, grid);
  // Copies that are each finite can still overflow single precision together
  // (a large element record with large ra/rij factors); inf and nan would
  // reach the means, the fit and the figures, so the run is refused here.
  for (const std::span<float>& series : out) {
    if (!std::all_of(series.begin(), series.end(), [](float v) { return std::isfinite(v); })) {
      throw SummationRefused(
          "the synthetic motion overflows single precision: the element record times cfac "
          "and the subfault amplitude factors (ra/rij) is too large",
          ntt, nx);
    }
  }
  for (std::size_t s = 0; s < 3; ++s) dsp::removeMean(out[s], 1, ns, r.means[s]);
  for (std::size_t s = 0; s < 3; ++s) dsp::removeMean(out[s], p.ksa, p.kea, r.windowMeans[s]);
  return r;
}

}  // namespace synthesis
