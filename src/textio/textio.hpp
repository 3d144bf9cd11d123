// Line-oriented text I/O through numbered channels: free-format (list) and
// fixed-format (format text interpreted at run time) reading and writing.
//
// Every file and console exchange of the program passes through here:
//   channel 0   the error stream
//   channel 5   console input
//   channel 6   console output
//   any other   a file opened by name, or, when written without having been
//               opened, the file "fort.N" bound on first use.
//
// Failures that the caller has not asked to handle (an end of file without an
// end-of-file branch, a malformed number, an unreadable file ...) are thrown
// as IoError and end the run in main with the four-line fatal report.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "textio/stop.hpp"

namespace textio {

// Where a read stores a value: an integer, a single-precision real, or a
// fixed-length text whose declared length is the string's current size()
// (contents are stored left-justified and blank padded to that length).
using Target = std::variant<int*, float*, std::string*>;

// A value to write: an integer, a single-precision real or a text.
using Value = std::variant<int, float, std::string_view>;

// Fixed-format write into a text of `length` columns (an internal write):
// the text is the only line; columns not written are blanks.
// Example: internalWrite("(f4.2)", 4, {0.5f}) == "0.50".
std::string internalWrite(std::string_view format, int length, std::initializer_list<Value> values);
std::string internalWrite(std::string_view format, int length, std::span<const Value> values);

// Free-format text of one real as written in a list line, including its two
// leading characters (a blank, then a blank or a minus sign): " 0.100000001".
std::string listReal(float value);

// The float a read stores for a number whose decimal text is nearest to `x`
// as a double: round to nearest even, infinity beyond the float range.
float nearestFloat(double x);

class Channels {
 public:
  Channels(std::istream& consoleIn, std::ostream& consoleOut, std::ostream& errorOut);
  // Channels for files only, for a program that holds no console: reading
  // or writing a console unit (0, 5, 6) is an internal fault
  // (std::logic_error).
  Channels();
  // A file written through a channel is built in a temporary file beside it
  // and takes its name only when the channel is closed (close, closeAll).
  // Destroying the table first (a run ended by an exception) discards those
  // temporary files and leaves any earlier file of that name as it was.
  ~Channels();
  Channels(const Channels&) = delete;
  Channels& operator=(const Channels&) = delete;

  // Opens a file for reading on `unit`. Trailing blanks of `name` are not part
  // of the name. A file that does not exist is not created: IoError "open".
  void open(int unit, std::string_view name);

  // Closes a channel. A file written through it is committed as a whole.
  void close(int unit);

  // Normal end of the run: flushes and closes every channel, committing
  // every file written.
  void closeAll();

  // Free-format read of one statement. Returns false when the end of the file
  // is met before every target is filled and `eofBranch` is true; otherwise
  // such an end throws IoError ("list in: end of file").
  bool readList(int unit, std::initializer_list<Target> targets, bool eofBranch = false);
  bool readList(int unit, std::span<const Target> targets, bool eofBranch = false);

  // Fixed-format read of one statement with a format text such as "(a80)" or
  // "(8F10.3)". End of file at the start of a line (the first, or one begun
  // by a slash or by reversion): false when `eofBranch`, IoError otherwise;
  // values read before it keep what was stored.
  bool readFormatted(int unit, std::string_view format, std::initializer_list<Target> targets,
                     bool eofBranch = false);
  bool readFormatted(int unit, std::string_view format, std::span<const Target> targets,
                     bool eofBranch = false);

  // Free-format write of one statement (one or more lines, 80-column rule).
  void writeList(int unit, std::initializer_list<Value> values);
  void writeList(int unit, std::span<const Value> values);

  // Fixed-format write of one statement, e.g. ("(2f9.3,a)", {px, py, " pL"}).
  void writeFormatted(int unit, std::string_view format, std::initializer_list<Value> values);
  void writeFormatted(int unit, std::string_view format, std::span<const Value> values);

  // Writes `text` as one whole line, exactly as given, followed by a newline.
  void writeLine(int unit, std::string_view text);

  // The count of lines the reads on `unit`, a file open for reading, have
  // taken so far (a statement takes every line it touched).
  int linesRead(int unit) const;

 private:
  struct Channel;
  Channel& channelForRead(int unit);
  Channel& channelForWrite(int unit);
  void emit(Channel& ch, std::string_view text);  // whole lines, each ending in '\n'

  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
  bool console_ = true;
  std::map<int, std::unique_ptr<Channel>> channels_;
};

}  // namespace textio
