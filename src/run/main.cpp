// egfsim: simulates the ground motion of a large earthquake at one station
// from the record of a small one (empirical Green's functions) and compares
// it with the observed record. Takes no arguments; holds a console dialogue.
#include <iostream>

#include "run/driver.hpp"

int main() {
  std::ios::sync_with_stdio(false);
  return run::runProgram(std::cin, std::cout, std::cerr);
}
