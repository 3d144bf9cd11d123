#include <gtest/gtest.h>

#include <sstream>

#include "textio/textio.hpp"

TEST(Smoke, Basics) {
  EXPECT_EQ(textio::internalWrite("(f4.2)", 4, {0.5f}), "0.50");
  EXPECT_EQ(textio::internalWrite("(f4.2)", 4, {-0.5f}), "-.50");
  EXPECT_EQ(textio::internalWrite("(1pe14.6)", 14, {0.6f}), "  6.000000E-01");
  EXPECT_EQ(textio::listReal(0.1f), "  0.100000001");
  std::istringstream in("1 2 3 4\n5\n");
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  int a = 0, b = 0, c = 0, d = 0;
  io.readList(5, {&a, &b, &c});
  io.readList(5, {&d});
  EXPECT_EQ(d, 5);
  io.writeList(6, {"nevnt=", 3});
  io.writeFormatted(6, "(2f9.3,a)", {113.386f, 453.543f, " pM"});
  EXPECT_EQ(out.str(), " nevnt= 3\n  113.386  453.543 pM\n");
}
