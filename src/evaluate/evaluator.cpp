#include "evaluate/evaluator.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "textio/stop.hpp"

namespace evaluate {
namespace {

std::vector<double> window(std::span<const float> series, int first, int length) {
  std::vector<double> w(static_cast<std::size_t>(length));
  misfit::gather(series, first, w);
  return w;
}

std::vector<double> envelopeWindow(std::span<const float> series, int first, int length,
                                   int halfWidth) {
  std::vector<double> wide(series.begin(), series.end());
  std::vector<double> w(static_cast<std::size_t>(length));
  misfit::envelope(wide, first, halfWidth, w);
  return w;
}

// The element is kept at cfac 1: each model's synthetic is then scaled by
// its own cfac (the summation is linear in it).
double elementScale(float cfac) {
  if (cfac == 0.0f || !std::isfinite(cfac))
    throw std::invalid_argument("evaluate::Record: the element's cfac must be finite and nonzero");
  return 1.0 / static_cast<double>(cfac);
}

}  // namespace

Record::Record(const RecordInput& input, int maxShift, int envelopeHalfWidth)
    : dt_(input.dt),
      ns_(input.samples),
      ksm_(input.params.ksm),
      ksa_(input.params.ksa),
      kea_(input.params.kea),
      length_(std::max(
          std::min(input.params.kem - input.params.ksm, input.params.kea - input.params.ksa) + 1,
          0)),
      maxShift_(std::max(maxShift, 0)),
      halfWidth_(std::max(envelopeHalfWidth, 0)),
      element_(input.element, input.elementSamples, std::max(input.samples, 1),
               elementScale(input.elementCfac), true) {
  for (int q = 0; q < 3; ++q)
    observed_[q] = misfit::Observed(window(input.observed[q], ksm_, length_), maxShift_);
  observed_[kEnvelope] =
      misfit::Observed(envelopeWindow(input.observed[0], ksm_, length_, halfWidth_), maxShift_);
}

std::size_t Record::bytes() const {
  std::size_t b = sizeof(*this) + element_.bytes();
  for (const misfit::Observed& o : observed_) b += o.bytes();
  return b;
}

Evaluator::Evaluator() = default;
Evaluator::~Evaluator() = default;

void Evaluator::prepare(const Record& record) {
  const int in = record.element_.samples();
  const int out = std::max(record.ns_, 1);
  if (!synth_ || in > maxIn_ || out > maxOut_) {
    maxIn_ = std::max(maxIn_, in);
    maxOut_ = std::max(maxOut_, out);
    synth_ = std::make_unique<fastsynth::Synthesizer>(maxIn_, maxOut_);
  }
  for (const misfit::Observed& o : record.observed_) correlator_.reserve(o);
  const std::size_t span = static_cast<std::size_t>(record.observed_[0].span());
  if (region_.size() < span) region_.resize(span);
}

std::size_t Evaluator::bytes() const {
  return sizeof(*this) + (synth_ ? synth_->bytes() : 0) + correlator_.bytes() +
         region_.capacity() * sizeof(double);
}

void Evaluator::evaluate(const Record& record, const model::Params& model, Curves& curves,
                         std::array<bool, kQuantities> wanted) {
  prepare(record);
  model_ = synthesis::sourceModel(model, record.dt_);

  // The plan of egfsim's summation, with cfac as the area's weight: the
  // record's element is kept at cfac 1.
  const synthesis::AreaSource area{model_, model.nx, model.nw, model.cfac};
  evaluate(record, synthesis::SummationPlan(model, record.dt_, std::span(&area, 1)), curves, wanted);
}

void Evaluator::evaluate(const Record& record, const synthesis::SummationPlan& plan, Curves& curves,
                         std::array<bool, kQuantities> wanted) {
  prepare(record);
  synth_->synthesize(record.element_, plan, record.ns_);
  synth_->removeMeans(record.ksa_, record.kea_);
  const double scale = synth_->scale();

  const int m = record.maxShift_;
  const std::size_t shifts = 2 * static_cast<std::size_t>(m) + 1;
  const std::span<double> region(region_.data(),
                                 static_cast<std::size_t>(record.observed_[0].span()));
  const long long first = static_cast<long long>(record.ksa_) - m;
  for (int q = 0; q < kQuantities; ++q) {
    if (!wanted[static_cast<std::size_t>(q)]) {
      curves.residual[q].clear();
      curves.correlation[q].clear();
      continue;
    }
    curves.residual[q].resize(shifts);
    curves.correlation[q].resize(shifts);
    if (q < 3) {
      misfit::gather(synth_->series(q), first, region);
    } else {
      misfit::envelope(synth_->series(0), first, record.halfWidth_, region);
    }
    const double factor = q == kEnvelope ? std::fabs(scale) : scale;
    if (factor != 1.0)
      for (double& v : region) v *= factor;
    correlator_.curves(record.observed_[q], region, curves.residual[q], curves.correlation[q]);
  }
}

}  // namespace evaluate
