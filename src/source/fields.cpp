// The values of a source model by name, for a search's axes.
#include <charconv>
#include <cmath>
#include <string>

#include "source/source.hpp"

namespace source {
namespace {

struct Named {
  const char* name;
  Field::Name field;
  bool integer;
};

// An SMGA's values.
constexpr Named kSmga[] = {
    {"L", Field::L, false},         {"W", Field::W, false},          {"N", Field::N, true},
    {"C", Field::C, false},         {"tau", Field::Tau, false},      {"x", Field::X, false},
    {"w", Field::Wpos, false},      {"along", Field::Along, false},  {"down", Field::Down, false},
    {"nsx", Field::Nsx, true},      {"nsw", Field::Nsw, true},       {"delay", Field::Delay, false},
    {"vr", Field::Vr, false},
};
// The model's.
constexpr Named kModel[] = {
    {"vs", Field::Vs, false}, {"vr", Field::Vr, false},     {"ird", Field::Ird, true},
    {"ipfm", Field::Ipfm, true}, {"imdl", Field::Imdl, true},
};

template <std::size_t n>
const Named* byName(const Named (&table)[n], std::string_view name) {
  for (const Named& e : table)
    if (name == e.name) return &e;
  return nullptr;
}

template <std::size_t n>
const Named* byField(const Named (&table)[n], Field::Name f) {
  for (const Named& e : table)
    if (e.field == f) return &e;
  return nullptr;
}

const Named& entry(const Field& f) {
  const Named* e = f.smga > 0 ? byField(kSmga, f.name) : byField(kModel, f.name);
  return *e;
}

}  // namespace

std::optional<Field> findField(std::string_view name) {
  if (const Named* e = byName(kModel, name)) return Field{0, e->field};
  constexpr std::string_view prefix = "smga.";
  if (name.substr(0, prefix.size()) != prefix) return std::nullopt;
  name.remove_prefix(prefix.size());
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot > 3) return std::nullopt;
  int k = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + dot, k);
  if (ec != std::errc() || end != name.data() + dot || k < 1) return std::nullopt;
  const Named* e = byName(kSmga, name.substr(dot + 1));
  if (e == nullptr) return std::nullopt;
  return Field{k, e->field};
}

std::string fieldName(const Field& f) {
  const std::string name = entry(f).name;
  return f.smga > 0 ? "smga." + std::to_string(f.smga) + "." + name : name;
}

bool integerField(const Field& f) { return entry(f).integer; }

std::string fieldProblem(const Source& s, const Field& f) {
  if (f.smga == 0) return "";
  if (static_cast<std::size_t>(f.smga) > s.smgas.size())
    return "the source model has " + std::to_string(s.smgas.size()) + " SMGA" +
           (s.smgas.size() == 1 ? "" : "s") + ", no SMGA " + std::to_string(f.smga);
  const Start& start = s.smgas[static_cast<std::size_t>(f.smga - 1)].start;
  const bool fraction = f.name == Field::Along || f.name == Field::Down;
  const bool index = f.name == Field::Nsx || f.name == Field::Nsw;
  if (fraction && !start.fraction)
    return "SMGA " + std::to_string(f.smga) +
           "'s start is a subfault: give start = { along = ..., down = ... } to vary a position";
  if (index && start.fraction)
    return "SMGA " + std::to_string(f.smga) +
           "'s start is a position: give start = { nsx = ..., nsw = ... } to vary a subfault";
  return "";
}

void setField(Source& s, const Field& f, double v) {
  const int i = static_cast<int>(v);
  if (f.smga == 0) {
    switch (f.name) {
      case Field::Vs: s.vs = v; return;
      case Field::Vr: s.vr = v; return;
      case Field::Ird: s.rupture = static_cast<model::Rupture>(i); return;
      case Field::Ipfm: s.radiation = static_cast<model::Radiation>(i); return;
      case Field::Imdl: s.timeFunction = static_cast<model::TimeFunction>(i); return;
      default: return;
    }
  }
  Smga& a = s.smgas[static_cast<std::size_t>(f.smga - 1)];
  switch (f.name) {
    case Field::L: a.L = v; return;
    case Field::W: a.W = v; return;
    case Field::N: a.N = i; return;
    case Field::C: a.C = v; return;
    case Field::Tau: a.tau = v; return;
    case Field::X: a.x = v; return;
    case Field::Wpos: a.w = v; return;
    case Field::Along: a.start.along = v; return;
    case Field::Down: a.start.down = v; return;
    case Field::Nsx: a.start.nsx = i; return;
    case Field::Nsw: a.start.nsw = i; return;
    case Field::Delay: a.delay = v; return;
    case Field::Vr: a.vr = v; return;
    default: return;
  }
}

double fieldValue(const Source& s, const Field& f, const model::Params& base) {
  if (f.smga == 0) {
    switch (f.name) {
      case Field::Vs: return s.vs.value_or(base.vs);
      case Field::Vr: return s.vr.value_or(base.vr);
      case Field::Ird: return static_cast<int>(s.rupture.value_or(base.ird));
      case Field::Ipfm: return static_cast<int>(s.radiation.value_or(base.ipfm));
      case Field::Imdl: return static_cast<int>(s.timeFunction.value_or(base.imdl));
      default: return 0;
    }
  }
  const std::size_t k = static_cast<std::size_t>(f.smga - 1);
  const Smga& a = s.smgas[k];
  switch (f.name) {
    case Field::L: return a.L;
    case Field::W: return a.W;
    case Field::N: return a.N;
    case Field::C: return a.C;
    case Field::Tau: return a.tau;
    case Field::X: return a.x;
    case Field::Wpos: return a.w;
    case Field::Along: return a.start.along;
    case Field::Down: return a.start.down;
    case Field::Nsx: return a.start.nsx;
    case Field::Nsw: return a.start.nsw;
    case Field::Delay: return a.delay;
    case Field::Vr: return ruptureVelocity(s, k, base);
    default: return 0;
  }
}

}  // namespace source
