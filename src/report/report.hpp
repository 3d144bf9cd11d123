// Numbers out of a run: the prepared and synthetic series as SAC files and
// one CSV table, and a comparison report of observed and synthetic motion
// (metrics.json, report.pdf, report.svg).
//
// Everything here takes plain inputs (the series, the sample interval, the
// record texts and the run's numbers), writes only under the folder it is
// given, and never touches the console, so that every front end can call
// it for any record of any model.
#pragma once

#include <array>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace report {

// A folder that cannot be created or written; the message names it.
struct WriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Acceleration, velocity and displacement of one motion, sample 1 first.
struct Motion {
  std::span<const float> acc, vel, dis;
};

// Everything the writers need of one record of one run.
struct Comparison {
  std::string title;      // the run's titles, shown on the report
  std::string station;    // station code of the record header
  std::string component;  // component text of the record header
  std::string event;         // event text of the target record header
  std::string elementEvent;  // event text of the element record header
  std::string unit;       // amplitude unit text of the records (acceleration)
  float dt = 0;           // sample interval (s)

  // The whole prepared series as the waveform figure draws them: observed,
  // synthetic, and the element record without the factor cfac.
  Motion observed, synthetic, element;

  // Compared windows, samples counted from 1: observed ksm..kem against
  // synthetic ksa..kea.
  int ksm = 0, kem = 0, ksa = 0, kea = 0;

  // The source model.
  int nx = 0, nw = 0, nt = 0, nsx = 0, nsw = 0;
  float cfac = 0, vr = 0, dx = 0, dw = 0, tra = 0;

  // The run's comparison per quantity (acceleration, velocity, displacement).
  std::array<float, 3> residual{}, correlation{};
  std::array<int, 3> lag{};
};

// Units of acceleration, velocity and displacement for a record's unit
// field, by its family (records/units.hpp): centimetre-based units give the
// text itself, cm/s and cm; metre-based the text, m/s and m; g gives g, g*s
// and g*s^2; anything else the text (or "unit"), text*s and text*s^2.
std::array<std::string, 3> quantityUnits(const std::string& unit);

// Creates `dir` when missing and writes the nine SAC files
// (observed|synthetic|element).(acc|vel|dis).sac and series.csv.
// Throws WriteError naming the folder when it cannot be written.
void writeSeries(const std::filesystem::path& dir, const Comparison& c);

// The measures of metrics.json (peaks, response spectra, smoothed Fourier
// spectra, Arias intensity, significant duration, Anderson's scores and the
// run's own residuals and correlations). Undefined values are null.
nlohmann::json measure(const Comparison& c);

// Creates `dir` when missing and writes metrics.json, report.pdf and
// report.svg. Throws WriteError naming the folder when it cannot be written.
void writeReport(const std::filesystem::path& dir, const Comparison& c);

// Draws the report page from the measures and the comparison into a PDF or
// SVG file (chosen by the extension of `file`). Throws WriteError.
void drawReport(const std::filesystem::path& file, const Comparison& c, const nlohmann::json& m);

}  // namespace report
