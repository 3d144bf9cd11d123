// The conversion road of one trace: what was read, the names, the unit, the
// rate, the window, the number format; each step adds its comment lines.
#include <cmath>
#include <cstdio>

#include "convert/convert.hpp"
#include "convert/util.hpp"

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

// A time as the comment lines give it, with its zone when not UTC.
std::string zoned(const Trace& t, std::int64_t ms) {
  return isoText(ms) + (t.zone.empty() ? "" : " " + t.zone);
}

std::string timeLine(const Trace& t) {
  std::string s;
  if (t.startMs) s += "first sample " + zoned(t, *t.startMs);
  if (t.eventMs) s += std::string(s.empty() ? "" : ", ") + "event " + zoned(t, *t.eventMs);
  return s;
}

// The record as the conversion goes: the trace, its whole rate, and the
// comment lines so far.
struct Road {
  Trace t;
  const Options& o;
  std::vector<std::string> notes;
  std::vector<std::string> warnings;
  int isps = 0;
  Unit inputUnit = Unit::Unknown;  // what the samples were read as
};

void describeInput(Road& r) {
  const Trace& t = r.t;
  r.notes.push_back(sourceLine(r.o.input));
  r.notes.push_back("input " + t.formatText + ", " + std::to_string(t.samples.size()) +
                    " samples, interval " + intervalText(t.dt) + " s");
  if (const auto line = timeLine(t); !line.empty()) r.notes.push_back(line);
  r.notes.insert(r.notes.end(), t.notes.begin(), t.notes.end());
  r.warnings.insert(r.warnings.end(), t.warnings.begin(), t.warnings.end());
}

// Names from the command line replace those of the input; names too long
// for their record fields are cut, and the cut is noted.
void applyNames(Road& r) {
  Trace& t = r.t;
  const Options& o = r.o;
  if (o.station) t.station = *o.station;
  if (o.stationName) t.stationName = *o.stationName;
  if (o.component) t.component = *o.component;
  if (t.station.size() > 5) {
    r.notes.push_back("station code " + t.station + " cut to the 5 columns of the record");
    t.station.resize(5);
  }
  if (t.stationName.size() > 12) {
    r.notes.push_back("station name " + t.stationName + " cut to 12 columns");
    t.stationName.resize(12);
  }
  if (t.eventName.size() > 24) {
    r.notes.push_back("event name " + t.eventName + " cut to the 24 columns of line 7");
    t.eventName.resize(24);
  }
  if (t.component.size() > 3)
    r.notes.push_back("component " + t.component + " is cut to 3 columns on line 2");
}

// The input unit (the file's, or --unit), and the samples in the output unit.
void convertUnit(Road& r) {
  Trace& t = r.t;
  const Options& o = r.o;
  const auto sensor = detail::velocitySensor(t.component);
  Unit in = t.unit;
  if (o.inputUnit) {
    in = *o.inputUnit;
    r.notes.push_back("input unit " + std::string(unitName(in)) + " given with --unit" +
                      (t.unit == in ? "" : " (" + t.unitOrigin + ")"));
  } else if (in == Unit::Unknown) {
    refuse(r.o.input, t.unitOrigin +
                          (sensor ? " (channel " + t.component + " names a velocity sensor, " +
                                        *sensor + ")"
                                  : std::string()) +
                          "; give the unit of the samples with --unit (g, gal, m/s/s, nm/s/s)");
  } else {
    r.notes.push_back("input unit " + std::string(unitName(in)) + " from " + t.unitOrigin);
  }
  if (sensor)
    r.notes.push_back("channel code " + t.component + " names a velocity sensor (" + *sensor +
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

Window chooseWindow(const Road& r) {
  const Options& o = r.o;
  const auto n = static_cast<long long>(r.t.samples.size());
  const int isps = r.isps;
  Window w{1, n};
  auto sampleAt = [&](double seconds) -> long long {
    // Whole samples by adding 0.5 and truncating; guarded before the cast.
    const double pos = seconds * isps + 0.5;
    return pos >= static_cast<double>(n) ? n + 1 : static_cast<long long>(pos) + 1;
  };
  const std::string length = numberText(static_cast<double>(n - 1) / isps);
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
    w.first = sampleAt(*o.from);
    if (w.first > n) refuse("--from", numberText(*o.from) + " s is past the end of the record (" + length + " s)");
  }
  if (o.to) {
    w.last = sampleAt(*o.to);
    if (w.last > n) refuse("--to", numberText(*o.to) + " s is past the end of the record (" + length + " s)");
  }
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
    if (t.startMs) {
      // Rounded to the millisecond, not cut.
      t.startMs = *t.startMs + std::llround(static_cast<double>(w.first - 1) * 1000.0 / r.isps);
      r.notes.push_back("first sample of the window " + zoned(t, *t.startMs));
    }
  }
  if (t.samples.size() > static_cast<std::size_t>(kMaxSamples))
    refuse(r.o.input, "record of " + std::to_string(t.samples.size()) + " samples is longer than the " +
                          std::to_string(kMaxSamples) +
                          " the program takes; cut a window with --start/--npts or --from/--to");
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
  Road r{std::move(t), o, {}, {}, 0};
  describeInput(r);
  applyNames(r);
  convertUnit(r);
  settleRate(r);
  cutWindow(r);

  WriteOptions w;
  w.style = o.style;
  w.countScale = o.scale;
  const SampleFormat f = chooseFormat(r.t.samples, w, o.input);
  checkPeak(r);
  r.notes.push_back(numberNote(f, o.style, r.t.unit));
  w.comments = std::move(r.notes);
  return {formatKib(r.t, r.isps, w, o.input), std::move(r.warnings)};
}

}  // namespace convert
