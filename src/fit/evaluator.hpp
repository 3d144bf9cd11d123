// The evaluation of one source model: for each record, the varied values
// set into the record's parameters, the source model and the synthetic
// built, and the residual and correlation of each quantity at every shift;
// then the records' curves combined into one misfit at one common shift.
//
// With [source], the model's source is the configuration's with the varied
// values set, refused when it cannot be (source::refusal), and its SMGAs
// are summed as one plan.
//
// One Evaluator per worker: it owns its scratch (the fast synthesis
// engine's buffers), so workers never share mutable state, and a model gives
// the same result on any worker.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "evaluate/evaluator.hpp"
#include "fit/problem.hpp"

namespace fit {

// The compared quantities, in the order of models.csv's columns.
enum Quantity { kAcc = 0, kVel = 1, kDis = 2, kEnv = 3 };
inline constexpr int kQuantities = 4;
inline constexpr const char* kQuantityNames[kQuantities] = {"acc", "vel", "dis", "env"};

struct QuantityFit {
  double residual = 0, correlation = 0;
};

// One record's residual and correlation per quantity at every shift
// -maxShift..maxShift (index s + maxShift); the envelope's curves are empty
// when its weight is 0.
struct RecordCurves {
  bool refused = false;
  std::string note;  // why egfsim's stages refused the model
  evaluate::Curves curves;
};

struct ModelResult {
  bool refused = false;
  std::string note;      // why the model was refused
  double misfit = 0;
  double shift = 0;      // seconds; positive when the synthetic lags the observed motion
  std::vector<std::array<QuantityFit, kQuantities>> records;
};

// The shift range of a problem, in samples either side.
int maxShiftSamples(const Problem& problem);

class Evaluator {
 public:
  explicit Evaluator(const Problem& problem);
  ~Evaluator();
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  // The model with these values of the varied parameters against record r.
  void evaluate(std::size_t record, const std::vector<double>& values, RecordCurves& out);

  // Every record in turn, then combined.
  ModelResult evaluate(const std::vector<double>& values);

 private:
  const Problem& problem_;
  evaluate::Evaluator engine_;
  std::vector<RecordCurves> records_;
  source::Source source_;     // the model's source, with the varied values
  source::Planner planner_;
};

// The misfit of a model from its records' curves: the weighted sum over
// records and quantities of the residuals at one shift, the shift of least
// sum (ties to the smaller shift, the negative one first); refused when a
// record was.
ModelResult combine(const Problem& problem, const std::vector<RecordCurves>& records);

}  // namespace fit
