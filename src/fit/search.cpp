#include "fit/search.hpp"

#include <nlopt.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>

#include "fit/evaluator.hpp"
#include "fit/table.hpp"
#include "parallel/parallel.hpp"

namespace fit {

std::atomic<bool> stopRequested{false};

namespace {

using Clock = std::chrono::steady_clock;

std::string duration(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

// Models done, rate and time left: a bar redrawn in place on a terminal,
// a line every ten seconds otherwise.
class Progress {
 public:
  Progress(std::ostream& out, bool terminal, std::uint64_t total)
      : out_(out), terminal_(terminal), total_(total), start_(Clock::now()), last_(start_) {}

  void update(std::uint64_t done, bool final = false) {
    const auto now = Clock::now();
    const double since = std::chrono::duration<double>(now - last_).count();
    if (!final && since < (terminal_ ? 0.2 : 10.0)) return;
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0.0;
    const double left = rate > 0 ? static_cast<double>(total_ - std::min(done, total_)) / rate : 0.0;
    char text[160];
    if (terminal_) {
      const int width = 30;
      const int filled = total_ ? static_cast<int>(width * std::min(1.0, double(done) / double(total_))) : width;
      std::snprintf(text, sizeof text, "\r[%s%s] %llu/%llu models  %.1f/s  %s left ", std::string(filled, '#').c_str(),
                    std::string(width - filled, '.').c_str(), static_cast<unsigned long long>(done),
                    static_cast<unsigned long long>(total_), rate, duration(left).c_str());
      out_ << text << (final ? "\n" : "") << std::flush;
    } else {
      std::snprintf(text, sizeof text, "egffit: %llu of %llu models, %.1f models/s, %s left\n",
                    static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_), rate,
                    duration(left).c_str());
      out_ << text << std::flush;
    }
  }

 private:
  std::ostream& out_;
  bool terminal_;
  std::uint64_t total_;
  Clock::time_point start_, last_;
};

class Writer {
 public:
  Writer(const Problem& problem, const std::filesystem::path& file) : problem_(problem), out_(file) {
    if (!out_) throw std::runtime_error("cannot write " + file.string());
    out_ << tableHeader(problem) << '\n' << std::flush;
  }
  void row(std::uint64_t model, const std::vector<double>& values, const ModelResult& r) {
    out_ << tableRow(problem_, model, values, r) << '\n';
    ++rows_;
  }
  void flush() {
    out_.flush();
    if (!out_) throw std::runtime_error("writing models.csv failed");
  }
  std::uint64_t rows() const { return rows_; }

 private:
  const Problem& problem_;
  std::ofstream out_;
  std::uint64_t rows_ = 0;
};

void gridSearch(const Problem& problem, Writer& writer, int threads, const Shard& shard, Progress& progress,
                bool& interrupted) {
  const ModelSpace& space = problem.config.space;
  const std::uint64_t total = space.gridSize();
  const std::uint64_t local = total >= shard.k ? (total - shard.k) / shard.n + 1 : 0;
  std::vector<std::unique_ptr<Evaluator>> evaluators(static_cast<std::size_t>(std::max(threads, 1)));
  // Rows are written and flushed batch by batch.
  const std::uint64_t batch = static_cast<std::uint64_t>(std::max(threads, 1)) * 128;
  std::vector<ModelResult> results;
  std::vector<char> done;
  for (std::uint64_t first = 0; first < local && !interrupted; first += batch) {
    const std::uint64_t n = std::min(batch, local - first);
    results.assign(n, {});
    done.assign(n, 0);
    parallel::forEach(n, threads, [&](std::size_t i, int worker) {
      if (stopRequested.load()) return;
      auto& e = evaluators[static_cast<std::size_t>(worker)];
      if (!e) e = std::make_unique<Evaluator>(problem);
      const std::uint64_t model = (first + i) * shard.n + (shard.k - 1);
      results[i] = e->evaluate(space.gridModel(model));
      done[i] = 1;
    });
    for (std::uint64_t i = 0; i < n; ++i) {
      if (!done[i]) {
        interrupted = true;
        break;
      }
      const std::uint64_t model = (first + i) * shard.n + (shard.k - 1);
      writer.row(model + 1, space.gridModel(model), results[i]);
    }
    writer.flush();
    progress.update(writer.rows());
    if (stopRequested.load()) interrupted = true;
  }
}

// A global method of NLopt over the axes: a discrete axis is searched as
// its value index (rounded to the nearest), a continuous one directly.
// Models met again are not evaluated again; only distinct models count
// toward max_models and get a row. The method asks for one model at a time,
// so the workers share a model's records.
void globalSearch(const Problem& problem, Writer& writer, int threads, const Shard& shard, Progress& progress,
                  bool& interrupted) {
  const ModelSpace& space = problem.config.space;
  const SearchSettings& s = problem.config.search;
  const unsigned dim = static_cast<unsigned>(space.axes.size());
  nlopt::opt opt(s.method == Method::Crs ? nlopt::GN_CRS2_LM : nlopt::GN_DIRECT_L, dim);
  std::vector<double> lo(dim), hi(dim), x(dim);
  for (unsigned k = 0; k < dim; ++k) {
    const Axis& a = space.axes[k];
    lo[k] = a.continuous ? a.lo : -0.5;
    hi[k] = a.continuous ? a.hi : static_cast<double>(a.values.size()) - 0.5;
    if (hi[k] <= lo[k]) hi[k] = lo[k] + 1e-9;
    x[k] = 0.5 * (lo[k] + hi[k]);
  }
  opt.set_lower_bounds(lo);
  opt.set_upper_bounds(hi);
  // Duplicates cost no evaluation but still a call; bound the calls too.
  opt.set_maxeval(static_cast<int>(std::min<std::uint64_t>(s.maxModels * 50, 2000000000)));
  nlopt::srand(static_cast<unsigned long>(s.seed + (shard.n > 1 ? shard.k : 0)));

  std::vector<std::unique_ptr<Evaluator>> evaluators(static_cast<std::size_t>(std::max(threads, 1)));
  std::vector<RecordCurves> curves(problem.records.size());
  std::map<std::vector<double>, double> seen;
  auto model = [&](const std::vector<double>& point) {
    std::vector<double> v(dim);
    for (unsigned k = 0; k < dim; ++k) {
      const Axis& a = space.axes[k];
      if (a.continuous) {
        v[k] = std::strtod(valueText(a.parameter.kind, std::clamp(point[k], a.lo, a.hi)).c_str(), nullptr);
      } else {
        const long long i = std::llround(point[k]);
        v[k] = a.values[static_cast<std::size_t>(std::clamp<long long>(i, 0, static_cast<long long>(a.values.size()) - 1))];
      }
    }
    return v;
  };
  // An exception inside the objective stops the method and is carried out
  // of it whole: NLopt itself would leave only "nlopt failure".
  struct Context {
    std::function<double(const std::vector<double>&)> f;
    std::exception_ptr fault;
  } context;
  context.f = [&](const std::vector<double>& point) -> double {
    const std::vector<double> v = model(point);
    if (auto it = seen.find(v); it != seen.end()) return it->second;
    // The method may ask for more points before it sees the stop.
    if (writer.rows() >= s.maxModels) {
      opt.force_stop();
      return HUGE_VAL;
    }
    if (stopRequested.load()) {
      interrupted = true;
      opt.force_stop();
      return HUGE_VAL;
    }
    parallel::forEach(curves.size(), threads, [&](std::size_t r, int worker) {
      auto& e = evaluators[static_cast<std::size_t>(worker)];
      if (!e) e = std::make_unique<Evaluator>(problem);
      e->evaluate(r, v, curves[r]);
    });
    const ModelResult r = combine(problem, curves);
    const std::uint64_t number = writer.rows() * shard.n + shard.k;
    writer.row(number, v, r);
    writer.flush();
    progress.update(writer.rows());
    // Refused models lie above every finite misfit.
    const double value = r.refused ? 1e300 : r.misfit;
    seen.emplace(v, value);
    if (writer.rows() >= s.maxModels) opt.force_stop();
    return value;
  };
  opt.set_min_objective(
      [](const std::vector<double>& point, std::vector<double>&, void* data) {
        Context& c = *static_cast<Context*>(data);
        try {
          return c.f(point);
        } catch (...) {
          c.fault = std::current_exception();
          throw nlopt::forced_stop();
        }
      },
      &context);
  double best = 0;
  try {
    opt.optimize(x, best);
  } catch (const nlopt::forced_stop&) {
  } catch (const nlopt::roundoff_limited&) {
  } catch (const std::runtime_error& e) {
    // A failure of the method itself is not the user's.
    if (!context.fault) throw std::logic_error(std::string("the global method failed: ") + e.what());
  }
  if (context.fault) std::rethrow_exception(context.fault);
}

}  // namespace

SearchOutcome runSearch(const Problem& problem, const std::filesystem::path& out, int threads,
                        const Shard& shard, std::ostream& progressOut, bool terminal) {
  const auto start = Clock::now();
  Writer writer(problem, out / "models.csv");
  const bool grid = problem.config.search.method == Method::Grid;
  const std::uint64_t total = grid ? problem.config.space.gridSize() : problem.config.search.maxModels;
  const std::uint64_t local = grid ? (total >= shard.k ? (total - shard.k) / shard.n + 1 : 0) : total;
  Progress progress(progressOut, terminal, local);
  SearchOutcome o;
  if (grid) gridSearch(problem, writer, threads, shard, progress, o.interrupted);
  else globalSearch(problem, writer, threads, shard, progress, o.interrupted);
  writer.flush();
  progress.update(writer.rows(), true);
  o.models = writer.rows();
  o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return o;
}

}  // namespace fit
