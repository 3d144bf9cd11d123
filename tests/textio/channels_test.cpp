// Channels bound to files: input files opened by name or as "fort.N", and
// figure files that appear under their name only when committed.
#include <fcntl.h>
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

TEST(FigureFile, CommittedByCloseAll) {
  WorkFolder folder;
  Console con;
  con.io.writeLine(21, "%!");
  con.io.writeFormatted(21, "(2f9.3,a)", {0.0f, 0.0f, " pM"});
  con.io.writeList(21, {"stroke"});
  // While the run goes on, only a temporary file exists.
  const Names during = folder.entries();
  ASSERT_EQ(during.size(), 1u);
  EXPECT_NE(during[0], "fort.21");
  EXPECT_EQ(during[0].rfind("fort.21", 0), 0u);
  con.io.closeAll();
  EXPECT_EQ(folder.entries(), Names{"fort.21"});
  EXPECT_EQ(readFile("fort.21"), "%!\n    0.000    0.000 pM\n stroke\n");
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

TEST(FigureFile, CloseCommitsAndALaterWriteReplaces) {
  WorkFolder folder;
  Console con;
  con.io.writeLine(7, "first");
  con.io.close(7);
  EXPECT_EQ(readFile("fort.7"), "first\n");
  con.io.writeLine(7, "second");
  con.io.writeLine(7, "page");
  con.io.closeAll();
  EXPECT_EQ(readFile("fort.7"), "second\npage\n");
  EXPECT_EQ(folder.entries(), Names{"fort.7"});
}

TEST(FigureFile, UsualPermissions) {
  WorkFolder folder;
  const mode_t mask = ::umask(022);
  {
    Console con;
    con.io.writeLine(21, "x");
    con.io.closeAll();
  }
  ::umask(mask);
  struct stat st;
  ASSERT_EQ(::stat("fort.21", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// True when a first write in the (read-only) working folder is refused with
// the open error naming fort.21.
bool unwritableFolderRejected() {
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  try {
    io.writeLine(21, "x");
  } catch (const IoError& e) {
    return e.context == "open" && e.errorNumber == EACCES && e.unit == 21 &&
           e.fileName == "fort.21" && !e.reading;
  }
  return false;
}

TEST(FigureFile, UnwritableFolderFailsAtFirstUse) {
  WorkFolder folder;
  ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);
  if (::geteuid() != 0) {
    EXPECT_TRUE(unwritableFolderRejected());
    return;
  }
  // The superuser writes into a read-only folder anyway: check as the
  // ordinary user "nobody" in a child process.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    ::_exit(unwritableFolderRejected() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(folder.entries().empty());
}

TEST(FigureFile, RemovedWorkingFolderFailsAtFirstUse) {
  WorkFolder folder;
  ASSERT_EQ(::rmdir(folder.path().c_str()), 0);
  Console con;
  const IoError e = ioErrorOf([&] { con.io.writeLine(21, "x"); });
  EXPECT_EQ(e.context, "open");
  EXPECT_EQ(e.errorNumber, ENOENT);
  EXPECT_EQ(e.fileName, "fort.21");
  EXPECT_EQ(e.report(),
            "open: No such file or directory\n"
            "apparent state: unit 21 named fort.21\n"
            "lately writing sequential formatted external IO\n");
}

TEST(FigureFile, FolderOfTheSameNameIsNotReplaced) {
  WorkFolder folder;
  ASSERT_EQ(::mkdir("fort.21", 0755), 0);
  Console con;
  const IoError e = ioErrorOf([&] { con.io.writeLine(21, "x"); });
  EXPECT_EQ(e.context, "open");
  EXPECT_EQ(e.errorNumber, EISDIR);
}

TEST(FigureFile, ManyLines) {
  WorkFolder folder;
  Console con;
  constexpr int kLines = 50000;
  for (int i = 0; i < kLines; ++i) {
    con.io.writeFormatted(21, "(2f9.3,a)", {float(i) * 0.5f, 1.0f, " pL"});
  }
  con.io.closeAll();
  const std::string text = readFile("fort.21");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kLines);
  EXPECT_EQ(text.substr(text.size() - 22), "24999.500    1.000 pL\n");
}

TEST(InputFile, LinesOfAFile) {
  WorkFolder folder;
  // CR LF line ends, a blank line and a last line without a newline.
  writeFile("rec.txt", "KIBTRACE FORMAT\r\n\r\n 1, 2\r\nlast");
  Console con;
  con.io.open(10, "rec.txt");
  std::string header(15, ' '), blank(5, '#'), last(6, '#');
  int a = 0, b = 0;
  con.io.readFormatted(10, "(a15)", {&header});
  con.io.readFormatted(10, "(a5)", {&blank});
  con.io.readList(10, {&a, &b});
  con.io.readFormatted(10, "(a6)", {&last});
  EXPECT_EQ(header, "KIBTRACE FORMAT");
  EXPECT_EQ(blank, "     ");
  EXPECT_EQ(b, 2);
  EXPECT_EQ(last, "last  ");
  EXPECT_FALSE(con.io.readFormatted(10, "(a6)", {&last}, true));
  con.io.close(10);
  EXPECT_EQ(readFile("rec.txt"), "KIBTRACE FORMAT\r\n\r\n 1, 2\r\nlast");  // untouched
}

TEST(InputFile, OpenRules) {
  WorkFolder folder;
  writeFile("a.txt", "1\n");
  writeFile("b.txt", "2\n");
  Console con;
  int v = 0;
  con.io.open(10, "a.txt     ");  // trailing blanks are not part of the name
  con.io.open(10, "b.txt");       // opening again replaces the connection
  con.io.readList(10, {&v});
  EXPECT_EQ(v, 2);
  con.io.close(10);
  con.io.close(10);  // closing a closed channel does nothing

  EXPECT_EQ(ioErrorOf([&] { con.io.open(10, "    "); }).errorNumber, 107);  // null file name
  EXPECT_EQ(ioErrorOf([&] { con.io.open(5, "a.txt"); }).errorNumber, 101);
  ASSERT_EQ(::mkdir("folder", 0755), 0);
  EXPECT_EQ(ioErrorOf([&] { con.io.open(10, "folder"); }).errorNumber, EISDIR);
  ASSERT_EQ(::rmdir("folder"), 0);
  EXPECT_EQ(folder.entries(), (Names{"a.txt", "b.txt"}));
}

TEST(InputFile, UnitNeverOpenedReadsFortN) {
  WorkFolder folder;
  Console con;
  int v = 0;
  const IoError missing = ioErrorOf([&] { con.io.readList(33, {&v}); });
  EXPECT_EQ(missing.context, "open");
  EXPECT_EQ(missing.errorNumber, ENOENT);
  EXPECT_EQ(missing.fileName, "fort.33");
  EXPECT_TRUE(folder.entries().empty());  // not created
  writeFile("fort.33", "42\n");
  con.io.readList(33, {&v});
  EXPECT_EQ(v, 42);
}

TEST(Units, WrongDirections) {
  WorkFolder folder;
  writeFile("in.txt", "1\n");
  Console con("1\n");
  int v = 0;
  EXPECT_EQ(ioErrorOf([&] { con.io.writeLine(5, "x"); }).errorNumber, 101);
  EXPECT_EQ(ioErrorOf([&] { con.io.readList(6, {&v}); }).errorNumber, 101);
  EXPECT_EQ(ioErrorOf([&] { con.io.readList(0, {&v}); }).errorNumber, 101);
  con.io.open(10, "in.txt");
  // An input file is never written over.
  const IoError e = ioErrorOf([&] { con.io.writeLine(10, "x"); });
  EXPECT_EQ(e.errorNumber, textio::kErrCantWrite);
  EXPECT_EQ(e.fileName, "in.txt");
  con.io.writeLine(21, "x");
  EXPECT_EQ(ioErrorOf([&] { con.io.readList(21, {&v}); }).errorNumber, 126);
  con.io.closeAll();
  EXPECT_EQ(readFile("in.txt"), "1\n");
}

}  // namespace

namespace {

// True when writing far beyond the file size limit fails with the write
// error and leaves neither fort.21 nor a temporary file behind.
bool fullDiskReported() {
  bool reported = false;
  {
    std::istringstream in;
    std::ostringstream out, err;
    textio::Channels io(in, out, err);
    try {
      for (int i = 0; i < 10000; ++i) io.writeLine(21, std::string(79, 'x'));
      io.closeAll();
    } catch (const IoError& e) {
      reported = (e.context == "write" || e.context == "close") && e.errorNumber == EFBIG &&
                 e.unit == 21 && e.fileName == "fort.21" && !e.reading;
    }
  }
  return reported && std::filesystem::is_empty(std::filesystem::current_path());
}

TEST(FigureFile, WriteFailureIsReportedAndNothingIsLeft) {
  WorkFolder folder;
  // A file size limit stands in for a full disk: in a child process, so that
  // the limit binds nothing else.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead
    struct rlimit limit = {4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(2);
    ::_exit(fullDiskReported() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Units, ConsoleWriteFailure) {
  std::istringstream in;
  std::ostream out(nullptr);  // every write fails
  std::ostringstream err;
  textio::Channels io(in, out, err);
  const IoError e = ioErrorOf([&] { io.writeList(6, {"x"}); });
  EXPECT_EQ(e.context, "write");
  EXPECT_EQ(e.errorNumber, textio::kErrCantWrite);
  EXPECT_EQ(e.unit, 6);
  EXPECT_EQ(e.format, "list io");
}

}  // namespace
