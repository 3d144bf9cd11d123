#include "fit/config.hpp"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <set>

namespace fit {
namespace {

namespace fs = std::filesystem;

class Reader {
 public:
  explicit Reader(fs::path file) : file_(std::move(file)) {}

  [[noreturn]] void fail(const toml::source_region& where, const std::string& problem) const {
    throw ConfigError(file_.string() + ":" + std::to_string(where.begin.line) + ":" +
                      std::to_string(where.begin.column) + ": " + problem);
  }

  // Refuses every key of `table` not in `known`, at the key's position.
  void onlyKeys(const toml::table& table, std::initializer_list<std::string_view> known,
                const std::string& where) const {
    for (auto&& [key, node] : table) {
      if (std::find(known.begin(), known.end(), key.str()) == known.end()) {
        std::string list;
        for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
        fail(key.source(), "unknown key '" + std::string(key.str()) + "'" + where + " (known: " + list + ")");
      }
    }
  }

  double number(const toml::node& node, const std::string& what) const {
    if (auto i = node.as_integer()) return static_cast<double>(i->get());
    if (auto f = node.as_floating_point()) {
      if (!std::isfinite(f->get())) fail(node.source(), what + " must be a finite number");
      return f->get();
    }
    fail(node.source(), what + " must be a number");
  }

  long long integer(const toml::node& node, const std::string& what) const {
    if (auto i = node.as_integer()) return i->get();
    fail(node.source(), what + " must be an integer");
  }

  const toml::table& table(const toml::node& node, const std::string& what) const {
    if (auto t = node.as_table()) return *t;
    fail(node.source(), what + " must be a table");
  }

  std::string string(const toml::node& node, const std::string& what) const {
    if (auto s = node.as_string()) return s->get();
    fail(node.source(), what + " must be a string");
  }

  const fs::path& file() const { return file_; }

 private:
  fs::path file_;
};

SearchSettings readSearch(const Reader& r, const toml::table* t) {
  SearchSettings s;
  if (t == nullptr) return s;
  r.onlyKeys(*t, {"method", "seed", "max_models"}, " in [search]");
  if (const toml::node* n = t->get("method")) {
    const std::string m = r.string(*n, "method");
    if (m == "grid") s.method = Method::Grid;
    else if (m == "crs") s.method = Method::Crs;
    else if (m == "direct") s.method = Method::Direct;
    else r.fail(n->source(), "unknown method \"" + m + "\" (known: \"grid\", \"crs\", \"direct\")");
  }
  if (const toml::node* n = t->get("seed")) {
    const long long v = r.integer(*n, "seed");
    if (v < 0) r.fail(n->source(), "seed must be 0 or positive");
    s.seed = static_cast<std::uint64_t>(v);
  }
  if (const toml::node* n = t->get("max_models")) {
    if (s.method == Method::Grid)
      r.fail(n->source(), "max_models applies to the global methods; the grid evaluates every model");
    const long long v = r.integer(*n, "max_models");
    if (v < 1) r.fail(n->source(), "max_models must be at least 1");
    s.maxModels = static_cast<std::uint64_t>(v);
  }
  return s;
}

MisfitWeights readMisfit(const Reader& r, const toml::table* t) {
  MisfitWeights m;
  if (t == nullptr) return m;
  r.onlyKeys(*t, {"acc", "vel", "dis", "envelope", "shift", "max_shift"}, " in [misfit]");
  for (auto [key, target] : {std::pair{"acc", &m.acc}, {"vel", &m.vel}, {"dis", &m.dis},
                             {"envelope", &m.envelope}, {"max_shift", &m.maxShift}}) {
    if (const toml::node* n = t->get(key)) {
      *target = r.number(*n, key);
      if (*target < 0) r.fail(n->source(), std::string(key) + " must be 0 or positive");
    }
  }
  if (const toml::node* n = t->get("shift")) {
    const std::string s = r.string(*n, "shift");
    if (s == "common") m.shift = ShiftMode::Common;
    else if (s == "none") m.shift = ShiftMode::None;
    else r.fail(n->source(), "shift must be \"common\" or \"none\", not \"" + s + "\"");
  }
  if (m.acc + m.vel + m.dis + m.envelope <= 0)
    r.fail(t->source(), "every misfit weight is 0: give acc, vel, dis or envelope a positive weight");
  return m;
}

// One [vary] entry: a list of values, or from/to with an optional step.
Axis readAxis(const Reader& r, const toml::key& key, const toml::node& node, Method method) {
  const std::string name(key.str());
  const std::optional<SourceParameter> parameter = findParameter(name);
  if (!parameter) {
    if (const std::string why = whyNotVaried(name); !why.empty()) r.fail(key.source(), why);
    std::string names;
    for (const std::string& n : variedNames()) names += (names.empty() ? "" : " ") + n;
    r.fail(key.source(), "unknown parameter '" + name +
                             "': the values of parameter-file lines 6 to 11 that change the synthetic (" + names +
                             ") vary, N setting nx, nw and nt together");
  }
  Axis a{*parameter, {}, false, 0, 0, static_cast<int>(key.source().begin.line),
         static_cast<int>(key.source().begin.column)};
  const toml::table& t = r.table(node, name);
  r.onlyKeys(t, {"values", "from", "to", "step"}, " in vary." + name);
  const bool integer = parameter->kind == Kind::Integer;
  // Checked against the parameter's storage before any conversion: an int,
  // or a float (an angle in degrees too).
  auto value = [&](const toml::node& n, const std::string& what) {
    if (integer) {
      const long long v = r.integer(n, name + " " + what);
      if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        r.fail(n.source(), name + " " + what + " " + std::to_string(v) + " is beyond what an integer parameter holds (" +
                               std::to_string(std::numeric_limits<int>::min()) + " to " +
                               std::to_string(std::numeric_limits<int>::max()) + ")");
      return static_cast<double>(v);
    }
    const double v = r.number(n, name + " " + what);
    if (std::fabs(v) > std::numeric_limits<float>::max()) {
      char text[32];
      std::snprintf(text, sizeof text, "%g", v);
      r.fail(n.source(), name + " " + what + " " + text + " is beyond single precision, in which the parameter is stored");
    }
    return v;
  };
  // A value as the parameter file would hold it after reading its text.
  auto canonical = [&](double v) { return std::strtod(valueText(parameter->kind, v).c_str(), nullptr); };

  if (const toml::node* list = t.get("values")) {
    if (t.get("from") || t.get("to") || t.get("step"))
      r.fail(list->source(), name + ": give either values or from/to/step, not both");
    const toml::array* arr = list->as_array();
    if (arr == nullptr) r.fail(list->source(), name + " values must be an array");
    if (arr->empty()) r.fail(list->source(), name + ": empty list of values");
    for (const toml::node& n : *arr) a.values.push_back(canonical(value(n, "value")));
    return a;
  }
  const toml::node* from = t.get("from");
  const toml::node* to = t.get("to");
  if (from == nullptr || to == nullptr) r.fail(node.source(), name + " needs from and to, or values");
  const double lo = value(*from, "from"), hi = value(*to, "to");
  if (hi == lo)
    r.fail(to->source(), name + ": from and to are both " + valueText(parameter->kind, lo) +
                             ": set one value in the parameter files, or give a range to search");
  if (hi < lo) r.fail(to->source(), name + ": empty range (to " + valueText(parameter->kind, hi) +
                                        " is below from " + valueText(parameter->kind, lo) + ")");
  double step = 1.0;
  if (const toml::node* s = t.get("step")) {
    step = value(*s, "step");
    if (step == 0) r.fail(s->source(), name + ": a step of 0");
    if (step < 0) r.fail(s->source(), name + ": the step must be positive (from is the lower end)");
  } else if (!integer) {
    if (method == Method::Grid)
      r.fail(node.source(), name + " is real: the grid needs a step (or a list of values)");
    a.continuous = true;
    a.lo = canonical(lo);
    a.hi = canonical(hi);
    a.values = {a.lo, a.hi};
    return a;
  }
  // Counted with a little slack so that 2.0 to 3.2 by 0.1 ends at 3.2.
  const double count = std::floor((hi - lo) / step + 1e-9) + 1;
  if (count > static_cast<double>(kMaxGridModels))
    r.fail(node.source(), name + ": " + valueText(Kind::Real, count) + " values, more than a grid may hold");
  for (long long k = 0; k < static_cast<long long>(count); ++k) {
    const double v = canonical(lo + static_cast<double>(k) * step);
    if (a.values.empty() || v != a.values.back()) a.values.push_back(v);
  }
  return a;
}

ModelSpace readVary(const Reader& r, const toml::node* node, Method method) {
  if (node == nullptr) throw ConfigError(r.file().string() + ": no [vary] table: name the parameters to search");
  const toml::table& t = r.table(*node, "vary");
  if (t.empty()) r.fail(t.source(), "[vary] names no parameter");
  std::vector<std::pair<const toml::key*, const toml::node*>> entries;
  for (auto&& [key, value] : t) entries.emplace_back(&key, &value);
  // The table is kept sorted by name; the axes follow the file.
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    const auto& x = a.first->source().begin;
    const auto& y = b.first->source().begin;
    return x.line != y.line ? x.line < y.line : x.column < y.column;
  });
  ModelSpace space;
  std::set<std::string> set;
  for (const auto& [key, value] : entries) {
    const std::string name(key->str());
    const bool n = name == "N";
    const bool grid = name == "nx" || name == "nw" || name == "nt";
    if ((n && (set.count("nx") || set.count("nw") || set.count("nt"))) || (grid && set.count("N")))
      r.fail(key->source(), name + ": N sets nx, nw and nt together; vary either N or those three");
    set.insert(name);
    space.axes.push_back(readAxis(r, *key, *value, method));
  }
  if (method == Method::Grid && space.gridSize() > kMaxGridModels) {
    throw ConfigError(r.file().string() + ":" + std::to_string(t.source().begin.line) + ":" +
                      std::to_string(t.source().begin.column) + ": the grid has " +
                      (space.gridSize() == UINT64_MAX ? std::string("more than 1e19")
                                                      : std::to_string(space.gridSize())) +
                      " models, more than 100000000: take coarser steps or fewer parameters, or a global method");
  }
  return space;
}

}  // namespace

const char* methodName(Method m) {
  switch (m) {
    case Method::Grid: return "grid";
    case Method::Crs: return "crs";
    case Method::Direct: return "direct";
  }
  return "?";
}

Config readConfig(const fs::path& file) {
  const Reader r(file);
  toml::table root;
  try {
    root = toml::parse_file(file.string());
  } catch (const toml::parse_error& e) {
    if (e.source().begin.line == 0) throw ConfigError(file.string() + ": " + std::string(e.description()));
    r.fail(e.source(), std::string(e.description()));
  }
  r.onlyKeys(root, {"out", "record", "vary", "misfit", "search"}, "");

  Config c;
  c.file = file;
  c.out = "fit-out";
  if (const toml::node* n = root.get("out")) {
    c.out = r.string(*n, "out");
    if (c.out.empty()) r.fail(n->source(), "out must name a folder");
  }
  c.search = readSearch(r, root.get("search") ? &r.table(*root.get("search"), "search") : nullptr);
  c.misfit = readMisfit(r, root.get("misfit") ? &r.table(*root.get("misfit"), "misfit") : nullptr);

  const toml::node* records = root.get("record");
  if (records == nullptr || records->as_array() == nullptr || records->as_array()->empty())
    throw ConfigError(file.string() + ": no [[record]]: name at least one parameter file");
  const fs::path folder = file.parent_path();
  for (const toml::node& entry : *records->as_array()) {
    const toml::table& t = r.table(entry, "record");
    r.onlyKeys(t, {"params", "weight"}, " in [[record]]");
    const toml::node* params = t.get("params");
    if (params == nullptr) r.fail(t.source(), "[[record]] needs params = \"PARAMETER FILE\"");
    RecordEntry e;
    e.params = folder / r.string(*params, "params");
    e.line = static_cast<int>(params->source().begin.line);
    e.column = static_cast<int>(params->source().begin.column);
    if (const toml::node* w = t.get("weight")) {
      e.weight = r.number(*w, "weight");
      if (!(e.weight > 0)) r.fail(w->source(), "weight must be positive");
    }
    c.records.push_back(e);
  }
  c.space = readVary(r, root.get("vary"), c.search.method);
  return c;
}

}  // namespace fit
