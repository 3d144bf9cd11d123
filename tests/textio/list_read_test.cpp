// Free-format reading: separators, nulls, repeat counts, number syntax and
// its rejections, strings, line ends and the end of the file.
#include <limits>
#include <tuple>

#include "textio_fixture.hpp"

namespace {

using textio::IoError;
using textio_test::Console;
using textio_test::readError;
using textio_test::readOne;

TEST(ListRead, LinesAndCarriageReturns) {
  Console con("1 2 3 4\r\n5\r\nabc\r\n'x\r\ny'\r\n");
  int a = 0, b = 0, c = 0, d = 0;
  std::string s(4, ' '), t(4, ' ');
  con.io.readList(5, {&a, &b, &c});
  con.io.readList(5, {&d});
  con.io.readList(5, {&s});
  con.io.readList(5, {&t});
  EXPECT_EQ(c, 3);
  EXPECT_EQ(d, 5);  // not the 4 left on the first line
  EXPECT_EQ(s, "abc ");
  EXPECT_EQ(t, "xy  ");
}

TEST(ListRead, SeparatorsNullsAndSlash) {
  // Three integers preset to 99; a null or a slash leaves them unchanged.
  const std::tuple<const char*, int, int, int> rows[] = {
      {"1,2\t\t3", 1, 2, 3},
      {"1 , 2 ,3", 1, 2, 3},    // blanks before a comma belong to it
      {"1\n,2\n\n3", 1, 2, 3},  // so do line ends; a statement continues over lines
      {"1,,3", 1, 99, 3},       // a comma where a value is expected: null
      {",2,3", 99, 2, 3},       // a comma before the first value
      {"1 2/ 3", 1, 2, 99},     // a slash ends the statement
      {"+2*7 8", 7, 7, 8},      // a repeat count may carry a plus sign
      {"2* 5", 99, 99, 5},      // "r*" alone: r nulls
      {"5*1", 1, 1, 1},         // more repeats than variables
      {"2147483647 -2147483648 +12", std::numeric_limits<int>::max(),
       std::numeric_limits<int>::min(), 12},
  };
  for (const auto& [input, a, b, c] : rows) {
    SCOPED_TRACE(input);
    Console con(input);
    int v[3] = {99, 99, 99};
    con.io.readList(5, {&v[0], &v[1], &v[2]});
    EXPECT_EQ(std::tie(v[0], v[1], v[2]), std::tie(a, b, c));
  }
}

TEST(ListRead, Reals) {
  // Expected: the nearest float to the decimal value, as the compiler rounds it.
  const float inf = std::numeric_limits<float>::infinity();
  const std::pair<const char*, float> rows[] = {
      {"2.", 2.0f},        {".5", 0.5f},         {"0.1", 0.1f},      {"1.5-3", 1.5e-3f},
      {"1.5+3", 1.5e3f},   {"1D2", 100.0f},      {"-1.5e+2", -150.0f},
      {"0.017453292", 0.017453292f},             {"1e-50", 0.0f},
      {"1e39", inf},       {"-1e39", -inf},      {"1e99999999", inf},  // overflow: infinite
  };
  for (const auto& [input, expected] : rows) {
    SCOPED_TRACE(input);
    EXPECT_EQ(readOne<float>("", input), expected);
  }
}

TEST(ListRead, RejectedValues) {
  const std::tuple<const char*, bool, const char*> rows[] = {
      {"10.", true, "invalid integer"},
      {"1e5", true, "invalid integer"},
      {"2147483648", true, "invalid integer"},  // never wraps
      {"12x", true, "invalid number"},
      {"1.5x", false, "invalid number"},
      {"1..5", false, "invalid number"},
      {"1.5e", false, "exponent field"},
      {"1e999999999", false, "exponent field"},
      {"0*7", true, "bad repetition count"},
      {"-2*7", false, "bad repetition count"},
  };
  for (const auto& [input, intTarget, context] : rows) {
    SCOPED_TRACE(input);
    const IoError e = intTarget ? readError<int>("", input) : readError<float>("", input);
    EXPECT_EQ(e.context, context);
    EXPECT_EQ(e.errorNumber, textio::kErrUnexpectedChar);
    EXPECT_EQ(e.format, "list io");
  }
}

TEST(ListRead, Strings) {
  // Into a text of length 6, then one of length 3.
  const std::tuple<const char*, const char*, const char*> rows[] = {
      {"'it''s' ab", "it's  ", "ab "},
      {"\"a \"\"b\"\" c\" x", "a \"b\" ", "x  "},
      {"'a,b/c' 'long text'", "a,b/c ", "lon"},
      {"'abc\ndef' g", "abcdef", "g  "},  // a line end inside quotes is skipped
      {"hello,world", "hello ", "wor"},
      {"2*ab", "ab    ", "ab "},
      {"ab/", "ab    ", "old"},
  };
  for (const auto& [input, first, second] : rows) {
    SCOPED_TRACE(input);
    Console con(input);
    std::string a(6, '#'), b = "old";
    con.io.readList(5, {&a, &b});
    EXPECT_EQ(a, first);
    EXPECT_EQ(b, second);
  }
}

TEST(ListRead, EndOfFile) {
  Console con("1\n\n");
  int a = 0, b = 7;
  EXPECT_FALSE(con.io.readList(5, {&a, &b}, true));  // what was read is kept
  EXPECT_EQ(std::tie(a, b), std::make_tuple(1, 7));
  const IoError e = readError<std::string>("", "'abc\n");  // a quoted string left open
  EXPECT_EQ(e.context, "list in");
  EXPECT_EQ(e.errorNumber, textio::kEndOfFile);
}

}  // namespace
