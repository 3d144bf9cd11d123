// Double-precision real transforms for the search's fast synthesis and
// misfit, on FFTW.
//
// A plan is made once and then executed on any buffer of this module's
// alignment, from any number of threads at once (FFTW's new-array execute
// functions are thread-safe; its planner is not, so plans are made under
// one process-wide lock). Plans use FFTW_ESTIMATE: a measured plan may pick
// a different algorithm from one run to the next, and the last bits of the
// results would then depend on the timing of the machine.
#pragma once

#include <complex>
#include <cstddef>
#include <span>

namespace fft {

using Complex = std::complex<double>;

// The smallest size >= n of the form 2^a 3^b (n >= 1), which FFTW
// transforms about as fast as a power of two.
int fastSize(int n);

// An owned buffer of `size` values aligned as FFTW wants them, zeroed.
template <class T>
class Buffer {
 public:
  Buffer() = default;
  explicit Buffer(std::size_t size);
  ~Buffer();
  Buffer(Buffer&& other) noexcept;
  Buffer& operator=(Buffer&& other) noexcept;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

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

// The forward and inverse real transforms of one size n: forward takes n
// reals to n/2 + 1 bins, inverse takes the bins back to n reals times n (no
// normalisation) and overwrites its input bins. Every array must come from
// a Buffer.
class RealFft {
 public:
  RealFft() = default;
  explicit RealFft(int n);
  ~RealFft();
  RealFft(RealFft&& other) noexcept;
  RealFft& operator=(RealFft&& other) noexcept;
  RealFft(const RealFft&) = delete;
  RealFft& operator=(const RealFft&) = delete;

  int size() const { return n_; }
  int bins() const { return n_ / 2 + 1; }
  void forward(const double* in, Complex* out) const;
  void inverse(Complex* in, double* out) const;

 private:
  int n_ = 0;
  void* forward_ = nullptr;
  void* inverse_ = nullptr;
};

}  // namespace fft
