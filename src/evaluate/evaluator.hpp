// One model of the source-model search against one prepared record: the
// source model, the fast synthetic and the misfit curves over every shift.
// Once the evaluator has met its records, the synthetic and the misfit
// allocate nothing per model.
//
// Windows: the observed window is samples ksm..ksm+n-1 and the synthetic
// window at shift l is ksa+l..ksa+l+n-1, with n = min(kem - ksm, kea - ksa)
// + 1 (samples counted from 1, those outside a series reading as zero).
// The synthetic is made as egfsim makes it (its means over 1..ns and then
// over ksa..kea removed) but in double precision and by convolution (see
// fastsynth); the curves are those of misfit.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "fastsynth/synthesizer.hpp"
#include "misfit/misfit.hpp"
#include "model/params.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/textio.hpp"

namespace evaluate {

// Acceleration, velocity, displacement, and the acceleration envelope.
enum Quantity : int { kAcc = 0, kVel = 1, kDisp = 2, kEnvelope = 3 };
inline constexpr int kQuantities = 4;

// A record as the record stage leaves it: the parameter set, the sample
// interval, the samples synthesised (ns, or the target's count when ns is
// 0), the prepared observed motion and the element motion,
// which carries the amplitude factor elementCfac: egfsim's prepared element
// carries params.cfac, an element kept before the scaling carries 1. The
// element's mean is removed again (after the scaling, as the record stage
// does), so an element kept before that removal may be given as well.
struct RecordInput {
  const model::Params& params;
  float dt;
  int samples;
  std::array<std::span<const float>, 3> observed;
  std::array<std::span<const float>, 3> element;
  int elementSamples;
  float elementCfac;
};

// The read-only part of one record, made once and shared by every thread.
class Record {
 public:
  // Shifts -maxShift..maxShift samples; the envelope is the mean of |acc|
  // over 2 envelopeHalfWidth + 1 samples.
  Record(const RecordInput& input, int maxShift, int envelopeHalfWidth);

  int maxShift() const { return maxShift_; }
  int length() const { return length_; }
  int samples() const { return ns_; }
  // Bytes it holds (the element's spectra, the observed windows).
  std::size_t bytes() const;

 private:
  friend class Evaluator;
  float dt_;
  int ns_, ksm_, ksa_, kea_, length_, maxShift_, halfWidth_;
  fastsynth::Element element_;
  std::array<misfit::Observed, kQuantities> observed_;
};

// Residual and correlation per quantity at every shift (index l + maxShift).
struct Curves {
  std::array<std::vector<double>, kQuantities> residual, correlation;
};

// One thread's evaluator. Its buffers grow to the largest record it meets
// (at the first model of each record) and are reused afterwards.
class Evaluator {
 public:
  Evaluator();
  ~Evaluator();
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  // Makes room for `record` (call once per record before the models; the
  // first evaluate() does it otherwise).
  void prepare(const Record& record);

  // The model `model` (a parameter set of the record, with the model's
  // source values) against `record`: curves receives its residual and
  // correlation curves for the quantities in `wanted` (the others are left
  // empty). The synthetic carries the model's cfac. Throws
  // textio::InputRejected for a model egfsim refuses (a subfault at the
  // station, ntt outside 1..500, a shift beyond range), as its stages do.
  void evaluate(const Record& record, const model::Params& model, Curves& curves,
                std::array<bool, kQuantities> wanted = {true, true, true, true});

  // The same for a summation plan made for this record (its sample
  // interval; weights for an element at cfac 1): several fault areas, each
  // with its weight, onset and sub-events, as one set of taps.
  void evaluate(const Record& record, const synthesis::SummationPlan& plan, Curves& curves,
                std::array<bool, kQuantities> wanted = {true, true, true, true});

  // The last synthetic (q: 0 acceleration, 1 velocity, 2 displacement),
  // for cfac 1: the model's synthetic is this times its cfac.
  std::span<const double> synthetic(int q) const { return synth_->series(q); }
  std::size_t bytes() const;

 private:
  std::unique_ptr<fastsynth::Synthesizer> synth_;
  int maxIn_ = 0, maxOut_ = 0;
  synthesis::SubfaultModel model_;
  misfit::Correlator correlator_;
  std::vector<double> region_;  // the synthetic samples a comparison reads
};

}  // namespace evaluate
