#include "fit/config.hpp"

#include <toml++/toml.h>

#include "fit/misfit_config.hpp"
#include "fit/source_config.hpp"
#include "fit/study_config.hpp"
#include "fit/toml_reader.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <optional>
#include <set>

namespace fit {
namespace {

namespace fs = std::filesystem;

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
  r.onlyKeys(*t, {"acc", "vel", "dis", "envelope", "shift", "max_shift", "psa", "fourier", "psa_periods",
                  "psa_count", "fourier_band", "fourier_count"},
             " in [misfit]");
  m.spectral = readSpectralTerms(r, *t);
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
  if (m.acc + m.vel + m.dis + m.envelope + m.spectral.psa + m.spectral.fourier <= 0)
    r.fail(t->source(), "every misfit weight is 0: give acc, vel, dis, envelope, psa or fourier a positive weight");
  return m;
}

// One [vary] entry: a list of values, or from/to with an optional step.
Axis readAxis(const Reader& r, const toml::key& key, const std::string& name, const toml::node& node,
              Method method, const std::optional<source::Source>& model) {
  const std::optional<source::Field> field = sourceAxis(r, key, name, model);
  std::optional<SourceParameter> parameter;
  if (field) {
    parameter = SourceParameter{name, 0, source::integerField(*field) ? Kind::Integer : Kind::Real};
  } else {
    parameter = findParameter(name);
  }
  if (!parameter) {
    if (const std::string why = whyNotVaried(name); !why.empty()) r.fail(key.source(), why);
    std::string names;
    for (const std::string& n : variedNames()) names += (names.empty() ? "" : " ") + n;
    r.fail(key.source(), "unknown parameter '" + name +
                             "': the values of parameter-file lines 6 to 11 that change the synthetic (" + names +
                             ") vary, N setting nx, nw and nt together" +
                             (model ? "" : ", or with [source] the values of its SMGAs (smga.K.NAME)"));
  }
  Axis a{*parameter, {}, false, 0, 0, static_cast<int>(key.source().begin.line),
         static_cast<int>(key.source().begin.column), field};
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
  // A value of the source model must be one a model can hold.
  auto checked = [&](const toml::node& n, double v) {
    if (field) checkSourceValue(r, n.source(), *model, *field, v, valueText(parameter->kind, v));
    return v;
  };

  if (const toml::node* list = t.get("values")) {
    if (t.get("from") || t.get("to") || t.get("step"))
      r.fail(list->source(), name + ": give either values or from/to/step, not both");
    const toml::array* arr = list->as_array();
    if (arr == nullptr) r.fail(list->source(), name + " values must be an array");
    if (arr->empty()) r.fail(list->source(), name + ": empty list of values");
    for (const toml::node& n : *arr) a.values.push_back(checked(n, canonical(value(n, "value"))));
    return a;
  }
  const toml::node* from = t.get("from");
  const toml::node* to = t.get("to");
  if (from == nullptr || to == nullptr) r.fail(node.source(), name + " needs from and to, or values");
  const double lo = value(*from, "from"), hi = value(*to, "to");
  if (hi == lo)
    r.fail(to->source(), name + ": from and to are both " + valueText(parameter->kind, lo) +
                             (field ? ": set one value in [source]" : ": set one value in the parameter files") +
                             ", or give a range to search");
  if (hi < lo) r.fail(to->source(), name + ": empty range (to " + valueText(parameter->kind, hi) +
                                        " is below from " + valueText(parameter->kind, lo) + ")");
  checked(*from, canonical(lo));
  checked(*to, canonical(hi));
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

// The entries of [vary] with their names, in the order of the file. The
// values of SMGAs may be written as dotted keys (smga.1.C = ...), which TOML
// nests as tables: they are named "smga.1.C" as well.
struct VaryEntry {
  const toml::key* key;
  std::string name;
  const toml::node* value;
};

std::vector<VaryEntry> varyEntries(const Reader& r, const toml::table& t) {
  std::vector<VaryEntry> entries;
  for (auto&& [key, value] : t) {
    const std::string name(key.str());
    const toml::table* smgas = value.as_table();
    if (name != "smga" || smgas == nullptr) {
      entries.push_back({&key, name, &value});
      continue;
    }
    for (auto&& [index, values] : *smgas) {
      const std::string prefix = "smga." + std::string(index.str()) + ".";
      for (auto&& [field, range] : r.table(values, prefix.substr(0, prefix.size() - 1)))
        entries.push_back({&field, prefix + std::string(field.str()), &range});
    }
  }
  // The table is kept sorted by name; the axes follow the file.
  std::sort(entries.begin(), entries.end(), [](const VaryEntry& a, const VaryEntry& b) {
    const auto& x = a.key->source().begin;
    const auto& y = b.key->source().begin;
    return x.line != y.line ? x.line < y.line : x.column < y.column;
  });
  return entries;
}

ModelSpace readVary(const Reader& r, const toml::node* node, Method method,
                    const std::optional<source::Source>& model) {
  if (node == nullptr) throw ConfigError(r.file().string() + ": no [vary] table: name the parameters to search");
  const toml::table& t = r.table(*node, "vary");
  if (t.empty()) r.fail(t.source(), "[vary] names no parameter");
  ModelSpace space;
  std::set<std::string> set;
  for (const VaryEntry& e : varyEntries(r, t)) {
    const std::string& name = e.name;
    const bool n = name == "N";
    const bool grid = name == "nx" || name == "nw" || name == "nt";
    if ((n && (set.count("nx") || set.count("nw") || set.count("nt"))) || (grid && set.count("N")))
      r.fail(e.key->source(), name + ": N sets nx, nw and nt together; vary either N or those three");
    if (!set.insert(name).second) r.fail(e.key->source(), name + " is varied twice");
    space.axes.push_back(readAxis(r, *e.key, name, *e.value, method, model));
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

namespace {

// [map]: axes = ["nsx", "nsw"] or a list of such pairs, each two different
// varied parameters; clip, the colour scale's top as a multiple (at least
// 1) of the least misfit.
MapSettings readMap(const Reader& r, const toml::node* node, const ModelSpace& space) {
  MapSettings m;
  if (node == nullptr) return m;
  const toml::table& t = r.table(*node, "map");
  r.onlyKeys(t, {"axes", "clip"}, " in [map]");
  if (const toml::node* n = t.get("clip")) {
    m.clip = r.number(*n, "clip");
    if (!(m.clip >= 1)) r.fail(n->source(), "clip must be at least 1 (a multiple of the least misfit)");
  }
  const toml::node* axes = t.get("axes");
  if (axes == nullptr) return m;
  const toml::array* list = axes->as_array();
  if (list == nullptr || list->empty())
    r.fail(axes->source(), "axes must be a pair of varied parameters, [\"nsx\", \"nsw\"], or a list of pairs");
  auto pair = [&](const toml::node& n) {
    const toml::array* a = n.as_array();
    if (a == nullptr || a->size() != 2)
      r.fail(n.source(), "a map's axes are two varied parameters, as [\"nsx\", \"nsw\"]");
    std::array<std::string, 2> names;
    for (std::size_t k = 0; k < 2; ++k) {
      names[k] = r.string(*a->get(k), "a map axis");
      const bool varied = std::any_of(space.axes.begin(), space.axes.end(),
                                      [&](const Axis& x) { return x.parameter.name == names[k]; });
      if (!varied) r.fail(a->get(k)->source(), "map axis '" + names[k] + "' is not a parameter of [vary]");
    }
    if (names[0] == names[1]) r.fail(n.source(), "a map's two axes must differ");
    m.axes.push_back(names);
  };
  if (list->get(0)->is_array()) {
    for (const toml::node& n : *list) pair(n);
  } else {
    pair(*axes);
  }
  return m;
}

}  // namespace

namespace {

toml::table parseFile(const Reader& r) {
  try {
    return toml::parse_file(r.file().string());
  } catch (const toml::parse_error& e) {
    if (e.source().begin.line == 0) throw ConfigError(r.file().string() + ": " + std::string(e.description()));
    r.fail(e.source(), std::string(e.description()));
  }
}

// The study of a configuration: its own sections, or with study = "FILE"
// those of another configuration (its events, stations and processing, and
// its record_folder; its other sections are not read), so that several
// searches share one description of the records. `recordFolder` (the
// command line's) overrides either's record_folder.
std::optional<study::Study> readStudySections(const Reader& r, const toml::table& root,
                                              const fs::path& recordFolder) {
  const Reader* from = &r;
  const toml::table* table = &root;
  std::optional<Reader> other;
  toml::table otherRoot;
  if (const toml::node* n = root.get("study")) {
    for (const char* key : {"target", "element", "processing", "station", "record_folder"})
      if (const toml::node* own = root.get(key))
        r.fail(own->source(), std::string(key) + " is given by the study file that study names: give it there only");
    const std::string name = r.string(*n, "study");
    other.emplace(r.file().parent_path() / name);
    if (!fs::is_regular_file(other->file()))
      r.fail(n->source(), "study \"" + name + "\": no such file (" + other->file().string() + ")");
    otherRoot = parseFile(*other);
    if (const toml::node* again = otherRoot.get("study"))
      other->fail(again->source(), "a study file named by study = must hold the study itself, not name another");
    if (!otherRoot.get("station"))
      r.fail(n->source(), "study \"" + name + "\" holds no [[station]]: name a study file");
    from = &*other;
    table = &otherRoot;
  }
  fs::path recordRoot = from->file().parent_path();
  if (!recordFolder.empty()) {
    recordRoot = recordFolder;
  } else if (const toml::node* n = table->get("record_folder")) {
    recordRoot = recordRoot / from->string(*n, "record_folder");
  }
  return readStudy(*from, *table, recordRoot);
}

}  // namespace

Config readConfig(const fs::path& file, Purpose purpose, const fs::path& recordFolder) {
  const Reader r(file);
  const toml::table root = parseFile(r);
  r.onlyKeys(root, {"out", "record", "vary", "misfit", "search", "map", "source", "simulate", "record_folder", "target",
                    "element", "processing", "station", "study"},
             "");

  Config c;
  c.file = file;
  c.out = "fit-out";
  if (const toml::node* n = root.get("out")) {
    c.out = r.string(*n, "out");
    if (c.out.empty()) r.fail(n->source(), "out must name a folder");
  }
  c.search = readSearch(r, root.get("search") ? &r.table(*root.get("search"), "search") : nullptr);
  c.misfit = readMisfit(r, root.get("misfit") ? &r.table(*root.get("misfit"), "misfit") : nullptr);
  c.source = readSource(r, root.get("source"));
  const fs::path folder = file.parent_path();
  c.simulate = readSimulate(r, root.get("simulate"), folder);

  c.study = readStudySections(r, root, recordFolder);
  if (c.study) {
    c.targetMagnitude = c.study->target.info.magnitude;
    c.elementMagnitude = c.study->element.info.magnitude;
  }

  const toml::node* records = root.get("record");
  if (records != nullptr && records->as_array() == nullptr) r.table(*records, "record");
  if ((records == nullptr || records->as_array()->empty()) && !c.study)
    throw ConfigError(file.string() + ": no [[record]] and no [[station]]: name at least one parameter file or record");
  const toml::array none;
  for (const toml::node& entry : records ? *records->as_array() : none) {
    const toml::table& t = r.table(entry, "record");
    r.onlyKeys(t, {"params", "weight", "predict"}, " in [[record]]");
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
    if (const toml::node* p = t.get("predict")) {
      e.predict = r.boolean(*p, "predict");
      if (e.predict && !c.source)
        r.fail(p->source(), "a predicted record needs the source model of a [source] section");
    }
    c.records.push_back(e);
  }
  bool fitted = std::any_of(c.records.begin(), c.records.end(), [](const RecordEntry& e) { return !e.predict; });
  if (c.study)
    for (const study::Station& st : c.study->stations)
      for (const study::RecordPair& pair : st.records) fitted = fitted || !pair.target.empty();
  if (purpose == Purpose::Search) {
    if (!fitted) throw ConfigError(file.string() + ": every [[record]] is predicted: a search needs a record with a target");
    c.space = readVary(r, root.get("vary"), c.search.method, c.source);
    c.map = readMap(r, root.get("map"), c.space);
  } else if (purpose == Purpose::Setup) {
    if (root.get("vary")) c.space = readVary(r, root.get("vary"), c.search.method, c.source);
  } else {
    if (!c.source) throw ConfigError(file.string() + ": no [source]: egffit simulate runs the source model given there");
    if (root.get("vary")) c.space = readVary(r, root.get("vary"), Method::Crs, c.source);
    if (c.simulate.draws > 0 && c.space.axes.empty())
      r.fail(root.get("simulate")->source(), "draws takes its models from the ranges of [vary]: there is none");
  }
  if (c.study)
    for (const Axis& a : c.space.axes)
      if (a.parameter.name == "z" || a.parameter.name == "za")
        throw ConfigError(file.string() + ":" + std::to_string(a.line) + ":" + std::to_string(a.column) + ": " +
                          a.parameter.name +
                          " is each station's depth below its sensor in a study: give the depth in [target] or "
                          "[element] instead of varying it");
  return c;
}

}  // namespace fit
