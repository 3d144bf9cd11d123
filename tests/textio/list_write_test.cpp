// Free-format writing: the text of each item and the 80-column line rule.
#include "textio_fixture.hpp"

namespace {

using textio_test::Console;

TEST(ListWrite, RealText) {
  struct Row {
    float value;
    const char* text;
  };
  const Row rows[] = {
      {0.1f, "  0.100000001"},       // the float widened to double, 9 digits
      {1e10f, "  1.E+10"},           // point inserted before the exponent
      {100.0f, "  100."},            // point appended
      {0.0f, "  0."},
      {-0.0f, "  0."},               // zero carries no sign
      {-2.5f, " -2.5"},
      {1.0f, "  1."},
      {1e-5f, "  9.99999975E-06"},
      {123456789.0f, "  123456792."},
      {0.017453292f, "  0.0174532924"},
      {-1.5e-20f, " -1.49999995E-20"},
      {3.4028235e38f, "  3.40282347E+38"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(textio::listReal(r.value), r.text);
  }
}

std::string listOf(std::initializer_list<textio::Value> values) {
  Console con;
  con.io.writeList(6, values);
  return con.out.str();
}

TEST(ListWrite, Items) {
  EXPECT_EQ(listOf({"nevnt=", 3}), " nevnt= 3\n");
  EXPECT_EQ(listOf({" input filename of input parameters"}),
            "  input filename of input parameters\n");
  EXPECT_EQ(listOf({"fl=", 0.1f, " fh=", -2.5f}), " fl=  0.100000001 fh= -2.5\n");
  EXPECT_EQ(listOf({-12, 0, 7}), " -12 0 7\n");
  EXPECT_EQ(listOf({"ntt =", 40}), " ntt = 40\n");
  EXPECT_EQ(listOf({}), "\n");
}

TEST(ListWrite, LineBreaksAtEightyColumns) {
  const std::string s70(70, 'a'), s75(75, 'a'), s80(80, 'x');
  struct Row {
    const char* what;
    std::string out;
    std::string expected;
  };
  const Row rows[] = {
      // a string: the line (71 columns) plus its length reaching 80 breaks
      {"string 71+9", listOf({s70, "bbbbbbbbb"}), " " + s70 + "\n bbbbbbbbb\n"},
      {"string 71+8", listOf({s70, "bbbbbbbb"}), " " + s70 + "bbbbbbbb\n"},
      // an integer counts its digits only
      {"int 76+4", listOf({s75, 1234}), " " + s75 + "\n 1234\n"},
      {"int 76+3", listOf({s75, 123}), " " + s75 + " 123\n"},
      {"negative int 76+3", listOf({s75, -123}), " " + s75 + " -123\n"},
      // a real counts its whole text, 13 characters for 0.1
      {"real 67+13", listOf({std::string(66, 'a'), 0.1f}),
       " " + std::string(66, 'a') + "\n  0.100000001\n"},
      {"real 66+13", listOf({std::string(65, 'a'), 0.1f}),
       " " + std::string(65, 'a') + "  0.100000001\n"},
      // an item that opens a line is never broken
      {"80 at start", listOf({s80}), " " + s80 + "\n"},
      {"80 after x", listOf({"x", s80, "y"}), " x\n " + s80 + "\n y\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(r.out, r.expected);
  }
}

TEST(ListWrite, LongEchoOfAFileName) {
  // "fmain=", an 80-column name and "  no.10": the name does not fit after
  // the label and goes on a line of its own, and so does the tail.
  const std::string name = "target.kib" + std::string(70, ' ');
  EXPECT_EQ(listOf({"fmain=", name, "  no.10"}), " fmain=\n " + name + "\n   no.10\n");
}

}  // namespace
