// The fatal report and the order of console and error output.
#include <cerrno>
#include <stdexcept>

#include "textio_fixture.hpp"

namespace {

using textio::IoError;
using textio_test::Console;
using textio_test::ioErrorOf;
using textio_test::WorkFolder;

// Holds what is written until it is flushed, then appends it to a log shared
// by several streams: the log shows the order in which they were flushed.
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

TEST(Order, ConsoleIsFlushedBeforeTheErrorStreamAndBeforeReading) {
  std::string log;
  FlushLog outBuf(log, "out:"), errBuf(log, "err:");
  std::ostream out(&outBuf), err(&errBuf);
  std::istringstream in("answer\n");
  textio::Channels io(in, out, err);
  io.writeList(6, {"one"});
  io.writeLine(0, "to the error stream");
  io.writeList(6, {" question"});
  std::string a(6, ' ');
  io.readFormatted(5, "(a6)", {&a});
  EXPECT_EQ(log,
            "out: one\n"
            "err:to the error stream\n"
            "out:  question\n");
}

// The edge of every program: a status passes through; whatever escapes is
// one line (the console written first) and status 3.
TEST(Guarded, AnythingThatEscapesIsOneInternalErrorLine) {
  const std::string tail = ". This is a fault of prog, not of its input: please report it with the command and "
                           "the files that caused it.\n";
  const struct {
    std::function<int()> body;
    int status;
    std::string log;
  } rows[] = {
      {[] { return 2; }, 2, "out:transcript\n"},
      {[]() -> int { throw std::logic_error("span too short\nat line 3"); }, 3,
       "out:transcript\nerr:internal error: span too short at line 3" + tail},
      {[]() -> int { throw 7; }, 3, "out:transcript\nerr:internal error: an exception of unknown type" + tail},
  };
  for (const auto& r : rows) {
    std::string log;
    FlushLog outBuf(log, "out:"), errBuf(log, "err:");
    std::ostream out(&outBuf), err(&errBuf);
    out << "transcript\n";
    EXPECT_EQ(textio::guarded("prog", out, err, r.body), r.status);
    out.flush();
    EXPECT_EQ(log, r.log);
  }
}

}  // namespace
