// The bundled example as egfsim reads it: its parameter file (checked) and
// its two records, read and prepared. Tests that use it link core and
// paramfile.
#pragma once

#include <filesystem>

#include "core/simulation.hpp"
#include "paramfile/paramfile.hpp"
#include "support/console.hpp"

namespace testsupport {

struct BundledExample {
  model::Params params;
  records::RecordSamples target, element;
  core::PreparedRecords prepared;
};

inline BundledExample bundledExample() {
  const std::filesystem::path examples = std::filesystem::path(EGF_TEST_SOURCE_DIR) / "examples";
  StringConsole c;
  BundledExample e;
  c.io.open(paramfile::kUnit, (examples / "params.txt").string());
  e.params = paramfile::readParams(c.io, paramfile::kUnit);
  paramfile::check(e.params, "params.txt");
  records::RecordHeader header;
  e.target = records::readRecordFile(c.io, 10, (examples / "target.kib").string(), header);
  e.element = records::readRecordFile(c.io, 20, (examples / "element.kib").string(), header);
  e.prepared = core::prepareRecords(e.params, e.target, e.element);
  return e;
}

}  // namespace testsupport
