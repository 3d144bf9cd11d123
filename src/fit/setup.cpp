#include "fit/setup.hpp"

#include <fstream>
#include <map>

#include "fit/files.hpp"
#include "paramfile/paramfile.hpp"
#include "textio/stop.hpp"

namespace fit {
namespace {

namespace fs = std::filesystem;

}  // namespace

std::vector<RecordEntry> setUpStudy(const Config& c, const fs::path& folder, std::ostream& console, bool echo) {
  const study::Study& s = *c.study;
  std::vector<study::SetupRecord> records;
  try {
    records = study::setUp(s, studySource(c), folder, studyLagmin(c));
  } catch (const textio::InputRejected& e) {
    throw ConfigError(c.file.string() + ": " + e.message);
  }
  if (records.empty())
    throw ConfigError(c.file.string() + ": no [[station.record]] has a target record: nothing to set up");
  fs::create_directories(folder);
  std::vector<RecordEntry> entries;
  std::map<std::string, int> seen;
  std::size_t k = 0;
  for (const study::Station& st : s.stations) {
    for (const study::RecordPair& pair : st.records) {
      if (pair.target.empty()) continue;
      const study::SetupRecord& r = records[k++];
      const int n = ++seen[r.name];
      const std::string stem = "params_" + r.name + (n == 1 ? "" : "_" + std::to_string(n));
      const fs::path file = folder / (stem + ".txt");
      writeWhole(file, paramfile::compose(r.values));
      RecordEntry e;
      e.params = file;
      e.weight = pair.weight;
      e.line = pair.line;
      e.column = pair.column;
      entries.push_back(e);
    }
  }
  for (const study::Station& st : s.stations)
    for (const study::RecordPair& pair : st.records)
      if (pair.target.empty())
        console << "egffit: " << pair.where << ": no target record: not set up (a prediction is a [[record]] with "
                << "predict = true)\n";
  const std::string report = study::report(s, records);
  writeWhole(folder / "setup.txt", report);
  if (echo) {
    console << report;
  } else {
    for (const study::SetupRecord& r : records)
      for (const std::string& note : r.notes) console << "egffit: " << r.name << ": " << note << "\n";
  }
  console << "egffit: " << entries.size() << " parameter file" << (entries.size() == 1 ? "" : "s") << " set up in "
          << folder.string() << " (every computed value and its origin: " << (folder / "setup.txt").string()
          << ")\n";
  return entries;
}

void addStudyRecords(Config& c, const fs::path& run, std::ostream& console) {
  if (!c.study) return;
  const std::vector<RecordEntry> set = setUpStudy(c, run / "setup", console, false);
  c.records.insert(c.records.end(), set.begin(), set.end());
}

}  // namespace fit
