#include "fit/table.hpp"

#include <cstdio>
#include <cstdlib>

namespace fit {
namespace {

std::string number(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

bool envelopeUsed(const Problem& p) { return p.config.misfit.envelope > 0; }

// The spectral terms with a positive weight: their column names.
std::vector<std::string> spectralColumns(const Problem& p) {
  std::vector<std::string> c;
  if (p.config.misfit.spectral.psa > 0) c.push_back("psa");
  if (p.config.misfit.spectral.fourier > 0) c.push_back("fourier");
  return c;
}

// A cell that may hold commas or quotes.
std::string quoted(const std::string& s) {
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c == '\n' ? ' ' : c;
  }
  return q + "\"";
}

}  // namespace

std::string tableHeader(const Problem& problem) {
  std::string h = "model";
  for (const Axis& a : problem.config.space.axes) h += std::string(",") + a.parameter.name;
  h += ",misfit,shift";
  const int quantities = envelopeUsed(problem) ? engine::kQuantities : 3;
  for (const PreparedRecord& r : problem.records)
    for (int q = 0; q < quantities; ++q)
      h += "," + r.name + "." + engine::kQuantityNames[q] + "_res," + r.name + "." + engine::kQuantityNames[q] + "_cor";
  // The spectral terms after every record's waveform columns.
  for (const PreparedRecord& r : problem.records)
    for (const std::string& term : spectralColumns(problem)) h += "," + r.name + "." + term;
  return h + ",note";
}

std::string tableRow(const Problem& problem, std::uint64_t model, const std::vector<double>& values,
                     const engine::ModelResult& result) {
  std::string row = std::to_string(model);
  for (const std::string& t : problem.config.space.texts(values)) row += "," + t;
  const int quantities = envelopeUsed(problem) ? engine::kQuantities : 3;
  if (result.refused) {
    row += ",refused,";
    const std::size_t cells = problem.records.size() * (quantities * 2 + spectralColumns(problem).size());
    for (std::size_t k = 0; k < cells; ++k) row += ",";
    return row + "," + quoted(result.note);
  }
  row += "," + misfitText(result.misfit) + "," + number("%.6g", result.shift);
  for (const auto& rec : result.records)
    for (int q = 0; q < quantities; ++q)
      row += "," + number("%.6g", rec[q].residual) + "," + number("%.6g", rec[q].correlation);
  const engine::SpectralSettings& spectral = problem.config.misfit.spectral;
  for (const engine::SpectralFit& fit : result.spectral) {
    if (spectral.psa > 0) row += "," + number("%.6g", fit.psa);
    if (spectral.fourier > 0) row += "," + number("%.6g", fit.fourier);
  }
  return row + ",";
}

std::string misfitText(double misfit) { return number("%.10g", misfit); }

double objective(const engine::ModelResult& result) {
  return result.refused ? kRefusedObjective : std::strtod(misfitText(result.misfit).c_str(), nullptr);
}

std::size_t headerColumns(const std::string& header) {
  std::size_t n = 1;
  for (char c : header) n += c == ',';
  return n;
}

bool parseRow(const std::string& line, std::size_t columns, TableRow& row) {
  row.cells.clear();
  std::string cell;
  bool inQuotes = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (inQuotes) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        inQuotes = false;
      } else {
        cell += c;
      }
    } else if (c == '"') {
      inQuotes = true;
    } else if (c == ',') {
      row.cells.push_back(cell);
      cell.clear();
    } else {
      cell += c;
    }
  }
  row.cells.push_back(cell);
  if (row.cells.size() != columns || row.cells.front().empty()) return false;
  char* end = nullptr;
  row.model = std::strtoull(row.cells.front().c_str(), &end, 10);
  if (*end != '\0' || row.model == 0) return false;
  row.misfit.reset();
  return true;
}

}  // namespace fit
