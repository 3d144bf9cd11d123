// Fixed-format reading: numeric fields, text widths, line handling,
// reversion, the end of the file and format errors.
#include <limits>
#include <tuple>

#include "textio_fixture.hpp"

namespace {

using textio::IoError;
using textio_test::Console;
using textio_test::ioErrorOf;
using textio_test::readError;
using textio_test::readOne;

TEST(FixedRead, NumericFields) {
  const std::tuple<const char*, const char*, float> reals[] = {
      {"(f10.3)", "   1234   ", 1.234f},  // implied decimals
      {"(f10.3)", "12.5", 12.5f},         // a point overrides d
      {"(f10.3)", "          ", 0.0f},    // all blank
      {"(f10.3)", "", 0.0f},              // short line: blank padded
      {"(F10.3)", "1 2 3 4", 1.234f},     // blanks inside are ignored
      {"(f10.3)", "15e1", 0.15f},         // 15 * 10^-3 * 10^1
      {"(f10.3)", "1.5-1", 0.15f},
      {"(f3.1)", "12345", 12.3f},         // only the field's columns
      {"(1pf10.3)", "1234", 0.1234f},     // a scale factor divides
      {"(1pf10.3)", "1.234e0", 1.234f},   // unless the field has an exponent
      {"(f10.3)", "1.e39", std::numeric_limits<float>::infinity()},
  };
  for (const auto& [format, line, expected] : reals) {
    SCOPED_TRACE(std::string(format) + " [" + line + "]");
    EXPECT_EQ(readOne<float>(format, std::string(line) + "\n", -99.0f), expected);
  }
  const std::tuple<const char*, const char*, int> ints[] = {
      {"(i10)", "100", 100}, {"(i10)", "  -4 2", -42}, {"(i10)", "", 0},
      {"(I3)", "12345", 123}, {"(i11)", "-2147483648", std::numeric_limits<int>::min()},
  };
  for (const auto& [format, line, expected] : ints) {
    SCOPED_TRACE(std::string(format) + " [" + line + "]");
    EXPECT_EQ(readOne<int>(format, std::string(line) + "\n", -99), expected);
  }
}

TEST(FixedRead, UnreadableFields) {
  const std::pair<const char*, const char*> rows[] = {
      {"(i10)", "12a"}, {"(i10)", "1.5"}, {"(f10.3)", "1.5e"}, {"(f10.3)", "1..2"},
      {"(f10.3)", "abc"}, {"(f10.3)", "-."},  // no digit: not a blank field's zero
  };
  for (const auto& [format, line] : rows) {
    SCOPED_TRACE(std::string(format) + " [" + line + "]");
    const IoError e = format[1] == 'i' ? readError<int>(format, line) : readError<float>(format, line);
    EXPECT_EQ(e.context, "fmt");
    EXPECT_EQ(e.errorNumber, textio::kErrUnexpectedChar);
    EXPECT_EQ(e.format, format);
  }
  // Digits beyond 32 bits (a fuzzing finding: they were reported under
  // "fmt") are an integer that does not fit, never wrapped; blanks inside
  // are ignored as in any field.
  for (const char* field : {"2147483648", "-2147483649", "  12 34 5678901"}) {
    const IoError big = readError<int>("(i15)", field);
    EXPECT_EQ(big.context, "invalid integer") << field;
    EXPECT_EQ(big.errorNumber, textio::kErrUnexpectedChar);
  }
}

TEST(FixedRead, TextWidths) {
  const std::tuple<const char*, const char*, std::size_t, std::string> rows[] = {
      {"(a5)", "abcdefg", 3, "cde"},    // w >= len: the rightmost len of w columns
      {"(a3)", "abcdefg", 5, "abc  "},  // w < len: left-justified, blank padded
      {"(a)", "abcdefg", 4, "abcd"},    // A: the variable's own length
      {"(2x,a3)", "abcdef", 3, "cde"},
      {"(a80)", "", 80, std::string(80, ' ')},
  };
  for (const auto& [format, line, length, expected] : rows) {
    SCOPED_TRACE(std::string(format) + " [" + line + "]");
    EXPECT_EQ(readOne(format, std::string(line) + "\n", std::string(length, '#')), expected);
  }
}

TEST(FixedRead, LinesSlashAndReversion) {
  std::string text = " 1  2  3\n  4\n  5\n";
  for (int i = 1; i <= 8; ++i) text += "      " + std::to_string(i) + "000";
  text += "\n      9000     10000     99999\nnext\n";
  Console con(text);
  int a = 0, b = 0, c = 0;
  con.io.readFormatted(5, "(i2)", {&a});  // the 2 and 3 are left unread
  con.io.readFormatted(5, "(i3/i3)", {&b, &c});
  EXPECT_EQ(std::tie(a, b, c), std::make_tuple(1, 4, 5));
  // Eight values per line; ten take two lines, and the rest of the second
  // line is not read.
  std::vector<float> v(10, -1.0f);
  std::vector<textio::Target> targets;
  for (float& x : v) targets.emplace_back(&x);
  con.io.readFormatted(5, "(8F10.3)", targets);
  for (std::size_t i = 0; i < v.size(); ++i) EXPECT_EQ(v[i], float(i + 1)) << i;
  std::string s(4, ' ');
  con.io.readFormatted(5, "(a4)", {&s});
  EXPECT_EQ(s, "next");

  // Reversion restarts at the last top-level group, one value per line here.
  Console grouped(" 1  2  3\n  4\n  5\n");
  int w[4] = {};
  grouped.io.readFormatted(5, "(i2,(i3))", {&w[0], &w[1], &w[2], &w[3]});
  EXPECT_EQ(std::tie(w[1], w[2], w[3]), std::make_tuple(2, 4, 5));
}

TEST(FixedRead, EndOfFileBranchKeepsWhatWasRead) {
  Console con("  1  2\n");
  int v[3] = {9, 9, 9};
  EXPECT_FALSE(con.io.readFormatted(5, "(2i3)", {&v[0], &v[1], &v[2]}, true));
  EXPECT_EQ(std::tie(v[1], v[2]), std::make_tuple(2, 9));
}

TEST(FixedRead, FormatErrors) {
  // The last one reverts to a group without data: it would take lines for ever.
  for (const char* f : {"a80", "(a80", "(q5)", "(i0)", "(0i3)", "(99999999i3)",
                        "(1000(1000i1))", "(i2,(x))"}) {
    SCOPED_TRACE(f);
    Console con(" 1 2\n 3\n");
    int a = 0, b = 0;
    const IoError e = ioErrorOf([&] { con.io.readFormatted(5, f, {&a, &b}); });
    EXPECT_EQ(e.context, "fmt");
    EXPECT_EQ(e.errorNumber, textio::kErrFormat);
    EXPECT_EQ(e.format, f);
  }
}

}  // namespace
