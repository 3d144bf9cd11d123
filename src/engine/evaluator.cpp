#include "engine/evaluator.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "parallel/parallel.hpp"
#include "records/records.hpp"
#include "textio/shortest.hpp"
#include "textio/stop.hpp"

namespace engine {
namespace {

std::vector<double> window(std::span<const float> series, int first, int length) {
  std::vector<double> w(static_cast<std::size_t>(length));
  gather(series, first, w);
  return w;
}

std::vector<double> envelopeWindow(std::span<const float> series, int first, int length,
                                   int halfWidth) {
  std::vector<double> wide(series.begin(), series.end());
  std::vector<double> w(static_cast<std::size_t>(length));
  envelope(wide, first, halfWidth, w);
  return w;
}

// The element is kept at cfac 1 (the prepared element divided by the cfac
// it carries): each model's cfac is then the weight of its plan's area.
double elementScale(float cfac) {
  if (cfac == 0.0f || !std::isfinite(cfac))
    throw std::invalid_argument("engine::Record: the element's cfac must be finite and nonzero");
  return 1.0 / static_cast<double>(cfac);
}

// The decimal a single-precision interval stands for (0.01f is 0.01 s),
// as the report measures with it.
double decimal(float v) { return std::strtod(textio::shortest(v).c_str(), nullptr); }

}  // namespace

Record::Record(const RecordInput& input, int maxShift, int envelopeHalfWidth,
               const SpectralSettings& spectral)
    : name_(input.name),
      weight_(input.weight),
      dt_(input.dt),
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
    observed_[q] = Observed(window(input.observed[q], ksm_, length_), maxShift_);
  observed_[kEnv] = Observed(envelopeWindow(input.observed[0], ksm_, length_, halfWidth_), maxShift_);
  if (spectral.any())
    spectral_.emplace(window(input.observed[0], ksm_, length_), decimal(dt_), spectral);
}

std::size_t Record::bytes() const {
  std::size_t b = sizeof(*this) + element_.bytes();
  for (const Observed& o : observed_) b += o.bytes();
  if (spectral_) b += spectral_->bytes();
  return b;
}

ModelResult combine(const Misfit& m, std::span<const RecordCurves> records) {
  ModelResult result;
  for (const RecordCurves& r : records) {
    if (r.refused) {
      result.refused = true;
      result.note = r.note;
      return result;
    }
  }
  std::vector<double> total(static_cast<std::size_t>(2 * m.maxShift + 1), 0.0);
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (int q = 0; q < kQuantities; ++q) {
      if (m.weights[q] <= 0) continue;
      const std::vector<double>& residual = records[r].residual[static_cast<std::size_t>(q)];
      for (std::size_t k = 0; k < total.size(); ++k)
        total[k] += m.records[r].weight * m.weights[q] * residual[k];
    }
  }
  const int best = bestShift(total, m.maxShift);
  const std::size_t at = static_cast<std::size_t>(best + m.maxShift);
  result.misfit = total[at];
  result.shift = static_cast<double>(best) * m.dt;
  result.records.resize(records.size());
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (int q = 0; q < kQuantities; ++q) {
      const auto k = static_cast<std::size_t>(q);
      if (records[r].residual[k].empty()) continue;
      const Fit fit{records[r].residual[k][at], records[r].correlation[k][at]};
      result.records[r][k] = fit;
      // A window without energy has no defined ratio: no fit to report.
      if (m.weights[q] > 0 && fit.residual >= kNoEnergyResidual) {
        result.refused = true;
        result.note = m.records[r].name + ": the " + kQuantityNames[q] +
                      " window has no energy at the best shift (a silent synthetic or record)";
        return result;
      }
    }
  }
  return result;
}

// One record's share of the model being evaluated.
struct Evaluator::Work {
  Synthesizer synth;
  synthesis::SubfaultModel model;
  std::optional<synthesis::SummationPlan> plan;
  source::Planner planner;  // a source model's areas
  std::array<std::string, 3> refusals;  // of each series, made on separate threads
  std::vector<double> acc;  // the synthetic acceleration from shift -maxShift, for the spectral terms

  Work(int maxIn, int maxOut) : synth(maxIn, maxOut) {}
};

// One thread's scratch.
struct Evaluator::Worker {
  ConvolutionScratch convolution;
  Correlator correlator;
  SpectralScratch spectral;
  std::vector<double> series, region;
};

Evaluator::Evaluator(std::vector<std::shared_ptr<const Record>> records, const Weights& weights)
    : records_(std::move(records)) {
  if (records_.empty()) throw std::invalid_argument("engine::Evaluator: no records");
  misfit_.weights = weights;
  misfit_.maxShift = records_.front()->maxShift();
  misfit_.dt = static_cast<double>(records_.front()->dt());
  for (const auto& r : records_) {
    if (r->maxShift() != misfit_.maxShift)
      throw std::invalid_argument("engine::Evaluator: records with different shift ranges");
    misfit_.records.push_back({r->name(), r->weight()});
    work_.push_back(std::make_unique<Work>(r->element_.samples(), std::max(r->samples(), 1)));
    if ((r->spectral() != nullptr) != (records_.front()->spectral() != nullptr))
      throw std::invalid_argument("engine::Evaluator: records with and without spectral terms");
  }
  if (const SpectralObserved* s = records_.front()->spectral()) spectral_ = s->settings();
  curves_.resize(records_.size());
}

Evaluator::~Evaluator() = default;

const RecordCurves& Evaluator::curves(std::size_t r) const { return curves_.at(r); }

std::size_t Evaluator::bytes() const {
  std::size_t b = sizeof(*this);
  for (const auto& w : work_) b += sizeof(Work) + w->synth.bytes();
  for (const auto& w : workers_)
    b += sizeof(Worker) + w->convolution.bytes() + w->correlator.bytes() +
         (w->series.capacity() + w->region.capacity()) * sizeof(double);
  return b;
}

void Evaluator::prepareRecord(std::size_t r, const model::Params& model, const source::Source* source) {
  const Record& rec = *records_[r];
  Work& w = *work_[r];
  RecordCurves& c = curves_[r];
  c.refused = false;
  w.refusals = {};
  const auto refuse = [&](std::string note) {
    c.refused = true;
    c.note = std::move(note);
    for (auto& v : c.residual) v.clear();
    for (auto& v : c.correlation) v.clear();
  };
  if (source != nullptr) {
    if (std::string why = source::refusal(*source, model); !why.empty()) return refuse(std::move(why));
    try {
      w.plan.emplace(w.planner.plan(model, *source, rec.dt_, 1.0f));
      w.synth.prepare(rec.element_, *w.plan, rec.ns_);
    } catch (const textio::InputRejected& x) {
      refuse(rec.name_ + ": " + x.message);
    }
    return;
  }
  try {
    // egfsim's preparation scales the element by cfac first.
    if (!synthesis::finiteInSinglePrecision(rec.element_.peak() * static_cast<double>(model.cfac)))
      throw records::overflowRefusal(model.faft);
    w.model = synthesis::sourceModel(model, rec.dt_);
    // egfsim's plan with cfac as the area's weight: the record's element is
    // kept at cfac 1.
    const synthesis::AreaSource area{w.model, model.nx, model.nw, model.cfac};
    w.plan.emplace(model, rec.dt_, std::span(&area, 1));
    w.synth.prepare(rec.element_, *w.plan, rec.ns_);
  } catch (const textio::InputRejected& x) {
    refuse(rec.name_ + ": " + x.message);
  }
}

void Evaluator::makeSeries(std::size_t r, int q, Worker& worker) {
  const Record& rec = *records_[r];
  Work& w = *work_[r];
  RecordCurves& c = curves_[r];
  if (c.refused) return;
  worker.series.resize(static_cast<std::size_t>(w.synth.samples()));
  try {
    w.synth.series(q, worker.convolution, worker.series);
  } catch (const textio::InputRejected& x) {
    w.refusals[static_cast<std::size_t>(q)] = x.message;
    return;
  }
  removeMeans(worker.series, rec.ksa_, rec.kea_);

  const double scale = w.synth.scale();
  const int m = rec.maxShift_;
  const std::size_t shifts = 2 * static_cast<std::size_t>(m) + 1;
  worker.region.resize(static_cast<std::size_t>(rec.observed_[0].span()));
  const long long first = static_cast<long long>(rec.ksa_) - m;
  const auto curves = [&](int quantity) {
    const auto k = static_cast<std::size_t>(quantity);
    c.residual[k].resize(shifts);
    c.correlation[k].resize(shifts);
    worker.correlator.reserve(rec.observed_[k]);
    worker.correlator.curves(rec.observed_[k], worker.region, c.residual[k],
                             c.correlation[k]);
  };
  gather(worker.series, first, worker.region);
  if (scale != 1.0)
    for (double& v : worker.region) v *= scale;
  if (q == kAcc && (spectral_.any() || keepAcc_)) w.acc.assign(worker.region.begin(), worker.region.end());
  curves(q);
  if (q == kAcc) {
    if (misfit_.weights[kEnv] > 0) {
      envelope(worker.series, first, rec.halfWidth_, worker.region);
      if (std::fabs(scale) != 1.0)
        for (double& v : worker.region) v *= std::fabs(scale);
      curves(kEnv);
    } else {
      c.residual[kEnv].clear();
      c.correlation[kEnv].clear();
    }
  }
}

ModelResult Evaluator::evaluate(std::span<const model::Params> models, int threads) {
  return run(models, nullptr, threads);
}

ModelResult Evaluator::evaluate(std::span<const model::Params> models, const source::Source& source,
                                int threads) {
  return run(models, &source, threads);
}

ModelResult Evaluator::run(std::span<const model::Params> models, const source::Source* source, int threads) {
  if (models.size() != records_.size())
    throw std::invalid_argument("engine::Evaluator::evaluate: " + std::to_string(models.size()) +
                                " parameter sets for " + std::to_string(records_.size()) +
                                " records");
  threads = std::max(threads, 1);
  while (workers_.size() < static_cast<std::size_t>(threads))
    workers_.push_back(std::make_unique<Worker>());
  // One pass over the records' series: the first series of each record in
  // record order, then the others record by record. The worker that first
  // reaches a record prepares it (its plan and taps), while the others go
  // on with series of records already prepared: no barrier between
  // preparing and convolving, and a worker waits for a record only when
  // every series left is of the record being prepared. Each record and
  // series is computed alone, so the result does not depend on the order.
  const std::size_t n = records_.size();
  const std::unique_ptr<std::once_flag[]> prepared(new std::once_flag[n]);
  parallel::forEach(3 * n, threads, [&](std::size_t t, int worker) {
    const std::size_t r = t < n ? t : (t - n) / 2;
    const int q = t < n ? 0 : 1 + static_cast<int>((t - n) % 2);
    std::call_once(prepared[r], [&] { prepareRecord(r, models[r], source); });
    makeSeries(r, q, *workers_[static_cast<std::size_t>(worker)]);
  });
  // A series refused (an overflow) refuses its record.
  for (std::size_t r = 0; r < n; ++r) {
    for (const std::string& refusal : work_[r]->refusals) {
      if (!curves_[r].refused && !refusal.empty()) {
        curves_[r].refused = true;
        curves_[r].note = records_[r]->name_ + ": " + refusal;
      }
    }
  }
  ModelResult result = combine(misfit_, curves_);
  if (!result.refused && spectral_.any()) addSpectralTerms(result, threads);
  return result;
}

std::span<const double> Evaluator::acceleration(std::size_t r) const { return work_.at(r)->acc; }

// The spectral terms at the shift the waveform terms chose: a shift of a
// few seconds barely changes a window's spectra, and computing them at
// every shift would cost the whole range's worth of spectra per model.
void Evaluator::addSpectralTerms(ModelResult& result, int threads) {
  const std::size_t n = records_.size();
  const long long at = std::llround(result.shift / misfit_.dt) + misfit_.maxShift;
  result.spectral.assign(n, SpectralFit{});
  parallel::forEach(2 * n, threads, [&](std::size_t t, int worker) {
    const std::size_t r = t / 2;
    const bool psa = t % 2 == 0;
    if ((psa ? spectral_.psa : spectral_.fourier) <= 0.0) return;
    const SpectralObserved& o = *records_[r]->spectral();
    SpectralScratch& scratch = workers_[static_cast<std::size_t>(worker)]->spectral;
    scratch.reserve(o);
    const std::span<const double> window(work_[r]->acc.data() + at, static_cast<std::size_t>(o.length()));
    if (psa) result.spectral[r].psa = scratch.psa(o, window);
    else result.spectral[r].fourier = scratch.fourier(o, window);
  });
  for (std::size_t r = 0; r < n; ++r) {
    const SpectralFit& fit = result.spectral[r];
    for (const auto& [name, weight, value] : {std::tuple{"response spectrum", spectral_.psa, fit.psa},
                                             std::tuple{"Fourier spectrum", spectral_.fourier, fit.fourier}}) {
      if (weight <= 0.0) continue;
      if (value >= kNoEnergyResidual) {
        result.refused = true;
        result.note = misfit_.records[r].name + ": the synthetic's " + name +
                      " is zero at the best shift (a silent synthetic)";
        return;
      }
      result.misfit += misfit_.records[r].weight * weight * value;
    }
  }
}

}  // namespace engine
