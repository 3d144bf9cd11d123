#include "example.hpp"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "element.hpp"
#include "kibtrace.hpp"
#include "random.hpp"
#include "synthesis/synthesis.hpp"

namespace example {

namespace {

constexpr std::uint64_t kElementSeed = 20260101;
constexpr std::uint64_t kNoiseSeed = 20260102;
// Standard deviation of the target's independent noise (cm/s/s): white, so
// that after the run's 0.1-10 Hz band-pass about a fifth of its power is
// left, some 0.45 gal rms against a few tens of gal of signal in the
// compared window.
constexpr double kNoiseSigma = 1.0;

// A parameter-file real as the run reads it: the decimal text converted to
// the nearest double, then rounded to single precision.
float real(const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0') throw std::invalid_argument("not a number: " + text);
  return static_cast<float>(v);
}

float radians(const std::string& degrees) { return real(degrees) * model::kDegToRad; }

// The element event: a magnitude-4 earthquake at the target's hypocentre,
// 22.4 km from the station (20 km epicentral, 10 km deep). With vs 3.5 km/s
// and vp = vs * sqrt(3), P arrives 3.7 s and S 6.4 s after the origin time,
// which lies 1.5 s into the record. Corner frequency 2.4 Hz (a 3-MPa stress
// drop for M0 = 1.1e15 N m); P has the higher corner and a fifth of the rms.
// Peak 30 gal, a usual value for such an event at this distance.
ElementSpec elementSpec() {
  ElementSpec s;
  s.seed = kElementSeed;
  s.samples = kElementSamples;
  s.dt = 1.0 / kSamplesPerSecond;
  s.kappa = 0.04;
  s.peak = 30.0;
  s.noise = 0.01;  // a quiet site: 0.01 gal rms background
  s.p = {.onset = 5.2, .rise = 0.15, .decay = 0.8, .coda = 3.0, .codaLevel = 0.3, .weight = 0.2,
         .corner = 3.6};
  s.s = {.onset = 7.9, .rise = 0.4, .decay = 1.2, .coda = 6.0, .codaLevel = 0.25, .weight = 1.0,
         .corner = 2.4};
  return s;
}

KibHeader header(const std::string& event, const std::string& head24b) {
  KibHeader h;
  h.head3 = "EW";
  h.head16 = "2000/01/01 00:00";
  h.rcode = "EXS";
  h.rname = "EXAMPLE SITE";
  h.isps = kSamplesPerSecond;
  h.head24a = event;
  h.head24b = head24b;
  h.dunit = "gal";
  h.head10a = "XX";
  h.head10b = "EXS";
  h.head10c = "HNE";
  h.head20 = "egf_example";
  h.head11 = "dt=0.01000";
  return h;
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

std::string parameterFile(const ExampleFault& f) {
  const std::string n = "\n";
  std::ostringstream s;
  s << "21 22\n"
    << "1 4.0\n"
    << "1\n"
    << "0.1 10.0 15.0 0.5 5.0\n"
    << "1.0 0.0 0.0 0.0 0.0 0.0 0.0\n"
    << f.str << ' ' << f.dip << ' ' << f.rak << ' ' << f.z << n
    << "1\n"
    // the element event: at the hypocentre, with the target's mechanism
    << f.str << ' ' << f.dip << ' ' << f.rak << ' ' << f.z << n
    << f.dx << ' ' << f.dw << ' ' << f.tra << " 0.0 0.0 0.0\n"
    << f.nx << ' ' << f.nw << ' ' << f.nt << " 0 " << f.nsx << ' ' << f.nsw << " 0 " << f.cfac << n
    << f.vs << ' ' << f.vr << ' ' << f.ird << ' ' << f.ipfm << n
    << kTargetName << n
    << kElementName << n
    << f.rm << ' ' << f.pm << ' ' << f.rm << ' ' << f.pm << ' ' << f.cmp << ' ' << f.imdl << n
    << "400 4400 400 4400\n"
    << "EXAMPL\n"
    << "EXS EW\n"
    << "400 4400 100\n";
  return s.str();
}

model::Params parameters(const ExampleFault& f) {
  model::Params p;
  p.iuwav = 21;
  p.iuspc = 22;
  p.nevnt = 1;
  p.tscl = real("4.0");
  p.ifilt = 1;
  p.fl = real("0.1");
  p.fh = real("10.0");
  p.fs = real("15.0");
  p.ap = real("0.5");
  p.as = real("5.0");
  p.ut = real("1.0");
  p.str = radians(f.str);
  p.dip = radians(f.dip);
  p.rak = radians(f.rak);
  p.z = real(f.z);
  p.ncmpt = 1;
  p.stra = p.str;
  p.dipa = p.dip;
  p.raka = p.rak;
  p.za = p.z;
  p.dx = real(f.dx);
  p.dw = real(f.dw);
  p.tra = real(f.tra);
  p.nx = f.nx;
  p.nw = f.nw;
  p.nt = f.nt;
  p.nsx = f.nsx;
  p.nsw = f.nsw;
  p.ns = kTargetSamples;  // the file's 0 becomes the target's sample count
  p.cfac = real(f.cfac);
  p.vs = real(f.vs);
  p.vr = real(f.vr);
  p.ird = static_cast<model::Rupture>(f.ird);
  p.ipfm = static_cast<model::Radiation>(f.ipfm);
  p.rm = real(f.rm);
  p.pm = radians(f.pm);
  p.ra = p.rm;
  p.pa = p.pm;
  const float cmp = real(f.cmp);
  p.cmp = (cmp == model::kVerticalUp || cmp == model::kVerticalDown) ? cmp : cmp * model::kDegToRad;
  p.imdl = static_cast<model::TimeFunction>(f.imdl);
  p.ksm = p.ksa = 400;
  p.kem = p.kea = 4400;
  p.IS = 400;
  p.IE = 4400;
  p.IW = 100;
  return p;
}

std::vector<double> elementAcceleration() { return makeElement(elementSpec()); }

std::vector<double> modelTarget(const ExampleFault& fault, const std::vector<float>& element) {
  const model::Params p = parameters(fault);
  const float dt = 1.0f / static_cast<float>(kSamplesPerSecond);

  const synthesis::SubfaultModel model = synthesis::sourceModel(p, dt);

  // Placement and weights of every copy as the summation forms them, in the
  // same single-precision steps, so that each copy lands on the same sample.
  const float span = static_cast<float>(p.nt) * p.tra;
  const int ntt = static_cast<int>(span / dt);
  if (ntt <= 0 || ntt > synthesis::kMaxShifts) throw std::logic_error("example: ntt out of range");
  const float dtau = span / static_cast<float>(ntt);
  std::vector<float> ft(ntt);
  synthesis::weights(static_cast<int>(p.imdl), p.nt, ntt, ft);

  std::vector<float> da(element.size());
  for (std::size_t m = 0; m < element.size(); ++m) da[m] = element[m] * p.cfac;

  std::vector<float> target(kTargetSamples, 0.0f);
  const float lagmin = static_cast<float>(model.lagmin);
  for (int i = 1; i <= p.nx; ++i) {
    for (int j = 1; j <= p.nw; ++j) {
      const float lag = static_cast<float>(model.lagij[i - 1][j - 1]);
      for (int k = 1; k <= ntt; ++k) {
        const float s = lag + static_cast<float>(k - 1) * dtau / dt + 0.5f - lagmin;
        synthesis::synt(target, kTargetSamples, da, static_cast<int>(da.size()),
                        static_cast<int>(s), model.ampij[i - 1][j - 1], ft[k - 1]);
      }
    }
  }
  return std::vector<double>(target.begin(), target.end());
}

std::vector<double> smgaTarget(const ExampleFault& fault, const source::Source& model,
                               const std::vector<float>& element) {
  const model::Params p = parameters(fault);
  const float dt = 1.0f / static_cast<float>(kSamplesPerSecond);
  // The element at the factor 1: each SMGA's copies carry its C.
  source::Planner planner;
  const synthesis::SummationPlan plan = planner.plan(p, model, dt, 1.0f);
  std::array<std::vector<float>, 3> target;
  for (auto& t : target) t.assign(kTargetSamples, 0.0f);
  const std::vector<float> silent(element.size(), 0.0f);
  synthesis::syntPlan({target[0], target[1], target[2]}, kTargetSamples, {element, silent, silent},
                      static_cast<int>(element.size()), plan);
  return std::vector<double>(target[0].begin(), target[0].end());
}

ExampleFault wrongStartFault() {
  ExampleFault f;
  f.nsx = 8;
  return f;
}

ExampleFiles makeExample() {
  ExampleFiles files;
  const ExampleFault fault;

  KibHeader eh = header("EXAMPLE ELEMENT MW4.0", "XX.EXS HNE 090deg");
  eh.comments = {
      "SYNTHETIC element event by egf_example (seed 20260101), not a real record",
      "EVENT: Mw 4.0 at the target hypocentre, depth 10 km, mechanism 30/45/90",
      "STATION EXS: Repi 20.0 km, azimuth 60.0 deg; component E-W (90 deg)",
      "SOURCE: omega-squared, fc 2.4 Hz (P 3.6 Hz), kappa 0.04 s; P 5.2 s, S 7.9 s",
  };
  const KibText element = writeFloatRecord(eh, elementAcceleration());

  std::vector<double> target = modelTarget(fault, element.samples);
  Random noise(kNoiseSeed);
  for (double& v : target) v += kNoiseSigma * noise.normal();

  KibHeader th = header("EXAMPLE TARGET MW6.0", "XX.EXS HNE 090deg");
  th.comments = {
      "SYNTHETIC target event written by egf_example; not a real record",
      "MODEL: element copies summed over a 10 x 10 grid of 1.5-km subfaults,",
      "  rupture from subfault (3,5), vr 2.8 km/s, radial; nt 10, tra 0.05 s, imdl 3",
      "FAULT: strike 30, dip 45, rake 90, hypocentre depth 10 km; cfac 1.0",
      "NOISE: independent white Gaussian, 1.0 gal rms (seed 20260102)",
  };
  files.target = writeCountRecord(th, target).text;
  files.element = element.text;
  files.params = parameterFile(fault);
  files.wrongStart = parameterFile(wrongStartFault());
  files.answers = std::string(kParamsName) + "\nobserved.dat\nexample target, true fault\n" +
                  "synthetic.dat\nexample synthetic\n";
  return files;
}

void writeExample(const std::string& directory) {
  const ExampleFiles files = makeExample();
  const std::string base = directory.empty() ? std::string(".") : directory;
  writeText(base + "/" + kParamsName, files.params);
  writeText(base + "/" + kWrongStartName, files.wrongStart);
  writeText(base + "/" + kAnswersName, files.answers);
  writeText(base + "/" + kElementName, files.element);
  writeText(base + "/" + kTargetName, files.target);
}

}  // namespace example
