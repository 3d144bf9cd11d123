#include "fit/study_config.hpp"

#include <sstream>

#include "recinfo/recinfo.hpp"

namespace fit {
namespace {

namespace fs = std::filesystem;

std::string place(const Reader& r, const toml::node& n) {
  return r.file().string() + ":" + std::to_string(n.source().begin.line) + ":" +
         std::to_string(n.source().begin.column);
}

std::string text(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

std::optional<double> optionalNumber(const Reader& r, const toml::table& t, const char* key) {
  if (const toml::node* n = t.get(key)) return r.number(*n, key);
  return std::nullopt;
}

// A number of `t`, refused at its place outside lo..hi.
std::optional<double> numberWithin(const Reader& r, const toml::table& t, const char* key, double lo, double hi,
                                   const std::string& what) {
  const toml::node* n = t.get(key);
  if (n == nullptr) return std::nullopt;
  const double v = r.number(*n, key);
  if (!(v >= lo && v <= hi)) r.fail(n->source(), std::string(key) + " " + text(v) + " is not " + what);
  return v;
}

std::optional<model::UtcTime> time(const Reader& r, const toml::table& t, const char* key) {
  const toml::node* n = t.get(key);
  if (n == nullptr) return std::nullopt;
  const std::string text = r.string(*n, key);
  const auto utc = recinfo::parseUtc(text);
  if (!utc) r.fail(n->source(), std::string(key) + " \"" + text + "\" is not a UTC time (2019-07-06T03:19:53.04Z)");
  return utc;
}

study::Event readEvent(const Reader& r, const toml::node* node, const char* section, bool mechanismRequired) {
  study::Event e;
  if (node == nullptr) return e;
  const toml::table& t = r.table(*node, section);
  r.onlyKeys(t, {"name", "origin", "latitude", "longitude", "depth", "magnitude", "magnitude_type", "strike", "dip",
                 "rake"},
             std::string(" in [") + section + "]");
  if (const toml::node* n = t.get("name")) e.info.name = r.string(*n, "name");
  e.info.origin = time(r, t, "origin");
  e.info.latitude = numberWithin(r, t, "latitude", -90, 90, "a latitude (-90 to 90)");
  e.info.longitude = numberWithin(r, t, "longitude", -180, 360, "a longitude (-180 to 360)");
  e.info.depth = numberWithin(r, t, "depth", -10, 800, "a hypocentre's depth (-10 to 800 km)");
  e.info.magnitude = optionalNumber(r, t, "magnitude");
  if (const toml::node* n = t.get("magnitude_type")) e.info.magnitudeType = r.string(*n, "magnitude_type");
  const toml::node* strike = t.get("strike");
  const toml::node* dip = t.get("dip");
  const toml::node* rake = t.get("rake");
  if (strike || dip || rake || mechanismRequired) {
    if (!strike || !dip || !rake)
      r.fail(t.source(), std::string("[") + section + "] needs strike, dip and rake together (degrees)");
    e.mechanism = study::Mechanism{r.number(*strike, "strike"), r.number(*dip, "dip"), r.number(*rake, "rake")};
    if (!(e.mechanism->dip >= 0 && e.mechanism->dip <= 90)) r.fail(dip->source(), "dip must lie within 0..90 degrees");
  }
  return e;
}

study::Processing readProcessing(const Reader& r, const toml::node* node) {
  study::Processing p;
  if (node == nullptr) return p;
  const toml::table& t = r.table(*node, "processing");
  r.onlyKeys(t, {"filter", "window", "taper", "time_scale", "title"}, " in [processing]");
  if (const toml::node* n = t.get("filter")) {
    if (auto s = n->as_string()) {
      if (s->get() != "none") r.fail(n->source(), "filter is \"none\" or a table { low, high, stop, ... }");
      p.filter = false;
    } else {
      const toml::table& f = r.table(*n, "filter");
      r.onlyKeys(f, {"low", "high", "stop", "pass_tolerance", "stop_tolerance"}, " in filter");
      for (auto [key, target] : {std::pair{"low", &p.low}, {"high", &p.high}, {"stop", &p.stop},
                                 {"pass_tolerance", &p.passTolerance}, {"stop_tolerance", &p.stopTolerance}})
        if (const toml::node* v = f.get(key)) *target = r.number(*v, key);
      if (!(p.low >= 0 && p.high > p.low && p.stop > p.high))
        r.fail(n->source(), "the filter needs 0 <= low < high < stop (Hz)");
    }
  }
  if (const toml::node* n = t.get("window")) {
    const toml::table& w = r.table(*n, "window");
    r.onlyKeys(w, {"from", "to"}, " in window");
    if (const toml::node* v = w.get("from")) p.from = r.number(*v, "from");
    if (const toml::node* v = w.get("to")) p.to = r.number(*v, "to");
    if (!(p.to > p.from)) r.fail(n->source(), "the window must end after it starts (to > from, s from the S arrival)");
  }
  if (const toml::node* n = t.get("taper")) {
    p.taper = r.number(*n, "taper");
    if (!(p.taper > 0)) r.fail(n->source(), "taper must be positive (s)");
  }
  if (const toml::node* n = t.get("time_scale")) {
    p.timeScale = r.number(*n, "time_scale");
    if (!(p.timeScale > 0)) r.fail(n->source(), "time_scale must be positive (s per cm)");
  }
  if (const toml::node* n = t.get("title")) {
    p.title = r.string(*n, "title");
    if (p.title.size() > 6) r.fail(n->source(), "title has 6 columns at most");
  }
  return p;
}

study::RecordPair readPair(const Reader& r, const toml::node& node, const fs::path& folder) {
  const toml::table& t = r.table(node, "station.record");
  r.onlyKeys(t, {"component", "target", "element", "weight", "azimuth", "dip", "vertical", "target_start",
                 "element_start"},
             " in [[station.record]]");
  study::RecordPair p;
  p.where = place(r, node);
  p.line = static_cast<int>(node.source().begin.line);
  p.column = static_cast<int>(node.source().begin.column);
  if (const toml::node* n = t.get("component")) {
    p.label = r.string(*n, "component");
    if (p.label.empty() || p.label.size() > 3 || p.label.find_first_of(" /\\") != std::string::npos)
      r.fail(n->source(), "component is a label of 1 to 3 characters without blanks or slashes (NS, EW, UD)");
  }
  const toml::node* element = t.get("element");
  if (element == nullptr) r.fail(t.source(), "[[station.record]] needs element = \"ELEMENT RECORD\"");
  p.element = folder / r.string(*element, "element");
  if (const toml::node* n = t.get("target")) p.target = folder / r.string(*n, "target");
  if (const toml::node* n = t.get("weight")) {
    p.weight = r.number(*n, "weight");
    if (!(p.weight > 0)) r.fail(n->source(), "weight must be positive");
  }
  p.component.azimuth = optionalNumber(r, t, "azimuth");
  p.component.dip = numberWithin(r, t, "dip", -90, 90, "a dip (-90 up to 90 down)");
  if (const toml::node* n = t.get("vertical")) {
    if (p.component.azimuth || p.component.dip)
      r.fail(n->source(), "give vertical = true, or azimuth (and dip), not both");
    if (r.boolean(*n, "vertical")) p.component.dip = -90.0;
  }
  if (p.component.azimuth && (p.component.dip == -90.0 || p.component.dip == 90.0))
    r.fail(t.source(), "a vertical component has no azimuth");
  p.targetStart = time(r, t, "target_start");
  p.elementStart = time(r, t, "element_start");
  return p;
}

study::Station readStation(const Reader& r, const toml::node& node, const fs::path& folder) {
  const toml::table& t = r.table(node, "station");
  r.onlyKeys(t, {"code", "latitude", "longitude", "elevation", "sensor_depth", "rm", "pm", "ra", "pa", "record"},
             " in [[station]]");
  study::Station s;
  s.where = place(r, node);
  if (const toml::node* n = t.get("code")) s.info.code = r.string(*n, "code");
  s.info.latitude = numberWithin(r, t, "latitude", -90, 90, "a latitude (-90 to 90)");
  s.info.longitude = numberWithin(r, t, "longitude", -180, 360, "a longitude (-180 to 360)");
  s.info.elevation = numberWithin(r, t, "elevation", -12000, 9000, "an elevation on the Earth (m)");
  s.info.sensorDepth = numberWithin(r, t, "sensor_depth", 0, 12000, "a sensor's depth below the ground (m)");
  s.hand = {optionalNumber(r, t, "rm"), optionalNumber(r, t, "pm"), optionalNumber(r, t, "ra"),
            optionalNumber(r, t, "pa")};
  const toml::node* records = t.get("record");
  const toml::array* list = records ? records->as_array() : nullptr;
  if (list == nullptr || list->empty()) r.fail(t.source(), "[[station]] needs at least one [[station.record]]");
  for (const toml::node& n : *list) s.records.push_back(readPair(r, n, folder));
  return s;
}

}  // namespace

std::optional<study::Study> readStudy(const Reader& r, const toml::table& root, const fs::path& recordFolder) {
  const toml::node* stations = root.get("station");
  const bool any = stations || root.get("target") || root.get("element") || root.get("processing");
  if (!any) return std::nullopt;
  study::Study s;
  s.file = r.file();
  s.target = readEvent(r, root.get("target"), "target", true);
  s.element = readEvent(r, root.get("element"), "element", false);
  s.processing = readProcessing(r, root.get("processing"));
  if (!root.get("target") || !root.get("element"))
    throw ConfigError(r.file().string() + ": a study needs [target] and [element] (the two events)");
  if (stations == nullptr || stations->as_array() == nullptr || stations->as_array()->empty())
    throw ConfigError(r.file().string() + ": a study needs [[station]] with its [[station.record]]");
  for (const toml::node& n : *stations->as_array()) s.stations.push_back(readStation(r, n, recordFolder));
  return s;
}

}  // namespace fit
