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
#include "engine/evaluator.hpp"
#include "fit/exact.hpp"
#include "fit/files.hpp"
#include "fit/map.hpp"
#include "fit/misfit_config.hpp"
#include "fit/source_output.hpp"
#include "fit/spectral_fit.hpp"
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

void writeText(const fs::path& p, const std::string& text) { writeWhole(p, text); }

std::string shellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Where a record file is found from `folder`: the relative path when it
// fits the parameter file's 80 columns, otherwise a copy in best/
// (`bestFolder`) named by the record and its role (`copyName`, for example
// sta1_target.kib), so that two stations' records of one name never share
// a copy.
std::string recordName(const fs::path& record, const fs::path& folder, const fs::path& bestFolder,
                       const std::string& copyName) {
  const fs::path rel = fs::weakly_canonical(record).lexically_relative(fs::weakly_canonical(folder));
  if (!rel.empty() && rel.string().size() <= 80) return rel.string();
  const fs::path copy = bestFolder / (copyName + record.extension().string());
  if (!fs::exists(copy)) fs::copy_file(record, copy);
  const fs::path relCopy = folder == bestFolder ? fs::path(copy.filename()) : fs::path("..") / copy.filename();
  if (relCopy.string().size() > 80)
    throw std::runtime_error("the copy of " + record.string() + " in best/, " + copy.filename().string() +
                             ", does not fit a parameter file's 80 columns; give the parameter file a shorter name");
  return relCopy.string();
}

// The columns of a row of models.csv.
struct Columns {
  std::size_t axes, quantities, count;
  std::size_t misfit() const { return 1 + axes; }
  std::size_t cell(std::size_t record, int q, bool correlation) const {
    return 3 + axes + (record * quantities + static_cast<std::size_t>(q)) * 2 + (correlation ? 1 : 0);
  }
};

// models.csv of a search: where it is, its header line and its columns.
struct Table {
  fs::path csv;
  std::string header;
  Columns cols;
};

Table tableOf(const Problem& problem, const fs::path& out) {
  const std::string header = tableHeader(problem);
  const std::size_t quantities = problem.config.misfit.envelope > 0 ? std::size_t{engine::kQuantities} : 3;
  return {out / "models.csv", header, {problem.config.space.axes.size(), quantities, headerColumns(header)}};
}

template <class F>
void forEachRow(const Table& t, F f) {
  std::ifstream in(t.csv);
  std::string line;
  if (!std::getline(in, line) || line != t.header)
    throw std::runtime_error(t.csv.string() + " does not begin with this configuration's header line");
  TableRow row;
  std::uint64_t lineNo = 1;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!parseRow(line, t.cols.count, row))
      throw std::runtime_error(t.csv.string() + " line " + std::to_string(lineNo) + " is not a row of this search");
    const std::string& m = row.cells[t.cols.misfit()];
    if (m != "refused") row.misfit = std::strtod(m.c_str(), nullptr);
    f(row);
  }
}

// What one pass over models.csv finds.
struct Scan {
  std::uint64_t rows = 0, refused = 0;
  std::optional<TableRow> best;  // least misfit, ties to the lower model number
  std::vector<std::map<std::string, double>> profile;  // per axis: value text -> least misfit
};

Scan scanModels(const Problem& problem, const Table& t) {
  const std::size_t axes = problem.config.space.axes.size();
  Scan scan;
  scan.profile.resize(axes);
  forEachRow(t, [&](const TableRow& row) {
    ++scan.rows;
    if (!row.misfit) {
      ++scan.refused;
      return;
    }
    if (!scan.best || *row.misfit < *scan.best->misfit || (*row.misfit == *scan.best->misfit && row.model < scan.best->model))
      scan.best = row;
    for (std::size_t k = 0; k < axes; ++k) {
      auto [it, inserted] = scan.profile[k].emplace(row.cells[1 + k], *row.misfit);
      if (!inserted) it->second = std::min(it->second, *row.misfit);
    }
  });
  return scan;
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
MisfitMap buildMap(const Problem& problem, const Table& table, const Scan& scan, std::size_t xk, std::size_t yk) {
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
  map.title = "misfit " + misfitTerms(problem.config.misfit) + ": " + x.name + (yk < n ? " x " + y.name : "") +
              (others.empty() ? "" : grid ? " (" + others + ")" : " (least over the other parameters)");
  map.note = "best model " + std::to_string(scan.best->model) + ": misfit " + scan.best->cells[table.cols.misfit()] +
             (others.empty() ? "" : ", " + others);
  map.clip = problem.config.map.clip;
  forEachRow(table, [&](const TableRow& row) {
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
                                                   const report::RunView::SearchFit& fit, std::ostream& log) {
  try {
    const ExactRun run = s ? runExact(r, p, *s) : runFile(r, p);
    writeExact(runDir, r, run, fit);
    return run.simulation.fits;
  } catch (const textio::InputRejected& x) {
    log << "egffit: no comparison report in " << runDir.string() << ": " << x.message << "\n";
    return std::nullopt;
  }
}

// What best/ holds: the best model's values and source model, and how its
// records were run.
struct BestFiles {
  std::vector<double> values;                   // per axis
  std::optional<source::Source> source;         // with a [source] in the configuration
  bool parameterFiles = true;                   // egfsim's runs of parameter files
  bool oneArea = true;                          // a model one parameter file holds
  std::string onsetNote;                        // why one SMGA's files are not its run
  std::map<std::string, synthesis::Comparison> exactFits;  // per record run exactly
  bool egfsimRuns = false;                      // egfsim ran the parameter files
  // The common shift in samples, carried into every record's ksa and kea;
  // each record's parameter set as best/ holds it; the search's comparison
  // of each record; notes on windows that could not move the whole shift.
  int shift = 0;
  std::vector<model::Params> params;
  std::vector<report::RunView::SearchFit> searchFits;
  std::vector<std::string> windowNotes;
  ModelSpectralFit spectra;  // the search's spectral fit of the best model
};

// best/: one parameter file per record with the best model's values, the
// same beside egfsim's run of it in best/RECORD/ (egfsim, when there is one);
// for a source model of several SMGAs (which no parameter file holds), the
// exact run of each record; for a predicted record, its prediction. Built
// beside and put in place whole.
BestFiles writeBestModel(const Problem& problem, const fs::path& out, const Table& table, const TableRow& best,
                         const ModelSpectralFit& startSpectra, const fs::path& egfsim, std::ostream& log) {
  const ModelSpace& space = problem.config.space;
  const fs::path finalBest = out / "best";
  const fs::path bestDir = buildingName(finalBest);
  fs::remove_all(bestDir);
  fs::create_directories(bestDir);
  BestFiles f;
  for (std::size_t k = 0; k < space.axes.size(); ++k) f.values.push_back(std::strtod(best.cells[1 + k].c_str(), nullptr));
  paramfile::Changes values;
  for (std::size_t k = 0; k < space.axes.size(); ++k) {
    const std::string name = space.axes[k].parameter.name;
    if (space.axes[k].field) continue;  // a value of the source model, written below
    const double value = f.values[k];
    if (name == "N") {
      for (const char* n : {"nx", "nw", "nt"}) values[n] = value;
    } else {
      values[name] = value;
    }
  }
  if (problem.config.source) f.source = modelSource(problem, f.values);
  f.spectra = spectralFit(problem, f.values);
  // One SMGA has a parameter file; egfsim's run of it is the model's unless
  // its onset moves the synthetic, which no parameter file holds.
  f.oneArea = !f.source || f.source->smgas.size() == 1;
  if (f.source && f.oneArea)
    for (const PreparedRecord& r : problem.records)
      if (f.onsetNote.empty()) f.onsetNote = onsetShiftNote(r, modelParams(problem, r, f.values), *f.source);
  f.parameterFiles = f.oneArea && f.onsetNote.empty();
  // The common shift goes into every record's synthetic window (ksa, kea),
  // so that egfsim's run compares at lag 0 the windows the search compared.
  const Columns& cols = table.cols;
  f.shift = shiftSamples(std::strtod(best.cells[cols.misfit() + 1].c_str(), nullptr), problem.records.front().dt);
  for (std::size_t r = 0; r < problem.records.size(); ++r) {
    const PreparedRecord& rec = problem.records[r];
    model::Params p = modelParams(problem, rec, f.values);
    const ShiftedWindow w = shiftedWindow(p, f.shift);
    p.ksa = w.ksa, p.kea = w.kea;
    if (!w.note.empty()) f.windowNotes.push_back(rec.name + ": " + w.note);
    f.params.push_back(p);
    report::RunView::SearchFit fit{rec.engine ? rec.engine->length() : 0, f.shift, {}, {},
                                   recordSpectra(problem, r, f.spectra, startSpectra)};
    for (std::size_t q = 0; q < 3; ++q) {
      fit.residual[q] = std::strtod(best.cells[cols.cell(r, static_cast<int>(q), false)].c_str(), nullptr);
      fit.correlation[q] = std::strtod(best.cells[cols.cell(r, static_cast<int>(q), true)].c_str(), nullptr);
    }
    f.searchFits.push_back(fit);
  }
  const bool haveEgfsim = fs::exists(egfsim);
  f.egfsimRuns = haveEgfsim && f.parameterFiles;
  if (!haveEgfsim && f.parameterFiles)
    log << "egffit: no egfsim beside egffit (" << egfsim.string() << "): best/ holds the parameter files only\n";
  // The record names as seen from the folder the file is written into.
  auto rewritten = [&](const PreparedRecord& r, const paramfile::Changes& recordValues, const fs::path& folder) {
    paramfile::Changes changes = recordValues;
    changes["fmain"] = recordName(r.targetFile, folder, bestDir, r.name + "_target");
    changes["faft"] = recordName(r.elementFile, folder, bestDir, r.name + "_element");
    return paramfile::rewrite(r.paramsFile, changes);
  };
  for (std::size_t k = 0; k < problem.records.size(); ++k) {
    const PreparedRecord& r = problem.records[k];
    const model::Params& p = f.params[k];
    if (f.oneArea) {
      paramfile::Changes recordValues = values;
      recordValues["ksa"] = static_cast<double>(p.ksa), recordValues["kea"] = static_cast<double>(p.kea);
      if (f.source)
        for (const auto& [name, value] : smgaValues(source::areaParams(p, *f.source, 0))) recordValues[name] = value;
      // Named by the record, so that parameter files of one name in two
      // folders keep a file each.
      const std::string file = r.name + r.paramsFile.extension().string();
      writeText(bestDir / file, rewritten(r, recordValues, bestDir));
      if (f.parameterFiles) {
        const fs::path runDir = bestDir / r.name;
        fs::create_directories(runDir);
        writeText(runDir / file, rewritten(r, recordValues, runDir));
        if (haveEgfsim) runEgfsim(egfsim, runDir, file, r.params, log);
        const auto fits = writeReportOf(runDir, r, p, f.source, f.searchFits[k], log);
        // Without egfsim's transcript its comparison is the same run's.
        if (!haveEgfsim && fits) f.exactFits[r.name] = *fits;
        continue;
      }
    }
    const ExactRun run = runExact(r, p, *f.source);
    writeExact(bestDir / r.name, r, run, f.searchFits[k]);
    f.exactFits[r.name] = run.simulation.fits;
  }
  for (const PreparedRecord& r : problem.predictions)
    writeExact(bestDir / r.name, r, runExact(r, modelParams(problem, r, f.values), *f.source));
  if (f.source) writeText(bestDir / "source.toml", sourceToml(*f.source, "The best model of the search (egffit)."));
  replaceFolder(bestDir, finalBest);
  return f;
}

// The misfit map, drawn beside and renamed into place.
void writeMisfitMap(const MisfitMap& map, const fs::path& stem) {
  drawMisfitMap(map, buildingName(stem));
  for (const char* ext : {".pdf", ".png"}) fs::rename(buildingName(stem).string() + ext, stem.string() + ext);
}

// The map view of the best source model, each file drawn beside and
// renamed into place.
void writeFaultMap(const FaultMap& map, const fs::path& out) {
  const fs::path stem = out / "fault_map";
  for (const char* ext : {".pdf", ".png"}) {
    const fs::path temp = buildingName(stem).string() + ext;
    drawFaultMap(map, temp);
    fs::rename(temp, stem.string() + ext);
  }
}

// The parameter files' own model (the first file's values, as written), for
// comparison with the best.
struct StartModel {
  std::vector<double> values;  // per axis
  std::string line;            // "nsx 3, nsw 5, vr 2.8"
  engine::ModelResult result;
};

StartModel evaluateStart(const Problem& problem) {
  const auto texts = paramfile::valueTexts(problem.records.front().paramsFile);
  StartModel s;
  for (const Axis& a : problem.config.space.axes) {
    if (a.field) {  // the configuration's source model
      s.values.push_back(source::fieldValue(*problem.config.source, *a.field, problem.records.front().params));
    } else {
      const std::string& text = texts.at(std::string(a.parameter.name) == "N" ? "nx" : a.parameter.name);
      s.values.push_back(std::strtod(text.c_str(), nullptr));
    }
    s.line += (s.line.empty() ? "" : ", ") + std::string(a.parameter.name) + " " +
              valueText(a.parameter.kind, s.values.back());
  }
  engine::Evaluator evaluator(problem.engineRecords(), problem.weights());
  s.result = problem.evaluate(evaluator, s.values);
  return s;
}

// egfsim's own residual, correlation and lag of acc, vel and dis in its
// transcript of the best model, or those of the exact run of a record that
// egfsim did not run; none for a record without either.
struct OwnFit {
  const char* key;  // "egfsim" or "exact", in summary.json
  synthesis::Comparison fits;
};
using OwnFits = std::vector<std::optional<OwnFit>>;

OwnFits egfsimFits(const Problem& problem, const fs::path& out, const BestFiles& bestFiles) {
  OwnFits fits;
  for (const PreparedRecord& rec : problem.records) {
    if (const auto exact = bestFiles.exactFits.find(rec.name); exact != bestFiles.exactFits.end()) {
      fits.push_back(OwnFit{"exact", exact->second});
    } else if (const auto own = transcriptFits(readTextIfAny(out / "best" / rec.name / "transcript.txt"))) {
      fits.push_back(OwnFit{"egfsim", *own});
    } else {
      fits.emplace_back();
    }
  }
  return fits;
}

// What deserves a second look in one record's numbers: the report page's
// flags, and with a polarity flip the radiation coefficients behind it.
struct RecordCheck {
  std::vector<std::string> flags;
  std::optional<RadiationFacts> radiation;
  std::string radiationRefused;  // why they could not be computed
};

std::vector<RecordCheck> recordChecks(const Problem& problem, const BestFiles& bestFiles, const OwnFits& own) {
  std::vector<RecordCheck> checks(problem.records.size());
  for (std::size_t r = 0; r < problem.records.size(); ++r) {
    report::RunView c;
    if (own[r])
      for (std::size_t q = 0; q < 3; ++q)
        c.fits[q].res = own[r]->fits[q].res, c.fits[q].cor = own[r]->fits[q].cor, c.fits[q].lag = own[r]->fits[q].lag;
    c.search = bestFiles.searchFits[r];
    bool polarity = false;
    for (const report::Flag& f : report::comparisonFlags(c)) {
      if (!own[r] && f.kind != report::Flag::OppositePolarity) continue;  // no comparison of egfsim's
      checks[r].flags.push_back(report::flagText(f, c, false));
      polarity = polarity || f.kind == report::Flag::OppositePolarity;
    }
    if (!polarity) continue;
    try {
      checks[r].radiation = radiationFacts(bestFiles.params[r], problem.records[r].dt);
    } catch (const textio::InputRejected& x) {
      checks[r].radiationRefused = x.message;
    }
  }
  return checks;
}

// Everything the summaries report.
struct Outcome {
  const Problem& problem;
  const Table& table;
  const Scan& scan;
  const StartModel& start;
  const OwnFits& own;
  const std::vector<RecordCheck>& checks;
  const std::vector<MisfitMap>& maps;
  const std::vector<std::string>& mapFiles;  // per map, without extension
  const RunInfo& info;
  const BestFiles& bestFiles;
  const std::vector<source::AreaFacts>& facts;  // of the best source model, if any
  const ModelSpectralFit& bestSpectra;
  const ModelSpectralFit& startSpectra;
  const TableRow& best() const { return *scan.best; }
  double modelsPerSecond() const { return info.seconds > 0 ? static_cast<double>(scan.rows) / info.seconds : 0.0; }
};

std::string configurationPath(const Problem& problem) {
  return fs::absolute(problem.config.file).lexically_normal().string();
}

// With a study, each record's values computed from coordinates, as its
// parameter file holds them (setup/setup.txt says what each came from), by
// record name, as their texts.
std::vector<std::pair<std::string, std::map<std::string, std::string, std::less<>>>> studyValues(const Problem& problem) {
  std::vector<std::pair<std::string, std::map<std::string, std::string, std::less<>>>> out;
  if (!problem.config.study) return out;
  for (const PreparedRecord& r : problem.records) {
    const auto texts = paramfile::valueTexts(r.paramsFile);
    auto& [name, values] = out.emplace_back(r.name, std::map<std::string, std::string, std::less<>>{});
    for (const char* key : {"rm", "pm", "ra", "pa", "cmp", "z", "za", "ksm", "kem", "ksa", "kea"}) values[key] = texts.at(key);
  }
  return out;
}

nlohmann::ordered_json summaryJson(const Outcome& o) {
  const ModelSpace& space = o.problem.config.space;
  const Columns& cols = o.table.cols;
  const TableRow& best = o.best();
  const engine::ModelResult& start = o.start.result;
  nlohmann::ordered_json j;
  j["configuration"] = configurationPath(o.problem);
  j["method"] = methodName(o.problem.config.search.method);
  j["seed"] = o.problem.config.search.seed;
  j["models"] = o.scan.rows;
  j["refused"] = o.scan.refused;
  j["best"]["model"] = best.model;
  for (std::size_t k = 0; k < space.axes.size(); ++k) {
    const double v = std::strtod(best.cells[1 + k].c_str(), nullptr);
    if (space.axes[k].parameter.kind == Kind::Integer) j["best"]["parameters"][space.axes[k].parameter.name] = static_cast<long long>(v);
    else j["best"]["parameters"][space.axes[k].parameter.name] = v;
  }
  j["best"]["misfit"] = *best.misfit;
  j["best"]["shift_seconds"] = std::strtod(best.cells[cols.misfit() + 1].c_str(), nullptr);
  j["best"]["shift_samples"] = o.bestFiles.shift;
  if (o.problem.config.study) {
    j["best"]["shift_from"] = "the predicted S alignment of the study's setup";
    for (const auto& [name, values] : studyValues(o.problem))
      for (const auto& [key, text] : values) j["setup"][name][key] = std::strtod(text.c_str(), nullptr);
  }
  if (o.bestFiles.source) j["best"]["source"] = factsJson(o.problem.config, o.facts);
  for (std::size_t k = 0; k < space.axes.size(); ++k) j["start"]["parameters"][space.axes[k].parameter.name] = o.start.values[k];
  if (start.refused) j["start"]["refused"] = start.note;
  else j["start"]["misfit"] = start.misfit;
  for (std::size_t r = 0; r < o.problem.records.size(); ++r) {
    const PreparedRecord& rec = o.problem.records[r];
    auto& jr = j["best"]["records"][rec.name];
    jr["parameter_file"] = fs::absolute(rec.paramsFile).lexically_normal().string();
    jr["weight"] = rec.weight;
    jr["search_window"] = {{"samples", o.bestFiles.searchFits[r].length},
                           {"observed_first", rec.params.ksm},
                           {"synthetic_first", o.bestFiles.params[r].ksa},
                           {"shift_samples", o.bestFiles.shift}};
    for (std::size_t q = 0; q < cols.quantities; ++q) {
      auto pair = [](double res, double cor) { return nlohmann::ordered_json{{"residual", res}, {"correlation", cor}}; };
      const std::string& res = best.cells[cols.cell(r, static_cast<int>(q), false)];
      const std::string& cor = best.cells[cols.cell(r, static_cast<int>(q), true)];
      jr[engine::kQuantityNames[q]] = pair(std::strtod(res.c_str(), nullptr), std::strtod(cor.c_str(), nullptr));
      if (!start.refused)
        j["start"]["records"][rec.name][engine::kQuantityNames[q]] = pair(start.records[r][q].residual, start.records[r][q].correlation);
      if (q < 3 && o.own[r]) {
        const synthesis::Fit& f = o.own[r]->fits[q];
        jr[o.own[r]->key][engine::kQuantityNames[q]] = {{"residual", f.res}, {"correlation", f.cor}, {"lag", f.lag}};
      }
    }
    const RecordCheck& check = o.checks[r];
    jr["flags"] = check.flags;
    if (check.radiation) {
      const RadiationFacts& rf = *check.radiation;
      jr["radiation"] = {{"ipfm", static_cast<int>(rf.ipfm)},
                         {"rada", rf.rada},
                         {"radt_over_rada", std::isnan(rf.ratioLo) ? nlohmann::ordered_json(nullptr)
                                                                   : nlohmann::ordered_json{rf.ratioLo, rf.ratioHi}}};
    }
  }
  const MisfitMap& map = o.maps.front();
  j["map"] = {{"x", map.xName}, {"y", map.yName}, {"files", {"misfit_map.pdf", "misfit_map.png"}}};
  j["maps"] = nlohmann::ordered_json::array();
  for (std::size_t k = 0; k < o.maps.size(); ++k) {
    const ColourRange range = colourRange(o.maps[k]);
    j["maps"].push_back({{"x", o.maps[k].xName},
                         {"y", o.maps[k].yName},
                         {"files", {o.mapFiles[k] + ".pdf", o.mapFiles[k] + ".png"}},
                         {"colour_range", {range.lo, range.hi}},
                         {"clipped", range.clipped}});
  }
  j["spectral_fit"] = spectralFitJson(o.problem, o.bestSpectra, o.startSpectra);
  // Timing last, so that everything above compares equal between a run
  // and a merge of its shards.
  j["seconds"] = o.info.seconds;
  j["models_per_second"] = o.modelsPerSecond();
  j["threads"] = o.info.threads;
  j["shards"] = o.info.shards;
  return j;
}

std::string summaryText(const Outcome& o) {
  const ModelSpace& space = o.problem.config.space;
  const Columns& cols = o.table.cols;
  const TableRow& best = o.best();
  const engine::ModelResult& start = o.start.result;
  std::ostringstream t;
  t << "egffit summary\n\n"
    << "configuration: " << configurationPath(o.problem) << "\n"
    << "method: " << methodName(o.problem.config.search.method);
  if (o.problem.config.search.method != Method::Grid) t << " (seed " << o.problem.config.search.seed << ")";
  t << "\nmodels: " << o.scan.rows << " evaluated, " << o.scan.refused << " refused";
  t << "\n\nbest model: " << best.model << "\n";
  for (std::size_t k = 0; k < space.axes.size(); ++k)
    t << "  " << space.axes[k].parameter.name << " = " << best.cells[1 + k] << "\n";
  t << "misfit: " << best.cells[cols.misfit()] << "\n"
    << "common shift: " << best.cells[cols.misfit() + 1] << " s"
    << (o.problem.config.study ? " after the predicted S alignment (setup/setup.txt; positive: the synthetic lags)" : "")
    << "\n\n";
  if (o.problem.config.study) {
    t << "computed from coordinates (setup/setup.txt):\n";
    for (const auto& [name, values] : studyValues(o.problem)) {
      t << "  " << name;
      for (const char* key : {"rm", "pm", "ra", "pa", "cmp", "z", "za", "ksm", "kem", "ksa", "kea"})
        t << " " << key << " " << values.at(key);
      t << "\n";
    }
    t << "\n";
  }
  if (o.bestFiles.source) {
    t << "source model of the best model (best/source.toml):\n";
    for (const std::string& l : factLines(o.problem.config, o.facts)) t << "  " << l << "\n";
    if (!o.bestFiles.onsetNote.empty()) t << "  " << o.bestFiles.onsetNote << "\n";
    t << "map view: fault_map.pdf, fault_map.png\n\n";
  }
  t << (o.problem.config.source ? "starting model (the configuration's values): "
                                : "starting model (the parameter files' values): ")
    << o.start.line << "\n"
    << "misfit: " << (start.refused ? "refused: " + start.note : number(start.misfit)) << "\n\n";
  const BestFiles& f = o.bestFiles;
  const std::string own = f.egfsimRuns ? "egfsim" : "exact";
  const float dt = o.problem.records.front().dt;
  t << "Residual and correlation of each record:\n"
    << "  search: the search's own, over each record's window below at the common shift\n"
    << "    (" << f.shift << " samples) for the best model, at its own ("
    << (start.refused ? std::string("none: refused") : std::to_string(shiftSamples(start.shift, dt)) + " samples")
    << ") for the starting model;\n"
    << "  " << own << ": "
    << (f.egfsimRuns ? "egfsim's own, in its run of the best model (best/RECORD/transcript.txt)"
                     : "the exact run of the best model (best/RECORD/report/metrics.json)")
    << ",\n    over 800 samples from ksm+1 and ksa+1 at its best lag within +-200 samples.\n"
    << "  The best model's parameter files carry the common shift in ksa and kea, so their\n"
    << "  lag 0 is the search's shift: lags near 0 agree with the search.\n\n";
  for (std::size_t r = 0; r < o.problem.records.size(); ++r)
    t << "  window of " << o.problem.records[r].name << ": " << f.searchFits[r].length << " samples, observed from "
      << o.problem.records[r].params.ksm << ", synthetic from " << f.params[r].ksa << " (best/'s ksa)\n";
  t << "\n";
  for (const std::string& n : f.windowNotes) t << "  note: " << n << "\n";
  if (!f.windowNotes.empty()) t << "\n";
  char line[240];
  std::snprintf(line, sizeof line, "%-20s %-4s %23s %23s %29s\n", "", "", "search, best model ",
                "search, starting model ", (own + ", best model ").c_str());
  t << line;
  std::snprintf(line, sizeof line, "%-20s %-4s %11s %11s %11s %11s %11s %11s %5s\n", "record", "", "residual", "corr.",
                "residual", "corr.", "residual", "corr.", "lag");
  t << line;
  for (std::size_t r = 0; r < o.problem.records.size(); ++r) {
    const std::string& name = o.problem.records[r].name;
    for (std::size_t q = 0; q < cols.quantities; ++q) {
      const std::string& res = best.cells[cols.cell(r, static_cast<int>(q), false)];
      const std::string& cor = best.cells[cols.cell(r, static_cast<int>(q), true)];
      const std::string startRes = start.refused ? "" : number(start.records[r][q].residual);
      const std::string startCor = start.refused ? "" : number(start.records[r][q].correlation);
      std::string ownRes, ownCor, ownLag;
      if (q < 3 && o.own[r]) {
        const synthesis::Fit& fit = o.own[r]->fits[q];
        ownRes = number(fit.res), ownCor = number(fit.cor), ownLag = std::to_string(fit.lag);
      }
      std::snprintf(line, sizeof line, "%-20s %-4s %11s %11s %11s %11s %11s %11s %5s\n", q ? "" : name.c_str(),
                    engine::kQuantityNames[q], res.c_str(), cor.c_str(), startRes.c_str(), startCor.c_str(), ownRes.c_str(),
                    ownCor.c_str(), ownLag.c_str());
      t << line;
    }
  }
  t << spectralFitText(o.problem, o.bestSpectra, o.startSpectra);
  std::string checks;
  for (std::size_t r = 0; r < o.problem.records.size(); ++r) {
    const RecordCheck& c = o.checks[r];
    const std::string& name = o.problem.records[r].name;
    for (const std::string& flag : c.flags) checks += "  " + name + ": " + flag + "\n";
    if (c.radiation) checks += "  " + name + ": " + radiationText(*c.radiation) + "\n";
    if (!c.radiationRefused.empty()) checks += "  " + name + ": no radiation coefficients: " + c.radiationRefused + "\n";
  }
  if (!checks.empty()) t << "\nCheck:\n" << checks;
  t << "\n";
  for (std::size_t k = 0; k < o.maps.size(); ++k)
    t << "misfit map: " << o.mapFiles[k] << ".pdf, " << o.mapFiles[k] << ".png (" << o.maps[k].title << ")\n";
  t
    << (o.bestFiles.parameterFiles ? "best model's files: best/ (egfsim's run of each record in best/RECORD/)\n"
        : o.bestFiles.oneArea      ? "best model's files: best/ (the SMGA's parameter files; the exact run of each "
                                     "record in best/RECORD/)\n"
                                   : "best model's files: best/ (the exact run of each record in best/RECORD/)\n");
  const std::string shards = o.info.shards > 1 ? ", " + std::to_string(o.info.shards) + " shards" : "";
  std::snprintf(line, sizeof line, "\ntime: %.2f s, %.1f models per second (%d thread%s%s)\n", o.info.seconds,
                o.modelsPerSecond(), o.info.threads, o.info.threads == 1 ? "" : "s", shards.c_str());
  t << line;
  return t.str();
}

}  // namespace

std::optional<MisfitMap> misfitMap(const Problem& problem, const fs::path& out) {
  const Table table = tableOf(problem, out);
  const Scan scan = scanModels(problem, table);
  if (!scan.best) return std::nullopt;
  const auto [xk, yk] = mapAxes(problem, scan).front();
  return buildMap(problem, table, scan, xk, yk);
}

bool finishSearch(const Problem& problem, const fs::path& out, const RunInfo& info, const fs::path& egfsim,
                  std::ostream& log) {
  const Table table = tableOf(problem, out);
  const Scan scan = scanModels(problem, table);
  if (!scan.best) {
    log << "egffit: no model could be evaluated (" << scan.rows << " refused); see the notes in "
        << table.csv.string() << "\n";
    return false;
  }
  const StartModel start = evaluateStart(problem);
  const ModelSpectralFit startSpectra = spectralFit(problem, start.values);
  const BestFiles bestFiles = writeBestModel(problem, out, table, *scan.best, startSpectra, egfsim, log);
  std::vector<MisfitMap> maps;
  std::vector<std::string> mapFiles;
  for (const auto& [xk, yk] : mapAxes(problem, scan)) {
    maps.push_back(buildMap(problem, table, scan, xk, yk));
    // The first map keeps the name it always had; others are named by their axes.
    mapFiles.push_back(maps.size() == 1 ? "misfit_map" : "misfit_map_" + maps.back().xName + "_" + maps.back().yName);
    writeMisfitMap(maps.back(), out / mapFiles.back());
  }
  std::vector<source::AreaFacts> facts;
  if (bestFiles.source) {
    facts = sourceFacts(*bestFiles.source, modelParams(problem, problem.records.front(), bestFiles.values));
    writeFaultMap(problemFaultMap(problem, facts, "Best source model: map view"), out);
  }
  const OwnFits own = egfsimFits(problem, out, bestFiles);
  const std::vector<RecordCheck> checks = recordChecks(problem, bestFiles, own);
  const Outcome outcome{problem, table,    scan, start,     own,   checks,           maps,
                        mapFiles, info,    bestFiles, facts, bestFiles.spectra, startSpectra};
  writeText(out / "summary.txt", summaryText(outcome));
  writeText(out / "summary.json",
            summaryJson(outcome).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  return true;
}

}  // namespace fit
