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

#include "engine/evaluator.hpp"
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
  // `kept`: models done by an earlier run, not counted in the rate.
  Progress(std::ostream& out, bool terminal, std::uint64_t total, std::uint64_t kept)
      : out_(out), terminal_(terminal), total_(total), kept_(kept), start_(Clock::now()), last_(start_) {}

  void update(std::uint64_t done, bool final = false) {
    const auto now = Clock::now();
    const double since = std::chrono::duration<double>(now - last_).count();
    if (!final && since < (terminal_ ? 0.2 : 10.0)) return;
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double rate = elapsed > 0 ? static_cast<double>(done - std::min(done, kept_)) / elapsed : 0.0;
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
  std::uint64_t total_, kept_;
  Clock::time_point start_, last_;
};

// Appends rows to models.csv: after its header in a new file, or after the
// rows kept from an interrupted run (a half row after them is cut off).
class Writer {
 public:
  Writer(const Problem& problem, const std::filesystem::path& file, const KeptRows& kept)
      : problem_(problem), file_(file), rows_(kept.rows) {
    if (kept.header) {
      std::filesystem::resize_file(file, kept.bytes);
      out_.open(file, std::ios::binary | std::ios::app);
    } else {
      out_.open(file, std::ios::binary | std::ios::trunc);
      out_ << tableHeader(problem) << '\n';  // written with the first rows
    }
    if (!out_) throw std::runtime_error("cannot write " + file.string());
  }
  void row(std::uint64_t model, const std::vector<double>& values, const engine::ModelResult& r) {
    out_ << tableRow(problem_, model, values, r) << '\n';
    ++rows_;
  }
  void flush() {
    out_.flush();
    if (!out_) throw std::runtime_error("cannot write " + file_.string());
  }
  std::uint64_t rows() const { return rows_; }

 private:
  const Problem& problem_;
  std::filesystem::path file_;
  std::ofstream out_;
  std::uint64_t rows_;
};

// The grid from the first model without a row on.
void gridSearch(const Problem& problem, Writer& writer, int threads, const Shard& shard, Progress& progress,
                SearchOutcome& o) {
  const ModelSpace& space = problem.config.space;
  const std::uint64_t total = space.gridSize();
  const std::uint64_t local = total >= shard.k ? (total - shard.k) / shard.n + 1 : 0;
  std::vector<std::unique_ptr<engine::Evaluator>> evaluators(static_cast<std::size_t>(std::max(threads, 1)));
  // Rows are written and flushed batch by batch.
  const std::uint64_t batch = static_cast<std::uint64_t>(std::max(threads, 1)) * 128;
  std::vector<engine::ModelResult> results;
  std::vector<char> done;
  for (std::uint64_t first = writer.rows(); first < local && !o.interrupted; first += batch) {
    const std::uint64_t n = std::min(batch, local - first);
    results.assign(n, {});
    done.assign(n, 0);
    parallel::forEach(n, threads, [&](std::size_t i, int worker) {
      if (stopRequested.load()) return;
      auto& e = evaluators[static_cast<std::size_t>(worker)];
      if (!e) e = std::make_unique<engine::Evaluator>(problem.engineRecords(), problem.weights());
      const std::uint64_t model = (first + i) * shard.n + (shard.k - 1);
      results[i] = problem.evaluate(*e, space.gridModel(model));
      done[i] = 1;
    });
    for (std::uint64_t i = 0; i < n; ++i) {
      if (!done[i]) {
        o.interrupted = true;
        break;
      }
      ++o.evaluated;
      const std::uint64_t model = (first + i) * shard.n + (shard.k - 1);
      writer.row(model + 1, space.gridModel(model), results[i]);
    }
    writer.flush();
    progress.update(writer.rows());
    if (stopRequested.load()) o.interrupted = true;
  }
}

// A global method of NLopt over the axes: a discrete axis is searched as
// its value index (rounded to the nearest), a continuous one directly.
// Models met again are not evaluated again; only distinct models count
// toward max_models and get a row. The method asks for one model at a time,
// so the workers share each model's work (its records, then their series).
//
// Resumed, the method starts again from its seed and the kept rows answer
// for the first distinct models it meets: since a method's next point
// depends only on the values it was given, which are the misfits as the rows
// hold them, it reaches the same models as the run that wrote them.
void globalSearch(const Problem& problem, Writer& writer, int threads, const Shard& shard, Progress& progress,
                  SearchOutcome& o, const std::vector<KeptRow>& replay, const std::filesystem::path& csv) {
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

  engine::Evaluator evaluator(problem.engineRecords(), problem.weights());
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
  std::size_t replayed = 0;
  // Distinct models met so far: the kept rows replayed, then the rows.
  auto met = [&]() -> std::uint64_t { return replayed < replay.size() ? replayed : writer.rows(); };
  // The value of a new model: from its kept row, or evaluated and written.
  auto newModel = [&](const std::vector<double>& v) -> double {
    if (replayed < replay.size()) {
      const KeptRow& kept = replay[replayed++];
      std::string texts;
      for (const std::string& t : space.texts(v)) texts += (texts.empty() ? "" : ",") + t;
      if (texts != kept.values)
        throw ConfigError(csv.string() + ":" + std::to_string(replayed + 1) + ": the row holds " + kept.values +
                          " where this search reaches " + texts +
                          ": these rows are not this search's; give another --out");
      return kept.objective;
    }
    const engine::ModelResult r = problem.evaluate(evaluator, v, threads);
    ++o.evaluated;
    const std::uint64_t number = writer.rows() * shard.n + shard.k;
    writer.row(number, v, r);
    writer.flush();
    progress.update(writer.rows());
    return objective(r);
  };
  context.f = [&](const std::vector<double>& point) -> double {
    const std::vector<double> v = model(point);
    if (auto it = seen.find(v); it != seen.end()) return it->second;
    // The method may ask for more points before it sees the stop.
    if (met() >= s.maxModels) {
      opt.force_stop();
      return HUGE_VAL;
    }
    if (replayed >= replay.size() && stopRequested.load()) {
      o.interrupted = true;
      opt.force_stop();
      return HUGE_VAL;
    }
    const double value = newModel(v);
    seen.emplace(v, value);
    if (met() >= s.maxModels) opt.force_stop();
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
  if (replayed < replay.size())
    throw ConfigError(csv.string() + ": " + std::to_string(replay.size()) + " rows where this search ends after " +
                      std::to_string(replayed) + " models: these rows are not this search's; give another --out");
}

}  // namespace

SearchOutcome runSearch(const Problem& problem, const std::filesystem::path& out, int threads,
                        const Shard& shard, std::ostream& progressOut, bool terminal, const KeptRows& kept) {
  const auto start = Clock::now();
  const std::filesystem::path csv = out / "models.csv";
  Writer writer(problem, csv, kept);
  const bool grid = problem.config.search.method == Method::Grid;
  const std::uint64_t total = grid ? problem.config.space.gridSize() : problem.config.search.maxModels;
  const std::uint64_t local = grid ? (total >= shard.k ? (total - shard.k) / shard.n + 1 : 0) : total;
  Progress progress(progressOut, terminal, local, kept.rows);
  SearchOutcome o;
  if (grid) gridSearch(problem, writer, threads, shard, progress, o);
  else globalSearch(problem, writer, threads, shard, progress, o, kept.replay, csv);
  writer.flush();
  progress.update(writer.rows(), true);
  o.models = writer.rows();
  o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return o;
}

}  // namespace fit
