// Fuzz target: free-format (list) reading from the console.
//
// Input: the first line lists the read statements, separated by ';', each a
// string of variable letters (see Variables); a '?' in a statement gives it
// an end-of-file branch. The rest of the input is the console text the
// statements read. After each statement the values are written back in
// free format, and every finite real must read back to the same bits: nine
// significant digits identify a single-precision value.
#include <cmath>
#include <cstring>
#include <sstream>

#include "fuzz_support.hpp"

namespace {

void checkRoundTrip(float x) {
  if (!std::isfinite(x)) return;
  std::istringstream in(textio::listReal(x));
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  float back = 0.0f;
  io.readList(5, {&back});
  if (std::memcmp(&back, &x, sizeof x) != 0 && !(back == 0.0f && x == 0.0f)) std::abort();
}

void checkRoundTrip(int v) {
  std::istringstream in(" " + std::to_string(v));
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  int back = 0;
  io.readList(5, {&back});
  if (back != v) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view layout = egffuzz::takeLine(rest);
  std::istringstream in{std::string(rest)};
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  egffuzz::withExpectedEndings([&] {
    std::string_view statements = layout;
    constexpr int kMaxStatements = 16;
    for (int s = 0; s < kMaxStatements && !statements.empty(); ++s) {
      const std::size_t semi = statements.find(';');
      const std::string_view one = statements.substr(0, semi);
      statements.remove_prefix(semi == std::string_view::npos ? statements.size() : semi + 1);
      egffuzz::Variables vars(one);
      const bool eofBranch = one.find('?') != std::string_view::npos;
      const bool complete = io.readList(5, vars.targets, eofBranch);
      vars.checkLengths(one);
      io.writeList(6, vars.values());
      for (float x : vars.reals) checkRoundTrip(x);
      for (int v : vars.ints) checkRoundTrip(v);
      if (!complete) break;
    }
  });
  return 0;
}
