#include "run/command_line.hpp"

#include <array>
#include <istream>
#include <ostream>
#include <sstream>

#include "run/driver.hpp"
#include "textio/stop.hpp"

#ifndef EGF_VERSION
#define EGF_VERSION "unknown"
#endif

namespace run {
namespace {

// One option of the command line; a new option is one more row. An option
// with a value name takes the next argument as its value; a flag stands
// alone on the line.
struct Option {
  std::string_view name;
  std::string_view value;  // the value's name in the usage line; empty for a flag
  std::string_view help;
  void (*apply)(CommandLine&, std::string_view value);
};

constexpr std::array kOptions = {
    Option{"--help", "", "print this text",
           [](CommandLine& c, std::string_view) { c.action = CommandLine::Action::Help; }},
    Option{"--version", "", "print the version",
           [](CommandLine& c, std::string_view) { c.action = CommandLine::Action::Version; }},
    Option{"--series", "DIR", "after the run, the series as SAC files and series.csv in DIR",
           [](CommandLine& c, std::string_view dir) { c.folders.series = std::string(dir); }},
    Option{"--report", "DIR", "after the run, metrics.json, report.pdf and report.svg in DIR",
           [](CommandLine& c, std::string_view dir) { c.folders.report = std::string(dir); }},
};

const Option* findOption(std::string_view name) {
  for (const Option& o : kOptions) {
    if (o.name == name) return &o;
  }
  return nullptr;
}

CommandLine usage(std::string problem) {
  CommandLine c;
  c.action = CommandLine::Action::Usage;
  c.problem = std::move(problem);
  return c;
}

}  // namespace

CommandLine parseCommandLine(std::span<const std::string_view> args) {
  CommandLine c;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.starts_with("-")) {
      const Option* o = findOption(arg);
      if (o == nullptr) return usage("unknown option " + std::string(arg));
      if (c.parameterFile && !o->value.empty())
        return usage(std::string(arg) + " must come before the parameter file");
      if (o->value.empty()) {
        if (args.size() != 1) return usage(std::string(arg) + " stands alone");
        o->apply(c, {});
        continue;
      }
      if (i + 1 == args.size() || args[i + 1].empty())
        return usage(std::string(arg) + " needs " + std::string(o->value));
      o->apply(c, args[++i]);
      continue;
    }
    if (c.parameterFile) return usage("one parameter file at most");
    // A line break would end the first answer early and name another file.
    if (arg.find_first_of("\r\n") != std::string_view::npos)
      return usage("a parameter file name cannot hold a line break");
    c.parameterFile = std::string(arg);
  }
  return c;
}

std::string usageLine() {
  std::string line = "usage: egfsim";
  for (const Option& o : kOptions) {
    if (o.value.empty()) line += " " + std::string(o.name) + " |";
  }
  for (const Option& o : kOptions) {
    if (!o.value.empty()) line += " [" + std::string(o.name) + " " + std::string(o.value) + "]";
  }
  return line + " [PARAMFILE]";
}

std::string helpText() {
  std::string text = usageLine() + R"(

Simulates the ground motion of a large earthquake at one station from the
record of a small one (empirical Green's functions) and compares it with
the observed record.

Without arguments it asks five questions on the console: the parameter file,
then two file names and two comments that are only echoed. With PARAMFILE
it runs without asking, as if PARAMFILE and four blank answers were typed.

The parameter file names the two KIBTRACE records and the figure units; the
run writes the transcript on the console and the PostScript figures to
fort.N (N: the units on the parameter file's first line). Options come
before PARAMFILE; their folders are made when missing and written only
after a normal end of the run.

Options:
)";
  for (const Option& o : kOptions) {
    std::string name(o.name);
    if (!o.value.empty()) name += " " + std::string(o.value);
    name.resize(16, ' ');
    text += "  " + name + std::string(o.help) + "\n";
  }
  text += R"(
Exit status: 0 normal run; 1 fatal input/output error (a four-line report
and the file line it concerns on standard error) or an output folder that
cannot be written (one line naming it); 2 input that cannot give a
meaningful run, or a wrong command line (one line on standard error);
3 an internal error of the program (one line starting "internal error:";
please report it).

Manual: docs/manual.md in the source tree, share/doc/egfsim once installed.
)";
  return text;
}

std::string versionText() { return std::string("egfsim ") + EGF_VERSION; }

std::string dialogueAnswers(std::string_view parameterFile) {
  return std::string(parameterFile) + "\n\n\n\n\n";
}

namespace {

int runParsed(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
              std::ostream& err) {
  const CommandLine c = parseCommandLine(args);
  switch (c.action) {
    case CommandLine::Action::Help:
      out << helpText();
      return textio::kExitNormal;
    case CommandLine::Action::Version:
      out << versionText() << '\n';
      return textio::kExitNormal;
    case CommandLine::Action::Usage:
      err << "egfsim: " << c.problem << "; " << usageLine() << '\n';
      return textio::kExitRejected;
    case CommandLine::Action::Run:
      break;
  }
  if (!c.parameterFile) return runProgram(in, out, err, c.folders);
  std::istringstream answers(dialogueAnswers(*c.parameterFile));
  return runProgram(answers, out, err, c.folders);
}

}  // namespace

int runCommandLine(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
                   std::ostream& err) {
  return textio::guarded("egfsim", out, err, [&] { return runParsed(args, in, out, err); });
}

}  // namespace run
