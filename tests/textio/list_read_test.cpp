// Free-format reading: separators, nulls, repeat counts, number syntax and
// its rejections, strings, line ends and the end of the file.
#include <cmath>
#include <limits>

#include "textio_fixture.hpp"

namespace {

using textio::IoError;
using textio_test::Console;
using textio_test::ioErrorOf;

// Three integers preset to 99 read from `input` in one statement.
struct Ints3 {
  int a = 99, b = 99, c = 99;
};

Ints3 readThree(const std::string& input) {
  Console con(input);
  Ints3 v;
  try {
    con.io.readList(5, {&v.a, &v.b, &v.c});
  } catch (const IoError& e) {
    ADD_FAILURE() << e.report();
  }
  return v;
}

TEST(ListRead, LeftoverValuesOfALineAreDiscarded) {
  Console con("1 2 3 4\n5\n");
  int a = 0, b = 0, c = 0, d = 0;
  con.io.readList(5, {&a, &b, &c});
  con.io.readList(5, {&d});
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  EXPECT_EQ(d, 5);  // not the 4 left on the first line
}

TEST(ListRead, SeparatorsNullsAndSlash) {
  struct Row {
    const char* input;
    int a, b, c;
  };
  const Row rows[] = {
      {"1 2 3", 1, 2, 3},
      {"1,2,3", 1, 2, 3},
      {"1\t2\t\t3", 1, 2, 3},
      {"1 , 2 ,3", 1, 2, 3},     // blanks before a comma belong to it
      {"1\n,2\n3", 1, 2, 3},     // so do line ends
      {"1\n2\n\n3", 1, 2, 3},    // a statement continues over lines
      {"1,,3", 1, 99, 3},        // a comma where a value is expected: null
      {"1, ,3", 1, 99, 3},
      {",2,3", 99, 2, 3},        // a comma before the first value
      {"1,,,", 1, 99, 99},
      {"1/", 1, 99, 99},         // a slash ends the statement
      {"1 2/ 3", 1, 2, 99},
      {"1\n/\n3", 1, 99, 99},
      {"/", 99, 99, 99},
      {"2*7/", 7, 7, 99},
      {"2*7 8", 7, 7, 8},
      {"3*7 8", 7, 7, 7},
      {"+2*7 8", 7, 7, 8},       // a repeat count may carry a plus sign
      {"2* 5", 99, 99, 5},       // "r*" alone: r nulls
      {"2*,5", 99, 99, 5},
      {"1 2*", 1, 99, 99},
      {"5*1", 1, 1, 1},          // more repeats than variables
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.input);
    const Ints3 v = readThree(r.input);
    EXPECT_EQ(v.a, r.a);
    EXPECT_EQ(v.b, r.b);
    EXPECT_EQ(v.c, r.c);
  }
}

TEST(ListRead, RepeatedValueFillsMixedTypes) {
  Console con("2*7\n");
  int i = 0;
  float f = 0;
  con.io.readList(5, {&i, &f});
  EXPECT_EQ(i, 7);
  EXPECT_EQ(f, 7.0f);
}

TEST(ListRead, IntegerRange) {
  Console con("2147483647 -2147483648 +12\n");
  int a = 0, b = 0, c = 0;
  con.io.readList(5, {&a, &b, &c});
  EXPECT_EQ(a, std::numeric_limits<int>::max());
  EXPECT_EQ(b, std::numeric_limits<int>::min());
  EXPECT_EQ(c, 12);
}

TEST(ListRead, Reals) {
  struct Row {
    const char* input;
    float expected;
  };
  // Expected values are the nearest floats to the decimal values, written as
  // float literals by the compiler.
  const Row rows[] = {
      {"5", 5.0f},          {"-5", -5.0f},       {"2.", 2.0f},       {".5", 0.5f},
      {"0.1", 0.1f},        {"1.5-3", 1.5e-3f},  {"1.5+3", 1.5e3f},  {"1d2", 100.0f},
      {"1D2", 100.0f},      {"1e2", 100.0f},     {"2.5E-1", 0.25f},  {"-1.5e+2", -150.0f},
      {"57.373", 57.373f},  {"1e-50", 0.0f},     {"0.017453292", 0.017453292f},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.input);
    Console con(r.input);
    float x = -1;
    con.io.readList(5, {&x});
    EXPECT_EQ(x, r.expected);
  }
}

TEST(ListRead, RealsBeyondSinglePrecisionBecomeInfinite) {
  Console con("1e39 -1e39 1e99999999\n");
  float a = 0, b = 0, c = 0;
  con.io.readList(5, {&a, &b, &c});
  EXPECT_TRUE(std::isinf(a) && a > 0);
  EXPECT_TRUE(std::isinf(b) && b < 0);
  EXPECT_TRUE(std::isinf(c) && c > 0);
}

TEST(ListRead, RejectedValues) {
  struct Row {
    const char* input;
    bool intTarget;
    const char* context;
  };
  const Row rows[] = {
      {"10.", true, "invalid integer"},
      {"2.0", true, "invalid integer"},
      {"1e5", true, "invalid integer"},
      {"1d5", true, "invalid integer"},
      {"1-3", true, "invalid integer"},
      {".5", true, "invalid integer"},
      {"2147483648", true, "invalid integer"},
      {"-2147483649", true, "invalid integer"},
      {"99999999999999999999", true, "invalid integer"},
      {"abc", true, "invalid number"},
      {"12x", true, "invalid number"},
      {"-", true, "invalid number"},
      {"'7'", true, "invalid number"},
      {"1.5x", false, "invalid number"},
      {"abc", false, "invalid number"},
      {".", false, "invalid number"},
      {"1..5", false, "invalid number"},
      {"1.5e", false, "exponent field"},
      {"1.5e+", false, "exponent field"},
      {"1.5-", false, "exponent field"},
      {"1.5ex", false, "exponent field"},
      {"1e999999999", false, "exponent field"},  // beyond 99999999
      {"0*7", true, "bad repetition count"},
      {"-2*7", true, "bad repetition count"},
      {"-2*7", false, "bad repetition count"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.input);
    Console con(r.input);
    int i = 0;
    float f = 0;
    const IoError e = ioErrorOf([&] {
      if (r.intTarget) {
        con.io.readList(5, {&i});
      } else {
        con.io.readList(5, {&f});
      }
    });
    EXPECT_EQ(e.context, r.context);
    EXPECT_EQ(e.errorNumber, textio::kErrUnexpectedChar);
    EXPECT_EQ(e.format, "list io");
    EXPECT_EQ(e.unit, 5);
  }
}

TEST(ListRead, Strings) {
  struct Row {
    const char* input;
    const char* first;   // into a text of length 6
    const char* second;  // into a text of length 3
  };
  const Row rows[] = {
      {"'it''s' ab", "it's  ", "ab "},
      {"\"a \"\"b\"\" c\" x", "a \"b\" ", "x  "},
      {"'a,b/c' 'long text'", "a,b/c ", "lon"},
      {"'abc\ndef' g", "abcdef", "g  "},  // a line end inside quotes is skipped
      {"hello,world", "hello ", "wor"},
      {"hello world", "hello ", "wor"},
      {"toolongword x", "toolon", "x  "},
      {"'' x", "      ", "x  "},
      {"2*ab", "ab    ", "ab "},
      {"ab/", "ab    ", "old"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.input);
    Console con(r.input);
    std::string a(6, '#'), b = "old";
    con.io.readList(5, {&a, &b});
    EXPECT_EQ(a, r.first);
    EXPECT_EQ(b, r.second);
  }
}

TEST(ListRead, EndOfFile) {
  {  // nothing at all
    Console con("");
    int a = 5;
    EXPECT_FALSE(con.io.readList(5, {&a}, true));
    EXPECT_EQ(a, 5);
    const IoError e = ioErrorOf([&] { con.io.readList(5, {&a}); });
    EXPECT_EQ(e.context, "list in");
    EXPECT_EQ(e.errorNumber, textio::kEndOfFile);
  }
  {  // a statement that runs short keeps what it read
    Console con("1\n\n");
    int a = 0, b = 7;
    EXPECT_FALSE(con.io.readList(5, {&a, &b}, true));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 7);
  }
  {  // a quoted string left open
    Console con("'abc\n");
    std::string s(4, ' ');
    const IoError e = ioErrorOf([&] { con.io.readList(5, {&s}); });
    EXPECT_EQ(e.context, "list in");
    EXPECT_EQ(e.errorNumber, textio::kEndOfFile);
  }
}

TEST(ListRead, CarriageReturnLineEnds) {
  Console con("1 2\r\nabc\r\n'x\r\ny'\r\n");
  int a = 0, b = 0;
  std::string s(4, ' '), t(4, ' ');
  con.io.readList(5, {&a, &b});
  con.io.readList(5, {&s});
  con.io.readList(5, {&t});
  EXPECT_EQ(b, 2);
  EXPECT_EQ(s, "abc ");
  EXPECT_EQ(t, "xy  ");
}

TEST(ListRead, EmptyStatementConsumesOneLine) {
  Console con("1\n2\n");
  int a = 0;
  con.io.readList(5, std::span<const textio::Target>{});
  con.io.readList(5, {&a});
  EXPECT_EQ(a, 2);
}

}  // namespace
