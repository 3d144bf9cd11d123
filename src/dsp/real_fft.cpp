#include "dsp/real_fft.hpp"

#include <fftw3.h>

#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace dsp {
namespace {

// Every plan of the process, destroyed when the program ends.
class PlanCache {
 public:
  ~PlanCache() {
    for (auto& [key, plan] : plans_) fftw_destroy_plan(plan);
  }

  fftw_plan get(int n, FftKind kind) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto key = std::make_pair(n, kind);
    if (const auto it = plans_.find(key); it != plans_.end()) return it->second;
    // Planned on scratch arrays of the buffers' alignment; executed later
    // on the caller's.
    FftBuffer<double> re(static_cast<std::size_t>(n));
    FftBuffer<Complex> co(static_cast<std::size_t>(n / 2 + 1));
    auto* c = reinterpret_cast<fftw_complex*>(co.data());
    const fftw_plan plan = kind == FftKind::Forward
                               ? fftw_plan_dft_r2c_1d(n, re.data(), c, FFTW_ESTIMATE)
                               : fftw_plan_dft_c2r_1d(n, c, re.data(), FFTW_ESTIMATE);
    if (plan == nullptr)
      throw std::runtime_error("FFTW could not plan a real transform of " + std::to_string(n) +
                               " points");
    plans_.emplace(key, plan);
    return plan;
  }

  std::size_t size() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return plans_.size();
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<int, FftKind>, fftw_plan> plans_;
};

PlanCache& cache() {
  static PlanCache c;
  return c;
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
FftBuffer<T>::FftBuffer(std::size_t size) : size_(size) {
  if (size == 0) return;
  data_ = static_cast<T*>(fftw_malloc(size * sizeof(T)));
  if (data_ == nullptr) throw std::bad_alloc();
  for (std::size_t i = 0; i < size; ++i) data_[i] = T{};
}

template <class T>
FftBuffer<T>::~FftBuffer() {
  fftw_free(data_);
}

template <class T>
FftBuffer<T>::FftBuffer(FftBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

template <class T>
FftBuffer<T>& FftBuffer<T>::operator=(FftBuffer&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  return *this;
}

template class FftBuffer<double>;
template class FftBuffer<Complex>;

std::size_t cachedFftPlans() { return cache().size(); }

RealFft::RealFft(int n) : n_(n) {
  if (n < 1) throw std::invalid_argument("RealFft: size " + std::to_string(n));
  forward_ = cache().get(n, FftKind::Forward);
  inverse_ = cache().get(n, FftKind::Inverse);
}

void RealFft::forward(const double* in, Complex* out) const {
  // r2c does not write its input; FFTW's signature just lacks the const.
  fftw_execute_dft_r2c(static_cast<fftw_plan>(forward_), const_cast<double*>(in),
                       reinterpret_cast<fftw_complex*>(out));
}

void RealFft::inverse(Complex* in, double* out) const {
  fftw_execute_dft_c2r(static_cast<fftw_plan>(inverse_), reinterpret_cast<fftw_complex*>(in), out);
}

}  // namespace dsp
