// What a record says of itself, and what the study adds to it: the
// station, the component, the first sample and the events, each value
// taken from where it is known, disagreements reported.
#include <cmath>
#include <sstream>

#include "geo/geo.hpp"
#include "recinfo/recinfo.hpp"
#include "records/records.hpp"
#include "study/merge.hpp"
#include "textio/stop.hpp"

namespace study {

RecordFile readRecordFile(const std::filesystem::path& path) {
  textio::Channels io;  // files only
  records::RecordHeader header;
  const records::RecordSamples r = records::readRecordFile(io, 10, path.string(), header);
  RecordFile f;
  f.path = path;
  f.samples = static_cast<int>(r.samples.size());
  f.dt = r.dt;
  recinfo::Parsed parsed = recinfo::parse(header.skipl);
  f.said = std::move(parsed.recording);
  f.problems = std::move(parsed.problems);
  return f;
}

std::string number(double v, int decimals) {
  std::ostringstream s;
  s.setf(std::ios::fixed);
  s.precision(decimals);
  s << v;
  return s.str();
}

double angleBetween(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

double metresApart(double lat1, double lon1, double lat2, double lon2) {
  return geo::inverse(lat1, lon1, lat2, lon2).distanceKm * 1000.0;
}

std::string place(double lat, double lon) { return "(" + number(lat, 5) + ", " + number(lon, 5) + ")"; }

void Merger::station(const model::StationInfo& target, const model::StationInfo& element,
                     const model::StationInfo& given) {
  model::StationInfo& s = merged.station;
  // The two records of a pair must be one sensor.
  if (!target.code.empty() && !element.code.empty() && target.code != element.code)
    refuse("the target record " + targetName + " is of station " + target.code + ", the element record " +
           elementName + " of " + element.code + ": a pair must be recorded at one station");
  if (target.latitude && target.longitude && element.latitude && element.longitude) {
    const double apart = metresApart(*target.latitude, *target.longitude, *element.latitude, *element.longitude);
    if (apart > kSameSiteMetres)
      refuse("the target record " + targetName + " is at " + place(*target.latitude, *target.longitude) +
             ", the element record " + elementName + " at " + place(*element.latitude, *element.longitude) + ", " +
             number(apart, 0) + " m apart (more than " + number(kSameSiteMetres, 0) +
             " m): a pair must be recorded at one station");
  }
  auto pick = [&](const auto& a, const auto& b) { return a ? a : b; };
  s.code = !target.code.empty() ? target.code : !element.code.empty() ? element.code : given.code;
  s.network = !target.network.empty() ? target.network : element.network;
  s.name = !target.name.empty() ? target.name : element.name;
  s.latitude = pick(pick(target.latitude, element.latitude), given.latitude);
  s.longitude = pick(pick(target.longitude, element.longitude), given.longitude);
  s.elevation = pick(pick(target.elevation, element.elevation), given.elevation);
  s.sensorDepth = pick(pick(target.sensorDepth, element.sensorDepth), given.sensorDepth);

  if (!given.code.empty() && s.code != given.code)
    note("the records name the station " + s.code + ", the study " + given.code + ": " + s.code + " is used");
  if (given.latitude && given.longitude && s.latitude && s.longitude &&
      (s.latitude != given.latitude || s.longitude != given.longitude)) {
    const double apart = metresApart(*s.latitude, *s.longitude, *given.latitude, *given.longitude);
    if (apart > 1.0)
      note("the records place the station at " + place(*s.latitude, *s.longitude) + ", the study at " +
           place(*given.latitude, *given.longitude) + " (" + number(apart, 0) +
           " m apart): the records' position is used");
  }
  if (given.elevation && s.elevation && std::fabs(*given.elevation - *s.elevation) > 1.0)
    note("the records give the station's elevation as " + number(*s.elevation, 0) + " m, the study " +
         number(*given.elevation, 0) + " m: the records' is used");
}

void Merger::component(const model::ComponentInfo& target, const model::ComponentInfo& element,
                       const model::ComponentInfo& given) {
  model::ComponentInfo& c = merged.component;
  auto horizontal = [](const model::ComponentInfo& x) { return x.dip && !x.vertical(); };
  if ((target.vertical() && horizontal(element)) || (horizontal(target) && element.vertical()))
    refuse("the target record " + targetName + " is " + (target.vertical() ? "vertical" : "horizontal") +
           ", the element record " + elementName + (element.vertical() ? " vertical" : " horizontal") +
           ": a pair must be one component");
  if (target.azimuth && element.azimuth && !target.vertical() &&
      angleBetween(*target.azimuth, *element.azimuth) > kSameAzimuthDegrees)
    refuse("the target record " + targetName + " has component azimuth " + number(*target.azimuth, 1) +
           ", the element record " + elementName + " " + number(*element.azimuth, 1) +
           ": a pair must be one component");
  c.code = !target.code.empty() ? target.code : !element.code.empty() ? element.code : given.code;
  c.azimuth = target.azimuth ? target.azimuth : element.azimuth ? element.azimuth : given.azimuth;
  c.dip = target.dip ? target.dip : element.dip ? element.dip : given.dip;
  if (given.azimuth && c.azimuth && angleBetween(*given.azimuth, *c.azimuth) > kSameAzimuthDegrees)
    note("the records give the component's azimuth as " + number(*c.azimuth, 1) + ", the study " +
         number(*given.azimuth, 1) + ": the records' is used");
  if (given.dip && c.dip && given.vertical() != c.vertical())
    note(std::string("the records say the component is ") + (c.vertical() ? "vertical" : "horizontal") +
         ", the study " + (given.vertical() ? "vertical" : "horizontal") + ": the records' is used");
}

std::optional<model::UtcTime> Merger::firstSample(const std::optional<model::UtcTime>& recorded,
                                                  const std::optional<model::UtcTime>& given,
                                                  const std::string& record) {
  if (recorded && given && *recorded != *given)
    note("the record " + record + " starts at " + recinfo::isoText(*recorded) + ", the study says " +
         recinfo::isoText(*given) + ": the record's time is used");
  return recorded ? recorded : given;
}

model::EventInfo Merger::event(const model::EventInfo& given, const model::EventInfo& recorded,
                               const std::string& which) {
  model::EventInfo e = given;
  auto fill = [](auto& mine, const auto& theirs) {
    if (!mine) mine = theirs;
  };
  fill(e.origin, recorded.origin);
  fill(e.latitude, recorded.latitude);
  fill(e.longitude, recorded.longitude);
  fill(e.depth, recorded.depth);
  fill(e.magnitude, recorded.magnitude);
  if (e.name.empty()) e.name = recorded.name;
  if (given.origin && recorded.origin &&
      std::fabs(recinfo::secondsBetween(*given.origin, *recorded.origin)) > kSameOriginSeconds)
    note("the " + which + " event's origin is " + recinfo::isoText(*given.origin) + " in the study, " +
         recinfo::isoText(*recorded.origin) + " in its record: the study's is used");
  if (given.latitude && given.longitude && recorded.latitude && recorded.longitude) {
    const double apart = metresApart(*given.latitude, *given.longitude, *recorded.latitude, *recorded.longitude);
    if (apart > kSameEpicentreMetres)
      note("the " + which + " event's epicentre is " + place(*given.latitude, *given.longitude) +
           " in the study, " + place(*recorded.latitude, *recorded.longitude) + " in its record: the study's is used");
  }
  if (given.depth && recorded.depth && std::fabs(*given.depth - *recorded.depth) > kSameEpicentreMetres / 1000.0)
    note("the " + which + " event's depth is " + number(*given.depth, 2) + " km in the study, " +
         number(*recorded.depth, 2) + " km in its record: the study's is used");
  return e;
}

}  // namespace study
