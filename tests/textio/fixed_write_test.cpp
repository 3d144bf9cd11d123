// Fixed-format writing: I, F, E and A fields, literals, X and slash,
// reversion, and internal writes. Expected texts are worked out by hand from
// the field rules (F rounds the exact binary value, as printf does); the
// golden runs hold the common cases.
#include <tuple>

#include "textio_fixture.hpp"

namespace {

using textio::IoError;
using textio::internalWrite;
using textio_test::Console;
using textio_test::ioErrorOf;

TEST(FixedWrite, Fields) {
  const std::tuple<const char*, textio::Value, const char*> rows[] = {
      {"(f9.3)", -0.0004f, "    0.000"},   // rounds to zero: no sign
      {"(F9.3)", 99999.99f, "99999.992"},  // float 99999.9921875
      {"(f9.3)", 100000.0f, "*********"},
      {"(f4.2)", -0.5f, "-.50"},           // one too wide: the leading zero goes
      {"(f4.2)", 0.125f, "0.12"},          // exact binary 0.125: ties to even
      {"(f4.2)", -0.996f, "****"},         // -1.00 is five columns
      {"(f3.2)", 0.5f, ".50"},
      {"(f3.2)", -0.5f, "***"},
      {"(f5.0)", 12.0f, "  12."},          // always a decimal point
      {"(f6.1)", 2.35f, "   2.3"},         // float 2.34999990463 rounds down
      {"(i2)", 100, "**"},
      {"(I11)", -2147483647 - 1, "-2147483648"},
      {"(1pe14.6)", -0.6f, " -6.000000E-01"},
      {"(1PE14.6)", -0.0f, "  0.000000E+00"},
      {"(1pe14.6)", 9.9999999f, "  1.000000E+01"},  // rounding carries into the exponent
      {"(1pe12.6)", -0.6f, "************"},
      {"(3pe12.1)", 0.6f, "************"},  // more digits before the point than the field has
      {"(e12.4)", 0.6f, "  0.6000E+00"},  // without a scale factor: 0.dddd
      {"(a5)", std::string_view("abc"), "  abc"},
      {"(a2)", std::string_view("abc"), "ab"},
  };
  for (const auto& [format, value, text] : rows) {
    SCOPED_TRACE(std::string(format) + " -> [" + text + "]");
    Console con;
    con.io.writeFormatted(6, format, {value});
    EXPECT_EQ(con.out.str(), std::string(text) + "\n");
  }
}

TEST(FixedWrite, Statements) {
  Console con;
  con.io.writeFormatted(6, "(1x,'a',' it''s',3x,'n =',i5)", {12});
  con.io.writeFormatted(6, "(i2/i2)", {1, 2});
  con.io.writeFormatted(6, "(a,i3)", {"x", 1, "y", 2});         // reversion to the start
  con.io.writeFormatted(6, "('v',(i2))", {1, 2, 3});            // reversion to the group
  con.io.writeFormatted(6, "(f6.2,1pe10.2,f6.2)", {1.5f, 1.5f, 1.5f});  // 1P stays for later F
  con.io.writeFormatted(6, "(i5)", {});                         // an empty line
  EXPECT_EQ(con.out.str(),
            " a it's   n =   12\n"
            " 1\n 2\n"
            "x  1\ny  2\n"
            "v 1\n 2\n 3\n"
            "  1.50  1.50E+00 15.00\n"
            "\n");
}

TEST(FixedWrite, Refusals) {
  Console con;
  // A reversion group without data would write new lines for ever.
  IoError e = ioErrorOf([&] { con.io.writeFormatted(6, "(i2,('x'))", {1, 2}); });
  EXPECT_EQ(e.context, "fmt");
  EXPECT_EQ(e.errorNumber, textio::kErrFormat);
  e = ioErrorOf([&] { con.io.writeFormatted(6, "(i5)", {1.0f}); });
  EXPECT_EQ(e.errorNumber, 117);  // a value of the wrong kind
  EXPECT_EQ(e.format, "(i5)");
}

TEST(InternalWrite, OneLineOfFixedLength) {
  EXPECT_EQ(internalWrite("(f4.2)", 4, {0.5f}), "0.50");
  EXPECT_EQ(internalWrite("(i2)", 5, {5}), " 5   ");  // unwritten columns are blanks
  EXPECT_EQ(internalWrite("(f 5.2)", 5, {-1.25f}), "-1.25");
  for (const char* f : {"(i6)", "(i2/i2)"}) {  // no room
    SCOPED_TRACE(f);
    const IoError e = ioErrorOf([&] { internalWrite(f, 4, {1, 2}); });
    EXPECT_EQ(e.report(),
              std::string("fmt: off end of record\napparent state: internal I/O\nlast format: ") + f +
                  "\nlately writing sequential formatted internal IO\n");
  }
}

}  // namespace
