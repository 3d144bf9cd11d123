// The shortest text of a number: the form of each style as rows, and the
// round trip over many floats against printf's own %g search.
#include "textio/shortest.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

TEST(Shortest, EachStyleWritesItsForm) {
  struct Row {
    float value;
    const char* shortest;
    const char* general;
  };
  const Row rows[] = {
      {0.1f, "0.1", "0.1"},           {2.8f, "2.8", "2.8"},
      {-3.0f, "-3", "-3"},            {0.0001f, "1e-04", "0.0001"},
      {1e-5f, "1e-05", "1e-05"},      {123456.0f, "123456", "123456"},
      {1234567.0f, "1234567", "1234567"}, {12345670.0f, "12345670", "1.234567e+07"},
      {1e6f, "1e+06", "1e+06"},       {0.3f, "0.3", "0.3"},
      {1.3937076f, "1.3937076", "1.3937076"}, {3.4028235e38f, "3.4028235e+38", "3.4028235e+38"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(textio::shortest(r.value), r.shortest) << r.general;
    EXPECT_EQ(textio::shortestGeneral(r.value), r.general) << r.shortest;
  }
  EXPECT_EQ(textio::shortest(0.07), "0.07");
  EXPECT_EQ(textio::shortest(0.1 + 0.2), "0.30000000000000004");
}

// Random floats of every magnitude: both texts read back as the float, and
// the general one is what printf's %g gives with the fewest digits that
// read back (the search an earlier version did digit by digit).
// Every power of two and its neighbours come first: beside one the float's
// lower interval is half the upper, where printf's nearest digits can miss.
TEST(Shortest, ReadsBackAndMatchesTheFewestPrintfDigits) {
  std::mt19937 rng(2024);
  for (int n = 0; n < 50000 + 3 * 254; ++n) {
    const std::uint32_t bits =
        n < 3 * 254 ? (static_cast<std::uint32_t>(1 + n / 3) << 23) + static_cast<std::uint32_t>(n % 3)
                    : static_cast<std::uint32_t>(rng());
    float v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    char text[64];
    for (int digits = 1; digits <= 9; ++digits) {
      std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(v));
      if (std::strtof(text, nullptr) == v) break;
    }
    ASSERT_EQ(textio::shortestGeneral(v), text) << v;
    ASSERT_EQ(std::strtof(textio::shortest(v).c_str(), nullptr), v) << textio::shortest(v);
  }
}

}  // namespace
