#include "fit/space.hpp"

#include <cmath>
#include <limits>
#include <type_traits>

#include "textio/shortest.hpp"

namespace fit {
namespace {

struct Entry {
  SourceParameter parameter;
  void (*set)(model::Params&, double);  // stores a value as the reader would
};

constexpr Kind I = Kind::Integer, R = Kind::Real, A = Kind::Angle;

// A field's own type decides how the value is stored: an option code is an
// integer as the file gives it.
template <class T>
T as(double v) {
  if constexpr (std::is_floating_point_v<T>) {
    return static_cast<T>(v);
  } else {
    return static_cast<T>(static_cast<int>(v));
  }
}
#define EGF_FIT_SET(field) [](model::Params& p, double v) { p.field = as<decltype(p.field)>(v); }
#define EGF_FIT_ANGLE(field) [](model::Params& p, double v) { p.field = static_cast<float>(v) * model::kDegToRad; }

const Entry kEntries[] = {
    {{"str", 6, A}, EGF_FIT_ANGLE(str)},    {{"dip", 6, A}, EGF_FIT_ANGLE(dip)},
    {{"rak", 6, A}, EGF_FIT_ANGLE(rak)},    {{"z", 6, R}, EGF_FIT_SET(z)},
    {{"ncmpt", 7, I}, EGF_FIT_SET(ncmpt)},  {{"stra", 8, A}, EGF_FIT_ANGLE(stra)},
    {{"dipa", 8, A}, EGF_FIT_ANGLE(dipa)},  {{"raka", 8, A}, EGF_FIT_ANGLE(raka)},
    {{"za", 8, R}, EGF_FIT_SET(za)},        {{"dx", 9, R}, EGF_FIT_SET(dx)},
    {{"dw", 9, R}, EGF_FIT_SET(dw)},        {{"tra", 9, R}, EGF_FIT_SET(tra)},
    {{"dx0", 9, R}, EGF_FIT_SET(dx0)},      {{"dw0", 9, R}, EGF_FIT_SET(dw0)},
    {{"tr0", 9, R}, EGF_FIT_SET(tr0)},      {{"nx", 10, I}, EGF_FIT_SET(nx)},
    {{"nw", 10, I}, EGF_FIT_SET(nw)},       {{"nt", 10, I}, EGF_FIT_SET(nt)},
    {{"ntt", 10, I}, EGF_FIT_SET(ntt)},     {{"nsx", 10, I}, EGF_FIT_SET(nsx)},
    {{"nsw", 10, I}, EGF_FIT_SET(nsw)},     {{"ns", 10, I}, EGF_FIT_SET(ns)},
    {{"cfac", 10, R}, EGF_FIT_SET(cfac)},   {{"vs", 11, R}, EGF_FIT_SET(vs)},
    {{"vr", 11, R}, EGF_FIT_SET(vr)},       {{"ird", 11, I}, EGF_FIT_SET(ird)},
    {{"ipfm", 11, I}, EGF_FIT_SET(ipfm)},
    // N: the N x N x N rule
    {{"N", 0, I}, [](model::Params& p, double v) { p.nx = p.nw = p.nt = static_cast<int>(v); }},
};
#undef EGF_FIT_SET
#undef EGF_FIT_ANGLE

const Entry* find(std::string_view name) {
  for (const Entry& e : kEntries)
    if (name == e.parameter.name) return &e;
  return nullptr;
}

}  // namespace

std::optional<SourceParameter> findParameter(std::string_view name) {
  const Entry* e = find(name);
  if (e == nullptr) return std::nullopt;
  return e->parameter;
}

void setParameter(model::Params& p, const SourceParameter& which, double value) { find(which.name)->set(p, value); }

std::string valueText(Kind kind, double value) {
  if (kind == Kind::Integer) return std::to_string(static_cast<long long>(value));
  std::string s = textio::shortestGeneral(static_cast<float>(value));
  // A parameter file reads "3" and "3.0" alike; keep a point to show a real.
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

std::uint64_t ModelSpace::gridSize() const {
  std::uint64_t n = 1;
  for (const Axis& a : axes) {
    const std::uint64_t k = a.values.size();
    if (k != 0 && n > std::numeric_limits<std::uint64_t>::max() / k) return std::numeric_limits<std::uint64_t>::max();
    n *= k;
  }
  return n;
}

std::vector<double> ModelSpace::gridModel(std::uint64_t m) const {
  std::vector<double> v(axes.size());
  for (std::size_t k = axes.size(); k-- > 0;) {
    const std::uint64_t size = axes[k].values.size();
    v[k] = axes[k].values[m % size];
    m /= size;
  }
  return v;
}

void ModelSpace::apply(model::Params& p, const std::vector<double>& values) const {
  for (std::size_t k = 0; k < axes.size(); ++k) setParameter(p, axes[k].parameter, values[k]);
}

std::vector<std::string> ModelSpace::texts(const std::vector<double>& values) const {
  std::vector<std::string> t;
  for (std::size_t k = 0; k < axes.size(); ++k) t.push_back(valueText(axes[k].parameter.kind, values[k]));
  return t;
}

}  // namespace fit
