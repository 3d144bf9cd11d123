// Double-precision real transforms on FFTW, for the search's engine and the
// ground-motion measures (egfsim's own single-precision transform is fft()
// in dsp.hpp).
//
// One process-wide cache holds every plan, keyed by size and kind, made on
// first use and kept until the program ends: any number of threads share a
// plan, and none makes one per call. FFTW executes a plan on any arrays of
// its alignment from several threads at once (the new-array execute
// functions are thread-safe); its planner is not, so the cache plans under
// one lock. Plans use FFTW_ESTIMATE: a measured plan may pick another
// algorithm from one run to the next, and the last bits of the results
// would then depend on the timing of the machine.
#pragma once

#include <complex>
#include <cstddef>
#include <span>

namespace dsp {

using Complex = std::complex<double>;

// The smallest size >= n of the form 2^a 3^b (n >= 1), which FFTW
// transforms about as fast as a power of two.
int fastSize(int n);

// An owned array of `size` values aligned as FFTW wants them, zeroed.
template <class T>
class FftBuffer {
 public:
  FftBuffer() = default;
  explicit FftBuffer(std::size_t size);
  ~FftBuffer();
  FftBuffer(FftBuffer&& other) noexcept;
  FftBuffer& operator=(FftBuffer&& other) noexcept;
  FftBuffer(const FftBuffer&) = delete;
  FftBuffer& operator=(const FftBuffer&) = delete;

  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  operator std::span<T>() { return {data_, size_}; }
  operator std::span<const T>() const { return {data_, size_}; }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
};

// The two kinds of plan the cache holds.
enum class FftKind { Forward, Inverse };

// The number of plans the cache holds (for tests and benchmarks).
std::size_t cachedFftPlans();

// The forward and inverse real transforms of one size n, from the cache: a
// handle, cheap to copy. forward takes n reals to n/2 + 1 bins; inverse
// takes the bins back to n reals times n (no normalisation) and overwrites
// its input bins. Every array must come from an FftBuffer.
class RealFft {
 public:
  RealFft() = default;
  explicit RealFft(int n);  // std::invalid_argument for n < 1

  int size() const { return n_; }
  int bins() const { return n_ / 2 + 1; }
  void forward(const double* in, Complex* out) const;
  void inverse(Complex* in, double* out) const;

 private:
  int n_ = 0;
  void* forward_ = nullptr;  // owned by the cache
  void* inverse_ = nullptr;
};

}  // namespace dsp
