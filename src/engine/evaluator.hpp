// One model of the source-model search against its records: for each
// record, the source model, the summation plan (with egfsim's refusals),
// the fast synthetic and the residual and correlation of each quantity at
// every shift; then the records' curves combined into one misfit at one
// common shift.
//
// Windows: the observed window is samples ksm..ksm+n-1 and the synthetic
// window at shift l is ksa+l..ksa+l+n-1, with n = min(kem - ksm, kea - ksa)
// + 1 (samples counted from 1, those outside a series reading as zero).
// The synthetic is made as egfsim makes it (its means over 1..ns and then
// over ksa..kea removed) but in double precision and by convolution (see
// synthesizer.hpp); the curves are those of misfit.hpp.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/misfit.hpp"
#include "engine/spectral.hpp"
#include "engine/synthesizer.hpp"
#include "model/motion.hpp"
#include "model/params.hpp"
#include "source/source.hpp"
#include "synthesis/synthesis.hpp"

namespace engine {

// The compared quantities, in the order of models.csv's columns:
// acceleration, velocity, displacement, and the acceleration envelope.
enum Quantity : int { kAcc = 0, kVel = 1, kDis = 2, kEnv = 3 };
inline constexpr int kQuantities = 4;
inline constexpr const char* kQuantityNames[kQuantities] = {"acc", "vel", "dis", "env"};

// The weight of each quantity in the misfit.
using Weights = std::array<double, kQuantities>;

// A record as the record stage leaves it: its name (for notes) and weight
// in the misfit, the parameter set, the sample interval, the samples
// synthesised (ns, or the target's count when ns is 0), the prepared
// observed motion and the element motion, which carries the amplitude
// factor elementCfac: egfsim's prepared element carries params.cfac, an
// element kept before the scaling carries 1. The element's mean is removed
// again (after the scaling, as the record stage does), so an element kept
// before that removal may be given as well.
struct RecordInput {
  std::string name;
  double weight = 1.0;
  const model::Params& params;
  float dt;
  int samples;
  model::MotionView observed;
  model::MotionView element;
  int elementSamples;
  float elementCfac;
};

// The read-only part of one record, made once and shared by every thread.
class Record {
 public:
  // Shifts -maxShift..maxShift samples; the envelope is the mean of |acc|
  // over 2 envelopeHalfWidth + 1 samples; the observed spectra of the
  // spectral terms whose weights are positive are made once here (throws
  // std::invalid_argument with the reason when the window cannot give them).
  Record(const RecordInput& input, int maxShift, int envelopeHalfWidth,
         const SpectralSettings& spectral = {});

  const std::string& name() const { return name_; }
  double weight() const { return weight_; }
  float dt() const { return dt_; }
  int maxShift() const { return maxShift_; }
  int length() const { return length_; }
  int samples() const { return ns_; }
  // The observed side of the spectral terms; null when both are off.
  const SpectralObserved* spectral() const { return spectral_ ? &*spectral_ : nullptr; }
  // Bytes it holds (the element's spectra, the observed windows).
  std::size_t bytes() const;

 private:
  friend class Evaluator;
  std::string name_;
  double weight_;
  float dt_;
  int ns_, ksm_, ksa_, kea_, length_, maxShift_, halfWidth_;
  Element element_;
  std::array<Observed, kQuantities> observed_;
  std::optional<SpectralObserved> spectral_;
};

// One record's residual and correlation per quantity at every shift
// -maxShift..maxShift (index s + maxShift); a quantity of weight 0 other
// than the three motions has empty curves. A refused record has none.
struct RecordCurves {
  bool refused = false;
  std::string note;  // why egfsim's stages refuse the model
  std::array<std::vector<double>, kQuantities> residual, correlation;
};

// The residual and correlation of one quantity at the common shift.
struct Fit {
  double residual = 0, correlation = 0;
};

struct ModelResult {
  bool refused = false;
  std::string note;  // why the model was refused
  double misfit = 0;
  double shift = 0;  // seconds; positive when the synthetic lags the observed motion
  std::vector<std::array<Fit, kQuantities>> records;
  // Each record's spectral terms at the shift (empty when both are off).
  std::vector<SpectralFit> spectral;
};

// How the records' curves make a model's misfit.
struct Misfit {
  Weights weights{};
  int maxShift = 0;  // samples either side
  double dt = 0;     // sample interval (s) of every record
  struct Term {
    std::string name;
    double weight = 1.0;
  };
  std::vector<Term> records;
};

// The misfit of a model from its records' curves: the weighted sum over
// records and quantities of the residuals at one shift, the shift of least
// sum (ties to the smaller shift, the negative one first); refused when a
// record was (the first one's note), or when a weighted window has no
// energy at that shift.
ModelResult combine(const Misfit& misfit, std::span<const RecordCurves> records);

// The evaluator of a search's models: its scratch for every record and
// thread is made once, so a model allocates next to nothing, and a model
// gives the same result whichever threads work on it. One evaluator
// evaluates one model at a time.
class Evaluator {
 public:
  Evaluator(std::vector<std::shared_ptr<const Record>> records, const Weights& weights);
  ~Evaluator();
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  // The model given as a parameter set for each record (the record's own
  // set with the model's source values), its records' work spread over up
  // to `threads` workers: each record's source model, plan and taps, then
  // each record's acceleration, velocity and displacement with their
  // curves. A record egfsim would refuse (a subfault at the station, ntt
  // outside 1..500, a shift beyond range, an overflow of single precision)
  // is refused with egfsim's text.
  ModelResult evaluate(std::span<const model::Params> models, int threads = 1);

  // The same for a source model of SMGAs: each record's plan is the
  // source's on that record's parameter set (which gives what the source
  // leaves to the record), every SMGA weighted by its C. A source that
  // cannot lie on a record's fault is refused with source::refusal's
  // reason.
  ModelResult evaluate(std::span<const model::Params> models, const source::Source& source,
                       int threads = 1);

  // The curves of record r for the last model.
  const RecordCurves& curves(std::size_t r) const;
  // The synthetic acceleration of record r for the last model, from shift
  // -maxShift (as the curves take it); kept only when a spectral term is on
  // or keepAcceleration() was asked for.
  std::span<const double> acceleration(std::size_t r) const;
  void keepAcceleration() { keepAcc_ = true; }
  const SpectralSettings& spectral() const { return spectral_; }
  const Misfit& misfit() const { return misfit_; }
  std::size_t bytes() const;

 private:
  struct Work;
  struct Worker;
  ModelResult run(std::span<const model::Params> models, const source::Source* source, int threads);
  void prepareRecord(std::size_t r, const model::Params& model, const source::Source* source);
  void makeSeries(std::size_t r, int q, Worker& worker);
  void addSpectralTerms(ModelResult& result, int threads);

  std::vector<std::shared_ptr<const Record>> records_;
  Misfit misfit_;
  std::vector<std::unique_ptr<Work>> work_;
  std::vector<RecordCurves> curves_;
  std::vector<std::unique_ptr<Worker>> workers_;
  SpectralSettings spectral_;  // the records' terms (their weights 0 when off)
  bool keepAcc_ = false;
};

}  // namespace engine
