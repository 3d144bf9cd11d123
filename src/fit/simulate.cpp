#include "fit/simulate.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "fit/exact.hpp"
#include "fit/source_output.hpp"
#include "parallel/parallel.hpp"
#include "textio/stop.hpp"

namespace fit {
namespace {

namespace fs = std::filesystem;

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", v);
  return text;
}

void writeText(const fs::path& p, const std::string& text) {
  const fs::path partial = p.string() + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + p.string());
  }
  fs::rename(partial, p);
}

// A uniform double in [0, 1) from the top 53 bits of the generator: the same
// draws on every platform, unlike std::uniform_real_distribution.
double unit(std::mt19937_64& rng) { return static_cast<double>(rng() >> 11) * 0x1.0p-53; }

std::vector<double> drawValues(const ModelSpace& space, std::mt19937_64& rng) {
  std::vector<double> v;
  for (const Axis& a : space.axes) {
    if (a.continuous) {
      const double x = a.lo + unit(rng) * (a.hi - a.lo);
      v.push_back(std::strtod(valueText(a.parameter.kind, x).c_str(), nullptr));
    } else {
      const std::size_t i = std::min(a.values.size() - 1, static_cast<std::size_t>(unit(rng) * a.values.size()));
      v.push_back(a.values[i]);
    }
  }
  return v;
}

const model::Params& firstParams(const Problem& p) {
  return p.records.empty() ? p.predictions.front().params : p.records.front().params;
}

// The mean of ln(observed / synthetic) response spectra over the periods
// within the filter's pass band (all periods without a filter).
double psaBias(const report::Measures& m) {
  double sum = 0;
  int n = 0;
  for (std::size_t k = 0; k < m.periods.size(); ++k) {
    const double f = 1.0 / m.periods[k];
    if (f < m.passBand.low || f > m.passBand.high || !std::isfinite(m.psaLnRatio[k])) continue;
    sum += m.psaLnRatio[k];
    ++n;
  }
  return n ? sum / n : NAN;
}

}  // namespace

std::vector<EnsembleModel> ensembleModels(const Problem& problem, std::uint64_t& refusedDraws) {
  const Config& c = problem.config;
  std::vector<EnsembleModel> models{{"configuration", *c.source, {}}};
  for (std::size_t k = 0; k < c.simulate.models.size(); ++k) {
    const fs::path& file = c.simulate.models[k];
    const std::string place = c.file.string() + ":" + std::to_string(c.simulate.modelPlaces[k].first) + ":" +
                              std::to_string(c.simulate.modelPlaces[k].second) + ": ";
    if (!fs::exists(file)) throw ConfigError(place + file.string() + ": no such file");
    source::Source s = readSourceFile(file);
    if (std::string why = source::refusal(s, firstParams(problem)); !why.empty())
      throw ConfigError(place + file.string() + ": the model cannot be: " + why);
    models.push_back({file.string(), std::move(s), {}});
  }
  refusedDraws = 0;
  std::mt19937_64 rng(c.simulate.seed);
  for (std::uint64_t tries = 0, drawn = 0; drawn < c.simulate.draws && tries < 20 * c.simulate.draws; ++tries) {
    std::vector<double> values = drawValues(c.space, rng);
    source::Source s = modelSource(problem, values);
    if (!source::refusal(s, modelParams(problem, problem.records.empty() ? problem.predictions.front()
                                                                         : problem.records.front(), values))
             .empty()) {
      ++refusedDraws;
      continue;
    }
    models.push_back({"draw " + std::to_string(++drawn), std::move(s), std::move(values)});
  }
  return models;
}

void runSimulate(const Problem& problem, const fs::path& out, int threads, std::ostream& log) {
  const Config& c = problem.config;
  const source::Source& given = *c.source;
  if (std::string why = source::refusal(given, firstParams(problem)); !why.empty())
    throw ConfigError(c.file.string() + ": the source model of [source] cannot be: " + why);
  fs::create_directories(out);

  // The given model at every record, exactly.
  nlohmann::ordered_json j;
  j["configuration"] = fs::absolute(c.file).lexically_normal().string();
  std::ostringstream t;
  t << "egffit simulate\n\nconfiguration: " << j["configuration"].get<std::string>() << "\n\nsource model:\n";
  const std::vector<source::AreaFacts> facts = sourceFacts(given, firstParams(problem));
  for (const std::string& line : factLines(c, facts)) t << "  " << line << "\n";
  j["source"] = factsJson(c, facts);
  t << "\n";
  std::vector<report::Predicted> givenPredictions;
  for (const auto* list : {&problem.records, &problem.predictions}) {
    for (const PreparedRecord& r : *list) {
      ExactRun run;
      try {
        run = runExact(r, r.params, given);
      } catch (const textio::InputRejected& x) {
        throw ConfigError(c.file.string() + ": record " + r.name + ": the source model is refused: " + x.message);
      }
      writeExact(out / r.name, r, run);
      report::RunRecord record;
      describeExact(r, run, record);
      auto& jr = j["records"][r.name];
      jr["parameter_file"] = fs::absolute(r.paramsFile).lexically_normal().string();
      if (r.predict) {
        const report::Predicted p = report::predict(record.view.synthetic, record.view.dt);
        givenPredictions.push_back(p);
        const auto units = report::quantityUnits(record.view.unit);
        t << r.name << " (predicted, " << run.simulation.synthetic.ns << " samples): peak acceleration "
          << number(p.peaks[0]) << " " << units[0] << ", velocity " << number(p.peaks[1]) << " " << units[1]
          << ", displacement " << number(p.peaks[2]) << " " << units[2] << "\n";
        jr["predicted"] = true;
        jr["peaks"] = p.peaks;
        continue;
      }
      const report::Measures m = report::measure(record.view);
      const char* names[3] = {"acc", "vel", "dis"};
      t << r.name << ":";
      for (std::size_t q = 0; q < 3; ++q) {
        const synthesis::Fit& f = run.simulation.fits[q];
        t << "  " << names[q] << " res " << number(f.res) << " cor " << number(f.cor) << " lag " << f.lag;
        jr[names[q]] = {{"residual", f.res}, {"correlation", f.cor}, {"lag", f.lag}};
      }
      const double bias = psaBias(m);
      t << "\n  Anderson score " << number(m.anderson.passBand.score) << " of 10 within the pass band; "
        << "mean ln(observed/synthetic) PSA there " << number(bias) << "\n";
      jr["anderson_pass_band"] = m.anderson.passBand.score;
      jr["psa_ln_bias"] = bias;
    }
  }
  writeText(out / "source.toml", sourceToml(given, "The source model egffit simulate ran."));
  drawFaultMap(problemFaultMap(problem, facts, "Source model: map view"), out / "fault_map.pdf");
  drawFaultMap(problemFaultMap(problem, facts, "Source model: map view"), out / "fault_map.png");

  // The spread of the predictions over the models.
  std::uint64_t refusedDraws = 0;
  const std::vector<EnsembleModel> models = ensembleModels(problem, refusedDraws);
  if (models.size() > 1 && !problem.predictions.empty()) {
    log << "egffit: predicting with " << models.size() << " source models\n";
    const std::size_t sites = problem.predictions.size();
    std::vector<std::vector<report::Predicted>> results(models.size(), std::vector<report::Predicted>(sites));
    std::vector<std::string> refused(models.size());
    parallel::forEach(models.size(), threads, [&](std::size_t m, int) {
      try {
        for (std::size_t k = 0; k < sites; ++k) {
          const PreparedRecord& r = problem.predictions[k];
          const ExactRun run = runExact(r, modelParams(problem, r, models[m].values), models[m].source);
          report::RunRecord record;
          describeExact(r, run, record);
          results[m][k] = report::predict(record.view.synthetic, record.view.dt);
        }
      } catch (const textio::InputRejected& x) {
        refused[m] = x.message;
      }
    });
    t << "\nspread of the predictions: " << models.size() << " models (the configuration's, "
      << c.simulate.models.size() << " from files, " << models.size() - 1 - c.simulate.models.size()
      << " drawn from [vary], " << refusedDraws << " drawn and refused)\n";
    for (std::size_t m = 0; m < models.size(); ++m)
      if (!refused[m].empty()) t << "  " << models[m].origin << " refused and left out: " << refused[m] << "\n";
    for (std::size_t k = 0; k < sites; ++k) {
      std::vector<report::Predicted> list;
      for (std::size_t m = 0; m < models.size(); ++m)
        if (refused[m].empty()) list.push_back(results[m][k]);
      const report::Spread s = report::spread(list);
      const PreparedRecord& r = problem.predictions[k];
      report::writeSpread(out / r.name, s, givenPredictions[k], "Predicted response spectra at " + r.name,
                          r.elementHeader.dunit);
      t << r.name << ": peak acceleration " << number(s.peaks[1][0]) << " (16th to 84th percentile "
        << number(s.peaks[0][0]) << " to " << number(s.peaks[2][0]) << "), velocity " << number(s.peaks[1][1]) << " ("
        << number(s.peaks[0][1]) << " to " << number(s.peaks[2][1]) << "), displacement " << number(s.peaks[1][2])
        << " (" << number(s.peaks[0][2]) << " to " << number(s.peaks[2][2]) << ")\n";
      j["records"][r.name]["spread"] = {{"models", s.models},
                                        {"peaks_p16", s.peaks[0]},
                                        {"peaks_p50", s.peaks[1]},
                                        {"peaks_p84", s.peaks[2]}};
    }
  }
  t << "\nfiles: RECORD/series and RECORD/report (fitted records), RECORD/ (predicted: series, "
       "prediction.json, response_spectrum.csv, spread.*), source.toml, fault_map.pdf, fault_map.png\n";
  writeText(out / "simulate.txt", t.str());
  writeText(out / "simulate.json", j.dump(2) + "\n");
}

}  // namespace fit
