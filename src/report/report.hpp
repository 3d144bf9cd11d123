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
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "metrics/metrics.hpp"
#include "model/motion.hpp"
#include "synthesis/synthesis.hpp"

namespace report {

// A folder that cannot be created or written; the message names it.
struct WriteError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// How well a synthetic's spectra fit a record's: Anderson's score over the
// bands inside the filter band (NaN when none is), and the mean and RMS
// of ln(PSA observed / PSA synthetic) over a band of periods.
struct SpectralScores {
  double anderson = std::numeric_limits<double>::quiet_NaN();
  int bands = 0;
  double biasMean = std::numeric_limits<double>::quiet_NaN();
  double biasRms = std::numeric_limits<double>::quiet_NaN();
};

// A search's spectral fit of its best and its starting model at one record;
// the bias over `periods` log-spaced periods from `from` to `to` seconds.
// The starting model's scores are NaN when the search refused it.
struct SearchSpectra {
  double from = 0, to = 0;
  int periods = 0;
  SpectralScores best, start;
};

// Everything the writers need of one record of one run.
struct RunView {
  std::string title;      // the run's titles, shown on the report
  std::string station;    // station code of the record header
  std::string component;  // component text of the record header
  std::string event;         // event text of the target record header
  std::string elementEvent;  // event text of the element record header
  std::string unit;       // amplitude unit text of the records (acceleration)
  float dt = 0;           // sample interval (s)

  // The whole prepared series as the waveform figure draws them: observed,
  // synthetic, and the element record without the factor cfac.
  model::MotionView observed, synthetic, element;

  // Compared windows, samples counted from 1: observed ksm..kem against
  // synthetic ksa..kea.
  int ksm = 0, kem = 0, ksa = 0, kea = 0;

  // The source model.
  int nx = 0, nw = 0, nt = 0, nsx = 0, nsw = 0;
  float cfac = 0, vr = 0, dx = 0, dw = 0, tra = 0;
  int ird = 0;   // rupture: 1 along strike, 2 radial
  int ipfm = 0;  // radiation correction: 0 none, 1 ratio of coefficients, 2 sign only

  // A source model of several SMGAs (empty for one, which the values above
  // describe): each one's values, where its rupture starts (km along strike
  // and down dip from the hypocentre) and when (s after the origin time).
  struct Area {
    int nx = 0, nw = 0, nt = 0, nsx = 0, nsw = 0;
    float cfac = 0, vr = 0, dx = 0, dw = 0, tra = 0;
    double x = 0, w = 0, onset = 0;
  };
  std::vector<Area> areas;

  // The run's filter of every prepared series: a band pass between fl and
  // fh (either order), or a low pass below fh when fl is 0; none when not
  // requested or when its design was refused.
  struct Filter {
    bool requested = false, refused = false;
    float fl = 0, fh = 0;
  } filter;

  // The run's comparison: residual, correlation and lag per quantity
  // (acceleration, velocity, displacement).
  synthesis::Comparison fits{};

  // The search's own comparison, when the run is a search's best model:
  // residual and correlation per quantity over `length` samples from ksm
  // (observed) and from ksa (synthetic), the window at the common shift,
  // which the run's ksa and kea already carry (`shift` samples, positive
  // when the synthetic lags).
  struct SearchFit {
    int length = 0, shift = 0;
    std::array<double, 3> residual{}, correlation{};
    // The search's spectral fit of this model and of its starting model,
    // each over its window at its own common shift, when the search gives it.
    std::optional<SearchSpectra> spectra;
  };
  std::optional<SearchFit> search;
};

// What deserves a second look in a comparison, per quantity: egfsim's best
// lag at the edge of the lags it tries (the best match may lie beyond), no
// lag giving egfsim a positive correlation (its lag and residual are then
// not this quantity's), the search's correlation below 0 (opposite
// polarity at the common shift).
struct Flag {
  enum Kind { LagAtEdge, NoPositiveCorrelation, OppositePolarity } kind;
  int quantity;  // 0 acceleration, 1 velocity, 2 displacement
};
std::vector<Flag> comparisonFlags(const RunView& c);

// A flag as a sentence (metrics.json) or as a few words (the page).
std::string flagText(const Flag& f, const RunView& c, bool brief);

// The band the run's filter passes: (min(fl, fh), max(fl, fh)), (0, fh) for
// a low pass, (0, infinity) without a filter.
metrics::Band passBand(const RunView::Filter& f);

// The lines of the page that state the model physically: fault and
// subfault size, rise time nt x tra, rupture, C and C x N^3 (the moment
// ratio C nx nw nt), the radiation setting and the filter; for several
// SMGAs one line each, their total moment ratio, rupture, radiation and
// filter.
std::vector<std::string> modelLines(const RunView& c);

// The measures of metrics.json and the page over the compared windows, in
// double precision; an undefined value is NaN.
struct Measures {
  double dt = 0;  // the run's interval as the decimal its single-precision value stands for
  std::array<double, 3> peakObserved{}, peakSynthetic{};  // acceleration, velocity, displacement
  std::vector<double> periods, psaObserved, psaSynthetic, psaLnRatio;
  std::vector<double> frequencies, fourierObserved, fourierSynthetic;  // smoothed, of acceleration
  double ariasObserved = 0, ariasSynthetic = 0;      // m/s; NaN when the unit is not known
  double durationObserved = 0, durationSynthetic = 0;  // 5-95 % significant duration, s
  metrics::Band passBand{};          // the headline score's bands lie within it
  metrics::GoodnessOfFit anderson;
};

// Units of acceleration, velocity and displacement for a record's unit
// field, by its family (records/units.hpp): centimetre-based units give the
// text itself, cm/s and cm; metre-based the text, m/s and m; g gives g, g*s
// and g*s^2; anything else the text (or "unit"), text*s and text*s^2.
std::array<std::string, 3> quantityUnits(const std::string& unit);

// Creates `dir` when missing and writes the nine SAC files
// (observed|synthetic|element).(acc|vel|dis).sac and series.csv. A
// prediction (no observed motion: its spans empty) has no observed files
// or columns. Throws WriteError naming the folder when it cannot be
// written.
void writeSeries(const std::filesystem::path& dir, const RunView& c);

// What is predicted of a synthetic motion over its whole length: its peaks
// (acceleration, velocity, displacement) and its 5%-damped pseudo-spectral
// acceleration at `periods`.
struct Predicted {
  std::array<double, 3> peaks{};
  std::vector<double> periods, psa;
};
Predicted predict(const model::MotionView& synthetic, float dt);

// The periods of every response spectrum written: 100 from 0.01 to 10 s,
// equally spaced in log.
std::vector<double> spectrumPeriods();

// A prediction (a comparison without observed motion): the series files,
// prediction.json (the model, the peaks and the response spectrum) and
// response_spectrum.csv. Throws WriteError.
void writePrediction(const std::filesystem::path& dir, const RunView& c);

// The spread of the predictions of several source models at one record:
// the 16th, 50th and 84th percentiles of each peak and of the response
// spectrum at each period, over the models.
struct Spread {
  int models = 0;
  std::vector<double> periods;
  std::array<std::vector<double>, 3> psa;             // 16th, 50th, 84th percentile per period
  std::array<std::array<double, 3>, 3> peaks{};       // [percentile][acc, vel, dis]
};

// The empirical percentile p (0..1) of `values` in log: the order statistics
// of ln v interpolated linearly at position p (n - 1), then exponentiated.
// NaN for no values or any value that is not positive.
double logPercentile(std::vector<double> values, double p);

// The spread of a list of predictions at the same periods.
Spread spread(const std::vector<Predicted>& predictions);

// Draws the response spectra of a spread into a PDF, SVG or PNG file (by
// the extension of `file`). Throws WriteError.
void drawSpread(const std::filesystem::path& file, const Spread& s, const Predicted& given,
                const std::string& title, const std::string& unit);

// spread.csv (the response spectrum's percentiles per period),
// spread_peaks.csv (the peaks') and spread.pdf and spread.png (the
// response spectra: the percentiles, and `given`, the prediction of the
// model the configuration gives). `unit` is the acceleration unit.
// Throws WriteError.
void writeSpread(const std::filesystem::path& dir, const Spread& s, const Predicted& given,
                 const std::string& title, const std::string& unit);


// The measures of a comparison: peaks, response spectra, smoothed Fourier
// spectra, Arias intensity, significant duration and Anderson's scores.
Measures measure(const RunView& c);

// metrics.json: the measures with what was compared and the run's own
// residuals and correlations. Undefined values are null.
nlohmann::json metricsJson(const RunView& c, const Measures& m);

// Creates `dir` when missing and writes metrics.json, report.pdf and
// report.svg. Throws WriteError naming the folder when it cannot be written.
void writeReport(const std::filesystem::path& dir, const RunView& c);

// Draws the report page of the comparison and its measures into a PDF or
// SVG file (chosen by the extension of `file`). Throws WriteError.
void drawReport(const std::filesystem::path& file, const RunView& c, const Measures& m);

}  // namespace report
