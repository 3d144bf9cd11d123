// Record converter: turns SAC (binary, either byte order, or alphanumeric),
// PEER NGA AT2, K-NET / KiK-net ASCII, COSMOS V2, miniSEED and plain-column
// acceleration records into KIBTRACE records that the simulation program
// reads back exactly.
//
// The road of one conversion: read the input into a Trace (samples as the
// float values the input holds, the sample interval, whatever names, times
// and unit the input knows), convert the unit, check that the interval gives
// a whole number of samples per second (or resample on request), cut the
// window, and write the record.
//
// Every refusal is a textio::InputRejected whose message is one line that
// names the file or option and what is wrong; kibconv prints it and ends
// with status 2.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/limits.hpp"
#include "model/recording.hpp"

namespace convert {

// The most samples a record may carry: the program's prepared series hold
// no more.
inline constexpr int kMaxSamples = model::kMaxSamples;
// The most free text lines a record may carry, each at most 80 columns.
inline constexpr int kMaxCommentLines = model::kMaxTextLines;
inline constexpr int kCommentWidth = 80;

// ---------------------------------------------------------------- units

enum class Unit { Unknown, G, Gal, MetrePerS2, MillimetrePerS2, NanometrePerS2 };

// Accepts g, gal, cm/s/s, cm/s2, cm/s^2, m/s/s, m/s2, m/s^2, mm/s/s, mm/s2,
// mm/s^2, nm/s/s, nm/s2, nm/s^2 in any letter case; nothing else.
std::optional<Unit> parseUnit(std::string_view text);

// The unit's name in comment lines ("cm/s/s", "g" ...).
std::string_view unitName(Unit u);

// The text of the record's five-column unit field: "gal", "g", "m/s/s",
// "nm/s2".
std::string_view unitField(Unit u);

// The single-precision factor that takes a value in `from` to `to`: the
// ratio of the two units in metres per second squared, formed in double and
// rounded once to float, so that each sample sees one float multiplication.
float unitFactor(Unit from, Unit to);

// Multiplies every sample by unitFactor(from, to); no change at all when the
// units are the same. Returns the factor used.
float convertUnits(std::vector<float>& samples, Unit from, Unit to);

// ---------------------------------------------------------------- traces

enum class InputFormat { Detect, SacBinary, SacAlpha, At2, Knet, Cosmos, Csmip, Esm, Geonet, MiniSeed, Columns };

// "sac", "sac-alpha", "at2", "knet", "cosmos", "csmip", "esm", "geonet", "mseed", "text" (and
// "auto" for Detect).
std::optional<InputFormat> parseFormat(std::string_view text);
std::string_view formatName(InputFormat f);

// One component record as an input holds it.
struct Trace {
  std::vector<float> samples;
  double dt = 0;                  // sample interval in seconds, as the input states it
  model::Recording info;          // station, component, first-sample time (UTC), event
  Unit unit = Unit::Unknown;
  std::string unitOrigin;         // where the unit came from, for the comment lines
  std::string formatText;         // e.g. "SAC binary, big-endian"
  std::vector<std::string> notes; // the reader's own comment lines
  std::vector<std::string> warnings;  // what the user should hear at once (also noted)
};

// Which of a StationXML file's two statements of the gain to use when they
// disagree: refuse (Check), the overall sensitivity, or the product of the
// stage gains.
enum class SensitivityChoice { Check, Overall, Stages };

// The columns of a plain text file (counted from 1) and the header lines
// before them.
struct ColumnChoice {
  std::optional<std::size_t> column;      // --column: the samples
  std::optional<std::size_t> timeColumn;  // --time-column: their times
  std::size_t skip = 0;                   // --skip: header lines
  std::optional<double> dt;               // --dt
};

// What a reader may need beyond the file itself.
struct ReadOptions {
  std::optional<double> dt;                 // --dt (plain text)
  ColumnChoice columns;                     // --column, --time-column, --skip (plain text)
  std::optional<std::string> channel;       // --channel (COSMOS, CSMIP, GeoNet number, miniSEED NET.STA.LOC.CHA)
  std::optional<double> countsPerUnit;      // --counts-per-unit (miniSEED)
  std::optional<Unit> unit;                 // --unit: with --counts-per-unit, the unit counted
  std::optional<std::string> stationXml;    // --stationxml FILE (miniSEED)
  SensitivityChoice sensitivity = SensitivityChoice::Check;  // --sensitivity
  bool allowTruncated = false;              // --allow-truncated (miniSEED)
};

// Decides the format from the contents: miniSEED by its fixed record
// header, SAC binary by its header version word in either byte order,
// K-NET by "Origin Time" at the start, COSMOS by "(Format v" on its first
// line, GeoNet by "accelerogram" and "GNS Science" on its first line (or
// "Site" opening its second), CSMIP by "Accelerogram" on its first line, ESM by its
// SAMPLING_INTERVAL_S and NDATA keys, AT2 by its PEER title or NPTS line, SAC alphanumeric by its 30
// numeric header lines, plain columns by one or two numbers on the first
// line that is not blank or a '#' comment. Detect when it is none of them.
InputFormat detectFormat(std::string_view contents);

// Readers. `source` names the file in refusal messages.
Trace readSacBinary(std::string_view bytes, std::string_view source);
Trace readSacAlpha(std::string_view text, std::string_view source);
Trace readAt2(std::string_view text, std::string_view source);
// Plain text: one value per line (needs `dt`) or time-value pairs, or the
// chosen columns of lines of several values; `skip` header lines first,
// then blank lines and lines starting with '#' are passed over.
Trace readColumns(std::string_view text, std::string_view source, const ColumnChoice& choice);
// K-NET / KiK-net ASCII: counts scaled to gal, the record's mean removed.
Trace readKnet(std::string_view text, std::string_view source);
// COSMOS V1/V2: one acceleration channel (`channel` "N", needed when the
// file holds several).
Trace readCosmos(std::string_view text, std::string_view source,
                 const std::optional<std::string>& channel);
// CSMIP / CGS Volume 1 or 2: one acceleration channel (`channel` "N",
// needed when the file holds several).
Trace readCsmip(std::string_view text, std::string_view source,
                const std::optional<std::string>& channel);
// ESM ASCII: "KEY: value" header lines, then one value per line.
Trace readEsm(std::string_view text, std::string_view source);
// Whether the head of a file holds the ESM header's interval and count.
bool looksLikeEsm(std::string_view head);
// GeoNet V1A / V2A: one of the file's three components (`channel` "N",
// needed as the file holds several), in mm/s/s.
Trace readGeonet(std::string_view text, std::string_view source,
                 const std::optional<std::string>& channel);
// Whether a file's first lines are a GeoNet component's heading.
bool looksLikeGeonet(std::string_view head);
// miniSEED: one channel, counts divided by the overall sensitivity.
Trace readMiniSeed(std::string_view bytes, std::string_view source, const ReadOptions& ro);

Trace readTrace(std::string_view contents, InputFormat format, std::string_view source,
                const ReadOptions& ro);

// ---------------------------------------------------------------- timing

// The whole number of samples per second that `dt` stands for, or nothing
// when 1/dt is not within one part in a million of a whole number (or dt is
// not a positive finite interval of at least a microsecond and at most one
// second).
std::optional<int> wholeRate(double dt);

// Linear interpolation onto the interval 1/sps, starting at the first
// sample and ending at or before the last one. Only rates at or above the
// input's rate are accepted (there is no anti-alias filter).
std::vector<float> resampleLinear(std::span<const float> x, double dt, int sps);

// ---------------------------------------------------------------- picking

// The STA/LTA picker: windows in seconds and the ratio that triggers.
struct PickerSettings {
  double sta = 0.5;
  double lta = 10.0;
  double ratio = 4.0;
};

struct Pick {
  std::size_t onset;    // the picked sample (from 0)
  std::size_t trigger;  // the sample at which the ratio was reached
  double ratio;         // STA/LTA there
};

// The first arrival at or after sample `from`: the first sample k at which
// the mean squared amplitude (less the record's mean) over the STA window
// ending at k reaches `ratio` times its mean over the LTA window just before
// it (shortened to the samples there are, down to one second, for an
// arrival early in the record); the pick is the first sample of that STA
// window whose own squared amplitude reaches `ratio` times the LTA. Nothing
// when the ratio is never reached or the record is too short for the two
// windows.
std::optional<Pick> pickFirstArrival(std::span<const float> x, int isps, std::size_t from,
                                     const PickerSettings& how);

// ---------------------------------------------------------------- writer

enum class NumberStyle { Free, Fixed, Counts };

struct WriteOptions {
  NumberStyle style = NumberStyle::Free;
  std::optional<float> countScale;     // Counts: value of one count; chosen when absent
  std::vector<std::string> comments;   // the free text lines, wrapped at 80 columns
  std::string label;                   // the station code of line 4 (5 columns)
};

// The sample-line format chosen for a series.
struct SampleFormat {
  std::string dfmt = "*"; // "*" (free format) or a descriptor list such as 8F10.5, 6I12
  int perLine = 5;
  int width = 16;         // columns per value
  int decimals = 0;       // Fixed: digits after the point
  float scale = 1.0f;     // Counts: value of one count
};

// Free: "*" with nine significant digits, exact for every float.
// Fixed: nFw.d with d such that the peak keeps seven significant digits.
// Counts: nIw with the given scale or a power of ten that makes the peak a
// count between 10^6 and 10^7 (exact in a float).
SampleFormat chooseFormat(std::span<const float> x, const WriteOptions& opt,
                          std::string_view source);

// Text of one value under Fw.d, right-justified (no asterisks: the caller
// chose w large enough).
std::string fixedField(float value, int width, int decimals);

// The complete record text.
std::string formatKib(const Trace& t, int isps, const WriteOptions& opt,
                      std::string_view source);

// ---------------------------------------------------------------- command line

// A time a window starts or ends at: a UTC time, or seconds after the
// event's origin, a predicted P or S arrival, or the picked arrival.
struct TimeMark {
  enum class Base { Utc, Origin, P, S, Pick } base = Base::Utc;
  model::UtcTime utc;   // Utc
  double offset = 0;    // seconds after the base (the others)
  std::string text;     // as given, for messages
};

// "2019-07-06T03:19:50Z", "origin-10", "P-5", "S+30", "pick-3".
std::optional<TimeMark> parseTimeMark(std::string_view text);

// The record's five-column station code for a longer code: its trailing
// digits kept whole and the letters before them cut (KMMH16 is KMM16,
// MYG004 is MY004), so that the stations of one network stay distinct; a
// code without trailing digits, or with more than four, keeps its first
// five characters.
std::string stationLabel(std::string_view code);

struct Options {
  std::string input;
  bool allowTruncated = false;         // --allow-truncated
  SensitivityChoice sensitivity = SensitivityChoice::Check;  // --sensitivity
  std::string output;
  InputFormat format = InputFormat::Detect;
  std::optional<Unit> inputUnit;       // --unit
  Unit outputUnit = Unit::Gal;         // --out-unit
  std::optional<double> dt;            // --dt
  ColumnChoice columns;                // --column, --time-column, --skip
  std::optional<int> resample;         // --resample SPS
  std::optional<long long> start;      // --start (1-based)
  std::optional<long long> npts;       // --npts
  std::optional<double> from;          // --from (seconds after the first sample)
  std::optional<double> to;            // --to
  NumberStyle style = NumberStyle::Free;
  std::optional<float> scale;          // --scale (counts)
  model::Recording given;              // what the options say of station, component, times, event
  std::optional<std::string> label;    // --label: the record's 5-column station code
  std::optional<TimeMark> fromTime, toTime;  // --from-time, --to-time
  std::optional<double> vp, vs;        // --vp, --vs: speeds (km/s) of predicted arrivals
  PickerSettings picker;               // --pick-sta, --pick-lta, --pick-ratio
  std::optional<std::string> channel;  // --channel
  std::optional<double> countsPerUnit; // --counts-per-unit
  std::optional<std::string> stationXml;  // --stationxml
  bool help = false;
};

std::string helpText();

// Throws textio::InputRejected for any malformed command line.
Options parseArguments(std::span<const std::string> args);

// A converted record and what the user should hear about it.
struct Conversion {
  std::string text;                   // the whole record
  std::vector<std::string> warnings;  // each one line, for standard error
  std::vector<std::string> messages;  // what was found (a pick), for standard output
};

// The peaks of a plausible acceleration record, in gal: a converted peak
// outside them is warned of (the unit read was probably wrong).
inline constexpr double kPlausiblePeakMinGal = 0.001;
inline constexpr double kPlausiblePeakMaxGal = 5000.0;

// Applies unit, rate, window and the names given on the command line to a
// trace read from `o.input` and returns the record, whose comment lines
// record the source and every conversion. Throws textio::InputRejected for
// every refusal.
Conversion convertTrace(Trace t, const Options& o);

// The whole program: parses, reads, converts and writes. Returns the exit
// status: 0 done (or --help), 2 refused, 1 the output could not be written.
int kibconv(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace convert
