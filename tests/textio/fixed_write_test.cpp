// Fixed-format writing: I, F, E and A fields, literals, X and slash,
// reversion, and internal writes. Expected texts are worked out by hand from
// the field rules (F rounds the exact binary value, as printf does).
#include "textio_fixture.hpp"

namespace {

using textio::IoError;
using textio::internalWrite;
using textio_test::Console;
using textio_test::ioErrorOf;

std::string field(const char* format, textio::Value v) {
  Console con;
  con.io.writeFormatted(6, format, {v});
  std::string s = con.out.str();
  EXPECT_FALSE(s.empty());
  if (!s.empty()) s.pop_back();  // the newline
  return s;
}

struct Row {
  const char* format;
  textio::Value value;
  const char* text;
};

void checkRows(std::initializer_list<Row> rows) {
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.format) + " -> [" + r.text + "]");
    EXPECT_EQ(field(r.format, r.value), r.text);
  }
}

TEST(FixedWrite, F9_3) {
  checkRows({
      {"(f9.3)", 841.6f, "  841.600"},
      {"(f9.3)", 0.0f, "    0.000"},
      {"(f9.3)", -0.0f, "    0.000"},      // negative zero: no sign
      {"(f9.3)", -0.0004f, "    0.000"},    // rounds to zero: no sign
      {"(f9.3)", -0.0006f, "   -0.001"},
      {"(f9.3)", 0.5f, "    0.500"},        // room to spare: the zero stays
      {"(f9.3)", 99999.99f, "99999.992"},   // float 99999.9921875
      {"(f9.3)", 100000.0f, "*********"},
      {"(f9.3)", -9999.999f, "-9999.999"},
      {"(f9.3)", -10000.0f, "*********"},
      {"(F9.3)", 841.6f, "  841.600"},
  });
}

TEST(FixedWrite, F4_2AndNarrower) {
  checkRows({
      {"(f4.2)", 0.5f, "0.50"},
      {"(f4.2)", -0.5f, "-.50"},     // one too wide: the leading zero goes
      {"(f4.2)", 12.3f, "****"},
      {"(f4.2)", 1.0f, "1.00"},
      {"(f4.2)", 0.125f, "0.12"},    // exact binary 0.125: ties to even
      {"(f4.2)", 0.375f, "0.38"},
      {"(f4.2)", 0.994f, "0.99"},
      {"(f4.2)", 0.996f, "1.00"},
      {"(f4.2)", -0.996f, "****"},   // -1.00 is five columns
      {"(f4.2)", -0.001f, "0.00"},
      {"(f3.2)", 0.5f, ".50"},
      {"(f3.2)", -0.5f, "***"},
      {"(f5.2)", 9.996f, "10.00"},   // the sign column used by a positive value
      {"(f5.2)", -9.996f, "*****"},
      {"(f5.0)", 12.0f, "  12."},    // always a decimal point
      {"(f6.1)", 2.25f, "   2.2"},   // exact binary 2.25: ties to even
      {"(f6.1)", 2.35f, "   2.3"},   // float 2.34999990463 rounds down
  });
}

TEST(FixedWrite, IntegerFields) {
  checkRows({
      {"(i2)", 5, " 5"},
      {"(i2)", 100, "**"},
      {"(i2)", -5, "-5"},
      {"(i2)", -10, "**"},
      {"(i5)", 12, "   12"},
      {"(i5)", -1234, "-1234"},
      {"(I11)", -2147483647 - 1, "-2147483648"},
  });
}

TEST(FixedWrite, ExponentUnderOneP) {
  checkRows({
      {"(1pe14.6)", 0.6f, "  6.000000E-01"},
      {"(1pe14.6)", 0.0f, "  0.000000E+00"},
      {"(1pe14.6)", -0.0f, "  0.000000E+00"},
      {"(1pe14.6)", -0.6f, " -6.000000E-01"},
      {"(1pe14.6)", 12345.678f, "  1.234568E+04"},
      {"(1pe14.6)", 1e-20f, "  1.000000E-20"},
      {"(1pe14.6)", 9.9999999f, "  1.000000E+01"},  // rounding carries into the exponent
      {"(1pe14.6)", 3.4028235e38f, "  3.402823E+38"},
      {"(1pe12.6)", -0.6f, "************"},
      {"(1PE14.6)", 0.6f, "  6.000000E-01"},
      {"(e12.4)", 0.6f, "  0.6000E+00"},  // without a scale factor: 0.dddd
      {"(e10.4)", -0.6f, "-.6000E+00"},
  });
}

TEST(FixedWrite, TextFields) {
  checkRows({
      {"(a)", std::string_view("abc"), "abc"},
      {"(a5)", std::string_view("abc"), "  abc"},
      {"(a2)", std::string_view("abc"), "ab"},
      {"(a15)", std::string_view("KIBTRACE FORMAT"), "KIBTRACE FORMAT"},
  });
}

TEST(FixedWrite, Statements) {
  Console con;
  con.io.writeFormatted(6, "(2f9.3,a)", {113.386f, 453.543f, " pM"});
  con.io.writeFormatted(6, "('(chblop) invalid input')", {});
  // (literals split so that no "??'" trigraph sequence appears in this source)
  con.io.writeFormatted(6, "(1x,'?????" "',' it''s',3x,'n =',i5,'?????" "')", {12});
  con.io.writeFormatted(6, "(i2/i2)", {1, 2});
  con.io.writeFormatted(6, "(a,i3)", {"x", 1, "y", 2});         // reversion to the start
  con.io.writeFormatted(6, "('v',(i2))", {1, 2, 3});            // reversion to the group
  con.io.writeFormatted(6, "(f6.2,1pe10.2,f6.2)", {1.5f, 1.5f, 1.5f});  // 1P stays for later F
  con.io.writeFormatted(6, "(i5)", {});                         // an empty line
  EXPECT_EQ(con.out.str(),
            "  113.386  453.543 pM\n"
            "(chblop) invalid input\n"
            " ????? it's   n =   12?????\n"
            " 1\n 2\n"
            "x  1\ny  2\n"
            "v 1\n 2\n 3\n"
            "  1.50  1.50E+00 15.00\n"
            "\n");
}

TEST(FixedWrite, ReversionToAGroupWithoutDataIsRefused) {
  // Otherwise the statement would write new lines for ever.
  for (const char* f : {"(i2,('x'))", "('x')", "(i2,(2x)/)"}) {
    SCOPED_TRACE(f);
    Console con;
    const IoError e = ioErrorOf([&] { con.io.writeFormatted(6, f, {1, 2}); });
    EXPECT_EQ(e.context, "fmt");
    EXPECT_EQ(e.errorNumber, textio::kErrFormat);
  }
}

TEST(FixedWrite, ValueOfTheWrongKind) {
  Console con;
  const IoError e = ioErrorOf([&] { con.io.writeFormatted(6, "(i5)", {1.0f}); });
  EXPECT_EQ(e.context, "fmt");
  EXPECT_EQ(e.errorNumber, 117);
  EXPECT_EQ(e.format, "(i5)");
  EXPECT_FALSE(e.reading);
}

TEST(InternalWrite, OneLineOfFixedLength) {
  EXPECT_EQ(internalWrite("(f4.2)", 4, {0.5f}), "0.50");
  EXPECT_EQ(internalWrite("(f4.2)", 4, {12.3f}), "****");
  EXPECT_EQ(internalWrite("(i2)", 5, {5}), " 5   ");  // unwritten columns are blanks
  EXPECT_EQ(internalWrite("(f 5.2)", 5, {-1.25f}), "-1.25");
  EXPECT_EQ(internalWrite("(i 3)", 3, {-12}), "-12");
  EXPECT_EQ(internalWrite("(a)", 3, {""}), "   ");
}

TEST(InternalWrite, NoRoomIsAnError) {
  for (const char* f : {"(i6)", "(i2/i2)"}) {
    SCOPED_TRACE(f);
    const IoError e = ioErrorOf([&] { internalWrite(f, 4, {1, 2}); });
    EXPECT_EQ(e.context, "fmt");
    EXPECT_EQ(e.errorNumber, 110);
    EXPECT_TRUE(e.internal);
    EXPECT_FALSE(e.reading);
    EXPECT_EQ(e.format, f);
    EXPECT_EQ(e.report(),
              std::string("fmt: off end of record\napparent state: internal I/O\nlast format: ") + f +
                  "\nlately writing sequential formatted internal IO\n");
  }
}

}  // namespace
