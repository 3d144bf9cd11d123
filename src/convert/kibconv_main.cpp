// kibconv: converts a SAC, AT2 or plain-text acceleration record into a
// KIBTRACE record (see kibconv --help). kibconv reports its user's errors
// itself; anything else that reaches here is an internal fault (status 3).
#include <iostream>
#include <string>
#include <vector>

#include "convert/convert.hpp"
#include "textio/stop.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return textio::guarded("kibconv", std::cout, std::cerr, [&] { return convert::kibconv(args, std::cout, std::cerr); });
}
