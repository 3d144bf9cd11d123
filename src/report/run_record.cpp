#include "report/run_record.hpp"

#include <algorithm>
#include <string>

namespace report {
namespace {

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::span<const float> first(const std::vector<float>& x, int n) {
  return std::span<const float>(x).first(static_cast<std::size_t>(std::clamp<int>(n, 0, static_cast<int>(x.size()))));
}

model::MotionView motion(const model::Motion& m, int n) { return {first(m.acc, n), first(m.vel, n), first(m.disp, n)}; }

}  // namespace

void describeRun(const model::Params& p, const records::RecordHeader& targetHeader,
                 const records::RecordHeader& elementHeader, const records::PreparedRecord& observed,
                 const records::PreparedRecord& element, const core::Simulation& simulation,
                 RunRecord& out) {
  // The element series as the waveform figure draws them: without cfac.
  const auto scaled = element.motion.series();
  for (std::size_t q = 0; q < 3; ++q) {
    const auto x = scaled[q].first(static_cast<std::size_t>(std::clamp<int>(element.count, 0, static_cast<int>(scaled[q].size()))));
    out.element[q].resize(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) out.element[q][i] = p.cfac != 0.0f ? x[i] / p.cfac : 0.0f;
  }
  RunView& c = out.view;
  c.title = trimmed(trimmed(p.ttl1) + " " + trimmed(p.ttl2));
  c.station = trimmed(targetHeader.rcode);
  c.component = trimmed(targetHeader.head3);
  c.event = trimmed(targetHeader.head24a);
  c.elementEvent = trimmed(elementHeader.head24a);
  c.unit = trimmed(targetHeader.dunit);
  c.dt = element.dt;  // the run's interval: the element record's
  c.observed = motion(observed.motion, observed.count);
  c.synthetic = motion(simulation.synthetic.motion, simulation.synthetic.ns);
  c.element = {out.element[0], out.element[1], out.element[2]};
  c.ksm = p.ksm, c.kem = p.kem, c.ksa = p.ksa, c.kea = p.kea;
  c.nx = p.nx, c.nw = p.nw, c.nt = p.nt, c.nsx = p.nsx, c.nsw = p.nsw;
  c.cfac = p.cfac, c.vr = p.vr, c.dx = p.dx, c.dw = p.dw, c.tra = p.tra;
  c.ird = static_cast<int>(p.ird), c.ipfm = static_cast<int>(p.ipfm);
  c.filter = {p.ifilt == 1, observed.filterRefused || element.filterRefused, p.fl, p.fh};
  c.fits = simulation.fits;
}

}  // namespace report
