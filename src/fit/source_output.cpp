#include "fit/source_output.hpp"

#include <charconv>
#include <cstdio>
#include <set>

namespace fit {
namespace {

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", v);
  return text;
}

// The shortest text that reads back as v, with a point in a real.
std::string exact(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, r.ptr);
  if (s.find_first_of(".en") == std::string::npos) s += ".0";
  return s;
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::vector<source::AreaFacts> sourceFacts(const source::Source& s, const model::Params& base) {
  std::vector<source::AreaFacts> facts;
  for (std::size_t k = 0; k < s.smgas.size(); ++k)
    facts.push_back(source::facts(source::areaParams(base, s, k), source::onsetSeconds(s, k, base)));
  return facts;
}

std::vector<std::string> factLines(const Config& c, const std::vector<source::AreaFacts>& facts) {
  std::vector<std::string> lines;
  double total = 0;
  for (std::size_t k = 0; k < facts.size(); ++k) {
    const source::AreaFacts& f = facts[k];
    total += f.momentRatio;
    lines.push_back("SMGA " + std::to_string(k + 1) + ": " + number(f.length) + " x " + number(f.width) + " km (" +
                    number(f.area) + " km^2), N " + std::to_string(f.nx) + "; top edge " + number(f.topDepth) +
                    " km deep, bottom edge " + number(f.bottomDepth) + " km; rise time " + number(f.riseTime) +
                    " s; C " + number(f.cfac) + ", C N^3 " + number(f.momentRatio) + "; rupture from subfault (" +
                    std::to_string(f.nsx) + ", " + std::to_string(f.nsw) + ") at " + number(f.startU) +
                    " km along strike, " + number(f.startW) + " km down dip of the hypocentre, " +
                    number(f.onset) + " s after the origin time, at " + number(f.vr) + " km/s");
  }
  lines.push_back(source::momentComparison(total, c.targetMagnitude, c.elementMagnitude));
  return lines;
}

nlohmann::ordered_json factsJson(const Config& c, const std::vector<source::AreaFacts>& facts) {
  nlohmann::ordered_json j;
  double total = 0;
  for (const source::AreaFacts& f : facts) {
    total += f.momentRatio;
    j["smgas"].push_back({{"length_km", f.length},
                          {"width_km", f.width},
                          {"area_km2", f.area},
                          {"top_depth_km", f.topDepth},
                          {"bottom_depth_km", f.bottomDepth},
                          {"rise_time_s", f.riseTime},
                          {"N", f.nx},
                          {"C", f.cfac},
                          {"moment_ratio", f.momentRatio},
                          {"start_subfault", {f.nsx, f.nsw}},
                          {"start_km", {f.startU, f.startW}},
                          {"onset_s", f.onset},
                          {"vr", f.vr}});
  }
  j["moment_ratio"] = total;
  if (c.targetMagnitude && c.elementMagnitude)
    j["magnitudes_moment_ratio"] = source::magnitudeMomentRatio(*c.targetMagnitude, *c.elementMagnitude);
  return j;
}

std::string sourceToml(const source::Source& s, const std::string& comment) {
  std::string t = "# " + comment + "\n[source]\n";
  if (s.vs) t += "vs = " + exact(*s.vs) + "\n";
  if (s.vr) t += "vr = " + exact(*s.vr) + "\n";
  if (s.rupture) t += std::string("rupture = \"") + (*s.rupture == model::Rupture::AlongStrike ? "along_strike" : "radial") + "\"\n";
  if (s.radiation) {
    const int r = static_cast<int>(*s.radiation);
    t += std::string("radiation = \"") + (r == 1 ? "ratio" : r == 2 ? "sign" : "none") + "\"\n";
  }
  if (s.timeFunction) t += "time_function = " + std::to_string(static_cast<int>(*s.timeFunction)) + "\n";
  for (const source::Smga& a : s.smgas) {
    t += "\n[[source.smga]]\nL = " + exact(a.L) + "\nW = " + exact(a.W) + "\nN = " + std::to_string(a.N) +
         "\nC = " + exact(a.C) + "\ntau = " + exact(a.tau) + "\nx = " + exact(a.x) + "\nw = " + exact(a.w) + "\n";
    t += a.start.fraction ? "start = { along = " + exact(a.start.along) + ", down = " + exact(a.start.down) + " }\n"
                          : "start = { nsx = " + std::to_string(a.start.nsx) + ", nsw = " + std::to_string(a.start.nsw) + " }\n";
    t += "delay = " + exact(a.delay) + "\n";
    if (a.vr) t += "vr = " + exact(*a.vr) + "\n";
  }
  return t;
}

FaultMap problemFaultMap(const Problem& problem, const std::vector<source::AreaFacts>& facts,
                         const std::string& title) {
  const model::Params& base = problem.records.empty() ? problem.predictions.front().params
                                                      : problem.records.front().params;
  FaultMap m = faultMap(base, facts);
  m.title = title;
  std::set<std::string> seen;
  for (const auto* list : {&problem.records, &problem.predictions}) {
    for (const PreparedRecord& r : *list) {
      const std::array<double, 2> at = stationPosition(r.params.rm, r.params.pm);
      const std::string code = trimmed(r.predict ? r.elementHeader.rcode : r.targetHeader.rcode);
      if (!seen.insert(code + "@" + number(at[0]) + "," + number(at[1])).second) continue;
      m.stations.push_back({code.empty() ? r.name : code, at[0], at[1], r.predict});
    }
  }
  return m;
}

paramfile::Changes smgaValues(const model::Params& p) {
  paramfile::Changes c;
  for (const char* name : {"dx", "dw", "tra", "dx0", "dw0", "nx", "nw", "nt", "nsx", "nsw", "cfac", "vs", "vr", "ird",
                           "ipfm", "imdl"})
  {
    // None of these is an angle: the value held is the value written.
    const paramfile::Value v = paramfile::entry(name).get(p);
    c[name] = std::holds_alternative<int>(v) ? static_cast<double>(std::get<int>(v))
                                             : static_cast<double>(std::get<float>(v));
  }
  return c;
}

std::string onsetShiftNote(const PreparedRecord& r, const model::Params& base, const source::Source& s) {
  source::Planner planner;
  const model::Params area = source::areaParams(base, s, 0);
  const synthesis::SummationPlan model = planner.plan(base, s, r.dt, area.cfac);
  const synthesis::SummationPlan alone(area, synthesis::sourceModel(area, r.dt), r.dt);
  const int onset = model.areas().front().onset;
  const int earlier = onset + alone.lagmin() - model.lagmin();
  if (earlier == 0) return "";
  return "the SMGA starts " + number(source::onsetSeconds(s, 0, base)) +
         " s after the origin time, which no parameter file holds: egfsim's run of best/" +
         r.paramsFile.filename().string() + " places the synthetic " + std::to_string(earlier) + " samples (" +
         number(earlier * static_cast<double>(r.dt)) +
         " s) earlier than the model does, so best/RECORD/ holds the model's exact run";
}

source::Source modelSource(const Problem& problem, const std::vector<double>& values) {
  source::Source s = *problem.config.source;
  problem.config.space.applySource(s, values);
  return s;
}

model::Params modelParams(const Problem& problem, const PreparedRecord& r, const std::vector<double>& values) {
  model::Params p = r.params;
  problem.config.space.apply(p, values);
  return p;
}

}  // namespace fit
