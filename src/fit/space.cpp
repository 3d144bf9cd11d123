#include "fit/space.hpp"

#include <limits>

namespace fit {

std::optional<SourceParameter> findParameter(std::string_view name) {
  // N: the N x N x N rule.
  if (name == "N") return SourceParameter{"N", 0, Kind::Integer};
  const paramfile::Entry* e = paramfile::find(name);
  if (e == nullptr || e->line < 6 || e->line > 11 || e->type == Kind::Text) return std::nullopt;
  return SourceParameter{e->name.data(), e->line, e->type};
}

void setParameter(model::Params& p, const SourceParameter& which, double value) {
  if (std::string_view(which.name) == "N") {
    for (const char* count : {"nx", "nw", "nt"}) paramfile::set(p, count, value);
  } else {
    paramfile::set(p, which.name, value);
  }
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
