// The series files and the report of a finished run.
#include <algorithm>
#include <ostream>
#include <vector>

#include "report/report.hpp"
#include "run/driver.hpp"
#include "textio/stop.hpp"

namespace run {
namespace {

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::span<const float> first(const std::vector<float>& x, int n) {
  return std::span<const float>(x).first(static_cast<std::size_t>(std::clamp<int>(n, 0, static_cast<int>(x.size()))));
}

}  // namespace

int writeOutputs(const Finished& run, const OutputFolders& folders, std::ostream& err) {
  const Params& p = run.p;
  const Workspace& w = run.w;
  // The element series as the waveform figure draws them: without cfac.
  std::array<std::vector<float>, 3> element;
  const std::vector<float>* scaled[3] = {&w.da, &w.daa, &w.daaa};
  for (std::size_t q = 0; q < 3; ++q) {
    element[q].resize(static_cast<std::size_t>(w.naft));
    for (std::size_t i = 0; i < element[q].size(); ++i)
      element[q][i] = p.cfac != 0.0f ? (*scaled[q])[i] / p.cfac : 0.0f;
  }

  report::Comparison c;
  c.title = trimmed(trimmed(p.ttl1) + " " + trimmed(p.ttl2));
  c.station = trimmed(run.target.rcode);
  c.component = trimmed(run.target.head3);
  c.event = trimmed(run.target.head24a);
  c.elementEvent = trimmed(run.element.head24a);
  c.unit = trimmed(run.target.dunit);
  c.dt = w.dt;
  c.observed = {first(w.dm, w.nmain), first(w.dmm, w.nmain), first(w.dmmm, w.nmain)};
  c.synthetic = {first(w.ds, p.ns), first(w.dss, p.ns), first(w.dsss, p.ns)};
  c.element = {element[0], element[1], element[2]};
  c.ksm = p.ksm, c.kem = p.kem, c.ksa = p.ksa, c.kea = p.kea;
  c.nx = p.nx, c.nw = p.nw, c.nt = p.nt, c.nsx = p.nsx, c.nsw = p.nsw;
  c.cfac = p.cfac, c.vr = p.vr, c.dx = p.dx, c.dw = p.dw, c.tra = p.tra;
  c.residual = run.fit.residual;
  c.correlation = run.fit.correlation;
  c.lag = run.fit.lag;
  try {
    if (!folders.series.empty()) report::writeSeries(folders.series, c);
    if (!folders.report.empty()) report::writeReport(folders.report, c);
  } catch (const report::WriteError& e) {
    err << "egfsim: " << e.what() << '\n';
    err.flush();
    return textio::kExitIoError;
  }
  return textio::kExitNormal;
}

}  // namespace run
