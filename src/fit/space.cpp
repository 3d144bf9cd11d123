#include "fit/space.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace fit {
namespace {

struct Entry {
  SourceParameter parameter;
  float run::Params::*real;
  int run::Params::*integer;
};

constexpr Kind I = Kind::Integer, R = Kind::Real, A = Kind::Angle;

const Entry kEntries[] = {
    {{"str", 6, A}, &run::Params::str, nullptr},     {{"dip", 6, A}, &run::Params::dip, nullptr},
    {{"rak", 6, A}, &run::Params::rak, nullptr},     {{"z", 6, R}, &run::Params::z, nullptr},
    {{"ncmpt", 7, I}, nullptr, &run::Params::ncmpt}, {{"stra", 8, A}, &run::Params::stra, nullptr},
    {{"dipa", 8, A}, &run::Params::dipa, nullptr},   {{"raka", 8, A}, &run::Params::raka, nullptr},
    {{"za", 8, R}, &run::Params::za, nullptr},       {{"dx", 9, R}, &run::Params::dx, nullptr},
    {{"dw", 9, R}, &run::Params::dw, nullptr},       {{"tra", 9, R}, &run::Params::tra, nullptr},
    {{"dx0", 9, R}, &run::Params::dx0, nullptr},     {{"dw0", 9, R}, &run::Params::dw0, nullptr},
    {{"tr0", 9, R}, &run::Params::tr0, nullptr},     {{"nx", 10, I}, nullptr, &run::Params::nx},
    {{"nw", 10, I}, nullptr, &run::Params::nw},      {{"nt", 10, I}, nullptr, &run::Params::nt},
    {{"ntt", 10, I}, nullptr, &run::Params::ntt},    {{"nsx", 10, I}, nullptr, &run::Params::nsx},
    {{"nsw", 10, I}, nullptr, &run::Params::nsw},    {{"ns", 10, I}, nullptr, &run::Params::ns},
    {{"cfac", 10, R}, &run::Params::cfac, nullptr},  {{"vs", 11, R}, &run::Params::vs, nullptr},
    {{"vr", 11, R}, &run::Params::vr, nullptr},      {{"ird", 11, I}, nullptr, &run::Params::ird},
    {{"ipfm", 11, I}, nullptr, &run::Params::ipfm},  {{"N", 0, I}, nullptr, nullptr},
};

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

void setParameter(run::Params& p, const SourceParameter& which, double value) {
  const Entry* e = find(which.name);
  if (e->parameter.kind == Kind::Integer) {
    const int v = static_cast<int>(value);
    if (e->integer == nullptr) {  // N: the N x N x N rule
      p.nx = p.nw = p.nt = v;
    } else {
      p.*(e->integer) = v;
    }
    return;
  }
  const float v = static_cast<float>(value);
  p.*(e->real) = e->parameter.kind == Kind::Angle ? v * run::kDegToRad : v;
}

std::string valueText(Kind kind, double value) {
  char text[64];
  if (kind == Kind::Integer) {
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    return text;
  }
  const float target = static_cast<float>(value);
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(target));
    if (static_cast<float>(std::strtod(text, nullptr)) == target) break;
  }
  std::string s = text;
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

void ModelSpace::apply(run::Params& p, const std::vector<double>& values) const {
  for (std::size_t k = 0; k < axes.size(); ++k) setParameter(p, axes[k].parameter, values[k]);
}

std::vector<std::string> ModelSpace::texts(const std::vector<double>& values) const {
  std::vector<std::string> t;
  for (std::size_t k = 0; k < axes.size(); ++k) t.push_back(valueText(axes[k].parameter.kind, values[k]));
  return t;
}

}  // namespace fit
