// kibconv's command line and the conversion road: read, unit, rate,
// window, write.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <ostream>
#include <sstream>

#include "convert/convert.hpp"
#include "convert/util.hpp"

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

// Names from the command line replace those of the input; names too long
// for their record fields are cut, and the cut is noted.
void applyNames(Trace& t, const Options& o, std::vector<std::string>& notes) {
  if (o.station) t.station = *o.station;
  if (o.stationName) t.stationName = *o.stationName;
  if (o.component) t.component = *o.component;
  if (t.station.size() > 5) {
    notes.push_back("station code " + t.station + " cut to the 5 columns of the record");
    t.station.resize(5);
  }
  if (t.stationName.size() > 12) {
    notes.push_back("station name " + t.stationName + " cut to 12 columns");
    t.stationName.resize(12);
  }
  if (t.component.size() > 3) notes.push_back("component " + t.component + " is cut to 3 columns on line 2");
}

}  // namespace

std::string helpText() {
  return R"(usage: kibconv INPUT -o OUTPUT.kib [options]

Converts one acceleration record into a KIBTRACE record for the simulation
program. Inputs: SAC binary (either byte order), SAC alphanumeric, PEER NGA
AT2 (g), K-NET and KiK-net ASCII (counts scaled to gal, mean removed, times
in JST), COSMOS V1/V2 (cm/s/s or g), miniSEED (counts, one channel, divided
by the overall sensitivity), and plain text with one value per line or a
time and a value per line (blank lines and lines starting with # are
skipped). The format is recognised from the contents.

Options:
  -o, --output FILE     the KIBTRACE file to write (required)
  --format F            input format: auto (default), sac, sac-alpha, at2,
                        knet, cosmos, mseed, text
  --channel C           the channel of a file that holds several: COSMOS
                        N (counted from 1), miniSEED NET.STA.LOC.CHA
                        (e.g. CI.CLC..HNE); without it the channels are listed
  --counts-per-unit V   miniSEED: the overall sensitivity, V counts per
                        --unit (e.g. --counts-per-unit 213909 --unit m/s/s)
  --stationxml FILE     miniSEED: read the channel's InstrumentSensitivity
                        (value and input units) from a StationXML file;
                        only this overall sensitivity is applied, no
                        instrument response; velocity channels are refused
  --unit U              unit of the input samples, when the file does not say
                        or says wrongly: g, gal (= cm/s/s), m/s/s, nm/s/s
  --out-unit U          unit written (default gal, i.e. cm/s/s)
  --dt SECONDS          sample interval of a text file without a time column
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
  --station CODE        station code (5 columns)
  --name NAME           station name (12 columns)
  --component C         component name
  -h, --help            this text

Limits: the program takes whole samples per second and at most 15000
samples; a record outside them is refused (cut a window, or --resample).
Every conversion is noted in the record's comment lines.

Exit status: 0 written, 2 refused (one line on standard error naming the file
or option and the problem), 1 the output could not be written, 3 an internal
error of kibconv (one line starting "internal error:"; please report it).
)";
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
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (k + 1 >= args.size()) refuse(opt, "needs a value");
      return args[++k];
    };
    if (opt == "-h" || opt == "--help") {
      o.help = true;
    } else if (opt == "-o" || opt == "--output") {
      o.output = value();
    } else if (opt == "--format") {
      const auto v = value();
      const auto f = parseFormat(v);
      if (!f) refuse(opt, "'" + v + "' is not one of auto, sac, sac-alpha, at2, knet, cosmos, mseed, text");
      o.format = *f;
    } else if (opt == "--unit" || opt == "--out-unit") {
      const auto v = value();
      const auto u = parseUnit(v);
      if (!u) refuse(opt, "'" + v + "' is not one of g, gal, cm/s/s, m/s/s, nm/s/s");
      if (opt == "--unit")
        o.inputUnit = *u;
      else
        o.outputUnit = *u;
    } else if (opt == "--channel") {
      o.channel = value();
    } else if (opt == "--counts-per-unit") {
      o.countsPerUnit = positiveNumber(opt, value());
    } else if (opt == "--stationxml") {
      o.stationXml = value();
    } else if (opt == "--dt") {
      o.dt = positiveNumber(opt, value());
    } else if (opt == "--resample") {
      const auto n = positiveInteger(opt, value());
      if (n > kMaxResampleRate)
        refuse(opt, std::to_string(n) + " samples per second is above the " +
                        std::to_string(kMaxResampleRate) + " offered");
      o.resample = static_cast<int>(n);
    } else if (opt == "--start") {
      o.start = positiveInteger(opt, value());
    } else if (opt == "--npts") {
      o.npts = positiveInteger(opt, value());
    } else if (opt == "--from") {
      o.from = nonNegativeNumber(opt, value());
    } else if (opt == "--to") {
      o.to = nonNegativeNumber(opt, value());
    } else if (opt == "--number") {
      const auto v = value();
      if (v == "free") o.style = NumberStyle::Free;
      else if (v == "fixed") o.style = NumberStyle::Fixed;
      else if (v == "counts") o.style = NumberStyle::Counts;
      else refuse(opt, "'" + v + "' is not one of free, fixed, counts");
    } else if (opt == "--scale") {
      const auto v = positiveNumber(opt, value());
      if (!(v >= static_cast<double>(std::numeric_limits<float>::min()) &&
            v <= static_cast<double>(std::numeric_limits<float>::max())))
        refuse(opt, numberText(v) + " is outside the single-precision range");
      o.scale = static_cast<float>(v);
    } else if (opt == "--station") {
      o.station = detail::printable(value());
      if (o.station->size() > 5) refuse(opt, "'" + *o.station + "' is longer than the 5 columns of a station code");
    } else if (opt == "--name") {
      o.stationName = detail::printable(value());
      if (o.stationName->size() > 12) refuse(opt, "'" + *o.stationName + "' is longer than the 12 columns of a station name");
    } else if (opt == "--component") {
      o.component = detail::printable(value());
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
  if ((o.start || o.npts) && (o.from || o.to))
    refuse("--from/--to", "cannot be combined with --start/--npts");
  if (o.from && o.to && *o.to < *o.from)
    refuse("--to", numberText(*o.to) + " s is before --from " + numberText(*o.from) + " s");
  if (o.scale && o.style != NumberStyle::Counts)
    refuse("--scale", "applies to --number counts only");
  return o;
}

std::string convertTrace(Trace t, const Options& o) {
  const std::string& src = o.input;
  std::vector<std::string> notes;
  notes.push_back(sourceLine(src));
  notes.push_back("input " + t.formatText + ", " + std::to_string(t.samples.size()) +
                  " samples, interval " + intervalText(t.dt) + " s");
  if (const auto line = timeLine(t); !line.empty()) notes.push_back(line);
  notes.insert(notes.end(), t.notes.begin(), t.notes.end());
  applyNames(t, o, notes);

  // Unit.
  Unit in = t.unit;
  if (o.inputUnit) {
    in = *o.inputUnit;
    notes.push_back("input unit " + std::string(unitName(in)) + " given with --unit" +
                    (t.unit == in ? "" : " (" + t.unitOrigin + ")"));
  } else if (in == Unit::Unknown) {
    refuse(src, t.unitOrigin + "; give the unit of the samples with --unit (g, gal, m/s/s, nm/s/s)");
  } else {
    notes.push_back("input unit " + std::string(unitName(in)) + " from " + t.unitOrigin);
  }
  const float factor = convertUnits(t.samples, in, o.outputUnit);
  if (in != o.outputUnit)
    notes.push_back("converted " + std::string(unitName(in)) + " to " +
                    std::string(unitName(o.outputUnit)) + ": each sample times " +
                    detail::floatText(factor) + " in single precision");
  for (std::size_t k = 0; k < t.samples.size(); ++k)
    if (!std::isfinite(t.samples[k]))
      refuse(src, "sample " + std::to_string(k + 1) + " overflows single precision in " +
                      std::string(unitName(o.outputUnit)));
  t.unit = o.outputUnit;

  // Rate.
  if (!(t.dt > 0.0) || !std::isfinite(t.dt))
    refuse(src, "sample interval " + numberText(t.dt) + " s is not a positive interval");
  const auto rate = wholeRate(t.dt);
  int isps = 0;
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
    isps = *o.resample;
    notes.push_back("resampled from interval " + intervalText(t.dt) + " s to " + std::to_string(isps) +
                    " samples/s by linear interpolation, no filtering");
  } else if (rate) {
    isps = *rate;
  } else {
    refuse(src, "sample interval " + intervalText(t.dt) + " s is " + numberText(1.0 / t.dt) +
                    " samples per second, not a whole number (--resample SPS interpolates onto "
                    "a whole rate)");
  }

  // Window.
  const auto n = static_cast<long long>(t.samples.size());
  long long first = 1, last = n;
  auto sampleAt = [&](double seconds) -> long long {
    // Whole samples by adding 0.5 and truncating; guarded before the cast.
    const double pos = seconds * isps + 0.5;
    return pos >= static_cast<double>(n) ? n + 1 : static_cast<long long>(pos) + 1;
  };
  const std::string length = numberText(static_cast<double>(n - 1) / isps);
  if (o.start) {
    first = *o.start;
    if (first > n) refuse("--start", std::to_string(first) + " is past the last sample " + std::to_string(n));
  }
  if (o.npts) {
    last = first + *o.npts - 1;
    if (last > n)
      refuse("--npts", std::to_string(*o.npts) + " samples from sample " + std::to_string(first) +
                           " run past the last sample " + std::to_string(n));
  }
  if (o.from) {
    first = sampleAt(*o.from);
    if (first > n) refuse("--from", numberText(*o.from) + " s is past the end of the record (" + length + " s)");
  }
  if (o.to) {
    last = sampleAt(*o.to);
    if (last > n) refuse("--to", numberText(*o.to) + " s is past the end of the record (" + length + " s)");
  }
  if (first != 1 || last != n) {
    notes.push_back("window: samples " + std::to_string(first) + " to " + std::to_string(last) +
                    " of " + std::to_string(n) + " (" + numberText(static_cast<double>(first - 1) / isps) +
                    " s to " + numberText(static_cast<double>(last - 1) / isps) + " s)");
    t.samples = std::vector<float>(t.samples.begin() + (first - 1), t.samples.begin() + last);
    if (t.startMs) {
      t.startMs = *t.startMs + (first - 1) * 1000 / isps;
      notes.push_back("first sample of the window " + zoned(t, *t.startMs));
    }
  }
  if (t.samples.size() > static_cast<std::size_t>(kMaxSamples))
    refuse(src, "record of " + std::to_string(t.samples.size()) + " samples is longer than the " +
                    std::to_string(kMaxSamples) +
                    " the program takes; cut a window with --start/--npts or --from/--to");

  WriteOptions w;
  w.style = o.style;
  w.countScale = o.scale;
  const SampleFormat f = chooseFormat(t.samples, w, src);
  switch (o.style) {
    case NumberStyle::Free:
      notes.push_back("samples in free format, nine significant digits: exact single precision");
      break;
    case NumberStyle::Fixed:
      notes.push_back("samples as " + f.dfmt + ": rounded to " + std::to_string(f.decimals) +
                      " decimals");
      break;
    case NumberStyle::Counts:
      notes.push_back("samples as " + f.dfmt + " counts of " + detail::floatText(f.scale) + " " +
                      std::string(unitName(t.unit)));
      break;
  }
  w.comments = std::move(notes);
  return formatKib(t, isps, w, src);
}

int kibconv(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  Options o;
  std::string text;
  try {
    o = parseArguments(args);
    if (o.help) {
      out << helpText();
      return 0;
    }
    std::error_code ec;
    if (std::filesystem::exists(o.input, ec) && !std::filesystem::is_regular_file(o.input, ec))
      refuse(o.input, "is not a regular file");
    std::ifstream in(o.input, std::ios::binary);
    if (!in) refuse(o.input, std::string("cannot be opened: ") + std::strerror(errno));
    const std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (std::filesystem::equivalent(o.input, o.output, ec))
      refuse(o.output, "is the input file; choose another output name");
    ReadOptions ro;
    ro.dt = o.dt;
    ro.channel = o.channel;
    ro.countsPerUnit = o.countsPerUnit;
    ro.stationXml = o.stationXml;
    if (ro.countsPerUnit || ro.stationXml) ro.unit = o.inputUnit;
    text = convertTrace(readTrace(contents, o.format, o.input, ro), o);
  } catch (const textio::InputRejected& e) {
    err << "kibconv: " << e.message << '\n';
    return 2;
  }
  std::ofstream file(o.output, std::ios::binary | std::ios::trunc);
  if (file) file << text;
  if (file) file.close();
  if (!file) {
    err << "kibconv: " << o.output << ": cannot be written: " << std::strerror(errno) << '\n';
    return 1;
  }
  return 0;
}

}  // namespace convert
