// The eighteen-line parameter file, described once: one table of its values
// (line, name, type, check, and what the run does with each), from which
// reading, the transcript's echo, the checks, setting a value by name and
// rewriting a file with changed values all derive.
//
// A file is read through the text I/O channels with the list-directed and
// fixed-format rules of textio: a free-format line is one read statement
// (it may continue over several physical lines, take repeat counts, end
// early at a slash), a text line is read with (aW). Values are kept as
// written (angles in degrees, option codes as integers) until `params()`
// converts them as the program has always done: an angle times
// model::kDegToRad in single precision, ipfm up to 0 as "not corrected",
// cmp's vertical markers unconverted.
#pragma once

#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/params.hpp"
#include "textio/textio.hpp"

namespace paramfile {

inline constexpr int kLines = 18;
// The unit egfsim reads the file on; its fatal reports name it.
inline constexpr int kUnit = 80;

// How a value is written and stored.
enum class Type {
  Integer,  // an int
  Real,     // a float, as written
  Angle,    // a float: degrees as written, radians once converted
  Text,     // a fixed-width text line, blank padded
};

// What a run does with a value (bits). A value with none of them is read
// and echoed and changes nothing.
enum Use : unsigned {
  kRecordFile = 1u << 0,   // names a record file
  kPreparation = 1u << 1,  // the records' preparation: filter, element scaling
  kSourceModel = 1u << 2,  // subfault positions, rupture times, radiation, amplitudes, delays
  kSummation = 1u << 3,    // the copies per subfault, their weights, the synthetic's length and means
  kComparison = 1u << 4,   // the windows compared
  kOutputs = 1u << 5,      // the figures (units, scales, labels, titles, spectra) and the report
};
// The uses through which a value changes the synthetic motion.
inline constexpr unsigned kShapesSynthetic = kPreparation | kSourceModel | kSummation;

// The first check of a value, made for every value before any range: that
// it is a number the run can use at all.
enum class Form {
  Any,
  Finite,      // a finite real
  Positive,    // a finite real above 0
  FigureUnit,  // 0 or a positive unit, not 5 (the console input)
};

// The second check of a value.
struct Range {
  enum class Kind {
    None,
    Between,   // lo..hi; `from` names the value that replaces lo, when given
    NonZero,   // a real other than 0; `note` is the message
    Positive,  // a finite real above 0
    Either,    // lo or hi
    AtMost,    // hi or less
    Taper,     // IW: shorter than the shorter spectrum window, when a spectrum is drawn
  };
  Kind kind = Kind::None;
  int lo = 0, hi = 0;
  std::string_view from = {};
  std::string_view note = {};
};

// A value as written in the file (Integer: int; Real, Angle: float; Text:
// the text at its width).
using Value = std::variant<int, float, std::string>;

struct Entry {
  std::string_view name;  // as the echo and the manual name it
  int line;               // 1..18
  Type type;
  int width;              // Text: the columns read; 0 otherwise
  unsigned use;           // Use bits
  std::string_view role;  // what the run does with it
  Form form;
  Range range;
  // The value as the parameter set holds it (an angle in radians).
  Value (*get)(const model::Params&);
  // Stores a value as written into a parameter set, converted as the
  // reader converts it.
  void (*set)(model::Params&, const Value&);
};

// Every value of the file, line by line, in the order of reading.
std::span<const Entry> layout();
// The entry of that name; nullptr when there is none.
const Entry* find(std::string_view name);
// The entry of that name; std::logic_error when there is none.
const Entry& entry(std::string_view name);

// A parameter file as read, value by value as written, and how far the
// reading got.
class Reading {
 public:
  Reading();  // every value 0, every text blank: what an unread value holds

  // Reads the file open on `unit`, line after line, and closes the unit
  // after the last one. A failure is the I/O layer's textio::IoError; the
  // lines read before it stay readable (lines()), as the echo needs them.
  void read(textio::Channels& io, int unit);

  // Logical lines read completely, 0..18.
  int lines() const { return lines_; }
  const Value& value(std::string_view name) const;
  // The parameter set, converted as the program reads it. Needs all lines.
  model::Params params() const;

 private:
  std::vector<Value> values_;  // one per layout entry
  int lines_ = 0;
};

// Reads the whole file open on `unit`, without its echo, and returns its
// parameter set.
model::Params readParams(textio::Channels& io, int unit);

// Writes the transcript's lines of the reading so far on the console: the
// echo of the values in degrees as written and the reader's two questions,
// each where the reading reached it.
void echo(textio::Channels& io, const Reading& r);

// Rejects (textio::InputRejected) a parameter set that the later stages
// cannot use: a value that would overrun a fixed array, divide by zero or
// address the console input. `fileName` names the file in the message.
// Every value's form is checked before any range.
void check(const model::Params& p, std::string_view fileName);

// Sets one value into a parameter set as the reader would store it had the
// file given `value`: an integer as is (std::logic_error unless it is one),
// a real converted to the nearest float, an angle then multiplied by the
// reader's degree factor. A text is blank padded (std::logic_error when it
// is longer than its columns).
void set(model::Params& p, std::string_view name, double value);
void set(model::Params& p, std::string_view name, const std::string& text);

// The shortest decimal text that the reader takes as the float nearest to
// `value` (a point kept in a real: "3.0"); an integer without one.
std::string valueText(Type type, double value);

// New values by name: a number for a numeric value, a text for a text line.
using Changes = std::map<std::string, std::variant<double, std::string>, std::less<>>;

// The text of the parameter file `file` with `changes` written in: each
// logical line holding a changed value becomes one line of its values (the
// changed ones as valueText writes them, the others as the file wrote
// them); every other line, and anything after the last, stays as it was.
// The file must read (textio::IoError otherwise); a change of a name that
// is not in the layout, of the wrong kind or that would not read back is a
// std::logic_error.
std::string rewrite(const std::filesystem::path& file, const Changes& changes);

// The text of a whole parameter file from a value for every name of the
// layout: each logical line one physical line of its values, written as
// rewrite writes a changed value (a text line as given, trailing blanks
// dropped). A name missing or unknown, or a value of the wrong kind or that
// would not read back, is a std::logic_error.
std::string compose(const Changes& values);

// The texts of a file's values as the reader takes them, by name ("0" for
// a value the file leaves unset; a text line as its columns). The file must
// read (textio::IoError otherwise).
std::map<std::string, std::string, std::less<>> valueTexts(const std::filesystem::path& file);

}  // namespace paramfile
