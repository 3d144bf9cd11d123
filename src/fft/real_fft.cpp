#include "fft/real_fft.hpp"

#include <fftw3.h>

#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace fft {
namespace {

std::mutex& plannerLock() {
  static std::mutex m;
  return m;
}

}  // namespace

int fastSize(int n) {
  if (n < 1) n = 1;
  long long best = 1;
  while (best < n) best *= 2;
  for (long long p3 = 1; p3 < best; p3 *= 3) {
    long long v = p3;
    while (v < n) v *= 2;
    if (v < best) best = v;
  }
  return static_cast<int>(best);
}

template <class T>
Buffer<T>::Buffer(std::size_t size) : size_(size) {
  if (size == 0) return;
  data_ = static_cast<T*>(fftw_malloc(size * sizeof(T)));
  if (data_ == nullptr) throw std::bad_alloc();
  for (std::size_t i = 0; i < size; ++i) data_[i] = T{};
}

template <class T>
Buffer<T>::~Buffer() {
  fftw_free(data_);
}

template <class T>
Buffer<T>::Buffer(Buffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

template <class T>
Buffer<T>& Buffer<T>::operator=(Buffer&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  return *this;
}

template class Buffer<double>;
template class Buffer<Complex>;

RealFft::RealFft(int n) : n_(n) {
  if (n < 1) throw std::invalid_argument("RealFft: size " + std::to_string(n));
  // Planned on scratch arrays of the module's alignment; executed later on
  // the caller's.
  Buffer<double> re(static_cast<std::size_t>(n));
  Buffer<Complex> co(static_cast<std::size_t>(bins()));
  auto* c = reinterpret_cast<fftw_complex*>(co.data());
  const std::lock_guard<std::mutex> lock(plannerLock());
  forward_ = fftw_plan_dft_r2c_1d(n, re.data(), c, FFTW_ESTIMATE);
  inverse_ = fftw_plan_dft_c2r_1d(n, c, re.data(), FFTW_ESTIMATE);
  if (forward_ == nullptr || inverse_ == nullptr) throw std::runtime_error("FFTW planning failed");
}

RealFft::~RealFft() {
  if (forward_ == nullptr && inverse_ == nullptr) return;
  const std::lock_guard<std::mutex> lock(plannerLock());
  if (forward_ != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(forward_));
  if (inverse_ != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(inverse_));
}

RealFft::RealFft(RealFft&& other) noexcept
    : n_(std::exchange(other.n_, 0)),
      forward_(std::exchange(other.forward_, nullptr)),
      inverse_(std::exchange(other.inverse_, nullptr)) {}

RealFft& RealFft::operator=(RealFft&& other) noexcept {
  std::swap(n_, other.n_);
  std::swap(forward_, other.forward_);
  std::swap(inverse_, other.inverse_);
  return *this;
}

void RealFft::forward(const double* in, Complex* out) const {
  // r2c does not write its input; FFTW's signature just lacks the const.
  fftw_execute_dft_r2c(static_cast<fftw_plan>(forward_), const_cast<double*>(in),
                       reinterpret_cast<fftw_complex*>(out));
}

void RealFft::inverse(Complex* in, double* out) const {
  fftw_execute_dft_c2r(static_cast<fftw_plan>(inverse_), reinterpret_cast<fftw_complex*>(in), out);
}

}  // namespace fft
