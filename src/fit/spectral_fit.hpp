// The spectral fit of a model at each record, as the summary states it for
// the best and the starting model side by side: Anderson's score over the
// bands inside the record's filter band, and the response-spectrum bias
// (mean and RMS of ln(PSA observed / PSA synthetic) over psa_periods), of
// the model's synthetic from the search's engine over the compared windows
// at the model's common shift; and the misfit's spectral terms.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/evaluator.hpp"
#include "fit/problem.hpp"
#include "report/report.hpp"

namespace fit {

struct RecordSpectralFit {
  report::SpectralScores scores;  // Anderson and the bias over psa_periods
  engine::SpectralFit terms;      // the misfit's spectral terms (NaN when off)
};

struct ModelSpectralFit {
  bool refused = false;
  std::string note;
  double shift = 0.0;  // s
  std::vector<RecordSpectralFit> records;
};

// The periods of the response-spectrum bias: psa_periods, psa_count of them.
std::vector<double> biasPeriods(const Problem& problem);

// The spectral fit of the model with these values of the varied parameters.
ModelSpectralFit spectralFit(const Problem& problem, const std::vector<double>& values);

// The two models' scores at record `r`, as its report page states them.
report::SearchSpectra recordSpectra(const Problem& problem, std::size_t r, const ModelSpectralFit& best,
                                    const ModelSpectralFit& start);

// The summary's section: a table of the two models' scores per record,
// and the same for the JSON summary.
std::string spectralFitText(const Problem& problem, const ModelSpectralFit& best, const ModelSpectralFit& start);
nlohmann::ordered_json spectralFitJson(const Problem& problem, const ModelSpectralFit& best,
                                       const ModelSpectralFit& start);

}  // namespace fit
