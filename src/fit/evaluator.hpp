// The evaluation of one source model against every record: the varied
// values set into each record's parameters, the source model and the
// synthetic built, and the misfit formed over the records' windows.
//
// One Evaluator per worker: it owns its scratch, so workers never share
// mutable state, and model i gives the same result on any worker.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "fit/problem.hpp"

namespace fit {

// The compared quantities, in the order of models.csv's columns.
enum Quantity { kAcc = 0, kVel = 1, kDis = 2, kEnv = 3 };
inline constexpr int kQuantities = 4;
inline constexpr const char* kQuantityNames[kQuantities] = {"acc", "vel", "dis", "env"};

struct QuantityFit {
  double residual = 0, correlation = 0;
};

struct ModelResult {
  bool refused = false;
  std::string note;      // why the model was refused
  double misfit = 0;
  double shift = 0;      // seconds; positive when the synthetic lags the observed motion
  std::vector<std::array<QuantityFit, kQuantities>> records;
};

class Evaluator {
 public:
  explicit Evaluator(const Problem& problem);
  ~Evaluator();
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  // Evaluates the model with these values of the varied parameters.
  ModelResult evaluate(const std::vector<double>& values);

 private:
  struct Scratch;
  const Problem& problem_;
  std::unique_ptr<Scratch> scratch_;
};

// Normalised residual and correlation of observed window o(ksm..kem)
// against synthetic window y(ksa+s..) for every shift s in -maxShift..maxShift
// (index s + maxShift); samples outside the series read as zero. A zero
// synthetic window gives an infinite residual and a zero correlation.
void shiftCurves(const std::vector<float>& observed, int ksm, int kem, const std::vector<float>& synthetic,
                 int ksa, int kea, int maxShift, std::vector<QuantityFit>& curve);

}  // namespace fit
