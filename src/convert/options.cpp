// kibconv's command line: the options as a table, and the help text.
#include <functional>
#include <limits>

#include "convert/convert.hpp"
#include "convert/util.hpp"
#include "recinfo/recinfo.hpp"

namespace convert {
namespace {

using detail::numberText;
using detail::refuse;

constexpr int kMaxResampleRate = 100000;

double positiveNumber(std::string_view opt, std::string_view text) {
  const auto v = detail::parseNumber(text);
  if (!v || !(*v > 0.0)) refuse(opt, "'" + std::string(text) + "' is not a positive number");
  return *v;
}

double nonNegativeNumber(std::string_view opt, std::string_view text) {
  const auto v = detail::parseNumber(text);
  if (!v || *v < 0.0) refuse(opt, "'" + std::string(text) + "' is not a number of seconds >= 0");
  return *v;
}

long long positiveInteger(std::string_view opt, std::string_view text) {
  const auto v = detail::parseInteger(text);
  if (!v || *v < 1) refuse(opt, "'" + std::string(text) + "' is not a whole number >= 1");
  return *v;
}

std::size_t columnNumber(std::string_view opt, const std::string& v) {
  const auto n = detail::parseInteger(v);
  if (!n || *n < 1 || *n > 10000) refuse(opt, "'" + v + "' is not a column number (1 or more)");
  return static_cast<std::size_t>(*n);
}

Unit unitOption(std::string_view opt, const std::string& v) {
  const auto u = parseUnit(v);
  if (!u) refuse(opt, "'" + v + "' is not one of g, gal, cm/s/s, m/s/s, mm/s/s, nm/s/s");
  return *u;
}

// A printable name no wider than its record field.
std::string nameOption(std::string_view opt, const std::string& v, std::size_t width,
                       std::string_view what) {
  std::string s = detail::printable(v);
  if (s.size() > width)
    refuse(opt, "'" + s + "' is longer than the " + std::to_string(width) + " columns of a " +
                    std::string(what));
  return s;
}

// A code (station, network, component): printable, one word.
std::string code(std::string_view opt, const std::string& v) {
  std::string s = detail::printable(v);
  if (s.empty() || s.find(' ') != std::string::npos || s.size() > 24)
    refuse(opt, "'" + s + "' is not a code of 1 to 24 characters without blanks");
  return s;
}

std::string text(std::string_view opt, const std::string& v) {
  std::string s = detail::printable(v);
  if (s.empty()) refuse(opt, "needs a text that is not blank");
  return s;
}

double within(std::string_view opt, const std::string& v, double low, double high, std::string_view what) {
  const auto x = detail::parseNumber(v);
  if (!x || *x < low || *x > high)
    refuse(opt, "'" + v + "' is not " + std::string(what) + " (" + numberText(low) + " to " +
                    numberText(high) + ")");
  return *x;
}

model::UtcTime utc(std::string_view opt, const std::string& v) {
  const auto t = recinfo::parseUtc(v);
  if (!t) refuse(opt, "'" + v + "' is not a UTC time such as 2019-07-06T03:19:53.04");
  return *t;
}

TimeMark mark(std::string_view opt, const std::string& v) {
  const auto m = parseTimeMark(v);
  if (!m)
    refuse(opt, "'" + v + "' is not a UTC time (2019-07-06T03:19:50) or origin, P, S or pick "
                          "with seconds after it (origin-10, S+30)");
  return *m;
}

// One option: its names, whether it takes a value, and what it sets.
struct OptionRule {
  std::vector<std::string_view> names;
  bool takesValue;
  std::function<void(Options&, std::string_view opt, const std::string& value)> apply;
};

const std::vector<OptionRule>& optionTable() {
  static const std::vector<OptionRule> table = {
      {{"-h", "--help"}, false, [](Options& o, auto, auto&) { o.help = true; }},
      {{"-o", "--output"}, true, [](Options& o, auto, auto& v) { o.output = v; }},
      {{"--format"}, true,
       [](Options& o, auto opt, auto& v) {
         const auto f = parseFormat(v);
         if (!f) refuse(opt, "'" + v + "' is not one of auto, sac, sac-alpha, at2, knet, cosmos, csmip, esm, geonet, mseed, text");
         o.format = *f;
       }},
      {{"--unit"}, true, [](Options& o, auto opt, auto& v) { o.inputUnit = unitOption(opt, v); }},
      {{"--out-unit"}, true, [](Options& o, auto opt, auto& v) { o.outputUnit = unitOption(opt, v); }},
      {{"--channel"}, true, [](Options& o, auto, auto& v) { o.channel = v; }},
      {{"--counts-per-unit"}, true,
       [](Options& o, auto opt, auto& v) { o.countsPerUnit = positiveNumber(opt, v); }},
      {{"--stationxml"}, true, [](Options& o, auto, auto& v) { o.stationXml = v; }},
      {{"--sensitivity"}, true,
       [](Options& o, auto opt, auto& v) {
         if (v == "overall") o.sensitivity = SensitivityChoice::Overall;
         else if (v == "stages") o.sensitivity = SensitivityChoice::Stages;
         else refuse(opt, "'" + v + "' is not one of overall, stages");
       }},
      {{"--allow-truncated"}, false, [](Options& o, auto, auto&) { o.allowTruncated = true; }},
      {{"--dt"}, true, [](Options& o, auto opt, auto& v) { o.dt = positiveNumber(opt, v); }},
      {{"--column"}, true,
       [](Options& o, auto opt, auto& v) { o.columns.column = columnNumber(opt, v); }},
      {{"--time-column"}, true,
       [](Options& o, auto opt, auto& v) { o.columns.timeColumn = columnNumber(opt, v); }},
      {{"--skip"}, true,
       [](Options& o, auto opt, auto& v) {
         const auto n = detail::parseInteger(v);
         if (!n || *n < 0 || *n > 1000000) refuse(opt, "'" + v + "' is not a number of lines (0 or more)");
         o.columns.skip = static_cast<std::size_t>(*n);
       }},
      {{"--resample"}, true,
       [](Options& o, auto opt, auto& v) {
         const auto n = positiveInteger(opt, v);
         if (n > kMaxResampleRate)
           refuse(opt, std::to_string(n) + " samples per second is above the " +
                           std::to_string(kMaxResampleRate) + " offered");
         o.resample = static_cast<int>(n);
       }},
      {{"--start"}, true, [](Options& o, auto opt, auto& v) { o.start = positiveInteger(opt, v); }},
      {{"--npts"}, true, [](Options& o, auto opt, auto& v) { o.npts = positiveInteger(opt, v); }},
      {{"--from"}, true, [](Options& o, auto opt, auto& v) { o.from = nonNegativeNumber(opt, v); }},
      {{"--to"}, true, [](Options& o, auto opt, auto& v) { o.to = nonNegativeNumber(opt, v); }},
      {{"--number"}, true,
       [](Options& o, auto opt, auto& v) {
         if (v == "free") o.style = NumberStyle::Free;
         else if (v == "fixed") o.style = NumberStyle::Fixed;
         else if (v == "counts") o.style = NumberStyle::Counts;
         else refuse(opt, "'" + v + "' is not one of free, fixed, counts");
       }},
      {{"--scale"}, true,
       [](Options& o, auto opt, auto& v) {
         const auto x = positiveNumber(opt, v);
         if (!(x >= static_cast<double>(std::numeric_limits<float>::min()) &&
               x <= static_cast<double>(std::numeric_limits<float>::max())))
           refuse(opt, numberText(x) + " is outside the single-precision range");
         o.scale = static_cast<float>(x);
       }},
      // What the record knows: given where the input lacks it, or overriding it.
      {{"--label"}, true,
       [](Options& o, auto opt, auto& v) { o.label = nameOption(opt, v, 5, "station code of line 4"); }},
      {{"--network"}, true, [](Options& o, auto opt, auto& v) { o.given.station.network = code(opt, v); }},
      {{"--station"}, true, [](Options& o, auto opt, auto& v) { o.given.station.code = code(opt, v); }},
      {{"--location"}, true, [](Options& o, auto opt, auto& v) { o.given.station.location = code(opt, v); }},
      {{"--name"}, true, [](Options& o, auto opt, auto& v) { o.given.station.name = text(opt, v); }},
      {{"--component"}, true, [](Options& o, auto opt, auto& v) { o.given.component.code = code(opt, v); }},
      {{"--station-lat"}, true,
       [](Options& o, auto opt, auto& v) { o.given.station.latitude = within(opt, v, -90, 90, "a latitude in degrees"); }},
      {{"--station-lon"}, true,
       [](Options& o, auto opt, auto& v) { o.given.station.longitude = within(opt, v, -180, 360, "a longitude in degrees"); }},
      {{"--station-elev"}, true,
       [](Options& o, auto opt, auto& v) { o.given.station.elevation = within(opt, v, -12000, 9000, "an elevation in metres"); }},
      {{"--sensor-depth"}, true,
       [](Options& o, auto opt, auto& v) { o.given.station.sensorDepth = within(opt, v, 0, 12000, "a depth in metres"); }},
      {{"--azimuth"}, true,
       [](Options& o, auto opt, auto& v) { o.given.component.azimuth = within(opt, v, 0, 360, "an azimuth in degrees"); }},
      {{"--dip"}, true,
       [](Options& o, auto opt, auto& v) { o.given.component.dip = within(opt, v, -90, 90, "a dip in degrees (-90 up)"); }},
      {{"--first-sample"}, true, [](Options& o, auto opt, auto& v) { o.given.firstSample = utc(opt, v); }},
      {{"--event"}, true, [](Options& o, auto opt, auto& v) { o.given.event.name = text(opt, v); }},
      {{"--origin-time"}, true, [](Options& o, auto opt, auto& v) { o.given.event.origin = utc(opt, v); }},
      {{"--event-lat"}, true,
       [](Options& o, auto opt, auto& v) { o.given.event.latitude = within(opt, v, -90, 90, "a latitude in degrees"); }},
      {{"--event-lon"}, true,
       [](Options& o, auto opt, auto& v) { o.given.event.longitude = within(opt, v, -180, 360, "a longitude in degrees"); }},
      {{"--event-depth"}, true,
       [](Options& o, auto opt, auto& v) { o.given.event.depth = within(opt, v, -10, 800, "a depth in km"); }},
      {{"--magnitude"}, true,
       [](Options& o, auto opt, auto& v) { o.given.event.magnitude = within(opt, v, -5, 12, "a magnitude"); }},
      {{"--magnitude-type"}, true,
       [](Options& o, auto opt, auto& v) { o.given.event.magnitudeType = code(opt, v); }},
      // Windows by time and arrivals.
      {{"--from-time"}, true, [](Options& o, auto opt, auto& v) { o.fromTime = mark(opt, v); }},
      {{"--to-time"}, true, [](Options& o, auto opt, auto& v) { o.toTime = mark(opt, v); }},
      {{"--vp"}, true, [](Options& o, auto opt, auto& v) { o.vp = positiveNumber(opt, v); }},
      {{"--vs"}, true, [](Options& o, auto opt, auto& v) { o.vs = positiveNumber(opt, v); }},
      {{"--pick-sta"}, true, [](Options& o, auto opt, auto& v) { o.picker.sta = positiveNumber(opt, v); }},
      {{"--pick-lta"}, true, [](Options& o, auto opt, auto& v) { o.picker.lta = positiveNumber(opt, v); }},
      {{"--pick-ratio"}, true,
       [](Options& o, auto opt, auto& v) { o.picker.ratio = within(opt, v, 1, 1e6, "a ratio above 1"); }},
  };
  return table;
}

const OptionRule* findRule(std::string_view name) {
  for (const auto& rule : optionTable())
    for (auto n : rule.names)
      if (n == name) return &rule;
  return nullptr;
}

// Combinations of options that cannot go together.
void checkCombinations(const Options& o) {
  if ((o.start || o.npts) && (o.from || o.to))
    refuse("--from/--to", "cannot be combined with --start/--npts");
  if (o.from && o.to && *o.to < *o.from)
    refuse("--to", numberText(*o.to) + " s is before --from " + numberText(*o.from) + " s");
  if (o.scale && o.style != NumberStyle::Counts)
    refuse("--scale", "applies to --number counts only");
  if (o.columns.timeColumn && !o.columns.column)
    refuse("--time-column", "goes with --column, which chooses the samples");
  if (o.columns.timeColumn && o.columns.timeColumn == o.columns.column)
    refuse("--time-column", "is the column of the samples");
  if ((o.fromTime || o.toTime) && (o.start || o.npts || o.from || o.to))
    refuse("--from-time/--to-time", "cannot be combined with --start/--npts or --from/--to");
}

}  // namespace

std::string helpText() {
  return R"(usage: kibconv INPUT -o OUTPUT.kib [options]

Converts one acceleration record into a KIBTRACE record for the simulation
program. Inputs: SAC binary (either byte order), SAC alphanumeric, PEER NGA
AT2 (g), K-NET and KiK-net ASCII (counts scaled to gal, mean removed, times
turned from JST into UTC), COSMOS V1/V2 (cm/s/s or g), CSMIP/CGS Volume 1
and 2, ESM ASCII, GeoNet V1A/V2A (mm/s/s), miniSEED (counts, one channel, divided by the overall
sensitivity), and plain text with one value per line, a time and a value
per line, or a chosen column of several (blank lines and lines starting
with # are skipped). The format is recognised from the contents; a file in
none of these formats is refused.

Options:
  -o, --output FILE     the KIBTRACE file to write (required)
  --format F            input format: auto (default), sac, sac-alpha, at2,
                        knet, cosmos, csmip, esm, geonet, mseed, text
  --channel C           the channel of a file that holds several: COSMOS,
                        CSMIP and GeoNet N (counted from 1), miniSEED
                        NET.STA.LOC.CHA (e.g. CI.CLC..HNE); without it the
                        channels are listed
  --counts-per-unit V   miniSEED: the overall sensitivity, V counts per
                        --unit (e.g. --counts-per-unit 213909 --unit m/s/s)
  --stationxml FILE     miniSEED: read the channel's InstrumentSensitivity
                        (value and input units) from a StationXML file;
                        only this overall sensitivity is applied, no
                        instrument response
  --sensitivity W       when the StationXML's overall sensitivity and the
                        product of its stage gains differ by more than 1 %:
                        overall or stages (the value to use)
  --allow-truncated     miniSEED: convert the complete records before a last
                        record that is cut short
  --unit U              unit of the input samples, when the file does not say
                        or says wrongly: g, gal (= cm/s/s), m/s/s, mm/s/s,
                        nm/s/s
  --out-unit U          unit written (default gal, i.e. cm/s/s)
  --dt SECONDS          sample interval of a text file without a time column
  --column N            plain text: the samples are column N (from 1) of lines
                        of several values
  --time-column M       plain text with --column: the times are column M
  --skip N              plain text: pass over N header lines first
  --resample SPS        interpolate linearly onto 1/SPS seconds, starting at
                        the first sample; no anti-alias filter, so SPS must
                        not be below the input's rate
  --start N --npts M    keep M samples from sample N (counted from 1)
  --from T --to T       keep the samples from T to T seconds after the first
                        sample (both ends included, rounded to whole samples)
  --number STYLE        sample format: free (default; nine significant digits,
                        reads back to exactly the same single-precision value),
                        fixed (nFw.d with the decimals chosen so the peak keeps
                        seven significant digits), counts (integers times a
                        scale factor)
  --scale S             value of one count for --number counts (default: a
                        power of ten that makes the peak 10^6 to 10^7 counts)
  --from-time T --to-time T
                        keep the samples from T to T, each a UTC time
                        (2019-07-06T03:19:50.5), or seconds after the event's
                        origin (origin-10), a predicted P or S arrival (P-5,
                        S+30) or the picked arrival (pick-3)
  --vp KM/S --vs KM/S   speeds of the predicted P and S arrivals: origin time
                        plus the straight hypocentral distance over the speed
  --pick-sta S --pick-lta S --pick-ratio R
                        the STA/LTA picker of "pick": windows (0.5 s, 10 s)
                        and the ratio that marks an arrival (4)

What the record knows is kept in its comment lines, one "key: value" line
each; these give or override it:
  --network NET --station CODE --location LOC --name NAME --component C
  --station-lat DEG --station-lon DEG --station-elev M --sensor-depth M
  --azimuth DEG         of the component, clockwise from north
  --dip DEG             of the component below the horizontal (-90 is up)
  --first-sample T      UTC time of the first sample
  --event NAME --origin-time T --event-lat DEG --event-lon DEG
  --event-depth KM --magnitude M --magnitude-type TYPE
  --label CODE          the station code of the record's line 4 (5 columns;
                        a longer code is shortened keeping its number)
  -h, --help            this text

Limits: the program takes whole samples per second and at most 15000
samples; a record outside them is refused (cut a window, or --resample).
Every conversion is noted in the record's comment lines.

Exit status: 0 written (a warning, such as a peak outside 0.001 to 5000 gal,
goes to standard error), 2 refused (one line on standard error naming the
file or option and the problem), 1 the output could not be written, 3 an
internal error of kibconv (one line starting "internal error:"; please
report it).
)";
}

std::optional<TimeMark> parseTimeMark(std::string_view text) {
  TimeMark m;
  m.text = std::string(text);
  if (const auto t = recinfo::parseUtc(text)) {
    m.utc = *t;
    return m;
  }
  using B = TimeMark::Base;
  const std::pair<std::string_view, B> bases[] = {
      {"origin", B::Origin}, {"pick", B::Pick}, {"P", B::P}, {"S", B::S}};
  for (const auto& [name, base] : bases) {
    if (text.substr(0, name.size()) != name) continue;
    const std::string_view rest = text.substr(name.size());
    if (!rest.empty()) {
      if (rest[0] != '+' && rest[0] != '-') return std::nullopt;
      const auto v = detail::parseNumber(rest);
      if (!v) return std::nullopt;
      m.offset = *v;
    }
    m.base = base;
    return m;
  }
  return std::nullopt;
}

Options parseArguments(std::span<const std::string> args) {
  Options o;
  bool haveInput = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    std::string opt = args[k];
    std::optional<std::string> inlineValue;
    if (opt.rfind("--", 0) == 0) {
      const auto eq = opt.find('=');
      if (eq != std::string::npos) {
        inlineValue = opt.substr(eq + 1);
        opt.resize(eq);
      }
    }
    if (const OptionRule* rule = findRule(opt)) {
      std::string value;
      if (rule->takesValue) {
        if (inlineValue) value = *inlineValue;
        else if (k + 1 < args.size()) value = args[++k];
        else refuse(opt, "needs a value");
      } else if (inlineValue) {
        refuse(opt, "takes no value");
      }
      rule->apply(o, opt, value);
    } else if (opt.size() > 1 && opt[0] == '-') {
      refuse(opt, "unknown option (see kibconv --help)");
    } else {
      if (haveInput) refuse(opt, "a second input file; kibconv converts one record at a time");
      o.input = opt;
      haveInput = true;
    }
  }
  if (o.help) return o;
  if (!haveInput) refuse("kibconv", "no input file (usage: kibconv INPUT -o OUTPUT.kib [options])");
  if (o.output.empty()) refuse(o.input, "no output file: give it with -o OUTPUT.kib");
  checkCombinations(o);
  return o;
}

}  // namespace convert
