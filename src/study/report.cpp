// The setup report: what was computed for each record and from what.
#include <algorithm>

#include "study/merge.hpp"

namespace study {

std::string report(const Study& s, const std::vector<SetupRecord>& records) {
  std::string out = "Parameter files set up from " + s.file.string() + "\n";
  for (const SetupRecord& r : records) {
    out += "\n" + r.name + "\n";
    std::size_t nameWidth = 0, valueWidth = 0;
    for (const Echo& e : r.echo) {
      nameWidth = std::max(nameWidth, e.name.size());
      valueWidth = std::max(valueWidth, e.value.size());
    }
    for (const Echo& e : r.echo)
      out += "  " + e.name + std::string(nameWidth - e.name.size() + 2, ' ') + e.value +
             std::string(valueWidth - e.value.size() + 2, ' ') + e.from + "\n";
    for (const std::string& n : r.notes) out += "  note: " + n + "\n";
  }
  return out;
}

}  // namespace study
