// The fast synthetic for the source-model search.
//
// Every copy of the element record lands on a whole-sample shift, so the
// synthetic is the element motion convolved with a train of weighted
// impulses ("taps"). The taps are accumulated in double precision, copy by
// copy in the summation plan's order (each copy adding its weight a*b,
// rounded to single precision as the summation forms it, times its area's
// weight, into the tap of its shift), and each of the three element series
// is then convolved once with the taps: directly when the taps are few, by
// FFT when they are many, whichever the cost estimate says is cheaper. The
// result agrees with a double-precision sum of the same copies to about
// 1e-14 of the series' peak; its distance from the exact single-precision
// loop is that loop's own rounding at each of its additions (a few 1e-6 of
// the peak on typical models, 1e-4 where 450,000 copies overlap).
//
// egfsim keeps its exact loop; nothing here changes what it prints or draws.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "dsp/real_fft.hpp"
#include "model/motion.hpp"
#include "synthesis/synthesis.hpp"

namespace engine {

// The element motion of one record (acceleration, velocity, displacement),
// prepared once: widened to double, and its spectra made for every
// transform size a synthesis of up to `maxOut` samples may use. Read-only
// afterwards, so any number of Synthesizers may use one Element at once.
class Element {
 public:
  // Samples 1..nin of each series (each must hold nin samples), times
  // `scale`, with the mean over 1..nin then removed when removeMean is set
  // (the record stage removes it after its cfac scaling).
  Element(const model::MotionView& motion, int nin, int maxOut, double scale = 1.0,
          bool removeMean = false);

  int samples() const { return nin_; }
  int maxOut() const { return maxOut_; }
  // Largest |sample| of the three series.
  double peak() const { return peak_; }
  // The longest transform a synthesis from this element uses.
  int largestTransform() const { return sizes_.empty() ? 0 : sizes_.back().fft.size(); }
  // Bytes it holds (series and spectra).
  std::size_t bytes() const;

 private:
  friend class Synthesizer;
  struct Spectra {
    dsp::RealFft fft;
    std::array<dsp::FftBuffer<dsp::Complex>, 3> bins;
  };
  // The smallest prepared transform of at least n points; null when none is that long.
  const Spectra* spectraFor(int n) const;

  int nin_;
  int maxOut_;
  double peak_ = 0.0;
  std::array<std::vector<double>, 3> series_;
  std::vector<Spectra> sizes_;  // ascending sizes
};

enum class Method { Auto, Direct, Fft };

// One thread's scratch for making a series from prepared taps.
class ConvolutionScratch {
 public:
  // Room for transforms of up to `size` points.
  void reserve(int size);
  std::size_t bytes() const;

 private:
  friend class Synthesizer;
  dsp::FftBuffer<double> real_;
  dsp::FftBuffer<dsp::Complex> product_;
};

// The taps of one model for one element: prepare() gathers a summation
// plan's copies, series() then makes each of the three synthetic series
// from them, on any thread (several at once). Buffers are allocated once,
// for elements of up to maxIn samples and synthetics of up to maxOut
// samples; a synthesis allocates nothing.
class Synthesizer {
 public:
  Synthesizer(int maxIn, int maxOut);

  // The copies of `plan` gathered for a synthetic of nout samples from
  // `element` (which must outlive the series made from them). Throws
  // std::invalid_argument when the element or nout exceeds the sizes this
  // synthesiser was made for.
  void prepare(const Element& element, const synthesis::SummationPlan& plan, int nout,
               Method method = Method::Auto);

  // Series q (0 acceleration, 1 velocity, 2 displacement) of the prepared
  // synthetic into out (nout samples): sample n is the sum over the plan's
  // copies of (a*b)*w * element(n - shift), the element reading as zero
  // outside 1..nin, divided by scale(). Throws the plan's overflow() when a
  // sample of the sum lies beyond single precision, as egfsim's summation
  // refuses it.
  void series(int q, ConvolutionScratch& scratch, std::span<double> out) const;

  // The factor of the prepared synthetic: the weight of its plan's first
  // area with a nonzero weight (1 when there is none).
  double scale() const { return scale_; }
  int samples() const { return nout_; }
  // How the last synthesis convolves (Direct or Fft), and its taps.
  Method lastMethod() const { return last_; }
  int tapSpan() const { return hi_ >= lo_ ? hi_ - lo_ + 1 : 0; }
  int nonzeroTaps() const { return static_cast<int>(nonzero_.size()); }
  // Bytes this synthesiser holds.
  std::size_t bytes() const;

 private:
  void accumulate(const synthesis::SummationPlan& plan, int nin, int nout);
  void transformTaps();
  void convolveDirect(int q, std::span<double> out) const;
  void convolveFft(int q, ConvolutionScratch& scratch, std::span<double> out) const;

  int maxIn_, maxOut_;
  const Element* element_ = nullptr;
  const Element::Spectra* spectra_ = nullptr;  // when the method is Fft
  int nout_ = 0;
  int base_ = 0;          // taps_[s + base_] holds the tap of shift s
  int lo_ = 0, hi_ = -1;  // shifts whose taps are in use
  Method last_ = Method::Direct;
  double scale_ = 1.0;
  std::vector<double> taps_;
  std::vector<int> nonzero_;  // shifts with a nonzero tap
  dsp::FftBuffer<double> real_;
  dsp::FftBuffer<dsp::Complex> tapBins_;
  // The refusal to make when a sample overflows: set when the taps cannot
  // rule it out.
  std::optional<synthesis::SummationRefused> overflow_;
};

// The mean removals of the summation on one series, in double precision:
// the mean of samples 1..size, then the mean of ksa..kea (a window reaching
// outside 1..size is cut to it; an empty one removes nothing).
void removeMeans(std::span<double> series, int ksa, int kea);

}  // namespace engine
