// Fuzz target: one whole run of the program, in a private folder.
//
// Input: the parameter file, the target record and the element record, one
// after the other, separated by lines holding only "~~~~"; a missing part is
// an empty file. The console answers name the parameter file; the parameter
// file names the records (target.kib and element.kib in the seeds). The run
// must end in one of its three ways (endedSoundly), and a figure file must
// be a complete page free of "nan" and "inf". The corpus holds the seeds,
// the findings and the mutations of small_run written by mutations.py.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "run/driver.hpp"

namespace {

namespace fs = std::filesystem;

// The folder the runs take place in: made once per process, made the
// working folder, and removed at exit.
const fs::path& folder() {
  static const egffuzz::ScratchFolder f(true);
  return f.path;
}

bool holdsNanOrInf(const std::string& text) {
  std::string lower(text.size(), ' ');
  for (std::size_t i = 0; i < text.size(); ++i)
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
  return lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos;
}

// Status 0; status 1 with the fatal report ("context: message", "apparent
// state: ...", ..., "lately ... IO", and for a read from a file where it
// stood); or status 2 with one line naming what is wrong.
bool endedSoundly(int status, const std::string& err) {
  std::vector<std::string> lines;
  std::istringstream s(err);
  for (std::string l; std::getline(s, l);) lines.push_back(l);
  switch (status) {
    case 0:
      return true;
    case 1:
      // A failed read from a file adds where it stood: "egfsim: FILE line N:
      // TEXT" or "egfsim: FILE ends after line N".
      if (!lines.empty() && lines.back().starts_with("egfsim: ") &&
          lines.back().find(" line ") != std::string::npos)
        lines.pop_back();
      return lines.size() >= 3 && lines[0].find(": ") != std::string::npos &&
             lines[1].starts_with("apparent state: ") && lines.back().starts_with("lately ");
    case 2:
      return lines.size() == 1 && err.ends_with('\n') && err.starts_with("egfsim: ") && err.size() > 13;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& dir = folder();
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (const char* name : {"params.txt", "target.kib", "element.kib"}) {
    std::string part;
    while (!rest.empty()) {
      const std::string_view line = egffuzz::takeLine(rest);
      if (line == "~~~~") break;
      part.append(line);
      part += '\n';
    }
    std::ofstream(dir / name, std::ios::binary) << part;
  }
  std::istringstream in("params.txt\nobserved.dat\nfuzz\nsynthetic.dat\nfuzz\n");
  std::ostringstream out, err;
  const int status = run::runProgram(in, out, err);
  if (!endedSoundly(status, err.str())) std::abort();
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("fort.", 0) != 0) continue;
    if (status != 0 || name.find(".tmp") != std::string::npos) std::abort();  // half-written figure
    std::ifstream f(entry.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (holdsNanOrInf(text) || !text.ends_with(" showpage\n")) std::abort();  // a complete page
  }
  return 0;
}
