// The records of a search, read and prepared once: each record's parameter
// file (read by the program's own reader), its observed motion and its
// element motion before scaling by cfac.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/evaluator.hpp"
#include "fit/config.hpp"
#include "model/params.hpp"
#include "records/records.hpp"

namespace fit {

struct PreparedRecord {
  std::string name;                  // the parameter file's name without extension (unique)
  std::filesystem::path paramsFile;  // as resolved from the configuration
  double weight = 1.0;
  bool predict = false;              // no target record: predicted, not fitted
  model::Params params;              // as read, the record paths resolved
  std::filesystem::path targetFile, elementFile;  // record files resolved against the parameter file's folder
  float dt = 0;                      // the element record's sample interval (s)
  int nmain = 0, naft = 0;
  int samples = 0;                   // samples synthesised: ns, or nmain when ns is 0
  // Observed acceleration, velocity, displacement and the element's three
  // series times cfac, as egfsim prepares them.
  std::vector<float> observed[3];
  std::vector<float> element[3];
  // The search engine's read-only part of this record, shared by every
  // worker.
  std::shared_ptr<const engine::Record> engine;
  // What an exact run of another source model needs: the headers, the
  // element samples as read (to be prepared with that model's cfac) and
  // the prepared observed motion (none for a predicted record).
  records::RecordHeader targetHeader, elementHeader;
  records::RecordSamples elementSamples;
  records::PreparedRecord target;
};

struct Problem {
  Config config;
  std::vector<PreparedRecord> records;      // fitted: with a target record
  std::vector<PreparedRecord> predictions;  // predicted: an element record only

  // The engine's records and the quantities' weights in the misfit.
  std::vector<std::shared_ptr<const engine::Record>> engineRecords() const;
  engine::Weights weights() const;
  // A model's parameter set for each fitted record: the record's own with
  // the model's values of the varied parameters.
  std::vector<model::Params> modelParams(const std::vector<double>& values) const;
  // The model with these values of the varied parameters against the
  // fitted records, by `evaluator` (over engineRecords()) on up to
  // `threads` workers; with [source], the configuration's source with the
  // model's values set.
  engine::ModelResult evaluate(engine::Evaluator& evaluator, const std::vector<double>& values,
                               int threads = 1) const;
};

// The shift range of a problem, in samples either side.
int maxShiftSamples(const Problem& problem);

// Reads every record's parameter file and records, checks that the records
// share their source lines and that every varied value is one egfsim takes.
// ConfigError (one line, with the configuration's line and column) on any
// fault. The fast engine's part of each record is made for a search
// (`engines`).
Problem loadProblem(const Config& config, bool engines = true);

// Half width in samples of the acceleration envelope's 0.5-second window.
int envelopeHalfWidth(float dt);

}  // namespace fit
