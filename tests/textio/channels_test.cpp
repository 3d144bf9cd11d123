// Channels bound to files: input files opened by name or as "fort.N", and
// figure files that appear under their name only when committed.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "textio_fixture.hpp"

namespace {

using textio::IoError;
using textio_test::Console;
using textio_test::ioErrorOf;
using textio_test::readFile;
using textio_test::WorkFolder;
using textio_test::writeFile;
using Names = std::vector<std::string>;

// Runs `check` in a child process (for a limit or an identity that must bind
// nothing else) and expects it to return true.
void expectInChild(const std::function<bool()>& check) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) ::_exit(check() ? 0 : 1);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_EQ(status, 0);  // exited with status 0
}

TEST(FigureFile, CommittedByCloseAndCloseAll) {
  WorkFolder folder;
  const mode_t mask = ::umask(022);
  Console con;
  con.io.writeLine(7, "first");
  con.io.close(7);
  EXPECT_EQ(readFile("fort.7"), "first\n");
  con.io.writeLine(7, "second");
  con.io.writeFormatted(7, "(2f9.3,a)", {0.0f, 0.0f, " pM"});
  // While the run goes on, the new page is only a temporary file.
  EXPECT_EQ(folder.entries().size(), 2u);
  EXPECT_EQ(readFile("fort.7"), "first\n");
  con.io.closeAll();
  ::umask(mask);
  EXPECT_EQ(folder.entries(), Names{"fort.7"});
  EXPECT_EQ(readFile("fort.7"), "second\n    0.000    0.000 pM\n");
  struct stat st;
  ASSERT_EQ(::stat("fort.7", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);  // the usual permissions, not a temporary's
}

TEST(FigureFile, DiscardedWhenTheRunEndsWithoutCloseAll) {
  WorkFolder folder;
  writeFile("fort.22", "old figure\n");
  {
    Console con;
    con.io.writeLine(21, "half a page");
    con.io.writeLine(22, "half a page");
  }  // as when an exception ends the run: main does not call closeAll
  EXPECT_EQ(folder.entries(), Names{"fort.22"});
  EXPECT_EQ(readFile("fort.22"), "old figure\n");
}

TEST(FigureFile, UnwritableFolderFailsAtFirstUse) {
  WorkFolder folder;
  ASSERT_EQ(::chmod(std::filesystem::current_path().c_str(), 0555), 0);
  // The superuser writes into a read-only folder anyway: check as "nobody".
  expectInChild([] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return false;
    Console con;
    const IoError e = ioErrorOf([&] { con.io.writeLine(21, "x"); });
    return e.context == "open" && e.errorNumber == EACCES && e.unit == 21 && e.fileName == "fort.21" &&
           !e.reading;
  });
  EXPECT_TRUE(folder.entries().empty());
}

TEST(FigureFile, AFolderOfItsNameIsRefusedAtFirstUseAndKept) {
  WorkFolder folder;
  std::filesystem::create_directory("fort.21");
  Console con;
  const IoError e = ioErrorOf([&] { con.io.writeLine(21, "x"); });
  EXPECT_EQ(e.context, "open");
  EXPECT_EQ(e.errorNumber, EISDIR);
  EXPECT_EQ(folder.entries(), Names{"fort.21"});
  EXPECT_TRUE(std::filesystem::is_directory("fort.21"));
}

TEST(FigureFile, WriteFailureIsReportedAndNothingIsLeft) {
  WorkFolder folder;
  // A file size limit stands in for a full disk.
  expectInChild([] {
    ::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead
    struct rlimit limit = {4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
    IoError e("none", 0);
    {
      Console con;
      e = ioErrorOf([&] {
        for (int i = 0; i < 10000; ++i) con.io.writeLine(21, std::string(79, 'x'));
        con.io.closeAll();
      });
    }
    return (e.context == "write" || e.context == "close") && e.errorNumber == EFBIG &&
           e.fileName == "fort.21" && std::filesystem::is_empty(std::filesystem::current_path());
  });
}

TEST(InputFile, LinesOfAFile) {
  WorkFolder folder;
  // CR LF line ends, a blank line and a last line without a newline.
  const std::string text = "KIBTRACE FORMAT\r\n\r\n 1, 2\r\nlast";
  writeFile("rec.txt", text);
  Console con;
  con.io.open(10, "rec.txt     ");  // trailing blanks are not part of the name
  std::string header(15, ' '), blank(5, '#'), last(6, '#');
  int a = 0, b = 0;
  con.io.readFormatted(10, "(a15)", {&header});
  con.io.readFormatted(10, "(a5)", {&blank});
  EXPECT_EQ(con.io.linesRead(10), 2);
  con.io.readList(10, {&a, &b});
  EXPECT_EQ(con.io.linesRead(10), 3);
  con.io.readFormatted(10, "(a6)", {&last});
  EXPECT_EQ(header, "KIBTRACE FORMAT");
  EXPECT_EQ(blank, "     ");
  EXPECT_EQ(b, 2);
  EXPECT_EQ(last, "last  ");
  EXPECT_FALSE(con.io.readFormatted(10, "(a6)", {&last}, true));
  // An input file is never written over.
  EXPECT_EQ(ioErrorOf([&] { con.io.writeLine(10, "x"); }).errorNumber, textio::kErrCantWrite);
  con.io.closeAll();
  EXPECT_EQ(readFile("rec.txt"), text);
}

TEST(Units, WrongUnitsDirectionsAndFortN) {
  WorkFolder folder;
  Console con("1\n");
  int v = 0;
  EXPECT_EQ(ioErrorOf([&] { con.io.open(10, "    "); }).errorNumber, 107);  // null file name
  EXPECT_EQ(ioErrorOf([&] { con.io.open(5, "a.txt"); }).errorNumber, 101);
  EXPECT_EQ(ioErrorOf([&] { con.io.writeLine(5, "x"); }).errorNumber, 101);
  EXPECT_EQ(ioErrorOf([&] { con.io.readList(6, {&v}); }).errorNumber, 101);
  con.io.writeLine(21, "x");
  EXPECT_EQ(ioErrorOf([&] { con.io.readList(21, {&v}); }).errorNumber, 126);
  // A unit never opened by name reads "fort.N", which must exist.
  const IoError e = ioErrorOf([&] { con.io.readList(33, {&v}); });
  EXPECT_EQ(e.errorNumber, ENOENT);
  EXPECT_EQ(e.fileName, "fort.33");
  writeFile("fort.33", "42\n");
  con.io.readList(33, {&v});
  EXPECT_EQ(v, 42);
}

}  // namespace
