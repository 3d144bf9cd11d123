// The table of the parameter file's values, and setting a value by name.
#include <cmath>
#include <limits>
#include <stdexcept>
#include <type_traits>

#include "model/limits.hpp"
#include "paramfile/paramfile.hpp"
#include "textio/shortest.hpp"

namespace paramfile {
namespace {

using model::Params;

// How each kind of field moves between a value as written and the
// parameter set. An option code (an enum field) is an integer as written.
template <auto M>
Value getInt(const Params& p) {
  return static_cast<int>(p.*M);
}
template <auto M>
void setInt(Params& p, const Value& v) {
  p.*M = static_cast<std::remove_reference_t<decltype(p.*M)>>(std::get<int>(v));
}
template <auto M>
Value getReal(const Params& p) {
  return p.*M;
}
template <auto M>
void setReal(Params& p, const Value& v) {
  p.*M = std::get<float>(v);
}
// An angle is stored as one single-precision product with the degree factor.
template <auto M>
void setAngle(Params& p, const Value& v) {
  p.*M = std::get<float>(v) * model::kDegToRad;
}
template <auto M>
Value getText(const Params& p) {
  return p.*M;
}
template <auto M>
void setText(Params& p, const Value& v) {
  p.*M = std::get<std::string>(v);
}
template <int K>
Value getQ(const Params& p) {
  return p.q[K];
}
template <int K>
void setQ(Params& p, const Value& v) {
  p.q[K] = std::get<float>(v);
}
// The vertical markers stay as written; any other azimuth is converted.
void setComponent(Params& p, const Value& v) {
  const float cmp = std::get<float>(v);
  p.cmp = cmp == model::kVerticalUp || cmp == model::kVerticalDown ? cmp : cmp * model::kDegToRad;
}
// Every value up to 0 means no correction; the check refuses those above 2.
void setRadiation(Params& p, const Value& v) {
  const int ipfm = std::get<int>(v);
  p.ipfm = ipfm <= 0 ? model::Radiation::NotCorrected : static_cast<model::Radiation>(ipfm);
}

constexpr Type I = Type::Integer, R = Type::Real, A = Type::Angle, T = Type::Text;
constexpr unsigned kNone = 0, kFile = kRecordFile, kPrep = kPreparation, kSource = kSourceModel,
                   kSum = kSummation, kCmp = kComparison, kOut = kOutputs;
constexpr Form kAny = Form::Any, kFinite = Form::Finite;

constexpr Range none() { return {}; }
constexpr Range between(int lo, int hi, std::string_view from = {}) {
  return {Range::Kind::Between, lo, hi, from, {}};
}

#define EGF_INT(f) getInt<&Params::f>, setInt<&Params::f>
#define EGF_REAL(f) getReal<&Params::f>, setReal<&Params::f>
#define EGF_ANGLE(f) getReal<&Params::f>, setAngle<&Params::f>
#define EGF_TEXT(f) getText<&Params::f>, setText<&Params::f>
#define EGF_Q(k) getQ<k>, setQ<k>

// Each role says what the code does with the value.
const Entry kLayout[] = {
    {"iuwav", 1, I, 0, kOut, "unit of the waveform figure (fort.N; 6 writes it into the transcript)",
     Form::FigureUnit, none(), EGF_INT(iuwav)},
    {"iuspc", 1, I, 0, kOut, "unit of the spectrum figure; 0 draws none and leaves IW unchecked",
     Form::FigureUnit, none(), EGF_INT(iuspc)},
    {"nevnt", 2, I, 0, kNone, "echoed only", kAny, none(), EGF_INT(nevnt)},
    {"tscl", 2, R, 0, kOut, "seconds of record per centimetre of the waveform figure's time axis",
     Form::Positive, none(), EGF_REAL(tscl)},
    {"ifilt", 3, I, 0, kPrep, "1 band-pass filters every prepared series; any other value filters none",
     kAny, none(), EGF_INT(ifilt)},
    {"fl", 4, R, 0, kPrep | kOut, "lower pass-band edge (Hz), 0 a low-pass design; the figure's B.P.F label",
     kFinite, none(), EGF_REAL(fl)},
    {"fh", 4, R, 0, kPrep | kOut, "upper pass-band edge (Hz); the figure's B.P.F label", kFinite, none(),
     EGF_REAL(fh)},
    {"fs", 4, R, 0, kPrep, "stop-band edge of the filter design (Hz)", kFinite, none(), EGF_REAL(fs)},
    {"ap", 4, R, 0, kPrep, "amplitude tolerance of the design at the pass edge", kFinite, none(),
     EGF_REAL(ap)},
    {"as", 4, R, 0, kPrep, "amplitude tolerance of the design at the stop edge", kFinite, none(),
     EGF_REAL(as)},
    {"ut", 5, R, 0, kNone, "echoed only", kAny, none(), EGF_REAL(ut)},
    {"q(1)", 5, R, 0, kNone, "echoed only", kAny, none(), EGF_Q(0)},
    {"q(2)", 5, R, 0, kNone, "echoed only", kAny, none(), EGF_Q(1)},
    {"q(3)", 5, R, 0, kNone, "echoed only", kAny, none(), EGF_Q(2)},
    {"q(4)", 5, R, 0, kNone, "echoed only", kAny, none(), EGF_Q(3)},
    {"q(5)", 5, R, 0, kNone, "echoed only", kAny, none(), EGF_Q(4)},
    {"q(6)", 5, R, 0, kNone, "echoed only", kAny, none(), EGF_Q(5)},
    {"str", 6, A, 0, kSource, "target strike: the station's place in the fault frame, subfault radiation",
     kFinite, none(), EGF_ANGLE(str)},
    {"dip", 6, A, 0, kSource, "target dip: subfault depths and distances, subfault radiation", kFinite,
     none(), EGF_ANGLE(dip)},
    {"rak", 6, A, 0, kSource, "target rake: subfault radiation only (ipfm 1 or 2)", kFinite, none(),
     EGF_ANGLE(rak)},
    {"z", 6, R, 0, kSource, "target hypocentre depth (km): subfault distances, r0", kFinite, none(),
     EGF_REAL(z)},
    {"ncmpt", 7, I, 0, kNone, "echoed only", kAny, none(), EGF_INT(ncmpt)},
    {"stra", 8, A, 0, kSource, "element strike: the element's radiation only (ipfm 1 or 2)", kFinite, none(),
     EGF_ANGLE(stra)},
    {"dipa", 8, A, 0, kSource, "element dip: the element's radiation only (ipfm 1 or 2)", kFinite, none(),
     EGF_ANGLE(dipa)},
    {"raka", 8, A, 0, kSource, "element rake: the element's radiation only (ipfm 1 or 2)", kFinite, none(),
     EGF_ANGLE(raka)},
    {"za", 8, R, 0, kSource, "element hypocentre depth (km): ra0 of every amplitude, the element's take-off",
     kFinite, none(), EGF_REAL(za)},
    {"dx", 9, R, 0, kSource | kOut, "subfault spacing along strike (km): positions, rupture times; label",
     kFinite, none(), EGF_REAL(dx)},
    {"dw", 9, R, 0, kSource | kOut, "subfault spacing down dip (km): positions, rupture times; label",
     kFinite, none(), EGF_REAL(dw)},
    {"tra", 9, R, 0, kSum | kOut, "duration of one rise-time subdivision (s): ntt = nt*tra/dt, dtau; label",
     kFinite, none(), EGF_REAL(tra)},
    {"dx0", 9, R, 0, kSource, "hypocentre along strike from the starting subfault's point (km)", kFinite,
     none(), EGF_REAL(dx0)},
    {"dw0", 9, R, 0, kSource, "hypocentre down dip from the starting subfault's point (km)", kFinite, none(),
     EGF_REAL(dw0)},
    {"tr0", 9, R, 0, kNone, "echoed only: no stage reads it", kAny, none(), EGF_REAL(tr0)},
    {"nx", 10, I, 0, kSource | kSum | kOut, "subfaults along strike; the figure's N label", kAny,
     between(1, model::kMaxGrid), EGF_INT(nx)},
    {"nw", 10, I, 0, kSource | kSum, "subfaults down dip", kAny, between(1, model::kMaxGrid), EGF_INT(nw)},
    {"nt", 10, I, 0, kSum, "rise-time subdivisions: ntt = nt*tra/dt and the copies' weights", kAny, none(),
     EGF_INT(nt)},
    {"ntt", 10, I, 0, kNone, "echoed only: the run derives its own from nt, tra and the sample interval",
     kAny, none(), EGF_INT(ntt)},
    {"nsx", 10, I, 0, kSource | kOut, "starting subfault along strike: positions, rupture times; label", kAny,
     none(), EGF_INT(nsx)},
    {"nsw", 10, I, 0, kSource | kOut, "starting subfault down dip: positions, rupture times; label", kAny,
     none(), EGF_INT(nsw)},
    {"ns", 10, I, 0, kSum, "samples synthesised (0: the target record's count); the first means span them",
     kAny, between(0, model::kMaxSamples), EGF_INT(ns)},
    {"cfac", 10, R, 0, kPrep | kOut, "factor on the prepared element motion; the figure's C label", kFinite,
     {Range::Kind::NonZero, 0, 0, {}, "the element amplitude factor must not be 0"}, EGF_REAL(cfac)},
    {"vs", 11, R, 0, kSource, "S-wave speed (km/s): the travel-time part of every delay", kAny,
     {Range::Kind::Positive}, EGF_REAL(vs)},
    {"vr", 11, R, 0, kSource, "rupture speed (km/s): rupture times", kAny, {Range::Kind::Positive},
     EGF_REAL(vr)},
    {"ird", 11, I, 0, kSource, "rupture front: 1 along strike, 2 radial", kAny, {Range::Kind::Either, 1, 2},
     EGF_INT(ird)},
    {"ipfm", 11, I, 0, kSource, "radiation correction: 0 (and below) none, 1 ratio, 2 sign", kAny,
     {Range::Kind::AtMost, 0, 2}, getInt<&Params::ipfm>, setRadiation},
    {"fmain", 12, T, 80, kFile, "the target record file", kAny, none(), EGF_TEXT(fmain)},
    {"faft", 13, T, 80, kFile, "the element record file", kAny, none(), EGF_TEXT(faft)},
    {"rm", 14, R, 0, kSource, "station distance from the target epicentre (km)", kFinite, none(), EGF_REAL(rm)},
    {"pm", 14, A, 0, kSource, "station azimuth from the target epicentre", kFinite, none(), EGF_ANGLE(pm)},
    {"ra", 14, R, 0, kSource, "station distance from the element epicentre (km): ra0", kFinite, none(),
     EGF_REAL(ra)},
    {"pa", 14, A, 0, kSource, "station azimuth from the element epicentre: the element's radiation only",
     kFinite, none(), EGF_ANGLE(pa)},
    {"cmp", 14, A, 0, kSource, "recorded component's azimuth, or +-1000 vertical: radiation (ipfm 1 or 2)",
     kFinite, none(), getReal<&Params::cmp>, setComponent},
    {"imdl", 14, I, 0, kSum, "weights of a subfault's copies (1 to 4)", kAny, between(1, 4), EGF_INT(imdl)},
    {"ksm", 15, I, 0, kCmp | kOut, "observed window start: comparison from ksm+1, figures, report", kAny,
     between(1, model::kMaxSamples), EGF_INT(ksm)},
    {"kem", 15, I, 0, kOut, "observed window end: figures, spectra and report only", kAny,
     between(1, model::kMaxSamples, "ksm"), EGF_INT(kem)},
    {"ksa", 15, I, 0, kSum | kCmp | kOut,
     "synthetic window start: its mean removal, comparison from ksa+1, figures, report", kAny,
     between(1, model::kMaxSamples), EGF_INT(ksa)},
    {"kea", 15, I, 0, kSum | kOut, "synthetic window end: its mean removal, figures, spectra, report", kAny,
     between(1, model::kMaxSamples, "ksa"), EGF_INT(kea)},
    {"ttl1", 16, T, 6, kOut, "first title of both figures", kAny, none(), EGF_TEXT(ttl1)},
    {"ttl2", 17, T, 7, kOut, "second title of both figures", kAny, none(), EGF_TEXT(ttl2)},
    {"IS", 18, I, 0, kNone, "echoed only", kAny, none(), EGF_INT(IS)},
    {"IE", 18, I, 0, kNone, "echoed only", kAny, none(), EGF_INT(IE)},
    {"IW", 18, I, 0, kOut, "cosine taper of the spectrum windows (samples)", kAny, {Range::Kind::Taper},
     EGF_INT(IW)},
};

#undef EGF_INT
#undef EGF_REAL
#undef EGF_ANGLE
#undef EGF_TEXT
#undef EGF_Q

// The value the reader would have stored had the file written `value`.
Value asWritten(const Entry& e, double value) {
  switch (e.type) {
    case Type::Integer:
      if (!(value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max()) ||
          value != std::trunc(value))
        throw std::logic_error("paramfile: " + std::string(e.name) + " takes an integer, not " +
                               std::to_string(value));
      return static_cast<int>(value);
    case Type::Real:
    case Type::Angle:
      return textio::nearestFloat(value);
    case Type::Text:
      break;
  }
  throw std::logic_error("paramfile: " + std::string(e.name) + " is a text, not a number");
}

}  // namespace

std::span<const Entry> layout() { return kLayout; }

const Entry* find(std::string_view name) {
  for (const Entry& e : kLayout)
    if (e.name == name) return &e;
  return nullptr;
}

const Entry& entry(std::string_view name) {
  const Entry* e = find(name);
  if (e == nullptr) throw std::logic_error("paramfile: no value is named " + std::string(name));
  return *e;
}

void set(model::Params& p, std::string_view name, double value) {
  const Entry& e = entry(name);
  e.set(p, asWritten(e, value));
}

void set(model::Params& p, std::string_view name, const std::string& text) {
  const Entry& e = entry(name);
  if (e.type != Type::Text) throw std::logic_error("paramfile: " + std::string(name) + " is not a text");
  if (text.size() > static_cast<std::size_t>(e.width) || text.find('\n') != std::string::npos)
    throw std::logic_error("paramfile: \"" + text + "\" is not one line of " + std::to_string(e.width) +
                           " columns for " + std::string(name));
  e.set(p, text + std::string(static_cast<std::size_t>(e.width) - text.size(), ' '));
}

std::string valueText(Type type, double value) {
  if (type == Type::Integer) return std::to_string(static_cast<long long>(value));
  // A whole number of up to 9 digits is written out rather than with an
  // exponent (10.0, not 1e+01).
  std::string s = textio::shortestGeneral(textio::nearestFloat(value), true);
  // The reader takes "3" and "3.0" alike; a point shows a real.
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

}  // namespace paramfile
