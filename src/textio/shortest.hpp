// The shortest decimal text of a number that reads back as exactly that
// number: for the tables and settings the programs write (CSV series,
// models.csv, the values of a search), not for egfsim's fixed formats.
#pragma once

#include <string>

namespace textio {

// Fixed or exponent form, whichever is shorter (ties to fixed), as
// std::to_chars writes it: "0.1", "1e-05", "123456", "1.5e+07".
std::string shortest(float value);
std::string shortest(double value);

// The same digits in printf's %g form: the exponent form only for an
// exponent below -4 or of at least the number of digits: "2.8", "0.0001",
// "1e-05", "1234567", "1.2e+07".
// plainWhole: a number of 1 to 1e9 in size is never in exponent form,
// with as many digits as that takes ("10", not "1e+01"; "12345678").
std::string shortestGeneral(float value, bool plainWhole = false);

}  // namespace textio
