// egffit as a program (egffit --help): finds the source model that fits
// several stations' records at once, by evaluating models in memory through
// the same stages as egfsim.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace fit {

// The whole program behind main, on the arguments after the program name;
// returns the exit status. A user's error is one line on `err` and status 1
// (a file that could not be read or written) or 2 (a bad command line,
// configuration, parameter file or record); an internal fault is one line
// starting "internal error:" and status 3.
int egffit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace fit
