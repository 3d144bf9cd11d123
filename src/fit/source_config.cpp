#include "fit/source_config.hpp"

#include <set>

namespace fit {
namespace {

// Names of parameter-file lines 9 to 11 (and N) that the SMGAs replace.
const std::set<std::string> kReplaced = {"dx",  "dw",  "tra", "dx0", "dw0", "tr0", "nx", "nw",
                                         "nt",  "ntt", "nsx", "nsw", "ns",  "cfac", "N"};

double positive(const Reader& r, const toml::node& n, const std::string& what) {
  const double v = r.number(n, what);
  if (!(v > 0)) r.fail(n.source(), what + " must be positive");
  return v;
}

source::Start readStart(const Reader& r, const toml::node& node, const std::string& what) {
  const toml::table& t = r.table(node, what);
  r.onlyKeys(t, {"along", "down", "nsx", "nsw"}, " in " + what);
  source::Start s;
  const bool fraction = t.get("along") || t.get("down");
  const bool index = t.get("nsx") || t.get("nsw");
  if (fraction == index)
    r.fail(node.source(), what + " is a position { along = 0..1, down = 0..1 } or a subfault { nsx = I, nsw = J }");
  s.fraction = fraction;
  for (const char* key : fraction ? std::array{"along", "down"} : std::array{"nsx", "nsw"})
    if (!t.get(key)) r.fail(node.source(), what + " needs " + key);
  if (fraction) {
    s.along = r.number(*t.get("along"), what + ".along");
    s.down = r.number(*t.get("down"), what + ".down");
  } else {
    s.nsx = static_cast<int>(std::clamp<long long>(r.integer(*t.get("nsx"), what + ".nsx"), -1000000, 1000000));
    s.nsw = static_cast<int>(std::clamp<long long>(r.integer(*t.get("nsw"), what + ".nsw"), -1000000, 1000000));
  }
  return s;
}

source::Smga readSmga(const Reader& r, const toml::node& node, std::size_t k) {
  const std::string what = "[[source.smga]] " + std::to_string(k + 1);
  const toml::table& t = r.table(node, what);
  r.onlyKeys(t, {"L", "W", "N", "C", "tau", "x", "w", "start", "delay", "vr"}, " in " + what);
  source::Smga a;
  for (const char* key : {"L", "W", "N", "C", "tau", "start"})
    if (!t.get(key)) r.fail(t.source(), what + " needs " + key + " (L, W, N, C, tau and start)");
  a.L = positive(r, *t.get("L"), "L");
  a.W = positive(r, *t.get("W"), "W");
  const long long n = r.integer(*t.get("N"), "N");
  if (n < 1 || n > model::kMaxGrid)
    r.fail(t.get("N")->source(), "N = " + std::to_string(n) + ": allowed 1 to " + std::to_string(model::kMaxGrid));
  a.N = static_cast<int>(n);
  a.C = positive(r, *t.get("C"), "C");
  a.tau = positive(r, *t.get("tau"), "tau");
  if (const toml::node* x = t.get("x")) a.x = r.number(*x, "x");
  if (const toml::node* w = t.get("w")) a.w = r.number(*w, "w");
  if (const toml::node* d = t.get("delay")) a.delay = r.number(*d, "delay");
  if (const toml::node* v = t.get("vr")) a.vr = positive(r, *v, "vr");
  a.start = readStart(r, *t.get("start"), "start");
  return a;
}

}  // namespace

std::optional<source::Source> readSource(const Reader& r, const toml::node* node) {
  if (node == nullptr) return std::nullopt;
  const toml::table& t = r.table(*node, "source");
  r.onlyKeys(t, {"vs", "vr", "rupture", "radiation", "time_function", "smga"}, " in [source]");
  source::Source s;
  if (const toml::node* n = t.get("vs")) s.vs = positive(r, *n, "vs");
  if (const toml::node* n = t.get("vr")) s.vr = positive(r, *n, "vr");
  if (const toml::node* n = t.get("rupture"))
    s.rupture = static_cast<model::Rupture>(r.code(*n, "rupture", {"along_strike", "radial"}, 1));
  if (const toml::node* n = t.get("radiation"))
    s.radiation = static_cast<model::Radiation>(r.code(*n, "radiation", {"none", "ratio", "sign"}, 0));
  if (const toml::node* n = t.get("time_function")) {
    const long long f = r.integer(*n, "time_function");
    if (f < 1 || f > 4) r.fail(n->source(), "time_function = " + std::to_string(f) + ": allowed 1 to 4 (egfsim's imdl)");
    s.timeFunction = static_cast<model::TimeFunction>(f);
  }
  const toml::node* smgas = t.get("smga");
  const toml::array* list = smgas ? smgas->as_array() : nullptr;
  if (list == nullptr || list->empty())
    r.fail(smgas ? smgas->source() : t.source(), "[source] needs at least one [[source.smga]]");
  for (std::size_t k = 0; k < list->size(); ++k) s.smgas.push_back(readSmga(r, *list->get(k), k));
  if (const std::string bad = source::badValue(s); !bad.empty()) r.fail(t.source(), bad);
  return s;
}

SimulateSettings readSimulate(const Reader& r, const toml::node* node, const std::filesystem::path& folder) {
  SimulateSettings s;
  if (node == nullptr) return s;
  const toml::table& t = r.table(*node, "simulate");
  r.onlyKeys(t, {"models", "draws", "seed"}, " in [simulate]");
  if (const toml::node* n = t.get("models")) {
    const toml::array* a = n->as_array();
    if (a == nullptr) r.fail(n->source(), "models must be an array of file names");
    for (const toml::node& m : *a) {
      s.models.push_back(folder / r.string(m, "a model file"));
      s.modelPlaces.emplace_back(static_cast<int>(m.source().begin.line), static_cast<int>(m.source().begin.column));
    }
  }
  if (const toml::node* n = t.get("draws")) {
    const long long v = r.integer(*n, "draws");
    if (v < 0 || v > 100000) r.fail(n->source(), "draws must lie within 0..100000");
    s.draws = static_cast<std::uint64_t>(v);
  }
  if (const toml::node* n = t.get("seed")) {
    const long long v = r.integer(*n, "seed");
    if (v < 0) r.fail(n->source(), "seed must be 0 or positive");
    s.seed = static_cast<std::uint64_t>(v);
  }
  return s;
}

std::optional<source::Field> sourceAxis(const Reader& r, const toml::key& key, const std::string& name,
                                        const std::optional<source::Source>& model) {
  const std::optional<source::Field> field = source::findField(name);
  const bool smga = name.rfind("smga.", 0) == 0;
  if (!model) {
    if (smga) r.fail(key.source(), name + " is a value of the source model: give it in [source]");
    return std::nullopt;
  }
  if (kReplaced.count(name))
    r.fail(key.source(), name + ": with [source] the SMGAs give lines 9 to 11 of the parameter files; vary "
                             "smga.K.NAME (L W N C tau x w along down nsx nsw delay vr) instead");
  if (smga && !field)
    r.fail(key.source(), "unknown source value '" + name +
                             "' (known: smga.K.L, .W, .N, .C, .tau, .x, .w, .along, .down, .nsx, .nsw, .delay, .vr)");
  if (!field) return std::nullopt;
  if (const std::string problem = source::fieldProblem(*model, *field); !problem.empty())
    r.fail(key.source(), name + ": " + problem);
  return field;
}

void checkSourceValue(const Reader& r, const toml::source_region& where, const source::Source& model,
                      const source::Field& field, double value, const std::string& text) {
  source::Source s = model;
  source::setField(s, field, value);
  std::string bad = source::badValue(s);
  const int code = static_cast<int>(value);
  if (bad.empty() && field.smga == 0) {
    if (field.name == source::Field::Ird && code != 1 && code != 2) bad = "allowed 1 or 2";
    if (field.name == source::Field::Ipfm && code > 2) bad = "allowed 2 or less";
    if (field.name == source::Field::Imdl && (code < 1 || code > 4)) bad = "allowed 1 to 4";
  }
  if (!bad.empty()) r.fail(where, source::fieldName(field) + " = " + text + " cannot be: " + bad);
}

source::Source readSourceFile(const std::filesystem::path& file) {
  const Reader r(file);
  toml::table root;
  try {
    root = toml::parse_file(file.string());
  } catch (const toml::parse_error& e) {
    if (e.source().begin.line == 0) throw ConfigError(file.string() + ": " + std::string(e.description()));
    r.fail(e.source(), std::string(e.description()));
  }
  const std::optional<source::Source> s = readSource(r, root.get("source"));
  if (!s) throw ConfigError(file.string() + ": no [source] section");
  return *s;
}

}  // namespace fit
