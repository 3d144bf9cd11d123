// The fatal report, the stop message and the order of console and error
// output.
#include <cerrno>
#include <cstring>

#include "textio_fixture.hpp"

namespace {

using textio::IoError;
using textio_test::Console;
using textio_test::ioErrorOf;
using textio_test::WorkFolder;
using textio_test::writeFile;

std::string firstLine(const std::string& s) { return s.substr(0, s.find('\n')); }

TEST(Report, MessageByNumber) {
  struct Row {
    int number;
    const char* line;
  };
  const Row rows[] = {
      {textio::kEndOfFile, "ctx: end of file"},
      {100, "ctx: error in format"},
      {101, "ctx: illegal unit number"},
      {110, "ctx: off end of record"},
      {115, "ctx: read unexpected character"},
      {127, "ctx: can't write file"},
      {128, "ctx: 'new' file exists"},
      {132, "ctx: Temporary file name (TMPDIR?) too long"},
      {133, "ctx: illegal error number 133"},
      {-2, "ctx: illegal error number -2"},
      {ENOENT, "ctx: No such file or directory"},  // the system's own text
      {EACCES, "ctx: Permission denied"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(firstLine(IoError("ctx", r.number).report()), r.line);
  }
}

TEST(Report, OpenOfAMissingFile) {
  WorkFolder folder;
  Console con;
  const IoError e = ioErrorOf([&] { con.io.open(80, "missing.prm   "); });
  EXPECT_EQ(e.errorNumber, ENOENT);
  EXPECT_EQ(e.report(),
            "open: No such file or directory\n"
            "apparent state: unit 80 named missing.prm\n"
            "lately reading sequential formatted external IO\n");
  // A mistyped name leaves no empty file behind.
  EXPECT_TRUE(folder.entries().empty());
}

TEST(Report, ParameterFileErrors) {
  WorkFolder folder;
  writeFile("run.prm", "21 22\n2.0\n");
  Console con;
  con.io.open(80, "run.prm");
  int a = 0, b = 0, c = 0;
  con.io.readList(80, {&a, &b});
  EXPECT_EQ(ioErrorOf([&] { con.io.readList(80, {&c}); }).report(),
            "invalid integer: read unexpected character\n"
            "apparent state: unit 80 named run.prm\n"
            "last format: list io\n"
            "lately reading sequential formatted external IO\n");
  EXPECT_EQ(ioErrorOf([&] { con.io.readList(80, {&c}); }).report(),
            "list in: end of file\n"
            "apparent state: unit 80 named run.prm\n"
            "last format: list io\n"
            "lately reading sequential formatted external IO\n");
}

TEST(Report, FixedReadAtTheEndOfTheConsole) {
  Console con("");
  std::string answer(80, ' ');
  EXPECT_EQ(ioErrorOf([&] { con.io.readFormatted(5, "(a80)", {&answer}); }).report(),
            "fmt: end of file\n"
            "apparent state: unit 5 (unnamed)\n"
            "last format: (a80)\n"
            "lately reading sequential formatted external IO\n");
}

TEST(Report, RecordDescriptorShowsAsGiven) {
  Console con("   12x\n");
  int v = 0;
  const IoError e = ioErrorOf([&] { con.io.readFormatted(5, "(10I8)", {&v}); });
  EXPECT_EQ(firstLine(e.report()), "fmt: read unexpected character");
  EXPECT_NE(e.report().find("\nlast format: (10I8)\n"), std::string::npos);
}

TEST(Stop, MessageOnTheErrorStream) {
  Console con;
  con.io.reportStop("ORIGIN error: zero scale");
  EXPECT_EQ(con.err.str(), "STOP ORIGIN error: zero scale statement executed\n");
  EXPECT_EQ(con.out.str(), "");
}

// A stream buffer that holds what is written until it is flushed, then
// appends it to a log shared by several streams: the log shows the order in
// which the streams were flushed.
class FlushLog : public std::stringbuf {
 public:
  FlushLog(std::string& log, std::string tag) : log_(log), tag_(std::move(tag)) {}
  int sync() override {
    if (!str().empty()) log_ += tag_ + str();
    str("");
    return 0;
  }

 private:
  std::string& log_;
  std::string tag_;
};

TEST(Order, ConsoleIsFlushedBeforeTheErrorStream) {
  std::string log;
  FlushLog outBuf(log, "out:"), errBuf(log, "err:");
  std::ostream out(&outBuf), err(&errBuf);
  std::istringstream in;
  textio::Channels io(in, out, err);
  io.writeList(6, {"one"});
  io.writeLine(0, "to the error stream");
  io.writeList(6, {"two"});
  io.reportStop("x");
  io.writeList(6, {"three"});
  io.errorStream() << "report\n";
  err.flush();
  EXPECT_EQ(log,
            "out: one\n"
            "err:to the error stream\n"
            "out: two\n"
            "err:STOP x statement executed\n"
            "out: three\n"
            "err:report\n");
}

TEST(Order, QuestionIsShownBeforeTheAnswerIsRead) {
  std::string log;
  FlushLog outBuf(log, "out:");
  std::ostream out(&outBuf);
  std::ostringstream err;
  std::istringstream in("answer\n");
  textio::Channels io(in, out, err);
  io.writeList(6, {" question"});
  std::string a(6, ' ');
  io.readFormatted(5, "(a6)", {&a});
  EXPECT_EQ(log, "out:  question\n");
}

}  // namespace
