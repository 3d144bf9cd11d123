#include "parallel/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace parallel {

int defaultThreads() {
  if (const char* text = std::getenv("EGF_THREADS")) {
    int value = 0;
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, value);
    if (ec == std::errc() && ptr == end && value > 0) return value;
  }
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void forEach(std::size_t count, int threads,
             const std::function<void(std::size_t index, int worker)>& task) {
  if (count == 0) return;
  const std::size_t workers = std::min<std::size_t>(count, static_cast<std::size_t>(std::max(1, threads)));
  if (workers == 1) {
    for (std::size_t i = 0; i < count; ++i) task(i, 0);
    return;
  }

  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr first;
  std::mutex firstMutex;
  auto work = [&](int worker) {
    for (;;) {
      if (failed.load(std::memory_order_relaxed)) return;
      const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= count) return;
      try {
        task(i, worker);
      } catch (...) {
        std::lock_guard lock(firstMutex);
        if (!first) first = std::current_exception();
        failed.store(true, std::memory_order_relaxed);
        return;
      }
    }
  };

  std::vector<std::jthread> helpers;
  helpers.reserve(workers - 1);
  for (std::size_t w = 1; w < workers; ++w) helpers.emplace_back(work, static_cast<int>(w));
  work(0);
  helpers.clear();  // joins
  if (first) std::rethrow_exception(first);
}

}  // namespace parallel
