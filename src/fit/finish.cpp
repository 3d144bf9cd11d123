#include "fit/finish.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "fit/diagnose.hpp"
#include "fit/evaluator.hpp"
#include "fit/exact.hpp"
#include "fit/map.hpp"
#include "fit/source_output.hpp"
#include "fit/table.hpp"
#include "paramfile/paramfile.hpp"
#include "report/report.hpp"
#include "textio/stop.hpp"

namespace fit {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + p.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string readTextIfAny(const fs::path& p) { return fs::exists(p) ? readText(p) : std::string(); }

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

void writeText(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string shellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Where a record file is found from `folder`: the relative path when it
// fits the parameter file's 80 columns, otherwise a copy beside the
// parameter file in best/ (`copyFolder`), named from `fromFolder`.
std::string recordName(const fs::path& record, const fs::path& folder, const fs::path& bestFolder) {
  const fs::path rel = fs::weakly_canonical(record).lexically_relative(fs::weakly_canonical(folder));
  if (!rel.empty() && rel.string().size() <= 80) return rel.string();
  const fs::path copy = bestFolder / record.filename();
  if (!fs::exists(copy)) fs::copy_file(record, copy);
  const fs::path relCopy = fs::weakly_canonical(copy).lexically_relative(fs::weakly_canonical(folder));
  if (relCopy.string().size() > 80)
    throw std::runtime_error("the record file name " + record.filename().string() +
                             " does not fit a parameter file's 80 columns; rename the record");
  return relCopy.string();
}

struct Scan {
  std::uint64_t rows = 0, refused = 0;
  std::optional<TableRow> best;
  std::vector<std::map<std::string, double>> profile;  // per axis: value text -> least misfit
};

struct Columns {
  std::size_t axes, quantities, count;
  std::size_t misfit() const { return 1 + axes; }
  std::size_t cell(std::size_t record, int q, bool correlation) const {
    return 3 + axes + (record * quantities + static_cast<std::size_t>(q)) * 2 + (correlation ? 1 : 0);
  }
};

template <class F>
void forEachRow(const fs::path& csv, const Columns& cols, const std::string& header, F f) {
  std::ifstream in(csv);
  std::string line;
  if (!std::getline(in, line) || line != header)
    throw std::runtime_error(csv.string() + " does not begin with this configuration's header line");
  TableRow row;
  std::uint64_t lineNo = 1;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!parseRow(line, cols.count, row))
      throw std::runtime_error(csv.string() + " line " + std::to_string(lineNo) + " is not a row of this search");
    const std::string& m = row.cells[cols.misfit()];
    if (m != "refused") row.misfit = std::strtod(m.c_str(), nullptr);
    f(row);
  }
}

// The axes of the maps: the configuration's pairs, or the two parameters
// whose least misfit varies most (one when only one varies).
std::vector<std::pair<std::size_t, std::size_t>> mapAxes(const Problem& problem, const Scan& scan) {
  const ModelSpace& space = problem.config.space;
  const std::size_t n = space.axes.size();
  auto index = [&](const std::string& name) {
    std::size_t k = 0;
    while (k < n && space.axes[k].parameter.name != name) ++k;
    return k;
  };
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (const auto& [x, y] : problem.config.map.axes) pairs.emplace_back(index(x), index(y));
  if (!pairs.empty()) return pairs;
  std::vector<std::size_t> order(n);
  std::vector<double> importance(n, 0);
  for (std::size_t k = 0; k < n; ++k) {
    order[k] = k;
    double lo = INFINITY, hi = -INFINITY;
    for (const auto& [text, v] : scan.profile[k]) lo = std::min(lo, v), hi = std::max(hi, v);
    importance[k] = scan.profile[k].size() > 1 ? hi - lo : -1;
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return importance[a] > importance[b]; });
  return {{order[0], n > 1 ? order[1] : n}};
}

// The map over axes xk and yk (yk = the axis count: a single row): over the
// best model's other values (a grid), or the least over them (a global
// method).
MisfitMap buildMap(const Problem& problem, const fs::path& csv, const Columns& cols, const std::string& header,
                   const Scan& scan, std::size_t xk, std::size_t yk) {
  const ModelSpace& space = problem.config.space;
  const std::size_t n = space.axes.size();
  const bool grid = problem.config.search.method == Method::Grid;

  // An axis of the map: its labels and the cell of a row's value.
  struct MapAxis {
    std::string name;
    std::vector<std::string> labels;
    std::function<int(const std::string&)> cell;
  };
  auto makeAxis = [&](std::size_t k) {
    const Axis& a = space.axes[k];
    MapAxis m{a.parameter.name, {}, {}};
    if (!a.continuous) {
      auto index = std::make_shared<std::map<std::string, int>>();
      for (double v : a.values) {
        (*index)[valueText(a.parameter.kind, v)] = static_cast<int>(m.labels.size());
        m.labels.push_back(valueText(a.parameter.kind, v));
      }
      m.cell = [index](const std::string& t) {
        const auto it = index->find(t);
        return it == index->end() ? -1 : it->second;
      };
    } else {
      const int bins = 20;
      for (int b = 0; b < bins; ++b) {
        char s[32];
        std::snprintf(s, sizeof s, "%.4g", a.lo + (b + 0.5) * (a.hi - a.lo) / bins);
        m.labels.push_back(s);
      }
      const double lo = a.lo, hi = a.hi;
      m.cell = [lo, hi](const std::string& t) {
        const double v = std::strtod(t.c_str(), nullptr);
        return std::clamp(static_cast<int>((v - lo) / (hi - lo) * bins), 0, bins - 1);
      };
    }
    return m;
  };
  MapAxis x = makeAxis(xk), y{"", {"-"}, [](const std::string&) { return 0; }};
  if (yk < n) y = makeAxis(yk);

  MisfitMap map;
  map.xName = x.name;
  map.yName = y.name;
  map.xValues = x.labels;
  map.yValues = y.labels;
  map.misfit.assign(x.labels.size() * y.labels.size(), NAN);
  std::string others;
  for (std::size_t k = 0; k < n; ++k)
    if (k != xk && k != yk) others += (others.empty() ? "" : ", ") + std::string(space.axes[k].parameter.name) + " " + scan.best->cells[1 + k];
  map.title = "misfit: " + x.name + (yk < n ? " x " + y.name : "") +
              (others.empty() ? "" : grid ? " (" + others + ")" : " (least over the other parameters)");
  map.note = "best model " + std::to_string(scan.best->model) + ": misfit " + scan.best->cells[cols.misfit()] +
             (others.empty() ? "" : ", " + others);
  map.clip = problem.config.map.clip;
  forEachRow(csv, cols, header, [&](const TableRow& row) {
    if (!row.misfit) return;
    if (grid) {
      for (std::size_t k = 0; k < n; ++k)
        if (k != xk && k != yk && row.cells[1 + k] != scan.best->cells[1 + k]) return;
    }
    const int c = x.cell(row.cells[1 + xk]), r = yk < n ? y.cell(row.cells[1 + yk]) : 0;
    if (c < 0 || r < 0) return;
    double& v = map.misfit[static_cast<std::size_t>(r) * x.labels.size() + static_cast<std::size_t>(c)];
    if (std::isnan(v) || *row.misfit < v) v = *row.misfit;
  });
  map.bestColumn = x.cell(scan.best->cells[1 + xk]);
  map.bestRow = yk < n ? y.cell(scan.best->cells[1 + yk]) : 0;
  return map;
}

// Runs egfsim on `params` in `folder`, answering its dialogue, and keeps
// the transcript, the figures and PDF copies of them. (The comparison
// report beside them is egffit's, with the search's own numbers.)
void runEgfsim(const fs::path& egfsim, const fs::path& folder, const std::string& params, const model::Params& p,
               std::ostream& log) {
  writeText(folder / "answers.txt", params + "\n\n\n\n\n");
  const std::string cmd = "cd " + shellQuoted(folder.string()) + " && " + shellQuoted(egfsim.string()) +
                          " < answers.txt > transcript.txt 2> errors.txt";
  const int status = std::system(cmd.c_str());
  if (status != 0) {
    log << "egffit: egfsim ended with a fault in " << folder.string() << "; see errors.txt there\n";
    return;
  }
  if (fs::file_size(folder / "errors.txt") == 0) fs::remove(folder / "errors.txt");
  if (std::system("gs -v > /dev/null 2>&1") != 0) return;
  for (int unit : {p.iuwav, p.iuspc}) {
    const std::string figure = "fort." + std::to_string(unit);
    if (unit == 0 || !fs::exists(folder / figure)) continue;
    // Turned A4 pages shown upright; no date or document id, so that the
    // same figure gives the same PDF.
    const std::string gs = "cd " + shellQuoted(folder.string()) +
                           " && gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sPAPERSIZE=a4"
                           " -dAutoRotatePages=/None -dOmitInfoDate -dOmitID -dOmitXMP -sOutputFile=" +
                           figure + ".pdf -c '[/Rotate 270 /PAGES pdfmark' -f " + figure + " > /dev/null 2>&1";
    if (std::system(gs.c_str()) != 0) log << "egffit: Ghostscript could not convert " << (folder / figure).string() << "\n";
  }
}

// egffit's comparison report of the best model at record `r` in
// runDir/report, with the search's own numbers beside egfsim's: the run is
// egfsim's run of the parameter file in runDir, made through the same core.
// Returns the run's comparison (none when the stages refused it).
std::optional<synthesis::Comparison> writeReportOf(const fs::path& runDir, const PreparedRecord& r,
                                                   const model::Params& p, const std::optional<source::Source>& s,
                                                   const report::Comparison::SearchFit& fit, std::ostream& log) {
  try {
    const ExactRun run = s ? runExact(r, p, *s) : runFile(r, p);
    writeExact(runDir, r, run, fit);
    return run.simulation.fits;
  } catch (const textio::InputRejected& x) {
    log << "egffit: no comparison report in " << runDir.string() << ": " << x.message << "\n";
    return std::nullopt;
  }
}

}  // namespace

bool finishSearch(const Problem& problem, const fs::path& out, const RunInfo& info, const fs::path& egfsim,
                  std::ostream& log) {
  const ModelSpace& space = problem.config.space;
  const std::string header = tableHeader(problem);
  const Columns cols{space.axes.size(), problem.config.misfit.envelope > 0 ? std::size_t{kQuantities} : 3,
                     headerColumns(header)};
  const fs::path csv = out / "models.csv";

  Scan scan;
  scan.profile.resize(space.axes.size());
  forEachRow(csv, cols, header, [&](const TableRow& row) {
    ++scan.rows;
    if (!row.misfit) {
      ++scan.refused;
      return;
    }
    if (!scan.best || *row.misfit < *scan.best->misfit || (*row.misfit == *scan.best->misfit && row.model < scan.best->model))
      scan.best = row;
    for (std::size_t k = 0; k < space.axes.size(); ++k) {
      auto [it, inserted] = scan.profile[k].emplace(row.cells[1 + k], *row.misfit);
      if (!inserted) it->second = std::min(it->second, *row.misfit);
    }
  });
  if (!scan.best) {
    log << "egffit: no model could be evaluated (" << scan.rows << " refused); see the notes in " << csv.string() << "\n";
    return false;
  }
  const TableRow& best = *scan.best;

  // best/: one parameter file per record, and egfsim's run of each; for a
  // source model of several SMGAs (which no parameter file holds), the
  // exact run of each record; for a predicted record, its prediction.
  const fs::path bestDir = out / "best";
  fs::remove_all(bestDir);
  fs::create_directories(bestDir);
  std::vector<double> bestValues;
  for (std::size_t k = 0; k < space.axes.size(); ++k) bestValues.push_back(std::strtod(best.cells[1 + k].c_str(), nullptr));
  paramfile::Changes values;
  for (std::size_t k = 0; k < space.axes.size(); ++k) {
    const std::string name = space.axes[k].parameter.name;
    if (space.axes[k].field) continue;  // a value of the source model, written below
    const double value = bestValues[k];
    if (name == "N") {
      for (const char* n : {"nx", "nw", "nt"}) values[n] = value;
    } else {
      values[name] = value;
    }
  }
  const std::optional<source::Source> bestSource =
      problem.config.source ? std::optional(modelSource(problem, bestValues)) : std::nullopt;
  // One SMGA has a parameter file; egfsim's run of it is the model's unless
  // its onset moves the synthetic, which no parameter file holds.
  const bool oneArea = !bestSource || bestSource->smgas.size() == 1;
  std::string onsetNote;
  if (bestSource && oneArea)
    for (const PreparedRecord& r : problem.records)
      if (onsetNote.empty()) onsetNote = onsetShiftNote(r, modelParams(problem, r, bestValues), *bestSource);
  const bool parameterFiles = oneArea && onsetNote.empty();
  // The common shift goes into every record's synthetic window (ksa, kea),
  // so that egfsim's run compares at lag 0 the windows the search compared.
  const int shift = shiftSamples(std::strtod(best.cells[cols.misfit() + 1].c_str(), nullptr), problem.records.front().dt);
  std::vector<std::string> windowNotes;
  auto bestParams = [&](const PreparedRecord& r) {
    model::Params p = modelParams(problem, r, bestValues);
    const ShiftedWindow w = shiftedWindow(p, shift);
    p.ksa = w.ksa, p.kea = w.kea;
    if (!w.note.empty()) windowNotes.push_back(r.name + ": " + w.note);
    return p;
  };
  auto searchFit = [&](std::size_t r) {
    report::Comparison::SearchFit f{problem.records[r].engine ? problem.records[r].engine->length() : 0, shift, {}, {}};
    for (std::size_t q = 0; q < 3; ++q) {
      f.residual[q] = std::strtod(best.cells[cols.cell(r, static_cast<int>(q), false)].c_str(), nullptr);
      f.correlation[q] = std::strtod(best.cells[cols.cell(r, static_cast<int>(q), true)].c_str(), nullptr);
    }
    return f;
  };
  const bool haveEgfsim = fs::exists(egfsim);
  if (!haveEgfsim && parameterFiles)
    log << "egffit: no egfsim beside egffit (" << egfsim.string() << "): best/ holds the parameter files only\n";
  // The record names as seen from the folder the file is written into.
  auto rewritten = [&](const PreparedRecord& r, const paramfile::Changes& recordValues, const fs::path& folder) {
    paramfile::Changes changes = recordValues;
    changes["fmain"] = recordName(r.targetFile, folder, bestDir);
    changes["faft"] = recordName(r.elementFile, folder, bestDir);
    return paramfile::rewrite(r.paramsFile, changes);
  };
  std::map<std::string, synthesis::Comparison> exactFits;
  std::vector<model::Params> bestSets;
  for (std::size_t k = 0; k < problem.records.size(); ++k) {
    const PreparedRecord& r = problem.records[k];
    bestSets.push_back(bestParams(r));
    const model::Params& p = bestSets.back();
    if (oneArea) {
      paramfile::Changes recordValues = values;
      recordValues["ksa"] = static_cast<double>(p.ksa), recordValues["kea"] = static_cast<double>(p.kea);
      if (bestSource)
        for (const auto& [name, value] : smgaValues(source::areaParams(p, *bestSource, 0)))
          recordValues[name] = value;
      const std::string file = r.paramsFile.filename().string();
      writeText(bestDir / file, rewritten(r, recordValues, bestDir));
      if (parameterFiles) {
        const fs::path runDir = bestDir / r.name;
        fs::create_directories(runDir);
        writeText(runDir / file, rewritten(r, recordValues, runDir));
        if (haveEgfsim) runEgfsim(egfsim, runDir, file, r.params, log);
        const auto fits = writeReportOf(runDir, r, p, bestSource, searchFit(k), log);
        // Without egfsim's transcript its comparison is the same run's.
        if (!haveEgfsim && fits) exactFits[r.name] = *fits;
        continue;
      }
    }
    const ExactRun run = runExact(r, p, *bestSource);
    writeExact(bestDir / r.name, r, run, searchFit(k));
    exactFits[r.name] = run.simulation.fits;
  }
  for (const PreparedRecord& r : problem.predictions)
    writeExact(bestDir / r.name, r, runExact(r, modelParams(problem, r, bestValues), *bestSource));
  if (bestSource) writeText(bestDir / "source.toml", sourceToml(*bestSource, "The best model of the search (egffit)."));

  // The misfit map.
  std::vector<MisfitMap> maps;
  std::vector<std::string> mapFiles;
  for (const auto& [xk, yk] : mapAxes(problem, scan)) {
    maps.push_back(buildMap(problem, csv, cols, header, scan, xk, yk));
    // The first map keeps the name it always had; others are named by their axes.
    mapFiles.push_back(maps.size() == 1 ? "misfit_map" : "misfit_map_" + maps.back().xName + "_" + maps.back().yName);
    drawMisfitMap(maps.back(), out / mapFiles.back());
  }
  const MisfitMap& map = maps.front();

  // Summary, as text and as JSON.
  const double misfit = *best.misfit;
  nlohmann::ordered_json j;
  j["configuration"] = fs::absolute(problem.config.file).lexically_normal().string();
  j["method"] = methodName(problem.config.search.method);
  j["seed"] = problem.config.search.seed;
  j["models"] = scan.rows;
  j["refused"] = scan.refused;
  j["best"]["model"] = best.model;
  for (std::size_t k = 0; k < space.axes.size(); ++k) {
    const double v = std::strtod(best.cells[1 + k].c_str(), nullptr);
    if (space.axes[k].parameter.kind == Kind::Integer) j["best"]["parameters"][space.axes[k].parameter.name] = static_cast<long long>(v);
    else j["best"]["parameters"][space.axes[k].parameter.name] = v;
  }
  j["best"]["misfit"] = misfit;
  j["best"]["shift_seconds"] = std::strtod(best.cells[cols.misfit() + 1].c_str(), nullptr);
  // The parameter files' own model, for comparison.
  const auto startTexts = paramfile::valueTexts(problem.records.front().paramsFile);
  std::vector<double> startValues;
  std::string startLine;
  for (const Axis& a : space.axes) {
    if (a.field) {  // the configuration's source model
      startValues.push_back(source::fieldValue(*problem.config.source, *a.field, problem.records.front().params));
    } else {
      const std::string& text = startTexts.at(std::string(a.parameter.name) == "N" ? "nx" : a.parameter.name);
      startValues.push_back(std::strtod(text.c_str(), nullptr));
    }
    startLine += (startLine.empty() ? "" : ", ") + std::string(a.parameter.name) + " " +
                 valueText(a.parameter.kind, startValues.back());
    j["start"]["parameters"][a.parameter.name] = startValues.back();
  }
  const ModelResult start = Evaluator(problem).evaluate(startValues);
  if (start.refused) j["start"]["refused"] = start.note;
  else j["start"]["misfit"] = start.misfit;

  std::ostringstream t;
  t << "egffit summary\n\n"
    << "configuration: " << j["configuration"].get<std::string>() << "\n"
    << "method: " << methodName(problem.config.search.method);
  if (problem.config.search.method != Method::Grid) t << " (seed " << problem.config.search.seed << ")";
  t << "\nmodels: " << scan.rows << " evaluated, " << scan.refused << " refused";
  t << "\n\nbest model: " << best.model << "\n";
  for (std::size_t k = 0; k < space.axes.size(); ++k)
    t << "  " << space.axes[k].parameter.name << " = " << best.cells[1 + k] << "\n";
  t << "misfit: " << best.cells[cols.misfit()] << "\n"
    << "common shift: " << best.cells[cols.misfit() + 1] << " s\n\n";
  if (bestSource) {
    const std::vector<source::AreaFacts> facts = sourceFacts(*bestSource, modelParams(problem, problem.records.front(), bestValues));
    t << "source model of the best model (best/source.toml):\n";
    for (const std::string& l : factLines(problem.config, facts)) t << "  " << l << "\n";
    if (!onsetNote.empty()) t << "  " << onsetNote << "\n";
    t << "map view: fault_map.pdf, fault_map.png\n\n";
    j["best"]["source"] = factsJson(problem.config, facts);
    const FaultMap m = problemFaultMap(problem, facts, "Best source model: map view");
    drawFaultMap(m, out / "fault_map.pdf");
    drawFaultMap(m, out / "fault_map.png");
  }
  t << (problem.config.source ? "starting model (the configuration's values): "
                              : "starting model (the parameter files' values): ")
    << startLine << "\n"
    << "misfit: " << (start.refused ? "refused: " + start.note : number(start.misfit)) << "\n\n";
  j["best"]["shift_samples"] = shift;
  const bool ownRuns = parameterFiles && haveEgfsim;
  const std::string own = ownRuns ? "egfsim" : "exact";
  t << "Residual and correlation of each record:\n"
    << "  search: the search's own, over each record's window below at the common shift\n"
    << "    (" << shift << " samples) for the best model, at its own ("
    << (start.refused ? std::string("none: refused") : std::to_string(shiftSamples(start.shift, problem.records.front().dt)) + " samples")
    << ") for the starting model;\n"
    << "  " << own << ": "
    << (ownRuns ? "egfsim's own, in its run of the best model (best/RECORD/transcript.txt)"
                       : "the exact run of the best model (best/RECORD/report/metrics.json)")
    << ",\n    over 800 samples from ksm+1 and ksa+1 at its best lag within +-200 samples.\n"
    << "  The best model's parameter files carry the common shift in ksa and kea, so their\n"
    << "  lag 0 is the search's shift: lags near 0 agree with the search.\n\n";
  for (std::size_t r = 0; r < problem.records.size(); ++r)
    t << "  window of " << problem.records[r].name << ": " << searchFit(r).length << " samples, observed from "
      << problem.records[r].params.ksm << ", synthetic from " << bestSets[r].ksa << " (best/'s ksa)\n";
  t << "\n";
  for (const std::string& n : windowNotes) t << "  note: " << n << "\n";
  if (!windowNotes.empty()) t << "\n";
  char line[240];
  std::snprintf(line, sizeof line, "%-20s %-4s %23s %23s %29s\n", "", "", "search, best model ",
                "search, starting model ", (own + ", best model ").c_str());
  t << line;
  std::snprintf(line, sizeof line, "%-20s %-4s %11s %11s %11s %11s %11s %11s %5s\n", "record", "", "residual", "corr.",
                "residual", "corr.", "residual", "corr.", "lag");
  t << line;
  std::vector<std::string> checks;
  for (std::size_t r = 0; r < problem.records.size(); ++r) {
    const PreparedRecord& rec = problem.records[r];
    auto& jr = j["best"]["records"][rec.name];
    jr["parameter_file"] = fs::absolute(rec.paramsFile).lexically_normal().string();
    jr["weight"] = rec.weight;
    const report::Comparison::SearchFit fit = searchFit(r);
    jr["search_window"] = {{"samples", fit.length},
                           {"observed_first", rec.params.ksm},
                           {"synthetic_first", bestSets[r].ksa},
                           {"shift_samples", shift}};
    std::optional<synthesis::Comparison> ownFits;
    if (const auto fits = exactFits.find(rec.name); fits != exactFits.end()) ownFits = fits->second;
    else ownFits = transcriptFits(readTextIfAny(out / "best" / rec.name / "transcript.txt"));
    // The flags of the report page, from the same numbers.
    report::Comparison flagged;
    if (ownFits)
      for (std::size_t q = 0; q < 3; ++q)
        flagged.residual[q] = (*ownFits)[q].res, flagged.correlation[q] = (*ownFits)[q].cor, flagged.lag[q] = (*ownFits)[q].lag;
    flagged.search = fit;
    for (std::size_t q = 0; q < cols.quantities; ++q) {
      const std::string& res = best.cells[cols.cell(r, static_cast<int>(q), false)];
      const std::string& cor = best.cells[cols.cell(r, static_cast<int>(q), true)];
      jr[kQuantityNames[q]] = {{"residual", std::strtod(res.c_str(), nullptr)},
                               {"correlation", std::strtod(cor.c_str(), nullptr)}};
      std::string startRes = "", startCor = "";
      if (!start.refused) {
        startRes = number(start.records[r][q].residual);
        startCor = number(start.records[r][q].correlation);
        j["start"]["records"][rec.name][kQuantityNames[q]] = {{"residual", start.records[r][q].residual},
                                                               {"correlation", start.records[r][q].correlation}};
      }
      std::string ownRes, ownCor, ownLag;
      if (q < 3 && ownFits) {
        const synthesis::Fit& f = (*ownFits)[q];
        ownRes = number(f.res), ownCor = number(f.cor), ownLag = std::to_string(f.lag);
        jr[own][kQuantityNames[q]] = {{"residual", f.res}, {"correlation", f.cor}, {"lag", f.lag}};
      }
      std::snprintf(line, sizeof line, "%-20s %-4s %11s %11s %11s %11s %11s %11s %5s\n", q ? "" : rec.name.c_str(),
                    kQuantityNames[q], res.c_str(), cor.c_str(), startRes.c_str(), startCor.c_str(), ownRes.c_str(),
                    ownCor.c_str(), ownLag.c_str());
      t << line;
    }
    jr["flags"] = nlohmann::ordered_json::array();
    bool polarity = false;
    for (const report::Flag& f : report::comparisonFlags(flagged)) {
      if (!ownFits && f.kind != report::Flag::OppositePolarity) continue;
      const std::string text = report::flagText(f, flagged, false);
      jr["flags"].push_back(text);
      checks.push_back(rec.name + ": " + text);
      polarity = polarity || f.kind == report::Flag::OppositePolarity;
    }
    if (polarity) {
      // Where a flipped polarity may come from: the radiation setting and
      // the coefficients of the element and the subfaults on this component.
      try {
        const RadiationFacts rf = radiationFacts(bestSets[r], rec.dt);
        checks.push_back(rec.name + ": " + radiationText(rf));
        jr["radiation"] = {{"ipfm", static_cast<int>(rf.ipfm)},
                           {"rada", rf.rada},
                           {"radt_over_rada", std::isnan(rf.ratioLo) ? nlohmann::ordered_json(nullptr)
                                                                     : nlohmann::ordered_json{rf.ratioLo, rf.ratioHi}}};
      } catch (const textio::InputRejected& x) {
        checks.push_back(rec.name + ": no radiation coefficients: " + x.message);
      }
    }
  }
  if (!checks.empty()) {
    t << "\nCheck:\n";
    for (const std::string& c : checks) t << "  " << c << "\n";
  }
  j["map"] = {{"x", map.xName}, {"y", map.yName}, {"files", {"misfit_map.pdf", "misfit_map.png"}}};
  j["maps"] = nlohmann::ordered_json::array();
  t << "\n";
  for (std::size_t k = 0; k < maps.size(); ++k) {
    const ColourRange range = colourRange(maps[k]);
    j["maps"].push_back({{"x", maps[k].xName},
                         {"y", maps[k].yName},
                         {"files", {mapFiles[k] + ".pdf", mapFiles[k] + ".png"}},
                         {"colour_range", {range.lo, range.hi}},
                         {"clipped", range.clipped}});
    t << "misfit map: " << mapFiles[k] << ".pdf, " << mapFiles[k] << ".png (" << maps[k].title << ")\n";
  }
  t
    << (parameterFiles ? "best model's files: best/ (egfsim's run of each record in best/RECORD/)\n"
        : oneArea      ? "best model's files: best/ (the SMGA's parameter files; the exact run of each record in "
                         "best/RECORD/)\n"
                       : "best model's files: best/ (the exact run of each record in best/RECORD/)\n");
  // Timing last, so that everything above compares equal between a run
  // and a merge of its shards.
  j["seconds"] = info.seconds;
  j["models_per_second"] = info.seconds > 0 ? static_cast<double>(scan.rows) / info.seconds : 0.0;
  j["threads"] = info.threads;
  j["shards"] = info.shards;
  std::snprintf(line, sizeof line, "\ntime: %.2f s, %.1f models per second (%d thread%s%s)\n", info.seconds,
                info.seconds > 0 ? static_cast<double>(scan.rows) / info.seconds : 0.0, info.threads,
                info.threads == 1 ? "" : "s",
                info.shards > 1 ? (", " + std::to_string(info.shards) + " shards").c_str() : "");
  t << line;
  writeText(out / "summary.txt", t.str());
  writeText(out / "summary.json", j.dump(2) + "\n");
  return true;
}

}  // namespace fit
