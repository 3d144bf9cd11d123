// kibconv's command line: the options as a table, and the help text.
#include <functional>
#include <limits>

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

Unit unitOption(std::string_view opt, const std::string& v) {
  const auto u = parseUnit(v);
  if (!u) refuse(opt, "'" + v + "' is not one of g, gal, cm/s/s, m/s/s, nm/s/s");
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
         if (!f) refuse(opt, "'" + v + "' is not one of auto, sac, sac-alpha, at2, knet, cosmos, mseed, text");
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
      {{"--station"}, true,
       [](Options& o, auto opt, auto& v) { o.station = nameOption(opt, v, 5, "station code"); }},
      {{"--name"}, true,
       [](Options& o, auto opt, auto& v) { o.stationName = nameOption(opt, v, 12, "station name"); }},
      {{"--component"}, true, [](Options& o, auto, auto& v) { o.component = detail::printable(v); }},
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
skipped). The format is recognised from the contents; a file in none of
these formats is refused.

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
                        instrument response
  --sensitivity W       when the StationXML's overall sensitivity and the
                        product of its stage gains differ by more than 1 %:
                        overall or stages (the value to use)
  --allow-truncated     miniSEED: convert the complete records before a last
                        record that is cut short
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
  --station CODE        station code (at most 5 columns)
  --name NAME           station name (12 columns)
  --component C         component name
  -h, --help            this text

Limits: the program takes whole samples per second and at most 15000
samples; a record outside them is refused (cut a window, or --resample).
Every conversion is noted in the record's comment lines.

Exit status: 0 written, 2 refused (one line on standard error naming the file
or option and the problem), 1 the output could not be written.
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
