// Fixed-format reading: numeric fields, text widths, line handling,
// reversion and the end of the file.
#include "textio_fixture.hpp"

namespace {

using textio::IoError;
using textio_test::Console;
using textio_test::ioErrorOf;

float readReal(const char* format, const std::string& line) {
  Console con(line + "\n");
  float x = -99;
  con.io.readFormatted(5, format, {&x});
  return x;
}

TEST(FixedRead, RealFields) {
  struct Row {
    const char* format;
    const char* line;
    float expected;
  };
  const Row rows[] = {
      {"(f10.3)", "   1234   ", 1.234f},   // implied decimals
      {"(f10.3)", "      1234", 1.234f},
      {"(f10.3)", "-1234", -1.234f},
      {"(f10.3)", "12.5", 12.5f},          // a point overrides d
      {"(f10.3)", "  12.", 12.0f},
      {"(f10.3)", "          ", 0.0f},     // all blank
      {"(f10.3)", "", 0.0f},               // short line: blank padded
      {"(f10.3)", "1 2 3 4", 1.234f},      // blanks inside are ignored
      {"(f10.3)", "1.5e2", 150.0f},        // exponent part
      {"(f10.3)", "15e1", 0.15f},          // 15 * 10^-3 * 10^1
      {"(f10.3)", "1.5d-1", 0.15f},
      {"(f10.3)", "1.5-1", 0.15f},
      {"(f10.3)", "    57.373", 57.373f},
      {"(F10.3)", "   1234   ", 1.234f},   // case does not matter
      {"(f5.0)", "12345", 12345.0f},
      {"(f3.1)", "12345", 12.3f},          // only the field's columns
      {"(1pf10.3)", "1234", 0.1234f},      // a scale factor divides
      {"(1pf10.3)", "1.234e0", 1.234f},    // unless the field has an exponent
      {"(e10.3)", "  1.25E+02", 125.0f},
      {"(f10.3)", "1e39", 1e36f},          // implied decimals apply with an exponent too
      {"(f10.3)", "1.e39", std::numeric_limits<float>::infinity()},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.format) + " [" + r.line + "]");
    EXPECT_EQ(readReal(r.format, r.line), r.expected);
  }
}

TEST(FixedRead, IntegerFields) {
  struct Row {
    const char* format;
    const char* line;
    int expected;
  };
  const Row rows[] = {
      {"(i10)", "       100", 100}, {"(i10)", "100", 100},     {"(i10)", "  -4 2", -42},
      {"(i10)", "", 0},               {"(I7)", "    123", 123}, {"(i3)", "12345", 123},
      {"(i10)", "+7", 7},             {"(i11)", "-2147483648", -2147483647 - 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.format) + " [" + r.line + "]");
    Console con(std::string(r.line) + "\n");
    int v = -99;
    con.io.readFormatted(5, r.format, {&v});
    EXPECT_EQ(v, r.expected);
  }
}

TEST(FixedRead, UnreadableFields) {
  const char* const rows[][2] = {
      {"(i10)", "12a"},  {"(i10)", "1.5"},  {"(i10)", "2147483648"},
      {"(f10.3)", "1.5x"}, {"(f10.3)", "1.5e"}, {"(f10.3)", "."},
      {"(f10.3)", "1..2"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r[0]) + " [" + r[1] + "]");
    Console con(std::string(r[1]) + "\n");
    int i = 0;
    float f = 0;
    const IoError e = ioErrorOf([&] {
      if (r[0][1] == 'i') {
        con.io.readFormatted(5, r[0], {&i});
      } else {
        con.io.readFormatted(5, r[0], {&f});
      }
    });
    EXPECT_EQ(e.context, "fmt");
    EXPECT_EQ(e.errorNumber, textio::kErrUnexpectedChar);
    EXPECT_EQ(e.format, r[0]);
  }
}

TEST(FixedRead, TextWidths) {
  struct Row {
    const char* format;
    const char* line;
    std::size_t length;
    const char* expected;
  };
  const Row rows[] = {
      {"(a5)", "abcdefg", 3, "cde"},    // w >= len: the rightmost len of w columns
      {"(a3)", "abcdefg", 5, "abc  "},  // w < len: left-justified, blank padded
      {"(a)", "abcdefg", 4, "abcd"},    // A: the variable's own length
      {"(a15)", "KIBTRACE FORMAT and more", 15, "KIBTRACE FORMAT"},
      {"(a6)", "ab", 6, "ab    "},
      {"(2x,a3)", "abcdef", 3, "cde"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.format) + " [" + r.line + "]");
    Console con(std::string(r.line) + "\n");
    std::string s(r.length, '#');
    con.io.readFormatted(5, r.format, {&s});
    EXPECT_EQ(s, r.expected);
  }
}

TEST(FixedRead, EmptyLineUnderA80GivesBlanks) {
  Console con("\nnext\n");
  std::string s(80, '#');
  con.io.readFormatted(5, "(a80)", {&s});
  EXPECT_EQ(s, std::string(80, ' '));
}

TEST(FixedRead, SeveralFieldsOnOneLine) {
  Console con("CLC  CHINA LAKE  extra\nF10.3     gal\n");
  std::string code(5, ' '), name(12, ' '), fmt(10, ' '), unit(5, ' ');
  con.io.readFormatted(5, "(a5,a12)", {&code, &name});
  con.io.readFormatted(5, "(a10,a5)", {&fmt, &unit});
  EXPECT_EQ(code, "CLC  ");
  EXPECT_EQ(name, "CHINA LAKE  ");
  EXPECT_EQ(fmt, "F10.3     ");
  EXPECT_EQ(unit, "gal  ");
}

TEST(FixedRead, RestOfLineDiscardedAndSlashMovesOn) {
  Console con("  1  2  3\n  4\n  5  6\n");
  int a = 0, b = 0, c = 0;
  con.io.readFormatted(5, "(i3)", {&a});      // the 2 and 3 are left unread
  con.io.readFormatted(5, "(i3/i3)", {&b, &c});
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 4);
  EXPECT_EQ(c, 5);
}

TEST(FixedRead, ReversionStartsNewLines) {
  // Eight values of ten columns per line; ten values take two lines, and the
  // rest of the second line is not read.
  std::string text;
  for (int i = 1; i <= 8; ++i) text += "      " + std::to_string(i) + "000";
  text += "\n      9000     10000     99999\nnext\n";
  Console con(text);
  std::vector<float> v(10, -1.0f);
  std::vector<textio::Target> targets;
  for (float& x : v) targets.emplace_back(&x);
  con.io.readFormatted(5, "(8F10.3)", targets);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(v[static_cast<std::size_t>(i)], float(i + 1)) << i;
  std::string s(4, ' ');
  con.io.readFormatted(5, "(a4)", {&s});
  EXPECT_EQ(s, "next");
}

TEST(FixedRead, ReversionGoesToTheLastTopLevelGroup) {
  Console con(" 1  2  3\n  4\n  5\n");
  int v[4] = {};
  con.io.readFormatted(5, "(i2,(i3))", {&v[0], &v[1], &v[2], &v[3]});
  // Line 1 gives i2 and one i3 (the 3 is left); the group then takes one
  // value per line.
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
  EXPECT_EQ(v[2], 4);
  EXPECT_EQ(v[3], 5);
}

TEST(FixedRead, EndOfFile) {
  {
    Console con("");
    std::string s(3, 'x');
    EXPECT_FALSE(con.io.readFormatted(5, "(a3)", {&s}, true));
    EXPECT_EQ(s, "xxx");
    const IoError e = ioErrorOf([&] { con.io.readFormatted(5, "(a3)", {&s}); });
    EXPECT_EQ(e.context, "fmt");
    EXPECT_EQ(e.errorNumber, textio::kEndOfFile);
    EXPECT_EQ(e.format, "(a3)");
  }
  {  // values read before the end stay in place
    Console con("  1  2\n");
    int v[3] = {9, 9, 9};
    EXPECT_FALSE(con.io.readFormatted(5, "(2i3)", {&v[0], &v[1], &v[2]}, true));
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_EQ(v[2], 9);
  }
}

TEST(FixedRead, FormatErrors) {
  const char* const formats[] = {"a80", "(a80", "(q5)", "(i)", "(i0)", "(f)", "(2p)",
                                 "('x')", "()x", "(0i3)", "(-2i3)", "(99999999i3)",
                                 "(1000(1000i1))" /* too large once expanded */};
  for (const char* f : formats) {
    SCOPED_TRACE(f);
    Console con("1\n");
    int v = 0;
    const IoError e = ioErrorOf([&] { con.io.readFormatted(5, f, {&v}); });
    EXPECT_EQ(e.context, "fmt");
    EXPECT_EQ(e.errorNumber, textio::kErrFormat);
    EXPECT_EQ(e.format, f);
  }
}

TEST(FixedRead, ReversionToAGroupWithoutDataIsRefused) {
  Console con(" 1 2\n 3\n");
  int a = 0, b = 0;
  const IoError e = ioErrorOf([&] { con.io.readFormatted(5, "(i2,(x))", {&a, &b}); });
  EXPECT_EQ(e.context, "fmt");
  EXPECT_EQ(e.errorNumber, textio::kErrFormat);
  EXPECT_EQ(a, 1);
}

TEST(FixedRead, WrongVariableKind) {
  Console con("1\n");
  float f = 0;
  const IoError e = ioErrorOf([&] { con.io.readFormatted(5, "(i5)", {&f}); });
  EXPECT_EQ(e.context, "fmt");
  EXPECT_EQ(e.errorNumber, 117);
}

}  // namespace
