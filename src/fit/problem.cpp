#include "fit/problem.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <streambuf>

#include "records/records.hpp"
#include "paramfile/paramfile.hpp"
#include "core/simulation.hpp"
#include "textio/stop.hpp"

namespace fit {
namespace {

namespace fs = std::filesystem;

std::string place(const Config& c, const RecordEntry& e) {
  return c.file.string() + ":" + std::to_string(e.line) + ":" + std::to_string(e.column) + ": ";
}

constexpr int kTargetUnit = 10, kElementUnit = 20;

std::string trimmed(const std::string& s) { return s.substr(0, s.find_last_not_of(' ') + 1); }

// The parameter set's source lines 6 to 11, value by value, for comparison.
struct SourceLine {
  int line;
  std::string names;
  std::vector<paramfile::Value> values;
};

// A study's files hold each station's own depths below its sensor (z, za):
// those are left out of the comparison.
std::vector<SourceLine> sourceLines(const model::Params& p, bool study) {
  std::vector<SourceLine> lines;
  for (const paramfile::Entry& e : paramfile::layout()) {
    if (e.line < 6 || e.line > 11) continue;
    if (study && (e.name == "z" || e.name == "za")) continue;
    if (lines.empty() || lines.back().line != e.line) lines.push_back({e.line, "", {}});
    lines.back().names += (lines.back().names.empty() ? "" : " ") + std::string(e.name);
    lines.back().values.push_back(e.get(p));
  }
  return lines;
}

// The compared windows must lie in the series they compare: an observed
// window past the target record, or a synthetic window past the samples
// synthesised, would compare zeros.
void requireWindows(const Config& c, const RecordEntry& e, const PreparedRecord& r) {
  const model::Params& p = r.params;
  auto seconds = [&](int n) {
    std::ostringstream s;
    s.setf(std::ios::fixed);
    s.precision(2);
    s << n * static_cast<double>(r.dt);
    return s.str();
  };
  if (p.kem > r.nmain)
    throw ConfigError(place(c, e) + e.params.string() + ": the observed window ksm..kem = " + std::to_string(p.ksm) +
                      ".." + std::to_string(p.kem) + " does not fit in the target record of " +
                      std::to_string(r.nmain) + " samples (" + seconds(r.nmain) + " s)");
  if (p.kea > r.samples)
    throw ConfigError(place(c, e) + e.params.string() + ": the synthetic window ksa..kea = " + std::to_string(p.ksa) +
                      ".." + std::to_string(p.kea) + " does not fit in the " + std::to_string(r.samples) +
                      " samples synthesised (" + seconds(r.samples) + " s; ns, or the target record's length)");
}

// Reads one parameter file and prepares its records: the element, and the
// target unless the record is predicted.
PreparedRecord prepare(const Config& c, const RecordEntry& e, model::Params& asRead) {
  PreparedRecord r;
  r.paramsFile = e.params;
  r.weight = e.weight;
  r.predict = e.predict;
  textio::Channels io;  // the search holds no console
  auto& p = r.params;
  records::PreparedRecord element;
  try {
    io.open(paramfile::kUnit, e.params.string());
    p = paramfile::readParams(io, paramfile::kUnit);
    paramfile::check(p, e.params.string());
    asRead = p;
    const fs::path folder = e.params.parent_path();
    r.targetFile = folder / trimmed(p.fmain);
    r.elementFile = folder / trimmed(p.faft);
    p.fmain = r.targetFile.string();
    p.faft = r.elementFile.string();
    records::RecordHeader header;
    if (e.predict) {
      r.elementSamples = records::readRecordFile(io, kElementUnit, p.faft, header);
      r.elementHeader = header;
      element = records::prepareRecord(r.elementSamples.samples, r.elementSamples.dt, records::elementPreparation(p));
      if (!element.finite) throw records::overflowRefusal(p.faft);
    } else {
      const records::RecordSamples target = records::readRecordFile(io, kTargetUnit, p.fmain, header);
      r.targetHeader = header;
      r.elementSamples = records::readRecordFile(io, kElementUnit, p.faft, header);
      r.elementHeader = header;
      core::PreparedRecords prepared = core::prepareRecords(p, target, r.elementSamples);
      r.target = std::move(prepared.target);
      element = std::move(prepared.element);
    }
  } catch (const textio::IoError& x) {
    const std::string report = x.report();
    throw ConfigError(place(c, e) + "parameter file " + e.params.string() + ": " +
                      report.substr(0, report.find('\n')) +
                      (x.fileName.empty() ? "" : " (reading " + x.fileName + ")"));
  } catch (const textio::InputRejected& x) {
    throw ConfigError(place(c, e) + "parameter file " + e.params.string() + ": " + x.message);
  }
  r.dt = element.dt;
  r.nmain = r.target.count;
  r.naft = element.count;
  // A predicted record without ns takes the length of each model's sum.
  r.samples = e.predict ? p.ns : core::syntheticSamples(p, r.target);
  if (!e.predict) requireWindows(c, e, r);
  const auto elementSeries = element.motion.series();
  for (int q = 0; q < 3; ++q) {
    if (!e.predict) {
      const auto observed = r.target.motion.series();
      r.observed[q].assign(observed[q].begin(), observed[q].end());
    }
    r.element[q].assign(elementSeries[q].begin(), elementSeries[q].end());
  }
  return r;
}

// Every value of every axis must be one that egfsim takes for this record
// and change its synthetic, and so must the parameter sets of the
// configuration's source model.
void checkValues(const Config& c, const PreparedRecord& r) {
  const auto varied = [&](std::string_view name) {
    return std::any_of(c.space.axes.begin(), c.space.axes.end(),
                       [&](const Axis& a) { return name == a.parameter.name; });
  };
  for (const Axis& a : c.space.axes) {
    if (a.field) continue;  // checked as the configuration was read
    if (radiationOnly(a.parameter.name) && r.params.ipfm == model::Radiation::NotCorrected && !varied("ipfm"))
      throw ConfigError(c.file.string() + ":" + std::to_string(a.line) + ":" + std::to_string(a.column) + ": '" +
                        a.parameter.name + "' cannot vary: only the radiation correction reads it, which the ipfm " +
                        "of " + r.paramsFile.string() + " (0 or below) turns off; vary ipfm too, or set it to 1 or 2");
    std::vector<double> values = a.values;
    if (values.size() > 100000) values = {values.front(), values.back()};
    for (double v : values) {
      model::Params q = r.params;
      setParameter(q, a.parameter, v);
      try {
        paramfile::check(q, r.paramsFile.string());
      } catch (const textio::InputRejected& x) {
        throw ConfigError(c.file.string() + ":" + std::to_string(a.line) + ":" + std::to_string(a.column) +
                          ": " + a.parameter.name + " = " + valueText(a.parameter.kind, v) +
                          " is a value egfsim refuses: " + x.message);
      }
    }
  }
  if (!c.source) return;
  for (std::size_t k = 0; k < c.source->smgas.size(); ++k) {
    try {
      paramfile::check(source::areaParams(r.params, *c.source, k), r.paramsFile.string());
    } catch (const textio::InputRejected& x) {
      throw ConfigError(c.file.string() + ": [source] SMGA " + std::to_string(k + 1) +
                        " makes a parameter set egfsim refuses: " + x.message);
    }
  }
}

}  // namespace

int maxShiftSamples(const Problem& problem) {
  const MisfitWeights& m = problem.config.misfit;
  if (m.shift == ShiftMode::None) return 0;
  return static_cast<int>(std::lround(m.maxShift / problem.records.front().dt));
}

std::vector<std::shared_ptr<const engine::Record>> Problem::engineRecords() const {
  std::vector<std::shared_ptr<const engine::Record>> r;
  for (const PreparedRecord& p : records) r.push_back(p.engine);
  return r;
}

engine::Weights Problem::weights() const {
  const MisfitWeights& m = config.misfit;
  return {m.acc, m.vel, m.dis, m.envelope};
}

engine::ModelResult Problem::evaluate(engine::Evaluator& evaluator, const std::vector<double>& values,
                                     int threads) const {
  const std::vector<model::Params> params = modelParams(values);
  if (!config.source) return evaluator.evaluate(params, threads);
  source::Source s = *config.source;
  config.space.applySource(s, values);
  return evaluator.evaluate(params, s, threads);
}

std::vector<model::Params> Problem::modelParams(const std::vector<double>& values) const {
  std::vector<model::Params> p;
  p.reserve(records.size());
  for (const PreparedRecord& r : records) {
    p.push_back(r.params);
    config.space.apply(p.back(), values);
  }
  return p;
}

int envelopeHalfWidth(float dt) { return std::max(1, static_cast<int>(std::lround(0.25 / dt))); }

Problem loadProblem(const Config& config, bool engines) {
  Problem problem{config, {}, {}};
  std::vector<model::Params> asRead;
  std::map<std::string, int> names;
  float firstDt = 0;
  for (const RecordEntry& e : config.records) {
    model::Params read;
    std::vector<PreparedRecord>& list = e.predict ? problem.predictions : problem.records;
    list.push_back(prepare(config, e, read));
    asRead.push_back(read);
    PreparedRecord& r = list.back();
    if (firstDt == 0) firstDt = r.dt;
    // A second record with the same file name gets a suffix in the columns.
    const std::string stem = e.params.stem().string();
    const int seen = ++names[stem];
    r.name = seen == 1 ? stem : stem + "_" + std::to_string(seen);

    // With [source] the SMGAs replace lines 9 and 10: those may differ.
    const bool study = config.study.has_value();
    const auto firstLines = sourceLines(asRead.front(), study), mine = sourceLines(read, study);
    for (std::size_t k = 0; k < firstLines.size(); ++k) {
      if (config.source && (mine[k].line == 9 || mine[k].line == 10)) continue;
      if (firstLines[k].values != mine[k].values) {
        throw ConfigError(place(config, e) + e.params.string() + " line " + std::to_string(mine[k].line) +
                          " (" + mine[k].names + ") differs from " + config.records.front().params.string() +
                          ": all records must share the source lines 6 to 11 (same target and element events)");
      }
    }
    if (r.dt != firstDt) {
      throw ConfigError(place(config, e) + e.params.string() + ": the element record's sample interval " +
                        std::to_string(r.dt) + " s differs from the first record's " +
                        std::to_string(firstDt) + " s; resample the records to one rate");
    }
    checkValues(config, r);
  }
  if (!engines || problem.records.empty()) return problem;
  // The engine's records: windows and shifts as the misfit compares them.
  const int maxShift = maxShiftSamples(problem);
  for (PreparedRecord& r : problem.records) {
    const engine::RecordInput input{r.name,
                                    r.weight,
                                    r.params,
                                    r.dt,
                                    r.samples,
                                    {r.observed[0], r.observed[1], r.observed[2]},
                                    {r.element[0], r.element[1], r.element[2]},
                                    r.naft,
                                    r.params.cfac};
    try {
      r.engine = std::make_shared<const engine::Record>(input, maxShift, envelopeHalfWidth(r.dt),
                                                        config.misfit.spectral);
    } catch (const std::invalid_argument& x) {
      const auto e = std::find_if(config.records.begin(), config.records.end(),
                                  [&](const RecordEntry& c) { return c.params == r.paramsFile; });
      throw ConfigError(place(config, *e) + r.paramsFile.string() + ": " + x.what() +
                        " (the spectral terms of [misfit] need it)");
    }
  }
  return problem;
}

}  // namespace fit
