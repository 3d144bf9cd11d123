// kibconv: converts a SAC, AT2 or plain-text acceleration record into a
// KIBTRACE record (see kibconv --help).
#include <iostream>
#include <string>
#include <vector>

#include "convert/convert.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return convert::kibconv(args, std::cout, std::cerr);
}
