// The eighteen-line parameter file: read in its fixed order, every value
// echoed on the console as it is read, angles converted to radians.
#pragma once

#include <string_view>

#include "model/params.hpp"
#include "textio/textio.hpp"

namespace run {

// The unit the parameter file is read from.
inline constexpr int kParameterUnit = 80;

// Reads the parameter file already opened on unit 80, with its console
// echoes and the two questions it answers itself, and closes unit 80.
// Angles hold radians afterwards, except the vertical-component markers of
// `cmp`.
void readParameterFile(textio::Channels& io, model::Params& p);

// Rejects (textio::InputRejected) a parameter set that the later stages
// cannot use: a value that would overrun a fixed array, divide by zero or
// address the console input. `fileName` names the file in the message.
void checkParameters(const model::Params& p, std::string_view fileName);

}  // namespace run
