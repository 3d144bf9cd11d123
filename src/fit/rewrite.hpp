// A parameter file rewritten for another model: the lines that hold a
// changed value are written again, every other line stays as it was.
#pragma once

#include <map>
#include <string>

namespace fit {

// `text` is a parameter file; `values` maps parameter names (of lines 6 to
// 11) to their new texts; `target` and `element` replace the record file
// names of lines 12 and 13. A rewritten line keeps the texts of its
// unchanged values. Throws std::runtime_error when the file does not hold
// the eighteen lines.
std::string rewriteParameterFile(const std::string& text, const std::map<std::string, std::string>& values,
                                 const std::string& target, const std::string& element);

// The value texts of the free-format lines of a parameter file, by name
// (q(1)..q(6) as q1..q6), as the reader takes them (a value left unset
// reads "0"). Throws std::runtime_error when the file ends early.
std::map<std::string, std::string> parameterTexts(const std::string& text);

}  // namespace fit
