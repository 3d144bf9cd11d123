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

Synthesis synthesize(const SummationPlan& plan, const model::Motion& element, int elementCount,
                     int ns, int ksa, int kea) {
  Synthesis r;
  r.ns = ns;
  r.ntt = plan.ntt();
  r.dtau = plan.dtau();
  r.motion = model::Motion(model::kMaxSamples);
  const auto out = r.motion.series();
  syntPlan(out, ns, element.series(), elementCount, plan);
  plan.requireFinite(out);
  for (std::size_t s = 0; s < 3; ++s) dsp::removeMean(out[s], 1, ns, r.means[s]);
  for (std::size_t s = 0; s < 3; ++s) dsp::removeMean(out[s], ksa, kea, r.windowMeans[s]);
  return r;
}

Synthesis synthesize(const model::Params& p, const SubfaultModel& model,
                     const model::Motion& element, int elementCount, float dt, int ns) {
  return synthesize(SummationPlan(p, model, dt), element, elementCount, ns, p.ksa, p.kea);
}

}  // namespace synthesis
