#include "parallel/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace parallel {
namespace {

// One call of forEach: its indices, handed out in increasing order to the
// threads that join it, each joining under a worker number of its own.
struct Job {
  std::size_t count = 0;
  int threads = 1;
  const std::function<void(std::size_t, int)>* task = nullptr;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  int joined = 1;               // worker numbers given out (0 is the caller's); under the pool's lock
  std::atomic<int> active{0};   // helpers still working on it
  std::exception_ptr error;
  std::mutex errorMutex;

  bool open() const { return joined < threads && next.load(std::memory_order_relaxed) < count; }

  // Runs indices until none is left or a task has failed.
  void work(int worker) {
    for (;;) {
      if (failed.load(std::memory_order_relaxed)) return;
      const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= count) return;
      try {
        (*task)(i, worker);
      } catch (...) {
        const std::lock_guard lock(errorMutex);
        if (!error) error = std::current_exception();
        failed.store(true, std::memory_order_relaxed);
        return;
      }
    }
  }
};

// How long a thread keeps looking before it sleeps: a helper for the next
// job, a caller for the helpers of its job. A search posts jobs a fraction
// of a millisecond apart; waking a sleeping thread takes tens of
// microseconds on a busy machine.
constexpr std::chrono::microseconds kSpin{50};

template <class Ready>
bool spinUntil(Ready ready) {
  const auto end = std::chrono::steady_clock::now() + kSpin;
  for (int n = 0;; ++n) {
    if (ready()) return true;
    if (n % 64 == 63 && std::chrono::steady_clock::now() > end) return false;
    std::this_thread::yield();
  }
}

// The helper threads, made as the largest call asks for them and kept
// until the program ends. A helper takes the oldest job that still has
// indices and room for a worker; the caller of a job always works on it
// too, so a call made from inside a task (a nested call) finishes even
// when every helper is busy: nested calls never wait for a free thread and
// never start more threads than the largest call asked for.
class Pool {
 public:
  ~Pool() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : helpers_) t.join();
  }

  void run(Job& job) {
    {
      const std::lock_guard lock(mutex_);
      while (helpers_.size() + 1 < static_cast<std::size_t>(job.threads))
        helpers_.emplace_back([this] { serve(); });
      queue_.push_back(&job);
      posted_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
    job.work(0);
    {
      // No helper joins once the job has left the queue.
      const std::lock_guard lock(mutex_);
      std::erase(queue_, &job);
    }
    if (spinUntil([&] { return job.active.load(std::memory_order_acquire) == 0; })) return;
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return job.active.load(std::memory_order_acquire) == 0; });
  }

 private:
  Job* openJob() {
    const auto it = std::find_if(queue_.begin(), queue_.end(), [](Job* j) { return j->open(); });
    return it == queue_.end() ? nullptr : *it;
  }

  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (stopping_) return;
      Job* job = openJob();
      if (job == nullptr) {
        // Look again until a job is posted, for a while without the lock.
        const std::uint64_t seen = posted_.load(std::memory_order_acquire);
        lock.unlock();
        const bool posted = spinUntil([&] {
          return posted_.load(std::memory_order_acquire) != seen;
        });
        lock.lock();
        if (!posted) wake_.wait(lock, [&] { return stopping_ || openJob() != nullptr; });
        continue;
      }
      const int worker = job->joined++;
      job->active.fetch_add(1, std::memory_order_relaxed);
      lock.unlock();
      job->work(worker);
      lock.lock();
      if (job->active.fetch_sub(1, std::memory_order_acq_rel) == 1) done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::deque<Job*> queue_;
  std::vector<std::thread> helpers_;
  std::atomic<std::uint64_t> posted_{0};
  bool stopping_ = false;
};

Pool& pool() {
  static Pool p;
  return p;
}

}  // namespace

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
  Job job;
  job.count = count;
  job.threads = static_cast<int>(std::min<std::size_t>(count, static_cast<std::size_t>(std::max(1, threads))));
  job.task = &task;
  if (job.threads == 1) {
    job.work(0);
  } else {
    pool().run(job);
  }
  if (job.error) std::rethrow_exception(job.error);
}

}  // namespace parallel
