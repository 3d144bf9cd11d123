// Fuzz target: fixed-format reading with a format text given at run time,
// as the record reader does with the descriptors a record names.
//
// Input: line 1 is the format text (parentheses included), line 2 the
// variable letters (see Variables, '?' for an end-of-file branch), the rest
// the console text read. The values read are then written with the same
// format to the console and into an internal text of 80 columns.
#include <sstream>

#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string format(egffuzz::takeLine(rest));
  const std::string_view layout = egffuzz::takeLine(rest);
  std::istringstream in{std::string(rest)};
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  egffuzz::Variables vars(layout);
  const bool eofBranch = layout.find('?') != std::string_view::npos;
  egffuzz::withExpectedEndings([&] {
    // Two statements: the second starts on the line after the first ended.
    for (int s = 0; s < 2; ++s) {
      if (!io.readFormatted(5, format, vars.targets, eofBranch)) break;
      vars.checkLengths(layout);
    }
  });
  const std::vector<textio::Value> values = vars.values();
  egffuzz::withExpectedEndings([&] { io.writeFormatted(6, format, values); });
  egffuzz::withExpectedEndings([&] {
    const std::string s = textio::internalWrite(format, 80, values);
    if (s.size() != 80) std::abort();
  });
  return 0;
}
