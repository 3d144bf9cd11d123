// The four-line fatal report of the I/O layer. This is the one place where
// an error number becomes the message the user reads.
#include <cstring>
#include <ostream>
#include <string>

#include "textio/stop.hpp"

namespace textio {
namespace {

// Messages of the layer's own error numbers, 100 upwards.
constexpr const char* kMessages[] = {
    "error in format",                         // 100
    "illegal unit number",                     // 101
    "formatted io not allowed",                // 102
    "unformatted io not allowed",              // 103
    "direct io not allowed",                   // 104
    "sequential io not allowed",               // 105
    "can't backspace file",                    // 106
    "null file name",                          // 107
    "can't stat file",                         // 108
    "unit not connected",                      // 109
    "off end of record",                       // 110
    "truncation failed in endfile",            // 111
    "incomprehensible list input",             // 112
    "out of free space",                       // 113
    "unit not connected",                      // 114
    "read unexpected character",               // 115
    "bad logical input field",                 // 116
    "bad variable type",                       // 117
    "bad namelist name",                       // 118
    "variable not in namelist",                // 119
    "no end record",                           // 120
    "variable count incorrect",                // 121
    "subscript for scalar variable",           // 122
    "invalid array section",                   // 123
    "substring out of bounds",                 // 124
    "subscript out of bounds",                 // 125
    "can't read file",                         // 126
    "can't write file",                        // 127
    "'new' file exists",                       // 128
    "can't append to file",                    // 129
    "non-positive record number",              // 130
    "I/O started while already doing I/O",     // 131
    "Temporary file name (TMPDIR?) too long",  // 132
};
constexpr int kFirstMessage = 100;
constexpr int kLastMessage = kFirstMessage + int(sizeof kMessages / sizeof kMessages[0]) - 1;

std::string messageFor(int n) {
  if (n == kEndOfFile) return "end of file";
  if (n >= 0 && n < kFirstMessage) return std::strerror(n);
  if (n >= kFirstMessage && n <= kLastMessage) return kMessages[n - kFirstMessage];
  return "illegal error number " + std::to_string(n);
}

}  // namespace

std::string IoError::report() const {
  std::string r = context + ": " + messageFor(errorNumber) + "\n";
  if (internal) {
    r += "apparent state: internal I/O\n";
  } else {
    r += "apparent state: unit " + std::to_string(unit) + " ";
    r += fileName.empty() ? "(unnamed)" : "named " + fileName;
    r += "\n";
  }
  if (!format.empty()) r += "last format: " + format + "\n";
  r += "lately ";
  r += reading ? "reading" : "writing";
  r += " sequential formatted ";
  r += internal ? "internal" : "external";
  r += " IO\n";
  return r;
}

int reportInternalFault(std::string_view program, std::string_view what, std::ostream& out, std::ostream& err) {
  // The console's own stream may be what failed.
  try {
    out.flush();
  } catch (...) {
  }
  // One line, whatever the exception's text holds.
  std::string text(what);
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  err << "internal error: " << text << ". This is a fault of " << program
      << ", not of its input: please report it with the command and the files that caused it.\n";
  err.flush();
  return kExitInternal;
}

}  // namespace textio
