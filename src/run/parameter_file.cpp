#include "run/parameter_file.hpp"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "model/limits.hpp"
#include "textio/stop.hpp"

namespace run {

using namespace model;
void readParameterFile(textio::Channels& io, Params& p) {
  const int u = kParameterUnit;
  io.readList(u, {&p.iuwav, &p.iuspc});
  io.readList(u, {&p.nevnt, &p.tscl});
  io.writeList(model::kConsoleOut, {"option for filter : 1 - use filter  2 - no filter"});
  io.readList(u, {&p.ifilt});
  io.readList(u, {&p.fl, &p.fh, &p.fs, &p.ap, &p.as});
  io.readList(u, {&p.ut, &p.q[0], &p.q[1], &p.q[2], &p.q[3], &p.q[4], &p.q[5]});
  io.readList(u, {&p.str, &p.dip, &p.rak, &p.z});

  io.writeList(model::kConsoleOut, {"nevnt=", p.nevnt});
  io.writeList(model::kConsoleOut, {"ifilt=", p.ifilt});
  io.writeList(model::kConsoleOut, {"fl=", p.fl, " fh=", p.fh, " fs=", p.fs, " ap=", p.ap, " as=", p.as, "  no.2"});
  io.writeList(model::kConsoleOut, {"ut=", p.ut, " q(1)=", p.q[0], " q(2)=", p.q[1], " q(3)=", p.q[2]});
  io.writeList(model::kConsoleOut, {"q(4)=", p.q[3], " q(5)=", p.q[4], " q(6)=", p.q[5], "  no.3"});
  io.writeList(model::kConsoleOut, {"str=", p.str, " dip=", p.dip, " rak=", p.rak, " z=", p.z, "  no.4"});

  // Every echo shows degrees: each conversion follows the echo of its value.
  p.str = p.str * kDegToRad;
  p.dip = p.dip * kDegToRad;
  p.rak = p.rak * kDegToRad;

  io.readList(u, {&p.ncmpt});
  io.readList(u, {&p.stra, &p.dipa, &p.raka, &p.za});
  io.readList(u, {&p.dx, &p.dw, &p.tra, &p.dx0, &p.dw0, &p.tr0});
  io.readList(u, {&p.nx, &p.nw, &p.nt, &p.ntt, &p.nsx, &p.nsw, &p.ns, &p.cfac});
  int ird = 0, ipfm = 0;
  io.readList(u, {&p.vs, &p.vr, &ird, &ipfm});
  p.ird = static_cast<model::Rupture>(ird);

  io.writeList(model::kConsoleOut, {"ncmpt=", p.ncmpt, "  no.5"});
  io.writeList(model::kConsoleOut, {"stra=", p.stra, " dipa=", p.dipa, " raka=", p.raka, "  no.6"});
  io.writeList(model::kConsoleOut, {"dx=", p.dx, " dw=", p.dw, " tra=", p.tra});
  io.writeList(model::kConsoleOut, {"dx0=", p.dx0, " dw0=", p.dw0, " tr0=", p.tr0, "  no.7"});
  io.writeList(model::kConsoleOut, {"nx=", p.nx, " nw=", p.nw, " nt=", p.nt, " ntt=", p.ntt, " nsx=", p.nsx,
                          " nsw=", p.nsw, " ns=", p.ns, "  no.8"});
  io.writeList(model::kConsoleOut, {"vs=", p.vs, " vr=", p.vr, " ird=", ird, " ipfm=", ipfm, "  no.9"});
  // Every value up to 0 means no correction; the check refuses those above 2.
  p.ipfm = ipfm <= 0 ? model::Radiation::NotCorrected : static_cast<model::Radiation>(ipfm);

  p.stra = p.stra * kDegToRad;
  p.dipa = p.dipa * kDegToRad;
  p.raka = p.raka * kDegToRad;

  io.readFormatted(u, "(a80)", {&p.fmain});
  io.readFormatted(u, "(a80)", {&p.faft});
  int imdl = 0;
  io.readList(u, {&p.rm, &p.pm, &p.ra, &p.pa, &p.cmp, &imdl});
  p.imdl = static_cast<model::TimeFunction>(imdl);
  io.readList(u, {&p.ksm, &p.kem, &p.ksa, &p.kea});
  io.readFormatted(u, "(a6)", {&p.ttl1});
  io.readFormatted(u, "(a7)", {&p.ttl2});
  io.writeList(model::kConsoleOut, {"SAMPLE(IE-IS<8192) IS(TART),IE(ND),IW(INDOW LENGTH)?"});
  io.readList(u, {&p.IS, &p.IE, &p.IW});
  io.writeList(model::kConsoleOut, {p.IS, p.IE, p.IW});
  io.close(u);

  io.writeList(model::kConsoleOut, {"fmain=", p.fmain, "  no.10"});
  io.writeList(model::kConsoleOut, {"faft =", p.faft, "  no.11"});
  io.writeList(model::kConsoleOut, {"rm=", p.rm, " pm=", p.pm, " ra=", p.ra, " pa=", p.pa});
  io.writeList(model::kConsoleOut, {"cmp=", p.cmp, " imdl=", imdl, "  no.12"});
  io.writeList(model::kConsoleOut, {"ksm=", p.ksm, " kem=", p.kem, " ksa=", p.ksa, " kea=", p.kea, " no.13"});

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
int spectrumWindow(int first, int last) { return std::min(last - first + 1, model::kFftLength); }

}  // namespace

void checkParameters(const Params& p, std::string_view fileName) {
  const Checker c(fileName);
  if (p.iuwav < 0 || p.iuwav == kConsoleIn) {
    c.fail("iuwav", std::to_string(p.iuwav), "a figure unit must be 0 or positive and not 5 (console input)");
  }
  if (p.iuspc < 0 || p.iuspc == kConsoleIn) {
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
  c.range("nx", p.nx, 1, model::kMaxGrid);
  c.range("nw", p.nw, 1, model::kMaxGrid);
  c.range("ns", p.ns, 0, model::kMaxSamples);
  if (p.cfac == 0.0f) c.fail("cfac", "0", "the element amplitude factor must not be 0");
  c.positive("vs", p.vs);
  c.positive("vr", p.vr);
  const int ird = static_cast<int>(p.ird);
  if (ird != 1 && ird != 2) c.fail("ird", std::to_string(ird), "allowed 1 or 2");
  const int ipfm = static_cast<int>(p.ipfm);
  if (ipfm > 2) c.fail("ipfm", std::to_string(ipfm), "allowed 2 or less");
  c.range("imdl", static_cast<int>(p.imdl), 1, 4);
  c.range("ksm", p.ksm, 1, model::kMaxSamples);
  c.range("kem", p.kem, p.ksm, model::kMaxSamples);
  c.range("ksa", p.ksa, 1, model::kMaxSamples);
  c.range("kea", p.kea, p.ksa, model::kMaxSamples);
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
