// The conversion road of one trace: what was read, the names, the unit, the
// rate, the window, the number format; each step adds its comment lines.
#include <cmath>
#include <cstdio>

#include "convert/convert.hpp"
#include "convert/util.hpp"
#include "geo/geo.hpp"
#include "recinfo/recinfo.hpp"

namespace convert {
namespace {

using detail::numberText;
using detail::refuse;

// An interval for messages and comment lines: a float interval (as SAC
// stores it) in its shortest float text, 0.01 rather than 0.00999999978.
std::string intervalText(double dt) {
  const auto f = static_cast<float>(dt);
  if (std::isfinite(f) && static_cast<double>(f) == dt) return detail::floatText(f);
  return numberText(dt);
}

// A history line: the source path may be long, so only its tail is kept.
std::string sourceLine(const std::string& path) {
  const std::string head = "kibconv: converted from ";
  const std::size_t room = kCommentWidth - head.size();
  if (path.size() <= room) return head + path;
  return head + "..." + path.substr(path.size() - (room - 3));
}

// The record as the conversion goes: the trace, its whole rate, and the
// comment lines so far.
struct Road {
  Trace t;
  const Options& o;
  std::vector<std::string> notes;
  std::vector<std::string> warnings;
  std::vector<std::string> messages;
  int isps = 0;
  Unit inputUnit = Unit::Unknown;  // what the samples were read as
  std::optional<Pick> pick;        // the picked arrival, once asked for
  std::optional<model::UtcTime> predicted[2];  // P and S, once asked for
};

void describeInput(Road& r) {
  const Trace& t = r.t;
  r.notes.push_back(sourceLine(r.o.input));
  r.notes.push_back("input " + t.formatText + ", " + std::to_string(t.samples.size()) +
                    " samples, interval " + intervalText(t.dt) + " s");
  r.notes.insert(r.notes.end(), t.notes.begin(), t.notes.end());
  r.warnings.insert(r.warnings.end(), t.warnings.begin(), t.warnings.end());
}

// Sets `field` to what an option gives, noting a different value the file
// held.
template <typename T>
void give(Road& r, T& field, const T& given, std::string_view what, std::string_view option,
          std::string (*text)(const T&)) {
  if (given == T{}) return;
  if (field != T{} && field != given)
    r.notes.push_back(std::string(what) + " " + text(given) + " given with " + std::string(option) +
                      " (the input says " + text(field) + ")");
  field = given;
}

std::string plain(const std::string& s) { return s; }
std::string optionalNumber(const std::optional<double>& v) { return v ? numberText(*v) : ""; }
std::string optionalTime(const std::optional<model::UtcTime>& t) {
  return t ? recinfo::isoText(*t) : "";
}

// What the options say of the station, component, times and event replaces
// what the input says; the record's own fields (5-column station code, 12
// of station name, 24 of event name, 3 of component) take what fits, and a
// cut is noted while the comment lines keep the whole.
void applyGiven(Road& r) {
  model::Recording& in = r.t.info;
  const model::Recording& g = r.o.given;
  give(r, in.station.network, g.station.network, "network", "--network", plain);
  give(r, in.station.code, g.station.code, "station code", "--station", plain);
  give(r, in.station.location, g.station.location, "location", "--location", plain);
  give(r, in.station.name, g.station.name, "station name", "--name", plain);
  give(r, in.station.latitude, g.station.latitude, "station latitude", "--station-lat", optionalNumber);
  give(r, in.station.longitude, g.station.longitude, "station longitude", "--station-lon", optionalNumber);
  give(r, in.station.elevation, g.station.elevation, "station elevation", "--station-elev", optionalNumber);
  give(r, in.station.sensorDepth, g.station.sensorDepth, "sensor depth", "--sensor-depth", optionalNumber);
  give(r, in.component.code, g.component.code, "component", "--component", plain);
  give(r, in.component.azimuth, g.component.azimuth, "component azimuth", "--azimuth", optionalNumber);
  give(r, in.component.dip, g.component.dip, "component dip", "--dip", optionalNumber);
  if (g.component.dip && in.component.vertical()) in.component.azimuth.reset();
  give(r, in.firstSample, g.firstSample, "first sample", "--first-sample", optionalTime);
  give(r, in.event.name, g.event.name, "event", "--event", plain);
  give(r, in.event.origin, g.event.origin, "origin time", "--origin-time", optionalTime);
  give(r, in.event.latitude, g.event.latitude, "event latitude", "--event-lat", optionalNumber);
  give(r, in.event.longitude, g.event.longitude, "event longitude", "--event-lon", optionalNumber);
  give(r, in.event.depth, g.event.depth, "event depth", "--event-depth", optionalNumber);
  give(r, in.event.magnitude, g.event.magnitude, "magnitude", "--magnitude", optionalNumber);
  give(r, in.event.magnitudeType, g.event.magnitudeType, "magnitude type", "--magnitude-type", plain);

  if (in.station.code.size() > 5 && !r.o.label)
    r.notes.push_back("station code " + in.station.code + " written as " +
                      stationLabel(in.station.code) + " in the 5 columns of line 4 (--label sets them)");
  if (in.station.name.size() > 12) r.notes.push_back("station name " + in.station.name + " cut to 12 columns");
  if (in.event.name.size() > 24)
    r.notes.push_back("event name " + in.event.name + " cut to the 24 columns of line 7");
  if (in.component.code.size() > 3)
    r.notes.push_back("component " + in.component.code + " is cut to 3 columns on line 2");
}

// The input unit (the file's, or --unit), and the samples in the output unit.
void convertUnit(Road& r) {
  Trace& t = r.t;
  const Options& o = r.o;
  const auto sensor = detail::velocitySensor(t.info.component.code);
  Unit in = t.unit;
  if (o.inputUnit) {
    in = *o.inputUnit;
    r.notes.push_back("input unit " + std::string(unitName(in)) + " given with --unit" +
                      (t.unit == in ? "" : " (" + t.unitOrigin + ")"));
  } else if (in == Unit::Unknown) {
    refuse(r.o.input, t.unitOrigin +
                          (sensor ? " (channel " + t.info.component.code + " names a velocity sensor, " +
                                        *sensor + ")"
                                  : std::string()) +
                          "; give the unit of the samples with --unit (g, gal, m/s/s, mm/s/s, nm/s/s)");
  } else {
    r.notes.push_back("input unit " + std::string(unitName(in)) + " from " + t.unitOrigin);
  }
  if (sensor)
    r.notes.push_back("channel code " + t.info.component.code + " names a velocity sensor (" + *sensor +
                      "); converted as acceleration as the unit above says");
  const float factor = convertUnits(t.samples, in, o.outputUnit);
  if (in != o.outputUnit)
    r.notes.push_back("converted " + std::string(unitName(in)) + " to " +
                      std::string(unitName(o.outputUnit)) + ": each sample times " +
                      detail::floatText(factor) + " in single precision");
  for (std::size_t k = 0; k < t.samples.size(); ++k)
    if (!std::isfinite(t.samples[k]))
      refuse(r.o.input, "sample " + std::to_string(k + 1) + " overflows single precision in " +
                            std::string(unitName(o.outputUnit)));
  t.unit = o.outputUnit;
  r.inputUnit = in;
  if (o.inputUnit) t.unitOrigin = "--unit";
}

// Whole samples per second: the input's, or --resample's.
void settleRate(Road& r) {
  Trace& t = r.t;
  const Options& o = r.o;
  if (!(t.dt > 0.0) || !std::isfinite(t.dt))
    refuse(o.input, "sample interval " + numberText(t.dt) + " s is not a positive interval");
  const auto rate = wholeRate(t.dt);
  if (o.resample && !(rate && *rate == *o.resample)) {
    const double inputRate = 1.0 / t.dt;
    if (static_cast<double>(*o.resample) < inputRate * (1.0 - 1e-6))
      refuse("--resample", std::to_string(*o.resample) + " samples/s is below the input rate of " +
                               numberText(inputRate) +
                               " samples/s; linear interpolation has no anti-alias filter, so only "
                               "equal or higher rates are offered");
    const double expected = static_cast<double>(t.samples.size()) * t.dt * *o.resample;
    if (expected > 5.0e7)
      refuse("--resample", "would make about " + numberText(expected) + " samples");
    t.samples = resampleLinear(t.samples, t.dt, *o.resample);
    r.isps = *o.resample;
    r.notes.push_back("resampled from interval " + intervalText(t.dt) + " s to " +
                      std::to_string(r.isps) + " samples/s by linear interpolation, no filtering");
  } else if (rate) {
    r.isps = *rate;
  } else {
    refuse(o.input, "sample interval " + intervalText(t.dt) + " s is " + numberText(1.0 / t.dt) +
                        " samples per second, not a whole number (--resample SPS interpolates onto "
                        "a whole rate)");
  }
}

// The window the options ask for, as samples first..last (from 1).
struct Window {
  long long first, last;
};

// The sample (from 1) nearest `seconds` after the first sample: t x rate +
// 0.5, truncated; 0 before the record, n + 1 past its end.
long long sampleAt(const Road& r, double seconds) {
  const auto n = static_cast<long long>(r.t.samples.size());
  const double pos = seconds * r.isps + 0.5;
  if (pos < 0.0) return 0;
  return pos >= static_cast<double>(n) ? n + 1 : static_cast<long long>(pos) + 1;
}

// The first sample's UTC time, which every time but a pick needs.
model::UtcTime firstSampleFor(const Road& r, std::string_view option) {
  if (!r.t.info.firstSample)
    refuse(option, "the input does not give the time of its first sample; give it with "
                   "--first-sample TIME (UTC)");
  return *r.t.info.firstSample;
}

model::UtcTime originFor(const Road& r, std::string_view option) {
  if (!r.t.info.event.origin)
    refuse(option, "the input does not give the event's origin time; give it with --origin-time TIME (UTC)");
  return *r.t.info.event.origin;
}

// The option that supplies each item the geometry may miss.
std::string_view optionFor(std::string_view missing) {
  if (missing == "the event's latitude") return "--event-lat";
  if (missing == "the event's longitude") return "--event-lon";
  if (missing == "the event's depth") return "--event-depth";
  if (missing == "the station's latitude") return "--station-lat";
  return "--station-lon";
}

// The predicted arrival of P or S: the origin time plus the straight-line
// hypocentral distance over the speed.
model::UtcTime predictedArrival(Road& r, TimeMark::Base phase, std::string_view option) {
  const bool p = phase == TimeMark::Base::P;
  std::optional<model::UtcTime>& known = r.predicted[p ? 0 : 1];
  if (known) return *known;
  const auto speed = p ? r.o.vp : r.o.vs;
  if (!speed) refuse(option, std::string("give the ") + (p ? "P" : "S") + "-wave speed with " + (p ? "--vp" : "--vs") + " KM/S");
  const model::UtcTime origin = originFor(r, option);
  const auto g = geo::geometryOf(r.t.info.event, r.t.info.station);
  if (!g.geometry)
    refuse(option, "the input does not give " + g.missing + "; give it with " + std::string(optionFor(g.missing)));
  const double travel = g.geometry->hypocentralKm / *speed;
  const model::UtcTime at = recinfo::plusSeconds(origin, travel);
  char buf[200];
  std::snprintf(buf, sizeof buf,
                "%s predicted at %s: %.3f km from the hypocentre (epicentral %.3f km, station "
                "at azimuth %.2f) at %g km/s, %.3f s after the origin",
                p ? "P" : "S", recinfo::isoText(recinfo::roundedToMillisecond(at)).c_str(),
                g.geometry->hypocentralKm, g.geometry->epicentralKm, g.geometry->azimuth, *speed,
                travel);
  r.notes.push_back(buf);
  known = at;
  return at;
}

// The picked first arrival, searched from the origin time on when it is
// known and inside the record.
std::size_t pickedSample(Road& r, std::string_view option) {
  if (r.pick) return r.pick->onset;
  std::size_t from = 0;
  const auto& info = r.t.info;
  if (info.event.origin && info.firstSample) {
    const double s = recinfo::secondsBetween(*info.firstSample, *info.event.origin);
    if (s > 0.0) from = static_cast<std::size_t>(std::min(s * r.isps, static_cast<double>(r.t.samples.size())));
  }
  const PickerSettings& how = r.o.picker;
  r.pick = pickFirstArrival(r.t.samples, r.isps, from, how);
  if (!r.pick)
    refuse(option, "no arrival picked: STA/LTA (" + numberText(how.sta) + " s / " + numberText(how.lta) +
                       " s) never reaches " + numberText(how.ratio) + " after " +
                       numberText(static_cast<double>(from) / r.isps) +
                       " s of the record; lower --pick-ratio or cut by time");
  const double at = static_cast<double>(r.pick->onset) / r.isps;
  std::string line = "STA/LTA pick at sample " + std::to_string(r.pick->onset + 1) + ", " +
                     numberText(at) + " s after the first sample";
  if (info.firstSample) line += " (" + recinfo::isoText(recinfo::plusSeconds(*info.firstSample, at)) + ")";
  char ratio[32];
  std::snprintf(ratio, sizeof ratio, "%.3g", r.pick->ratio);
  line += "; STA " + numberText(how.sta) + " s, LTA " + numberText(how.lta) + " s, ratio " +
          ratio + " at sample " + std::to_string(r.pick->trigger + 1);
  r.notes.push_back(line);
  r.messages.push_back(r.o.input + ": " + line);
  return r.pick->onset;
}

// Seconds after the first sample of a time mark.
double secondsOf(Road& r, const TimeMark& m, std::string_view option) {
  using B = TimeMark::Base;
  switch (m.base) {
    case B::Utc: return recinfo::secondsBetween(firstSampleFor(r, option), m.utc);
    case B::Origin:
      return recinfo::secondsBetween(firstSampleFor(r, option), originFor(r, option)) + m.offset;
    case B::P:
    case B::S: {
      const model::UtcTime first = firstSampleFor(r, option);
      return recinfo::secondsBetween(first, predictedArrival(r, m.base, option)) + m.offset;
    }
    case B::Pick: return static_cast<double>(pickedSample(r, option)) / r.isps + m.offset;
  }
  return 0.0;
}

Window chooseWindow(Road& r) {
  const Options& o = r.o;
  const auto n = static_cast<long long>(r.t.samples.size());
  Window w{1, n};
  const std::string length = numberText(static_cast<double>(n - 1) / r.isps);
  if (o.start) {
    w.first = *o.start;
    if (w.first > n) refuse("--start", std::to_string(w.first) + " is past the last sample " + std::to_string(n));
  }
  if (o.npts) {
    w.last = w.first + *o.npts - 1;
    if (w.last > n)
      refuse("--npts", std::to_string(*o.npts) + " samples from sample " + std::to_string(w.first) +
                           " run past the last sample " + std::to_string(n));
  }
  if (o.from) {
    w.first = sampleAt(r, *o.from);
    if (w.first > n) refuse("--from", numberText(*o.from) + " s is past the end of the record (" + length + " s)");
  }
  if (o.to) {
    w.last = sampleAt(r, *o.to);
    if (w.last > n) refuse("--to", numberText(*o.to) + " s is past the end of the record (" + length + " s)");
  }
  auto mark = [&](const TimeMark& m, std::string_view option) {
    const double s = secondsOf(r, m, option);
    const long long k = sampleAt(r, s);
    if (k < 1 || k > n)
      refuse(option, m.text + " is " + detail::secondsText(s) +
                         " s after the first sample, outside the record (0 to " + length + " s)");
    return k;
  };
  if (o.fromTime) w.first = mark(*o.fromTime, "--from-time");
  if (o.toTime) w.last = mark(*o.toTime, "--to-time");
  if (w.last < w.first)
    refuse("--to-time", "the window's end, sample " + std::to_string(w.last) + ", is before its start, sample " +
                            std::to_string(w.first));
  return w;
}

void cutWindow(Road& r) {
  Trace& t = r.t;
  const auto n = static_cast<long long>(t.samples.size());
  const Window w = chooseWindow(r);
  if (w.first != 1 || w.last != n) {
    r.notes.push_back("window: samples " + std::to_string(w.first) + " to " + std::to_string(w.last) +
                      " of " + std::to_string(n) + " (" +
                      numberText(static_cast<double>(w.first - 1) / r.isps) + " s to " +
                      numberText(static_cast<double>(w.last - 1) / r.isps) + " s)");
    t.samples = std::vector<float>(t.samples.begin() + (w.first - 1), t.samples.begin() + w.last);
    if (t.info.firstSample)
      t.info.firstSample =
          recinfo::plusSeconds(*t.info.firstSample, static_cast<double>(w.first - 1) / r.isps);
  }
  if (t.samples.size() > static_cast<std::size_t>(kMaxSamples))
    refuse(r.o.input, "record of " + std::to_string(t.samples.size()) + " samples is longer than the " +
                          std::to_string(kMaxSamples) +
                          " the program takes; cut a window with --start/--npts, --from/--to or "
                          "--from-time/--to-time");
}

// A converted peak far outside what accelerographs record means the unit
// read was most likely wrong (a file labelled nm/s/s holding m/s/s).
void checkPeak(Road& r) {
  float peak = 0.0f;
  for (float v : r.t.samples) peak = std::max(peak, std::fabs(v));
  const double gal = static_cast<double>(peak) * static_cast<double>(unitFactor(r.t.unit, Unit::Gal));
  if (gal >= kPlausiblePeakMinGal && gal <= kPlausiblePeakMaxGal) return;
  char peakText[32];
  std::snprintf(peakText, sizeof peakText, "%.3g", gal);
  const std::string line = "peak " + std::string(peakText) + " gal is outside " +
                           numberText(kPlausiblePeakMinGal) + " to " +
                           numberText(kPlausiblePeakMaxGal) + " gal: the samples were read as " +
                           std::string(unitName(r.inputUnit)) +
                           " (" + r.t.unitOrigin + "); if they are in another unit, give it with --unit";
  r.notes.push_back("warning: " + line);
  r.warnings.push_back(r.o.input + ": " + line);
}

std::string numberNote(const SampleFormat& f, NumberStyle style, Unit unit) {
  switch (style) {
    case NumberStyle::Free: return "samples in free format, nine significant digits: exact single precision";
    case NumberStyle::Fixed:
      return "samples as " + f.dfmt + ": rounded to " + std::to_string(f.decimals) + " decimals";
    case NumberStyle::Counts:
      return "samples as " + f.dfmt + " counts of " + detail::floatText(f.scale) + " " +
             std::string(unitName(unit));
  }
  return "";
}

}  // namespace

Conversion convertTrace(Trace t, const Options& o) {
  Road r{std::move(t), o, {}, {}, {}, 0, Unit::Unknown, std::nullopt, {}};
  describeInput(r);
  applyGiven(r);
  convertUnit(r);
  settleRate(r);
  cutWindow(r);

  WriteOptions w;
  w.style = o.style;
  w.countScale = o.scale;
  const SampleFormat f = chooseFormat(r.t.samples, w, o.input);
  checkPeak(r);
  r.notes.push_back(numberNote(f, o.style, r.t.unit));
  // The description first, where a reader of the record finds it; the
  // history of the conversion after it.
  w.comments = recinfo::describe(r.t.info);
  w.comments.insert(w.comments.begin(), r.notes.front());
  w.comments.insert(w.comments.end(), r.notes.begin() + 1, r.notes.end());
  w.label = o.label ? *o.label : stationLabel(r.t.info.station.code);
  return {formatKib(r.t, r.isps, w, o.input), std::move(r.warnings), std::move(r.messages)};
}

}  // namespace convert
