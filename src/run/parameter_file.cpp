#include "run/parameter_file.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "textio/stop.hpp"

namespace run {
namespace {

constexpr int kConsole = 6;

// Clears samples 1..15000 of the working series; the upper samples of the
// 20000-sample arrays are left as they are.
void clearSeries(Workspace& w) {
  for (std::vector<float>* a : {&w.d, &w.di, &w.dii, &w.dm, &w.da, &w.ds, &w.dmm, &w.daa,
                                &w.dss, &w.dmmm, &w.daaa, &w.dsss}) {
    std::fill(a->begin(), a->begin() + kSeriesCapacity, 0.0f);
  }
}

}  // namespace

void readParameterFile(textio::Channels& io, Params& p, Workspace& w) {
  const int u = kParameterUnit;
  io.readList(u, {&p.iuwav, &p.iuspc});
  io.readList(u, {&p.nevnt, &p.tscl});
  io.writeList(kConsole, {"option for filter : 1 - use filter  2 - no filter"});
  io.readList(u, {&p.ifilt});
  io.readList(u, {&p.fl, &p.fh, &p.fs, &p.ap, &p.as});
  io.readList(u, {&p.ut, &p.q[0], &p.q[1], &p.q[2], &p.q[3], &p.q[4], &p.q[5]});
  io.readList(u, {&p.str, &p.dip, &p.rak, &p.z});

  io.writeList(kConsole, {"nevnt=", p.nevnt});
  io.writeList(kConsole, {"ifilt=", p.ifilt});
  io.writeList(kConsole, {"fl=", p.fl, " fh=", p.fh, " fs=", p.fs, " ap=", p.ap, " as=", p.as, "  no.2"});
  io.writeList(kConsole, {"ut=", p.ut, " q(1)=", p.q[0], " q(2)=", p.q[1], " q(3)=", p.q[2]});
  io.writeList(kConsole, {"q(4)=", p.q[3], " q(5)=", p.q[4], " q(6)=", p.q[5], "  no.3"});
  io.writeList(kConsole, {"str=", p.str, " dip=", p.dip, " rak=", p.rak, " z=", p.z, "  no.4"});

  // Every echo shows degrees: each conversion follows the echo of its value.
  p.str = p.str * kDegToRad;
  p.dip = p.dip * kDegToRad;
  p.rak = p.rak * kDegToRad;
  clearSeries(w);

  io.readList(u, {&p.ncmpt});
  io.readList(u, {&p.stra, &p.dipa, &p.raka, &p.za});
  io.readList(u, {&p.dx, &p.dw, &p.tra, &p.dx0, &p.dw0, &p.tr0});
  io.readList(u, {&p.nx, &p.nw, &p.nt, &p.ntt, &p.nsx, &p.nsw, &p.ns, &p.cfac});
  io.readList(u, {&p.vs, &p.vr, &p.ird, &p.ipfm});

  io.writeList(kConsole, {"ncmpt=", p.ncmpt, "  no.5"});
  io.writeList(kConsole, {"stra=", p.stra, " dipa=", p.dipa, " raka=", p.raka, "  no.6"});
  io.writeList(kConsole, {"dx=", p.dx, " dw=", p.dw, " tra=", p.tra});
  io.writeList(kConsole, {"dx0=", p.dx0, " dw0=", p.dw0, " tr0=", p.tr0, "  no.7"});
  io.writeList(kConsole, {"nx=", p.nx, " nw=", p.nw, " nt=", p.nt, " ntt=", p.ntt, " nsx=", p.nsx,
                          " nsw=", p.nsw, " ns=", p.ns, "  no.8"});
  io.writeList(kConsole, {"vs=", p.vs, " vr=", p.vr, " ird=", p.ird, " ipfm=", p.ipfm, "  no.9"});

  p.stra = p.stra * kDegToRad;
  p.dipa = p.dipa * kDegToRad;
  p.raka = p.raka * kDegToRad;

  io.readFormatted(u, "(a80)", {&p.fmain});
  io.readFormatted(u, "(a80)", {&p.faft});
  io.readList(u, {&p.rm, &p.pm, &p.ra, &p.pa, &p.cmp, &p.imdl});
  io.readList(u, {&p.ksm, &p.kem, &p.ksa, &p.kea});
  io.readFormatted(u, "(a6)", {&p.ttl1});
  io.readFormatted(u, "(a7)", {&p.ttl2});
  io.writeList(kConsole, {"SAMPLE(IE-IS<8192) IS(TART),IE(ND),IW(INDOW LENGTH)?"});
  io.readList(u, {&p.IS, &p.IE, &p.IW});
  io.writeList(kConsole, {p.IS, p.IE, p.IW});
  io.close(u);

  io.writeList(kConsole, {"fmain=", p.fmain, "  no.10"});
  io.writeList(kConsole, {"faft =", p.faft, "  no.11"});
  io.writeList(kConsole, {"rm=", p.rm, " pm=", p.pm, " ra=", p.ra, " pa=", p.pa});
  io.writeList(kConsole, {"cmp=", p.cmp, " imdl=", p.imdl, "  no.12"});
  io.writeList(kConsole, {"ksm=", p.ksm, " kem=", p.kem, " ksa=", p.ksa, " kea=", p.kea, " no.13"});

  if (p.cmp != kVerticalUp && p.cmp != kVerticalDown) p.cmp = p.cmp * kDegToRad;
  p.pm = p.pm * kDegToRad;
  p.pa = p.pa * kDegToRad;
}

namespace {

class Checker {
 public:
  explicit Checker(std::string_view fileName) : file_(fileName) {}

  void range(const char* name, int value, int lo, int hi) const {
    if (value < lo || value > hi) {
      fail(name, std::to_string(value), "allowed " + std::to_string(lo) + " to " + std::to_string(hi));
    }
  }
  void positive(const char* name, float value) const {
    if (!(value > 0.0f) || !std::isfinite(value)) fail(name, text(value), "must be a positive number");
  }
  void finite(const char* name, float value) const {
    if (!std::isfinite(value)) fail(name, text(value), "must be a finite number");
  }
  [[noreturn]] void fail(const char* name, const std::string& value, const std::string& rule) const {
    throw textio::InputRejected("parameter file " + std::string(file_) + ": " + name + " = " + value +
                                ": " + rule);
  }
  static std::string text(float value) {
    std::ostringstream s;
    s << value;
    return s.str();
  }

 private:
  std::string_view file_;
};

// Length of a spectrum window after its cut to one transform length.
int spectrumWindow(int first, int last) { return std::min(last - first + 1, 8192); }

}  // namespace

void checkParameters(const Params& p, std::string_view fileName) {
  const Checker c(fileName);
  if (p.iuwav < 0 || p.iuwav == 5) {
    c.fail("iuwav", std::to_string(p.iuwav), "a figure unit must be 0 or positive and not 5 (console input)");
  }
  if (p.iuspc < 0 || p.iuspc == 5) {
    c.fail("iuspc", std::to_string(p.iuspc), "a figure unit must be 0 or positive and not 5 (console input)");
  }
  c.positive("tscl", p.tscl);
  for (const auto& [name, value] : {std::pair{"fl", p.fl}, {"fh", p.fh}, {"fs", p.fs}, {"ap", p.ap},
                                    {"as", p.as}, {"str", p.str}, {"dip", p.dip}, {"rak", p.rak},
                                    {"z", p.z}, {"stra", p.stra}, {"dipa", p.dipa}, {"raka", p.raka},
                                    {"za", p.za}, {"dx", p.dx}, {"dw", p.dw}, {"tra", p.tra},
                                    {"dx0", p.dx0}, {"dw0", p.dw0}, {"cfac", p.cfac}, {"rm", p.rm},
                                    {"pm", p.pm}, {"ra", p.ra}, {"pa", p.pa}, {"cmp", p.cmp}}) {
    c.finite(name, value);
  }
  c.range("nx", p.nx, 1, 30);
  c.range("nw", p.nw, 1, 30);
  c.range("ns", p.ns, 0, 15000);
  if (p.cfac == 0.0f) c.fail("cfac", "0", "the element amplitude factor must not be 0");
  c.positive("vs", p.vs);
  c.positive("vr", p.vr);
  if (p.ird != 1 && p.ird != 2) c.fail("ird", std::to_string(p.ird), "allowed 1 or 2");
  if (p.ipfm > 2) c.fail("ipfm", std::to_string(p.ipfm), "allowed 2 or less");
  c.range("imdl", p.imdl, 1, 4);
  c.range("ksm", p.ksm, 1, 15000);
  c.range("kem", p.kem, p.ksm, 15000);
  c.range("ksa", p.ksa, 1, 15000);
  c.range("kea", p.kea, p.ksa, 15000);
  if (p.iuspc != 0) {
    const int shorter = std::min(spectrumWindow(p.ksm, p.kem), spectrumWindow(p.ksa, p.kea));
    if (p.IW >= shorter) {
      c.fail("IW", std::to_string(p.IW),
             "the taper must be shorter than the shorter spectrum window (" + std::to_string(shorter) +
                 " samples)");
    }
  }
}

}  // namespace run
