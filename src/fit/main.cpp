// egffit: finds the source model that fits several stations' records at
// once (egffit --help).
#include <iostream>
#include <string>
#include <vector>

#include "fit/cli.hpp"

int main(int argc, char** argv) {
  return fit::egffit(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
