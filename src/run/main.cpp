// egfsim: simulates the ground motion of a large earthquake at one station
// from the record of a small one (empirical Green's functions) and compares
// it with the observed record. Holds a console dialogue, or takes the
// parameter file as its one argument (egfsim --help).
#include <iostream>
#include <string_view>
#include <vector>

#include "run/command_line.hpp"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  return run::runCommandLine(args, std::cin, std::cout, std::cerr);
}
