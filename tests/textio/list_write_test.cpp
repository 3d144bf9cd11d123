// Free-format writing: the text of each item and the 80-column line rule.
#include "textio_fixture.hpp"

namespace {

TEST(ListWrite, RealText) {
  const std::pair<float, const char*> rows[] = {
      {0.1f, "  0.100000001"},  // the float widened to double, 9 digits
      {1e10f, "  1.E+10"},      // point inserted before the exponent
      {100.0f, "  100."},       // point appended
      {-0.0f, "  0."},          // zero carries no sign
      {-2.5f, " -2.5"},
      {123456789.0f, "  123456792."},
      {-1.5e-20f, " -1.49999995E-20"},
  };
  for (const auto& [value, text] : rows) EXPECT_EQ(textio::listReal(value), text);
}

std::string listOf(std::initializer_list<textio::Value> values) {
  textio_test::Console con;
  con.io.writeList(6, values);
  return con.out.str();
}

TEST(ListWrite, ItemsAndLineBreaksAtEightyColumns) {
  const std::string s65(65, 'a'), s66(66, 'a'), s70(70, 'a'), s75(75, 'a'), s80(80, 'x');
  const std::pair<std::string, std::string> rows[] = {
      {listOf({"fl=", 0.1f, " fh=", -12}), " fl=  0.100000001 fh= -12\n"},
      // a string: the line (71 columns) plus its length reaching 80 breaks
      {listOf({s70, "bbbbbbbbb"}), " " + s70 + "\n bbbbbbbbb\n"},
      {listOf({s70, "bbbbbbbb"}), " " + s70 + "bbbbbbbb\n"},
      // an integer counts its digits only, not its blank and sign
      {listOf({s75, 1234}), " " + s75 + "\n 1234\n"},
      {listOf({s75, -123}), " " + s75 + " -123\n"},
      // a real counts its whole text, 13 characters for 0.1
      {listOf({s66, 0.1f}), " " + s66 + "\n  0.100000001\n"},
      {listOf({s65, 0.1f}), " " + s65 + "  0.100000001\n"},
      // an item that opens a line is never broken (an 81-column line)
      {listOf({"x", s80, "y"}), " x\n " + s80 + "\n y\n"},
  };
  for (const auto& [out, expected] : rows) EXPECT_EQ(out, expected);
}

}  // namespace
