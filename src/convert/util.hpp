// Helpers shared by the readers and the writer of the converter.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "textio/stop.hpp"

namespace convert::detail {

// Every refusal: one line naming the file (or option) and what is wrong.
[[noreturn]] inline void refuse(std::string_view where, const std::string& problem) {
  throw textio::InputRejected(std::string(where) + ": " + problem);
}

// A decimal number written as programs write them: optional sign, digits
// with an optional point, an optional exponent with E, e, D or d. Returns
// nothing for any other text, including nan and inf.
std::optional<double> parseNumber(std::string_view token);

// parseNumber rounded to a float; nothing when the value lies beyond the
// float range.
std::optional<float> parseFloat(std::string_view token);

// A whole decimal integer with an optional sign; nothing when the text has
// anything else or the value does not fit in a long long.
std::optional<long long> parseInteger(std::string_view token);

// Whitespace-separated tokens of a line (blanks, tabs, carriage returns;
// commas count as blanks too).
std::vector<std::string_view> tokens(std::string_view line);

// The lines of a text without their line ends ("\n" or "\r\n").
std::vector<std::string_view> splitLines(std::string_view text);

// Blanks removed from both ends.
std::string_view trim(std::string_view s);

// Text safe for a fixed-width header field: control and non-ASCII bytes
// become '?', surrounding blanks go.
std::string printable(std::string_view s);

// `s` cut or blank-padded to `width` columns.
std::string field(std::string_view s, std::size_t width);

// What a SEED channel code ("HHZ": band, instrument, orientation) says of
// a velocity sensor: "instrument code H, a seismometer" when its second
// letter is H or L, nothing for any other code (accelerometers are N).
std::optional<std::string> velocitySensor(std::string_view channel);

// Short decimal text of an interval or rate for messages (%.9g).
std::string numberText(double v);

// Seconds to the millisecond for messages: "-3.634".
std::string secondsText(double seconds);

// The shortest decimal text (%.6G to %.9G) that reads back as exactly `v`.
std::string floatText(float v);

}  // namespace convert::detail
