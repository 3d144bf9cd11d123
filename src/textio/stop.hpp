// The ways a run can end early. The two of the user's input are thrown
// where the condition is met and caught in main, which writes its report and
// sets the exit status:
//   IoError        the I/O layer's four-line fatal report, exit status 1
//   InputRejected  one clear line on the error stream, exit status 2
// Anything else that reaches a program's edge (a std::logic_error, any
// unexpected exception) is the program's own fault: guarded() reports it in
// one line starting "internal error:", exit status 3.
#pragma once

#include <exception>
#include <iosfwd>
#include <string>
#include <string_view>

namespace textio {

inline constexpr int kExitNormal = 0;
inline constexpr int kExitIoError = 1;
inline constexpr int kExitRejected = 2;
inline constexpr int kExitInternal = 3;

// The I/O layer's own error numbers in the fatal report; an IoError may
// also carry the operating system's errno (below 100) instead.
enum IoErrorNumber : int {
  kEndOfFile = -1,           // "end of file": a read ran past the last line
  kErrFormat = 100,          // "error in format": a format the reader cannot use
  kErrIllegalUnit = 101,     // "illegal unit number": a negative or unopened unit
  kErrNullName = 107,        // "null file name": an open without a name
  kErrOffEnd = 110,          // "off end of record": an internal write too long
  kErrUnexpectedChar = 115,  // "read unexpected character": a field that is no number
  kErrCantRead = 126,        // "can't read file": a file that cannot be opened or read
  kErrCantWrite = 127,       // "can't write file": a file that cannot be created or written
};

class IoError : public std::exception {
 public:
  IoError(std::string context, int errorNumber) : context(std::move(context)), errorNumber(errorNumber) {}
  const char* what() const noexcept override { return context.c_str(); }

  std::string context;      // "list in", "invalid integer", "fmt", "open" ...
  int errorNumber;          // kEndOfFile, an OS errno below 100, or 100..132
  int unit = -1;            // -1 for an internal (string) write
  bool internal = false;    // true: "apparent state: internal I/O"
  std::string fileName;     // empty: "(unnamed)"
  std::string format;       // "" when no format was in use; "list io" for list reads
  bool reading = true;      // "reading" / "writing"
  // For a failed read from a file: where it stood, "FILE line N: TEXT" or
  // "FILE ends after line N"; empty otherwise. Not part of report().
  std::string location;

  // The report, four lines (three without a format), each ending in '\n'.
  std::string report() const;
};

// The input cannot give a meaningful run; `message` is one clear line that
// names the file or parameter and what is wrong (no trailing newline).
class InputRejected : public std::exception {
 public:
  explicit InputRejected(std::string message) : message(std::move(message)) {}
  const char* what() const noexcept override { return message.c_str(); }
  std::string message;
};

// Writes the one line of an internal fault of `program` ("internal error:
// WHAT. ..." asking the user to report it) on `err`, after flushing `out`,
// and returns kExitInternal.
int reportInternalFault(std::string_view program, std::string_view what, std::ostream& out, std::ostream& err);

// Runs `body`, a program's whole work, which reports its user's errors
// itself and returns the exit status. An exception that escapes it is an
// internal fault: reported by reportInternalFault, status kExitInternal.
template <class Body>
int guarded(std::string_view program, std::ostream& out, std::ostream& err, Body&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    return reportInternalFault(program, e.what(), out, err);
  } catch (...) {
    return reportInternalFault(program, "an exception of unknown type", out, err);
  }
}

}  // namespace textio
