#include "fit/rewrite.hpp"

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fit {
namespace {

// The eighteen lines: the names of a free-format line's values, or none for
// a line read as one text field.
const std::vector<std::vector<std::string>> kLayout = {
    {"iuwav", "iuspc"},
    {"nevnt", "tscl"},
    {"ifilt"},
    {"fl", "fh", "fs", "ap", "as"},
    {"ut", "q1", "q2", "q3", "q4", "q5", "q6"},
    {"str", "dip", "rak", "z"},
    {"ncmpt"},
    {"stra", "dipa", "raka", "za"},
    {"dx", "dw", "tra", "dx0", "dw0", "tr0"},
    {"nx", "nw", "nt", "ntt", "nsx", "nsw", "ns", "cfac"},
    {"vs", "vr", "ird", "ipfm"},
    {},
    {},
    {"rm", "pm", "ra", "pa", "cmp", "imdl"},
    {"ksm", "kem", "ksa", "kea"},
    {},
    {},
    {"IS", "IE", "IW"},
};

// Appends the values of one physical line to `values` as the free-format
// reader takes them: blanks or commas separate, "r*c" repeats c r times,
// "r*" and an empty field between commas leave a value unchanged (0 here),
// a slash ends the read. Returns false after a slash.
bool scan(const std::string& line, std::vector<std::string>& values) {
  std::size_t i = 0;
  bool afterValue = false;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '/') return false;
    if (c == ',') {
      if (!afterValue) values.push_back("0");
      afterValue = false;
      ++i;
      continue;
    }
    std::size_t end = line.find_first_of(" \t\r,/", i);
    if (end == std::string::npos) end = line.size();
    std::string token = line.substr(i, end - i);
    i = end;
    const std::size_t star = token.find('*');
    if (star != std::string::npos && star > 0) {
      const long repeat = std::strtol(token.substr(0, star).c_str(), nullptr, 10);
      const std::string value = star + 1 < token.size() ? token.substr(star + 1) : "0";
      for (long k = 0; k < repeat; ++k) values.push_back(value);
    } else {
      values.push_back(token);
    }
    afterValue = true;
    // A comma right after a value only separates.
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == ',') ++i;
  }
  return true;
}

// One logical line: the physical lines it spans and the values it read.
struct Group {
  std::size_t first = 0, end = 0;
  std::vector<std::string> values;  // one per name of its layout entry; empty for a text line
};

std::vector<Group> groups(const std::vector<std::string>& lines) {
  std::vector<Group> out;
  std::size_t at = 0;
  for (std::size_t logical = 0; logical < kLayout.size(); ++logical) {
    if (at >= lines.size())
      throw std::runtime_error("the parameter file ends before its line " + std::to_string(logical + 1));
    Group g;
    g.first = at;
    const std::vector<std::string>& names = kLayout[logical];
    if (names.empty()) {
      g.end = ++at;
    } else {
      while (at < lines.size() && g.values.size() < names.size()) {
        if (!scan(lines[at++], g.values)) break;
      }
      g.values.resize(names.size(), "0");
      g.end = at;
    }
    out.push_back(g);
  }
  return out;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

std::map<std::string, std::string> parameterTexts(const std::string& text) {
  const std::vector<Group> g = groups(splitLines(text));
  std::map<std::string, std::string> values;
  for (std::size_t logical = 0; logical < kLayout.size(); ++logical)
    for (std::size_t k = 0; k < kLayout[logical].size(); ++k) values[kLayout[logical][k]] = g[logical].values[k];
  return values;
}

std::string rewriteParameterFile(const std::string& text, const std::map<std::string, std::string>& values,
                                 const std::string& target, const std::string& element) {
  const std::vector<std::string> lines = splitLines(text);
  const std::vector<Group> g = groups(lines);
  std::string out;
  for (std::size_t logical = 0; logical < kLayout.size(); ++logical) {
    const std::vector<std::string>& names = kLayout[logical];
    bool changed = logical == 11 || logical == 12;
    for (const std::string& n : names) changed = changed || values.count(n);
    if (!changed) {
      for (std::size_t k = g[logical].first; k < g[logical].end; ++k) out += lines[k] + '\n';
      continue;
    }
    if (names.empty()) {
      out += (logical == 11 ? target : element) + '\n';
      continue;
    }
    std::string line;
    for (std::size_t k = 0; k < names.size(); ++k) {
      const auto it = values.find(names[k]);
      line += (k ? " " : "") + (it != values.end() ? it->second : g[logical].values[k]);
    }
    out += line + '\n';
  }
  for (std::size_t at = g.back().end; at < lines.size(); ++at) out += lines[at] + '\n';
  return out;
}

}  // namespace fit
