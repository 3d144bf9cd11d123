#include "mutation_support.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <sstream>

#include "run/driver.hpp"

namespace robustness {
namespace {

namespace fs = std::filesystem;

std::string fixedWidth(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

std::string right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The sixteen header lines of a KIBTRACE record.
std::string header(int npts, const std::string& sfmt, const std::string& scale,
                   const std::string& dfmt, int nskip) {
  std::string h;
  h += "KIBTRACE FORMAT\n";
  h += "EW \n";
  h += "2000/01/01 00:00\n";
  h += "EXS  MUTATION SITE\n";
  h += right("100", 10) + "\n";
  h += right(std::to_string(npts), 10) + "\n";
  h += fixedWidth("ROBUSTNESS RECORD", 24) + "\n";
  h += fixedWidth("XX.EXS HNE 090deg", 24) + "\n";
  h += "    29.995\n";
  h += fixedWidth(sfmt, 10) + "gal  \n";
  h += scale + "\n";
  h += fixedWidth(dfmt, 10) + "\n";
  h += "XX        EXS       HNE       \n";
  h += fixedWidth("robustness", 20) + "\n";
  h += "dt=0.01000 \n";
  h += right(std::to_string(nskip), 10) + "\n";
  for (int i = 1; i <= nskip; ++i) h += "free text line " + std::to_string(i) + "\n";
  return h;
}

// A decaying two-tone wave, the same on every machine after rounding.
double wave(int i, double f1, double f2) {
  const double t = i * 0.01;
  return std::exp(-t) * (std::sin(6.283185307179586 * f1 * t) + 0.5 * std::cos(6.283185307179586 * f2 * t));
}

std::string targetRecord() {
  constexpr int n = 400;
  std::string r = header(n, "F10.6", "  0.001000", "10I8", 1);
  for (int i = 0; i < n; ++i) {
    const long v = std::lround(20000.0 * wave(i, 2.0, 5.0));
    r += right(std::to_string(v), 8);
    if (i % 10 == 9 || i == n - 1) r += '\n';
  }
  return r;
}

std::string elementRecord() {
  constexpr int n = 300;
  std::string r = header(n, "*", "1.0", "8F10.4", 2);
  char buf[32];
  for (int i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%10.4f", 3.0 * wave(i, 4.0, 7.0));
    r += buf;
    if (i % 8 == 7 || i == n - 1) r += '\n';
  }
  return r;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void spill(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

bool containsNoCase(const std::string& line, const char* word) {
  const std::size_t n = std::char_traits<char>::length(word);
  for (std::size_t i = 0; i + n <= line.size(); ++i) {
    bool same = true;
    for (std::size_t k = 0; k < n && same; ++k) {
      same = std::tolower(static_cast<unsigned char>(line[i + k])) == word[k];
    }
    if (same) return true;
  }
  return false;
}

}  // namespace

Inputs baseInputs() {
  Inputs in;
  in.answers =
      "params.txt\nobserved.dat\nrobustness target\nsynthetic.dat\nrobustness synthetic\n";
  in.params =
      "21 22\n"
      "1 4.0\n"
      "1\n"
      "0.5 10.0 15.0 0.5 5.0\n"
      "1.0 0.0 0.0 0.0 0.0 0.0 0.0\n"
      "30.0 45.0 90.0 10.0\n"
      "1\n"
      "30.0 45.0 90.0 10.0\n"
      "1.5 1.5 0.05 0.0 0.0 0.0\n"
      "2 2 2 0 1 1 0 1.0\n"
      "3.5 2.8 2 1\n"
      "target.kib\n"
      "element.kib\n"
      "20.0 60.0 20.0 60.0 90.0 3\n"
      "50 350 50 250\n"
      "MUTANT\n"
      "EXS EW\n"
      "50 350 20\n";
  in.target = targetRecord();
  in.element = elementRecord();
  return in;
}

Outcome runHere(const std::string& answers) {
  Outcome o;
  std::istringstream in(answers);
  std::ostringstream out, err;
  try {
    o.status = run::runProgram(in, out, err);
  } catch (const std::exception& e) {
    o.unexpected = e.what();
  } catch (...) {
    o.unexpected = "an exception of unknown type";
  }
  o.out = out.str();
  o.err = err.str();
  for (const auto& entry : fs::directory_iterator(fs::current_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("fort.", 0) == 0 && entry.is_regular_file())
      o.files.emplace_back(name, slurp(entry.path()));
  }
  return o;
}

Outcome runIn(const fs::path& dir, const Inputs& in) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  spill(dir / "params.txt", in.params);
  spill(dir / "target.kib", in.target);
  spill(dir / "element.kib", in.element);
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  Outcome o = runHere(in.answers);
  fs::current_path(old);
  fs::remove_all(dir);
  return o;
}

std::string verdict(const Outcome& o) {
  if (!o.unexpected.empty()) return "unexpected exception: " + o.unexpected;
  for (const auto& [name, text] : o.files) {
    // A figure is written beside its final name and renamed only when
    // complete; a leftover temporary means a half-written file.
    if (name.find(".tmp") != std::string::npos) return "temporary figure file left: " + name;
    if (o.status != 0) return "figure file " + name + " left behind by a run that failed";
    // Coordinates, numbers and labels alike: the texts of the base inputs
    // (titles, station, unit) hold neither word.
    for (const std::string& line : splitLines(text)) {
      if (containsNoCase(line, "nan") || containsNoCase(line, "inf"))
        return "figure file " + name + " holds the line \"" + line + "\"";
    }
    if (text.size() < 10 || text.compare(text.size() - 10, 10, " showpage\n") != 0)
      return "figure file " + name + " does not end with a complete page";
  }
  switch (o.status) {
    case 0:
      return "";
    case 1: {
      // The fatal report: "context: message", "apparent state: ...",
      // optionally "last format: ...", and "lately ... IO".
      const std::vector<std::string> lines = splitLines(o.err);
      if (lines.size() < 3 || lines[0].find(": ") == std::string::npos ||
          lines[1].rfind("apparent state: ", 0) != 0 || lines.back().rfind("lately ", 0) != 0)
        return "status 1 without the fatal report: \"" + o.err + "\"";
      return "";
    }
    case 2: {
      const std::size_t nl = o.err.find('\n');
      if (o.err.rfind("egfsim: ", 0) != 0 || nl == std::string::npos || nl + 1 != o.err.size() ||
          nl < 12)
        return "status 2 without one clear line: \"" + o.err + "\"";
      return "";
    }
    default:
      return "exit status " + std::to_string(o.status);
  }
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

}  // namespace robustness
