#include "fit/space.hpp"

#include <limits>

namespace fit {

namespace {

// A value of the source lines 6 to 11 that can be a number.
bool sourceValue(const paramfile::Entry* e) { return e != nullptr && e->line >= 6 && e->line <= 11 && e->type != Kind::Text; }

}  // namespace

std::string whyNotVaried(std::string_view name) {
  const paramfile::Entry* e = paramfile::find(name);
  if (!sourceValue(e)) return "";
  if ((e->use & paramfile::kShapesSynthetic) == 0)
    return "'" + std::string(name) + "' cannot vary: it does not change the synthetic (" + std::string(e->role) +
           "); take it out of [vary]";
  // The search prepares each record once, its synthetic's length included.
  if (name == "ns")
    return "'ns' cannot vary: it is the synthetic's length in samples, which the search fixes for each record "
           "as it prepares it; set it in the parameter files";
  return "";
}

bool radiationOnly(std::string_view name) { return name == "rak" || name == "stra" || name == "dipa" || name == "raka"; }

std::optional<SourceParameter> findParameter(std::string_view name) {
  // N: the N x N x N rule.
  if (name == "N") return SourceParameter{"N", 0, Kind::Integer};
  const paramfile::Entry* e = paramfile::find(name);
  if (!sourceValue(e) || !whyNotVaried(name).empty()) return std::nullopt;
  return SourceParameter{e->name.data(), e->line, e->type};
}

std::vector<std::string> variedNames() {
  std::vector<std::string> names;
  for (const paramfile::Entry& e : paramfile::layout())
    if (findParameter(e.name)) names.emplace_back(e.name);
  names.emplace_back("N");
  return names;
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
  for (std::size_t k = 0; k < axes.size(); ++k)
    if (!axes[k].field) setParameter(p, axes[k].parameter, values[k]);
}

void ModelSpace::applySource(source::Source& s, const std::vector<double>& values) const {
  for (std::size_t k = 0; k < axes.size(); ++k)
    if (axes[k].field) source::setField(s, *axes[k].field, values[k]);
}

std::vector<std::string> ModelSpace::texts(const std::vector<double>& values) const {
  std::vector<std::string> t;
  for (std::size_t k = 0; k < axes.size(); ++k) t.push_back(valueText(axes[k].parameter.kind, values[k]));
  return t;
}

}  // namespace fit
