// egf_example [directory]: writes the example's parameter file, answers
// file and the two KIBTRACE records into `directory` (default: the working
// directory). The output is the same, byte for byte, on every run.
#include <exception>
#include <iostream>
#include <string>

#include "example.hpp"

int main(int argc, char** argv) {
  if (argc > 2) {
    std::cerr << "usage: egf_example [directory]\n";
    return 2;
  }
  try {
    example::writeExample(argc == 2 ? argv[1] : ".");
  } catch (const std::exception& e) {
    std::cerr << "egf_example: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
