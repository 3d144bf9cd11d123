// A parameter file's values as texts, and the file rewritten with some of
// them changed. Both read the file with the reader's own statements, each
// value into a text target, so that separators, repeat counts, slashes,
// null values and continuation lines are taken exactly as the reader takes
// them.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "paramfile/paramfile.hpp"

namespace paramfile {
namespace {

constexpr int kUnit = 1;

// A file's physical lines, each logical line's span over them, and each
// value's text as written ("" for a value the file leaves unset).
struct Scan {
  std::vector<std::string> physical;  // without the '\n' (a '\r' before it stays)
  int first[kLines] = {}, end[kLines] = {};
  std::vector<std::string> texts;  // one per layout entry
};

std::string trimmed(const std::string& s) { return s.substr(0, s.find_last_not_of(' ') + 1); }

std::vector<std::string> physicalLines(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  std::vector<std::string> lines;
  std::istringstream text(s.str());
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

Scan scan(const std::filesystem::path& file) {
  {
    // The values as numbers first: a file the reader refuses is refused here.
    textio::Channels io;
    io.open(kUnit, file.string());
    Reading().read(io, kUnit);
  }
  Scan s;
  s.physical = physicalLines(file);
  std::size_t longest = 1;
  for (const std::string& line : s.physical) longest = std::max(longest, line.size());

  textio::Channels io;
  io.open(kUnit, file.string());
  const std::span<const Entry> entries = layout();
  std::size_t k = 0;
  for (int line = 1; line <= kLines; ++line) {
    const std::size_t from = k;
    while (k < entries.size() && entries[k].line == line) ++k;
    const Entry& e = entries[from];
    // A value is never longer than the line it stands on; blanks left
    // behind mark a value the line did not give.
    std::vector<std::string> texts(k - from, std::string(e.type == Type::Text ? e.width : longest, ' '));
    std::vector<textio::Target> targets;
    for (std::string& t : texts) targets.push_back(&t);
    s.first[line - 1] = io.linesRead(kUnit);
    if (e.type == Type::Text) {
      io.readFormatted(kUnit, "(a" + std::to_string(e.width) + ")", targets);
    } else {
      io.readList(kUnit, targets);
    }
    s.end[line - 1] = io.linesRead(kUnit);
    for (std::string& t : texts) s.texts.push_back(e.type == Type::Text ? t : trimmed(t));
  }
  return s;
}

// The text a changed value is written as; std::logic_error for a change
// the reader could not take back.
std::string changedText(const Entry& e, const std::variant<double, std::string>& change) {
  model::Params scratch;
  if (const double* v = std::get_if<double>(&change)) {
    set(scratch, e.name, *v);  // refuses a text line and a non-integer count
    if (!std::isfinite(textio::nearestFloat(*v)))
      throw std::logic_error("paramfile: " + std::string(e.name) + " cannot be written as " + std::to_string(*v));
    return valueText(e.type, *v);
  }
  const std::string& text = std::get<std::string>(change);
  set(scratch, e.name, text);  // refuses a number's line and a text longer than its columns
  return text;
}

}  // namespace

std::map<std::string, std::string, std::less<>> valueTexts(const std::filesystem::path& file) {
  const Scan s = scan(file);
  std::map<std::string, std::string, std::less<>> texts;
  const std::span<const Entry> entries = layout();
  for (std::size_t k = 0; k < entries.size(); ++k)
    texts[std::string(entries[k].name)] = s.texts[k].empty() ? "0" : s.texts[k];
  return texts;
}

std::string compose(const Changes& values) {
  for (const auto& [name, value] : values) entry(name);  // refuses an unknown name
  std::string out;
  const std::span<const Entry> entries = layout();
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const Entry& e = entries[k];
    const auto it = values.find(e.name);
    if (it == values.end()) throw std::logic_error("paramfile: no value for " + std::string(e.name));
    const std::string text = changedText(e, it->second);
    const bool first = k == 0 || entries[k - 1].line != e.line;
    out += (first ? "" : " ") + (e.type == Type::Text ? trimmed(text) : text);
    if (k + 1 == entries.size() || entries[k + 1].line != e.line) out += '\n';
  }
  return out;
}

std::string rewrite(const std::filesystem::path& file, const Changes& changes) {
  std::map<std::string_view, std::string> written;
  for (const auto& [name, change] : changes) {
    const Entry& e = entry(name);
    written[e.name] = changedText(e, change);
  }
  const Scan s = scan(file);
  const std::span<const Entry> entries = layout();
  std::string out;
  std::size_t k = 0;
  for (int line = 1; line <= kLines; ++line) {
    const std::size_t from = k;
    bool changed = false;
    for (; k < entries.size() && entries[k].line == line; ++k) changed = changed || written.count(entries[k].name);
    if (!changed) {
      for (int at = s.first[line - 1]; at < s.end[line - 1]; ++at) out += s.physical[static_cast<std::size_t>(at)] + '\n';
      continue;
    }
    std::string text;
    for (std::size_t j = from; j < k; ++j) {
      const auto it = written.find(entries[j].name);
      const std::string value = it != written.end() ? it->second : s.texts[j].empty() ? "0" : s.texts[j];
      text += (j == from ? "" : " ") + (entries[j].type == Type::Text ? trimmed(value) : value);
    }
    out += text + '\n';
  }
  for (std::size_t at = static_cast<std::size_t>(s.end[kLines - 1]); at < s.physical.size(); ++at)
    out += s.physical[at] + '\n';
  return out;
}

}  // namespace paramfile
