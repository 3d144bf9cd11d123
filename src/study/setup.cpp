// Each record's parameter file from the study: geometry from coordinates,
// windows aligned on the predicted S arrival, the rest from the processing
// and the source model.
#include <array>
#include <cmath>

#include "geo/geo.hpp"
#include "recinfo/recinfo.hpp"
#include "study/merge.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/textio.hpp"

namespace study {
namespace {

namespace fs = std::filesystem;

constexpr int kTextColumns = 80;  // lines 12 and 13

std::string coordinates(const model::EventInfo& e) {
  return number(*e.latitude, 4) + " " + number(*e.longitude, 4) + ", depth " + number(*e.depth, 2) + " km";
}
std::string coordinates(const model::StationInfo& s) {
  return number(*s.latitude, 5) + " " + number(*s.longitude, 5);
}

// Everything a pair needs that neither its records nor the study give:
// the refusal names the study's key and kibconv's option that supply it.
void requireKnown(const Merger& m, const model::EventInfo& e, const std::string& section) {
  struct Need {
    bool known;
    const char* key;
    const char* option;  // kibconv's
  };
  const Need needs[] = {{e.origin.has_value(), "origin", "--origin-time"},
                        {e.latitude.has_value(), "latitude", "--event-lat"},
                        {e.longitude.has_value(), "longitude", "--event-lon"},
                        {e.depth.has_value(), "depth", "--event-depth"}};
  for (const Need& n : needs)
    if (!n.known)
      m.refuse("the " + section + " event has no " + n.key + ": give " + n.key + " in [" + section +
               "] (or write it into the records with kibconv " + n.option + ")");
}

void requireValid(const Merger& m, const model::EventInfo& e, const std::string& which) {
  if (!recinfo::validLatitude(*e.latitude) || !recinfo::validLongitude(*e.longitude))
    m.refuse("the " + which + " event's epicentre (" + number(*e.latitude, 4) + ", " + number(*e.longitude, 4) +
             ") is not a place on the Earth");
  if (!(*e.depth >= kLowestDepthKm && *e.depth <= kDeepestKm))
    m.refuse("the " + which + " event's depth " + number(*e.depth, 2) + " km is not a hypocentre's (" +
             number(kLowestDepthKm, 0) + " to " + number(kDeepestKm, 0) + " km)");
}

// A record file's name as lines 12 and 13 hold it: relative to the folder
// of the parameter file when that fits, absolute otherwise.
std::string recordText(const Merger& m, const fs::path& record, const fs::path& folder, const char* line) {
  const fs::path absolute = fs::weakly_canonical(fs::absolute(record));
  const fs::path relative = absolute.lexically_relative(fs::weakly_canonical(fs::absolute(folder)));
  // The shorter of the two, when it fits.
  const bool relativeFirst = !relative.empty() && relative.string().size() <= absolute.string().size();
  for (const fs::path& p : relativeFirst ? std::array{relative, absolute} : std::array{absolute, relative})
    if (!p.empty() && p.string().size() <= static_cast<std::size_t>(kTextColumns)) return p.string();
  m.refuse(std::string("the path of ") + record.string() + " is longer than the " + std::to_string(kTextColumns) +
           " columns of line " + line + ", even relative to " + folder.string() +
           ": move the records or the setup folder closer together");
}

RecordFile readRecord(const Merger& m, const fs::path& path, const char* which) {
  try {
    return readRecordFile(path);
  } catch (const textio::InputRejected& e) {
    m.refuse(std::string("the ") + which + " record: " + e.message);
  } catch (const textio::IoError& e) {
    const std::string r = e.report();
    m.refuse(std::string("the ") + which + " record " + path.string() + ": " + r.substr(0, r.find('\n')));
  }
}

// A value used as computed, or as given by hand with a note when the two
// disagree by more than `tolerance`.
double handOr(Merger& m, const std::optional<double>& hand, double computed, bool angle, const char* name) {
  if (!hand) return computed;
  const double off = angle ? angleBetween(*hand, computed) : std::fabs(*hand - computed);
  if (off > (angle ? kHandDegrees : kHandKm))
    m.note(std::string(name) + " " + number(*hand, 2) + " given by hand differs from the coordinates' " +
           number(computed, 2) + " by " + number(off, 2) + (angle ? " degrees" : " km") + "; the given value is used");
  return *hand;
}

class RecordSetup {
 public:
  RecordSetup(const Study& s, const Station& st, const RecordPair& pair, const model::Params& source,
              const fs::path& folder, const Lagmin& lagmin)
      : study_(s), station_(st), pair_(pair), source_(source), folder_(folder), lagmin_(lagmin) {
    const std::string code = !st.info.code.empty() ? st.info.code : "station";
    m_.name = code + " " + pair.label + " (" + pair.where + ")";
  }

  SetupRecord run() {
    const RecordFile t = readRecord(m_, pair_.target, "target");
    const RecordFile e = readRecord(m_, pair_.element, "element");
    // A refusal names the station as its records do, when they do.
    for (const RecordFile* f : {&t, &e})
      if (!f->said.station.code.empty() && station_.info.code.empty()) {
        m_.name = f->said.station.code + " " + pair_.label + " (" + pair_.where + ")";
        break;
      }
    m_.targetName = t.path.string();
    m_.elementName = e.path.string();
    for (const RecordFile* f : {&t, &e})
      for (const std::string& p : f->problems) m_.note(f->path.string() + ": " + p);
    m_.station(t.said.station, e.said.station, station_.info);
    m_.component(t.said.component, e.said.component, pair_.component);
    const auto targetFirst = m_.firstSample(t.said.firstSample, pair_.targetStart, t.path.string());
    const auto elementFirst = m_.firstSample(e.said.firstSample, pair_.elementStart, e.path.string());
    const model::EventInfo target = m_.event(study_.target.info, t.said.event, "target");
    const model::EventInfo element = m_.event(study_.element.info, e.said.event, "element");
    if (!study_.target.mechanism)
      m_.refuse("the target's mechanism is not given: give strike, dip and rake in [target]");
    requireKnown(m_, target, "target");
    requireKnown(m_, element, "element");
    requireValid(m_, target, "target");
    requireValid(m_, element, "element");
    requireStation();
    if (!targetFirst)
      m_.refuse("the target record " + t.path.string() +
                " has no first-sample time: give target_start in [[station.record]] (or convert it with kibconv "
                "--first-sample)");
    if (!elementFirst)
      m_.refuse("the element record " + e.path.string() +
                " has no first-sample time: give element_start in [[station.record]] (or convert it with kibconv "
                "--first-sample)");
    if (t.dt != e.dt)
      m_.refuse("the target record " + t.path.string() + " has " + number(1.0 / t.dt, 0) +
                " samples per second, the element record " + e.path.string() + " " + number(1.0 / e.dt, 0) +
                ": resample one of them (kibconv --resample)");

    SetupRecord out;
    label_ = !pair_.label.empty() ? pair_.label : m_.merged.component.code.substr(0, 3);
    if (label_.empty()) m_.refuse("the component has no name in the records: give component = \"NS\" (a label)");
    out.name = m_.merged.station.code + "_" + label_;
    geometry(out, target, element);
    constants(out, t, e);
    windows(out, t, e, target, element, *targetFirst, *elementFirst);
    out.notes = m_.notes;
    return out;
  }

 private:
  void requireStation() {
    const model::StationInfo& s = m_.merged.station;
    if (s.code.empty())
      m_.refuse("the station has no code: give code in [[station]] (or convert the records with kibconv --station)");
    if (!s.latitude || !s.longitude)
      m_.refuse("the station has no " + std::string(!s.latitude ? "latitude" : "longitude") +
                ": give latitude and longitude in [[station]] (or convert the records with kibconv --station-lat "
                "and --station-lon)");
    if (!recinfo::validLatitude(*s.latitude) || !recinfo::validLongitude(*s.longitude))
      m_.refuse("the station's position (" + number(*s.latitude, 5) + ", " + number(*s.longitude, 5) +
                ") is not a place on the Earth");
    if (s.elevation && !(*s.elevation >= kLowestElevationM && *s.elevation <= kHighestElevationM))
      m_.refuse("the station's elevation " + number(*s.elevation, 0) + " m is not a place on the Earth");
    const model::ComponentInfo& c = m_.merged.component;
    if (!c.vertical() && !c.azimuth)
      m_.refuse("the component has no azimuth: give azimuth (degrees from north) or vertical = true in "
                "[[station.record]] (or convert the records with kibconv --azimuth or --dip)");
  }

  void set(SetupRecord& out, const std::string& name, double value) { out.values[name] = value; }
  void echo(SetupRecord& out, const std::string& name, const std::string& value, const std::string& from) {
    out.echo.push_back({name, value, from});
  }

  void geometry(SetupRecord& out, const model::EventInfo& target, const model::EventInfo& element) {
    const model::StationInfo& s = m_.merged.station;
    const geo::Geometry gt = *geo::geometryOf(target, s).geometry;
    const geo::Geometry ge = *geo::geometryOf(element, s).geometry;
    targetDistance_ = gt.hypocentralKm;
    elementDistance_ = ge.hypocentralKm;
    const std::string to = " to the station at " + coordinates(s);
    const double rm = handOr(m_, station_.hand.rm, gt.epicentralKm, false, "rm");
    const double pm = handOr(m_, station_.hand.pm, gt.azimuth, true, "pm");
    const double ra = handOr(m_, station_.hand.ra, ge.epicentralKm, false, "ra");
    const double pa = handOr(m_, station_.hand.pa, ge.azimuth, true, "pa");
    set(out, "rm", rm);
    set(out, "pm", pm);
    set(out, "ra", ra);
    set(out, "pa", pa);
    auto hand = [](const std::optional<double>& h) { return std::string(h ? " (given by hand)" : ""); };
    echo(out, "rm", number(rm, 3) + " km", "geodesic distance on WGS84 from the target epicentre " +
                                               coordinates(target) + to + hand(station_.hand.rm));
    echo(out, "pm", number(pm, 2) + " deg", "azimuth of that geodesic at the target epicentre" + hand(station_.hand.pm));
    echo(out, "ra", number(ra, 3) + " km", "geodesic distance on WGS84 from the element epicentre " +
                                               coordinates(element) + to + hand(station_.hand.ra));
    echo(out, "pa", number(pa, 2) + " deg", "azimuth of that geodesic at the element epicentre" + hand(station_.hand.pa));
    const double sensor = (s.elevation.value_or(0.0) - s.sensorDepth.value_or(0.0)) / 1000.0;
    const std::string below = s.elevation || s.sensorDepth
                                  ? " plus the sensor's height " + number(sensor, 3) + " km above sea level"
                                  : " (the station's elevation not given: the sensor at sea level)";
    set(out, "z", gt.verticalKm);
    set(out, "za", ge.verticalKm);
    echo(out, "z", number(gt.verticalKm, 3) + " km", "target depth " + number(*target.depth, 2) + " km" + below);
    echo(out, "za", number(ge.verticalKm, 3) + " km", "element depth " + number(*element.depth, 2) + " km" + below);

    const model::ComponentInfo& c = m_.merged.component;
    if (c.vertical()) {
      const bool up = *c.dip < 0;
      set(out, "cmp", up ? model::kVerticalUp : model::kVerticalDown);
      echo(out, "cmp", up ? "1000" : "-1000", std::string("vertical component, positive ") + (up ? "up" : "down") +
                                                  (c.code.empty() ? "" : " (" + c.code + ")"));
    } else {
      set(out, "cmp", *c.azimuth);
      echo(out, "cmp", number(*c.azimuth, 1) + " deg",
           "azimuth of the component from north" + (c.code.empty() ? "" : " (" + c.code + ")"));
    }
    const Mechanism& mt = *study_.target.mechanism;
    const Mechanism& me = study_.element.mechanism ? *study_.element.mechanism : mt;
    set(out, "str", mt.strike);
    set(out, "dip", mt.dip);
    set(out, "rak", mt.rake);
    set(out, "stra", me.strike);
    set(out, "dipa", me.dip);
    set(out, "raka", me.rake);
    if (!study_.element.mechanism)
      echo(out, "stra dipa raka", number(me.strike, 1) + " " + number(me.dip, 1) + " " + number(me.rake, 1),
           "the target's mechanism (the element's not given)");
  }

  // Lines the study's processing and source model give as they are.
  void constants(SetupRecord& out, const RecordFile& t, const RecordFile& e) {
    const Processing& pr = study_.processing;
    for (const auto& [name, v] : std::initializer_list<std::pair<const char*, double>>{
             {"iuwav", 21}, {"iuspc", 22}, {"nevnt", 1}, {"tscl", pr.timeScale}, {"ifilt", pr.filter ? 1 : 2},
             {"fl", pr.low}, {"fh", pr.high}, {"fs", pr.stop}, {"ap", pr.passTolerance}, {"as", pr.stopTolerance},
             {"ut", 1.0}, {"q(1)", 0}, {"q(2)", 0}, {"q(3)", 0}, {"q(4)", 0}, {"q(5)", 0}, {"q(6)", 0},
             {"ncmpt", 1}})
      set(out, name, v);
    for (const paramfile::Entry& entry : paramfile::layout()) {
      if (entry.line < 9 || entry.line > 11) continue;
      const paramfile::Value v = entry.get(source_);
      if (const int* i = std::get_if<int>(&v)) set(out, std::string(entry.name), *i);
      if (const float* f = std::get_if<float>(&v)) set(out, std::string(entry.name), *f);
    }
    set(out, "imdl", static_cast<int>(source_.imdl));
    out.values["fmain"] = recordText(m_, t.path, folder_, "12");
    out.values["faft"] = recordText(m_, e.path, folder_, "13");
    std::string title = pr.title.empty() ? study_.target.info.name : pr.title;
    out.values["ttl1"] = title.substr(0, 6);
    const std::string code = m_.merged.station.code.substr(0, 4);
    out.values["ttl2"] = (code + " " + label_).substr(0, 7);
  }

  // The parameter set egfsim will read from the values so far.
  static model::Params paramsOf(const SetupRecord& out) {
    model::Params p;
    for (const auto& [name, v] : out.values) {
      if (const double* d = std::get_if<double>(&v)) paramfile::set(p, name, *d);
      else paramfile::set(p, name, std::get<std::string>(v));
    }
    return p;
  }

  void windows(SetupRecord& out, const RecordFile& t, const RecordFile& e, const model::EventInfo& target,
               const model::EventInfo& element, model::UtcTime targetFirst, model::UtcTime elementFirst) {
    const Processing& pr = study_.processing;
    for (const char* k : {"ksm", "kem", "ksa", "kea", "IS", "IE", "IW"}) set(out, k, 1);
    model::Params p = paramsOf(out);
    // The summation's lagmin of this record's geometry and source model.
    try {
      out.lagmin = lagmin_ ? lagmin_(p, e.dt) : synthesis::sourceModel(p, e.dt).lagmin;
    } catch (const textio::InputRejected& x) {
      m_.refuse("the source model cannot be placed at this station: " + x.message);
    }
    // Times in seconds from the target's origin.
    const model::UtcTime zero = *target.origin;
    AlignmentInput in;
    in.elementOrigin = recinfo::secondsBetween(zero, *element.origin);
    in.targetFirst = recinfo::secondsBetween(zero, targetFirst);
    in.elementFirst = recinfo::secondsBetween(zero, elementFirst);
    in.targetDistance = targetDistance_;
    in.elementDistance = elementDistance_;
    in.vs = static_cast<double>(p.vs);
    in.dt = static_cast<double>(e.dt);
    in.lagmin = out.lagmin;
    in.from = pr.from;
    in.to = pr.to;
    const Alignment a = align(in);
    out.residualSamples = a.residual;
    const Arrival targetS{"target", zero, targetDistance_ / in.vs, targetFirst, t.samples, t.path};
    const Arrival elementS{"element", *element.origin, elementDistance_ / in.vs, elementFirst, e.samples, e.path};
    requireFits(a, targetS, elementS, p.ns > 0 ? p.ns : t.samples, in.dt);

    set(out, "ksm", a.ksm);
    set(out, "kem", a.kem);
    set(out, "ksa", a.ksa);
    set(out, "kea", a.kea);
    set(out, "IS", a.ksm);
    set(out, "IE", a.kem);
    set(out, "IW", std::max(1L, std::lround(pr.taper / in.dt)));
    echoAlignment(out, a, targetS, elementS, in.vs);
    try {
      paramfile::check(paramsOf(out), out.name);  // every value as egfsim will check it
    } catch (const textio::InputRejected& x) {
      m_.refuse(x.message);
    }
  }

  // An event's S arrival in its record.
  struct Arrival {
    const char* which;
    model::UtcTime origin;
    double travel;  // s
    model::UtcTime first;
    int samples;
    const fs::path& file;
    std::string time() const { return recinfo::isoText(recinfo::plusSeconds(origin, travel)); }
    std::string record(double dt) const {
      return file.string() + " (" + std::to_string(samples) + " samples, " + number(samples * dt, 2) + " s from " +
             recinfo::isoText(first) + ")";
    }
  };

  void requireFits(const Alignment& a, const Arrival& target, const Arrival& element, int synthetic, double dt) {
    const Processing& pr = study_.processing;
    if (a.targetS < 1 || a.targetS > target.samples)
      m_.refuse("the target's predicted S arrival " + target.time() + " is outside the target record " +
                target.record(dt));
    if (a.elementS < 1 || a.elementS > element.samples)
      m_.refuse("the element's predicted S arrival " + element.time() + " is outside the element record " +
                element.record(dt));
    if (a.ksm < 1 || a.kem > target.samples)
      m_.refuse("the window " + number(pr.from, 2) + " to " + number(pr.to, 2) + " s from the target's S (samples " +
                std::to_string(a.ksm) + " to " + std::to_string(a.kem) + ") does not fit in the target record " +
                target.file.string() + " of " + std::to_string(target.samples) + " samples (" +
                number(target.samples * dt, 2) + " s)");
    if (a.ksa < 1 || a.kea > synthetic)
      m_.refuse("the synthetic window (samples " + std::to_string(a.ksa) + " to " + std::to_string(a.kea) +
                ", aligned on the element's S at sample " + number(a.elementS, 1) +
                ") does not fit in the synthetic of " + std::to_string(synthetic) +
                " samples: cut the element record closer to its event (kibconv --from-time)");
  }

  void echoAlignment(SetupRecord& out, const Alignment& a, const Arrival& target, const Arrival& element, double vs) {
    const Processing& pr = study_.processing;
    for (const auto& [x, n] : {std::pair{&target, a.targetS}, {&element, a.elementS}})
      echo(out, std::string(x->which) + " S", "sample " + number(n, 2),
           "origin " + recinfo::isoText(x->origin) + " + " + number(x->travel * vs, 3) + " km at vs " + number(vs, 2) +
               " km/s = " + x->time() + "; first sample " + recinfo::isoText(x->first));
    echo(out, "lagmin", std::to_string(out.lagmin), "the summation's smallest subfault delay (0 or below)");
    auto plus = [](double s) { return (s < 0 ? " - " : " + ") + number(std::fabs(s), 2) + " s"; };
    echo(out, "ksm kem", std::to_string(a.ksm) + " " + std::to_string(a.kem),
         "nint(target S" + plus(pr.from) + "), nint(target S" + plus(pr.to) + ") in samples");
    echo(out, "ksa kea", std::to_string(a.ksa) + " " + std::to_string(a.kea),
         "ksm, kem + D, D = nint(element S - lagmin - target S) = " + std::to_string(a.offset) +
             " (the S arrivals " + number(a.residual, 2) + " sample apart at lag 0)");
  }

  const Study& study_;
  const Station& station_;
  const RecordPair& pair_;
  const model::Params& source_;
  fs::path folder_;
  const Lagmin& lagmin_;
  Merger m_;
  double targetDistance_ = 0, elementDistance_ = 0;
  std::string label_;
};

}  // namespace

std::vector<SetupRecord> setUp(const Study& s, const model::Params& source, const fs::path& folder,
                               const Lagmin& lagmin) {
  std::vector<SetupRecord> out;
  for (const Station& st : s.stations)
    for (const RecordPair& pair : st.records)
      if (!pair.target.empty()) out.push_back(RecordSetup(s, st, pair, source, folder, lagmin).run());
  return out;
}

}  // namespace study
