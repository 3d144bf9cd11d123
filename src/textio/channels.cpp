// The channel table: console streams, input files read whole at open, and
// output files bound on first use to "fort.N", written into a temporary file
// beside it and renamed over it only when the channel is closed.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>

#include "model/limits.hpp"
#include "textio/detail.hpp"

namespace textio {
namespace {

constexpr int kErrorUnit = 0;
constexpr int kConsoleInUnit = model::kConsoleIn;
constexpr int kConsoleOutUnit = model::kConsoleOut;

std::string_view trimTrailingBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Splits a whole file into lines. A carriage return right before a newline
// belongs to the line end; a last line without a newline is still a line.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    std::size_t end = nl;
    if (end > start && text[end - 1] == '\r') --end;
    lines.emplace_back(text.substr(start, end - start));
    start = nl + 1;
  }
  return lines;
}

int errnoOr(int fallback) { return errno != 0 ? errno : fallback; }

}  // namespace

struct Channels::Channel : detail::LineSource {
  enum class Kind { ConsoleIn, ConsoleOut, ErrorOut, FileIn, FileOut };

  Channel(Kind kind, int unit, std::string name) : kind(kind), unit(unit), name(std::move(name)) {}
  ~Channel() override { discard(); }

  bool nextLine(std::string_view& line) override {
    if (kind == Kind::ConsoleIn) {
      if (!std::getline(*in, buffer)) return false;
      // A CR that stood right before the newline is part of the line end.
      if (!in->eof() && !buffer.empty() && buffer.back() == '\r') buffer.pop_back();
      line = buffer;
      return true;
    }
    if (next >= lines.size()) return false;
    line = lines[next++];
    return true;
  }

  // Drops an uncommitted output file: the temporary goes, "fort.N" stays as
  // it was.
  void discard() noexcept {
    if (file != nullptr) {
      std::fclose(file);
      file = nullptr;
      ::unlink(tempPath.c_str());
    }
  }

  Kind kind;
  int unit;
  std::string name;
  // ConsoleIn
  std::istream* in = nullptr;
  std::string buffer;
  // FileIn
  std::vector<std::string> lines;
  std::size_t next = 0;
  // FileOut
  std::FILE* file = nullptr;
  std::string tempPath;
};

namespace {

IoError channelError(std::string context, int number, int unit, std::string_view name,
                     bool reading) {
  IoError e(std::move(context), number);
  e.unit = unit;
  e.fileName = std::string(name);
  e.reading = reading;
  return e;
}

}  // namespace

Channels::Channels(std::istream& consoleIn, std::ostream& consoleOut, std::ostream& errorOut)
    : in_(consoleIn), out_(consoleOut), err_(errorOut) {
  using Kind = Channel::Kind;
  channels_[kErrorUnit] = std::make_unique<Channel>(Kind::ErrorOut, kErrorUnit, "");
  auto console = std::make_unique<Channel>(Kind::ConsoleIn, kConsoleInUnit, "");
  console->in = &in_;
  channels_[kConsoleInUnit] = std::move(console);
  channels_[kConsoleOutUnit] = std::make_unique<Channel>(Kind::ConsoleOut, kConsoleOutUnit, "");
}

namespace {

// The streams behind the console units of channels without a console; no
// statement ever reaches them.
std::istream& noInput() {
  static std::istream in(nullptr);
  return in;
}
std::ostream& noOutput() {
  static std::ostream out(nullptr);
  return out;
}

bool isConsoleUnit(int unit) {
  return unit == kErrorUnit || unit == kConsoleInUnit || unit == kConsoleOutUnit;
}

void requireConsole(bool console, int unit) {
  if (!console && isConsoleUnit(unit))
    throw std::logic_error("textio: unit " + std::to_string(unit) + " used by a program without a console");
}

}  // namespace

Channels::Channels() : Channels(noInput(), noOutput(), noOutput()) { console_ = false; }

// Uncommitted output files are discarded by each channel's destructor.
Channels::~Channels() = default;

void Channels::open(int unit, std::string_view name) {
  const std::string_view fileName = trimTrailingBlanks(name);
  if (isConsoleUnit(unit) || unit < 0) {
    throw channelError("open", kErrIllegalUnit, unit, fileName, true);
  }
  if (fileName.empty()) throw channelError("open", kErrNullName, unit, "", true);
  close(unit);  // opening a channel again closes what it was connected to
  std::string path(fileName);
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw channelError("open", errnoOr(kErrCantRead), unit, fileName, true);
  std::string text;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  const int readErrno = errno;
  std::fclose(f);
  if (failed) {
    throw channelError("open", readErrno != 0 ? readErrno : kErrCantRead, unit, fileName, true);
  }
  auto ch = std::make_unique<Channel>(Channel::Kind::FileIn, unit, path);
  ch->lines = splitLines(text);
  channels_[unit] = std::move(ch);
}

void Channels::close(int unit) {
  auto it = channels_.find(unit);
  if (it == channels_.end()) return;
  Channel& ch = *it->second;
  switch (ch.kind) {
    case Channel::Kind::ConsoleOut:
      out_.flush();
      return;
    case Channel::Kind::ConsoleIn:
    case Channel::Kind::ErrorOut:
      return;  // the console streams stay bound for the whole run
    case Channel::Kind::FileIn:
      channels_.erase(it);
      return;
    case Channel::Kind::FileOut:
      break;
  }
  // Commit: everything written reaches the temporary file, which then takes
  // the place of "fort.N" in one rename.
  std::FILE* f = ch.file;
  ch.file = nullptr;
  errno = 0;
  const bool flushed = std::fflush(f) == 0 && std::ferror(f) == 0;
  const int flushErrno = errnoOr(kErrCantWrite);
  errno = 0;
  const bool closed = std::fclose(f) == 0;
  const int closeErrno = errnoOr(kErrCantWrite);
  if (!flushed || !closed) {
    ::unlink(ch.tempPath.c_str());
    IoError e = channelError("close", flushed ? closeErrno : flushErrno, unit, ch.name, false);
    channels_.erase(it);
    throw e;
  }
  errno = 0;
  if (std::rename(ch.tempPath.c_str(), ch.name.c_str()) != 0) {
    const int renameErrno = errnoOr(kErrCantWrite);
    ::unlink(ch.tempPath.c_str());
    IoError e = channelError("close", renameErrno, unit, ch.name, false);
    channels_.erase(it);
    throw e;
  }
  channels_.erase(it);
}

void Channels::closeAll() {
  out_.flush();
  err_.flush();
  // Collect first: close() erases from the table.
  std::vector<int> units;
  for (const auto& [unit, ch] : channels_) {
    if (ch->kind == Channel::Kind::FileIn || ch->kind == Channel::Kind::FileOut) units.push_back(unit);
  }
  for (int unit : units) close(unit);
  out_.flush();
}

Channels::Channel& Channels::channelForRead(int unit) {
  requireConsole(console_, unit);
  auto it = channels_.find(unit);
  if (it != channels_.end()) {
    Channel& ch = *it->second;
    if (ch.kind == Channel::Kind::ConsoleIn) {
      out_.flush();  // a question must be on the screen before its answer is awaited
      return ch;
    }
    if (ch.kind == Channel::Kind::FileIn) return ch;
    if (ch.kind == Channel::Kind::FileOut) {
      throw channelError("startio", kErrCantRead, unit, ch.name, true);
    }
    throw channelError("startio", kErrIllegalUnit, unit, "", true);
  }
  if (unit < 0) throw channelError("startio", kErrIllegalUnit, unit, "", true);
  // Never opened by name: the file "fort.N", which then must exist.
  open(unit, "fort." + std::to_string(unit));
  return *channels_.at(unit);
}

Channels::Channel& Channels::channelForWrite(int unit) {
  requireConsole(console_, unit);
  auto it = channels_.find(unit);
  if (it != channels_.end()) {
    Channel& ch = *it->second;
    switch (ch.kind) {
      case Channel::Kind::ConsoleOut:
      case Channel::Kind::FileOut:
        return ch;
      case Channel::Kind::ErrorOut:
        out_.flush();  // console output precedes anything on the error stream
        return ch;
      case Channel::Kind::ConsoleIn:
        throw channelError("startio", kErrIllegalUnit, unit, "", false);
      case Channel::Kind::FileIn:
        // The program never writes a file it reads; refusing keeps an input
        // file from being overwritten by mistake.
        throw channelError("startio", kErrCantWrite, unit, ch.name, false);
    }
  }
  if (unit < 0) throw channelError("startio", kErrIllegalUnit, unit, "", false);
  const std::string name = "fort." + std::to_string(unit);
  // A read-only "fort.N" or a folder of that name is not replaced.
  struct stat st;
  if (::stat(name.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) throw channelError("open", EISDIR, unit, name, false);
    if (::access(name.c_str(), W_OK) != 0) throw channelError("open", errnoOr(EACCES), unit, name, false);
  }
  std::string temp = name + ".tmpXXXXXX";
  errno = 0;
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw channelError("open", errnoOr(kErrCantWrite), unit, name, false);
  // mkstemp creates the file private to its owner; the figure file gets the
  // usual permissions of a newly created file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  std::FILE* f = ::fdopen(fd, "wb");
  if (f == nullptr) {
    const int e = errnoOr(kErrCantWrite);
    ::close(fd);
    ::unlink(temp.c_str());
    throw channelError("open", e, unit, name, false);
  }
  auto ch = std::make_unique<Channel>(Channel::Kind::FileOut, unit, name);
  ch->file = f;
  ch->tempPath = std::move(temp);
  Channel& ref = *ch;
  channels_[unit] = std::move(ch);
  return ref;
}

int Channels::linesRead(int unit) const {
  const auto it = channels_.find(unit);
  if (it == channels_.end() || it->second->kind != Channel::Kind::FileIn)
    throw std::logic_error("textio: unit " + std::to_string(unit) + " is not a file open for reading");
  return static_cast<int>(it->second->next);
}

void Channels::emit(Channel& ch, std::string_view text) {
  using Kind = Channel::Kind;
  if (ch.kind == Kind::FileOut) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), ch.file) != text.size() || std::ferror(ch.file)) {
      throw IoError("write", errnoOr(kErrCantWrite));
    }
    return;
  }
  std::ostream& os = ch.kind == Kind::ErrorOut ? err_ : out_;
  os.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (ch.kind == Kind::ErrorOut) os.flush();
  if (!os) throw IoError("write", kErrCantWrite);
}

namespace {

// Completes an error raised inside a statement with the channel's state.
void fill(IoError& e, int unit, const std::string& name, std::string_view format, bool reading) {
  e.unit = unit;
  e.fileName = name;
  e.internal = false;
  e.format = std::string(format);
  e.reading = reading;
}

constexpr std::string_view kListFormat = "list io";

// The widest a line is quoted in a read failure's location.
constexpr std::size_t kQuotedColumns = 80;

// Where a failed read from a file stood: the last line it took, or, when it
// failed before taking one (a format that cannot be parsed), the line it was
// about to take. `before` is the count of lines taken before the statement.
std::string readLocation(const std::string& name, const std::vector<std::string>& lines,
                         std::size_t before, std::size_t taken, int errorNumber) {
  const std::size_t line = taken > before ? taken : taken + 1;
  if (errorNumber == kEndOfFile || line > lines.size())
    return name + " ends after line " + std::to_string(lines.size());
  const std::string_view text =
      trimTrailingBlanks(std::string_view(lines[line - 1]).substr(0, kQuotedColumns));
  return name + " line " + std::to_string(line) + ": " + std::string(text);
}

}  // namespace

bool Channels::readList(int unit, std::initializer_list<Target> targets, bool eofBranch) {
  return readList(unit, std::span<const Target>(targets.begin(), targets.size()), eofBranch);
}

bool Channels::readList(int unit, std::span<const Target> targets, bool eofBranch) {
  Channel& ch = channelForRead(unit);
  const std::size_t before = ch.next;
  try {
    return detail::readListStatement(ch, targets, eofBranch);
  } catch (IoError& e) {
    fill(e, ch.unit, ch.name, kListFormat, true);
    if (ch.kind == Channel::Kind::FileIn)
      e.location = readLocation(ch.name, ch.lines, before, ch.next, e.errorNumber);
    throw;
  }
}

bool Channels::readFormatted(int unit, std::string_view format, std::initializer_list<Target> targets,
                             bool eofBranch) {
  return readFormatted(unit, format, std::span<const Target>(targets.begin(), targets.size()),
                       eofBranch);
}

bool Channels::readFormatted(int unit, std::string_view format, std::span<const Target> targets,
                             bool eofBranch) {
  Channel& ch = channelForRead(unit);
  const std::size_t before = ch.next;
  try {
    const detail::Format f = detail::parseFormat(format);
    return detail::readFormattedStatement(ch, f, targets, eofBranch);
  } catch (IoError& e) {
    fill(e, ch.unit, ch.name, format, true);
    if (ch.kind == Channel::Kind::FileIn)
      e.location = readLocation(ch.name, ch.lines, before, ch.next, e.errorNumber);
    throw;
  }
}

void Channels::writeList(int unit, std::initializer_list<Value> values) {
  writeList(unit, std::span<const Value>(values.begin(), values.size()));
}

void Channels::writeList(int unit, std::span<const Value> values) {
  Channel& ch = channelForWrite(unit);
  try {
    emit(ch, detail::listText(values));
  } catch (IoError& e) {
    fill(e, ch.unit, ch.name, kListFormat, false);
    throw;
  }
}

void Channels::writeFormatted(int unit, std::string_view format, std::initializer_list<Value> values) {
  writeFormatted(unit, format, std::span<const Value>(values.begin(), values.size()));
}

void Channels::writeFormatted(int unit, std::string_view format, std::span<const Value> values) {
  Channel& ch = channelForWrite(unit);
  try {
    const detail::Format f = detail::parseFormat(format);
    std::string text;
    for (const std::string& line : detail::formattedLines(f, values)) {
      text += line;
      text += '\n';
    }
    emit(ch, text);
  } catch (IoError& e) {
    fill(e, ch.unit, ch.name, format, false);
    throw;
  }
}

void Channels::writeLine(int unit, std::string_view text) {
  Channel& ch = channelForWrite(unit);
  try {
    std::string line(text);
    line += '\n';
    emit(ch, line);
  } catch (IoError& e) {
    fill(e, ch.unit, ch.name, "", false);
    throw;
  }
}

std::string internalWrite(std::string_view format, int length, std::initializer_list<Value> values) {
  return internalWrite(format, length, std::span<const Value>(values.begin(), values.size()));
}

std::string internalWrite(std::string_view format, int length, std::span<const Value> values) {
  try {
    const detail::Format f = detail::parseFormat(format);
    std::vector<std::string> lines = detail::formattedLines(f, values);
    const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
    // The text is the only line: a second line or a longer one has no room.
    if (lines.size() != 1 || lines[0].size() > n) throw IoError("fmt", kErrOffEnd);
    std::string s = std::move(lines[0]);
    s.append(n - s.size(), ' ');
    return s;
  } catch (IoError& e) {
    e.unit = -1;
    e.internal = true;
    e.fileName.clear();
    e.format = std::string(format);
    e.reading = false;
    throw;
  }
}

}  // namespace textio
