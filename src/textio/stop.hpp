// The three ways a run can end early. Each is thrown where the condition is
// met and caught in main, which writes its report and sets the exit status:
//   IoError        the I/O layer's four-line fatal report, exit status 1
//   InputRejected  one clear line on the error stream, exit status 2
//   StopRun        "STOP <text> statement executed", exit status 0
#pragma once

#include <exception>
#include <string>

namespace textio {

inline constexpr int kExitNormal = 0;
inline constexpr int kExitIoError = 1;
inline constexpr int kExitRejected = 2;

// Error numbers of the fatal report beside the operating system's own
// (below 100); kEndOfFile reports "end of file".
inline constexpr int kEndOfFile = -1;
inline constexpr int kErrFormat = 100;           // "error in format"
inline constexpr int kErrUnexpectedChar = 115;   // "read unexpected character"
inline constexpr int kErrCantWrite = 127;        // "can't write file"

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

// A stop that carries a text; the run ends with status 0.
class StopRun : public std::exception {
 public:
  explicit StopRun(std::string text) : text(std::move(text)) {}
  const char* what() const noexcept override { return text.c_str(); }
  std::string text;
};

}  // namespace textio
