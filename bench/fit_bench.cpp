// Times the source-model search's engine against egfsim's exact summation
// and against a shell loop of egfsim runs, and measures how far the fast
// synthetic lies from the exact one.
//
// Cases: the typical model (the bundled example's records with 10 x 10
// subfaults, ntt 100, ns 6000) and the worst case (30 x 30, ntt 500, ns
// 15000, element of 15000 samples; records generated as egf_bench makes
// them). For each: the exact loop per model, the fast synthetic per model,
// the whole evaluation (source model, synthesis, misfit curves over +-100
// samples for acceleration, velocity, displacement and envelope), models
// per second on 1 and 2 threads, the memory of one thread's evaluator, and
// egfsim runs of the same model by the shell.
//
// Usage: fit_bench [quick]   (quick: fewer models; the figures are noisier)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "engine/evaluator.hpp"
#include "engine/synthesizer.hpp"
#include "parallel/parallel.hpp"
#include "records/records.hpp"
#include "core/simulation.hpp"
#include "dsp/dsp.hpp"
#include "paramfile/paramfile.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/textio.hpp"

namespace {

namespace fs = std::filesystem;
using Series = std::array<std::vector<float>, 3>;
constexpr int kMaxShift = 100;     // +-1 s at 100 samples per second
constexpr int kEnvelopeHalf = 12;  // envelope over 0.25 s

double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The two run folders: parameter file, records, the console's answers.
void writeRuns(const fs::path& typical, const fs::path& worst, const fs::path& examples) {
  fs::create_directories(typical);
  fs::create_directories(worst);
  fs::copy_file(examples / "target.kib", typical / "target.kib",
                fs::copy_options::overwrite_existing);
  fs::copy_file(examples / "element.kib", typical / "element.kib",
                fs::copy_options::overwrite_existing);
  std::ofstream(typical / "params.txt")
      << "21 22\n1 4.0\n1\n0.1 10.0 15.0 0.5 5.0\n1.0 0.0 0.0 0.0 0.0 0.0 0.0\n"
         "30.0 45.0 90.0 10.0\n1\n30.0 45.0 90.0 10.0\n1.5 1.5 0.1 0.0 0.0 0.0\n"
         "10 10 10 0 3 5 0 1.0\n3.5 2.8 2 1\ntarget.kib\nelement.kib\n"
         "20.0 60.0 20.0 60.0 90.0 3\n400 4400 400 4400\nTYPICL\nTYP EW\n400 4400 100\n";
  bench::writeWorstCaseRecord(worst / "target.kib", 1, 40.0f, "fit_bench");
  bench::writeWorstCaseRecord(worst / "element.kib", 2, 30.0f, "fit_bench");
  std::ofstream(worst / "params.txt")
      << "21 22\n1 4.0\n1\n0.1 10.0 15.0 0.5 5.0\n1.0 0.0 0.0 0.0 0.0 0.0 0.0\n"
         "30.0 45.0 90.0 10.0\n1\n30.0 45.0 90.0 10.0\n1.5 1.5 0.5 0.0 0.0 0.0\n"
         "30 30 10 0 15 15 15000 1.0\n3.5 2.8 2 1\ntarget.kib\nelement.kib\n"
         "20.0 60.0 20.0 60.0 90.0 3\n400 14000 400 14000\nWORST\nWST EW\n400 8500 100\n";
  for (const fs::path& d : {typical, worst})
    std::ofstream(d / "answers.txt") << "params.txt\nobs.dat\nbench\nsyn.dat\nbench\n";
}

// A record pair prepared by egfsim's own stages, from a run folder.
struct Prepared {
  model::Params p;
  float dt = 0;              // the element's sample interval, which the run uses
  int ns = 0;                // samples synthesised
  int nin = 0;               // samples of the element
  Series observed, element;  // as prepared; the element times cfac
};

void prepare(const fs::path& dir, const std::string& params, Prepared& r) {
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  std::istringstream in;
  std::ostringstream out;
  textio::Channels io(in, out, out);
  io.open(paramfile::kUnit, params);
  r.p = paramfile::readParams(io, paramfile::kUnit);
  paramfile::check(r.p, params);
  records::RecordHeader h;
  const records::RecordSamples target = records::readRecordFile(io, 10, r.p.fmain, h);
  const records::RecordSamples element = records::readRecordFile(io, 20, r.p.faft, h);
  const core::PreparedRecords prepared = core::prepareRecords(r.p, target, element);
  io.closeAll();
  fs::current_path(back);
  r.dt = prepared.element.dt;
  r.ns = core::syntheticSamples(r.p, prepared.target);
  r.nin = prepared.element.count;
  r.observed = {prepared.target.motion.acc, prepared.target.motion.vel, prepared.target.motion.disp};
  r.element = {prepared.element.motion.acc, prepared.element.motion.vel, prepared.element.motion.disp};
}

std::array<std::span<const float>, 3> spans(const Series& s) { return {s[0], s[1], s[2]}; }
model::MotionView view(const Series& s) { return {s[0], s[1], s[2]}; }

// A model's summation plan (egfsim's: one area, weight 1).
synthesis::SummationPlan makePlan(const model::Params& p, float dt) {
  return synthesis::SummationPlan(p, synthesis::sourceModel(p, dt), dt);
}

// egfsim's synthetic of the model: exact loop and both mean removals.
std::array<std::vector<float>, 3> exactSynthetic(const Prepared& r, const synthesis::SummationPlan& grid,
                                                 const model::Params& p, double* seconds) {
  std::array<std::vector<float>, 3> s;
  for (auto& v : s) v.assign(static_cast<std::size_t>(r.ns), 0.0f);
  const double t0 = threadSeconds();
  synthesis::syntPlan({s[0], s[1], s[2]}, r.ns, spans(r.element), r.nin, grid);
  if (seconds != nullptr) *seconds = threadSeconds() - t0;
  float mean = 0;
  for (auto& v : s) {
    dsp::removeMean(v, 1, r.ns, mean);
    dsp::removeMean(v, p.ksa, p.kea, mean);
  }
  return s;
}

// How far the fast synthetic lies from the exact one: the largest
// |fast - exact| at any sample over the series' peak (worst of the three),
// and, at that sample, |fast - sum| over the peak where sum adds the same
// copies in double precision one by one (so the first figure is the exact
// loop's own single-precision rounding when the second is far smaller).
struct Agreement {
  double exact = 0, plain = 0;
};

Agreement agreement(const Prepared& r, const model::Params& model, engine::Synthesizer& synth) {
  const synthesis::SummationPlan grid = makePlan(model, r.dt);
  const auto ref = exactSynthetic(r, grid, model, nullptr);
  const engine::Element element(view(r.element), r.nin, r.ns);
  std::vector<synthesis::Copy> copies(grid.copies());
  grid.fill(0, copies.size(), copies.data());

  Agreement a;
  engine::ConvolutionScratch scratch;
  std::vector<double> fast(static_cast<std::size_t>(r.ns));
  synth.prepare(element, grid, r.ns);
  for (int q = 0; q < 3; ++q) {
    synth.series(q, scratch, fast);
    const std::vector<double> raw = fast;
    engine::removeMeans(fast, model.ksa, model.kea);
    double peak = 0, err = 0;
    std::size_t at = 0;
    for (std::size_t n = 0; n < ref[q].size(); ++n) {
      peak = std::max(peak, std::fabs(double(ref[q][n])));
      const double d = std::fabs(fast[n] - double(ref[q][n]));
      if (d > err) {
        err = d;
        at = n;
      }
    }
    double sum = 0;
    for (const synthesis::Copy& c : copies) {
      const long long m = static_cast<long long>(at) - c.shift;
      if (m >= 0 && m < r.nin) sum += double(c.a * c.b) * double(r.element[q][std::size_t(m)]);
    }
    if (peak == 0) peak = 1;
    a.exact = std::max(a.exact, err / peak);
    a.plain = std::max(a.plain, std::fabs(raw[at] - sum) / peak);
  }
  return a;
}

// Models of a search around the record's own: starting subfault, rupture
// velocity and rise time varied in a fixed order.
std::vector<model::Params> models(const model::Params& base, int count) {
  std::vector<model::Params> list;
  for (int i = 0; i < count; ++i) {
    model::Params p = base;
    p.nsx = 1 + i % base.nx;
    p.nsw = 1 + (i / base.nx) % base.nw;
    p.vr = 2.0f + 0.1f * static_cast<float>(i % 13);
    list.push_back(p);
  }
  return list;
}

// One egfsim run of the folder by the shell, mean of `runs`: wall seconds,
// and CPU seconds of the shell and egfsim.
struct EgfsimRun {
  double wall = 0, cpu = 0;
};

double childSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

EgfsimRun egfsimRun(const fs::path& dir, int runs) {
  const std::string cmd = "cd '" + dir.string() +
                          "' && '" EGF_BINARY_DIR "/egfsim' < answers.txt > transcript.txt 2>&1";
  const double w0 = wallSeconds(), c0 = childSeconds();
  for (int r = 0; r < runs; ++r)
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "egfsim failed in %s\n", dir.c_str());
  return {(wallSeconds() - w0) / runs, (childSeconds() - c0) / runs};
}

struct Figures {
  double exact, fastSynth, whole, memory, shared;
  EgfsimRun egfsim;
  double wall[2], cpu[2];  // models per second on 1 and 2 threads
  const char* method;
  Agreement agree;
};

Figures measure(const char* name, const fs::path& dir, int modelCount, int egfsimRuns,
                int exactRuns) {
  Prepared r;
  prepare(dir, "params.txt", r);
  Figures f{};
  const synthesis::SummationPlan grid = makePlan(r.p, r.dt);
  std::printf("%s: %d x %d subfaults, ntt %d, ns %d, element %d samples, window %d..%d\n", name,
              r.p.nx, r.p.nw, grid.ntt(), r.ns, r.nin, r.p.ksm, r.p.kem);

  f.exact = 1e300;
  for (int k = 0; k < exactRuns; ++k) {
    double t = 0;
    exactSynthetic(r, grid, r.p, &t);
    f.exact = std::min(f.exact, t);
  }

  engine::Synthesizer synth(r.nin, r.ns);
  const engine::Element element(view(r.element), r.nin, r.ns);
  engine::ConvolutionScratch scratch;
  std::vector<double> series(static_cast<std::size_t>(r.ns));
  const int reps = std::max(3, modelCount / 10);
  double t0 = threadSeconds();
  for (int k = 0; k < reps; ++k) {
    synth.prepare(element, grid, r.ns);
    for (int q = 0; q < 3; ++q) synth.series(q, scratch, series);
  }
  f.fastSynth = (threadSeconds() - t0) / reps;
  f.method = synth.lastMethod() == engine::Method::Fft ? "FFT" : "direct";
  std::printf("  taps: span %d, %d nonzero; convolution %s\n", synth.tapSpan(), synth.nonzeroTaps(),
              f.method);

  const auto record = std::make_shared<const engine::Record>(
      engine::RecordInput{"bench", 1.0, r.p, r.dt, r.ns, view(r.observed), view(r.element),
                          r.nin, r.p.cfac},
      kMaxShift, kEnvelopeHalf);
  const engine::Weights weights{1.0, 1.0, 1.0, 1.0};
  const std::vector<model::Params> list = models(r.p, modelCount);
  {
    engine::Evaluator e({record}, weights);
    e.evaluate(std::span(&list[0], 1));
    t0 = threadSeconds();
    for (int k = 0; k < reps; ++k) e.evaluate(std::span(&list[static_cast<std::size_t>(k)], 1));
    f.whole = (threadSeconds() - t0) / reps;
    f.memory = double(e.bytes());
    f.shared = double(record->bytes());
  }
  // Models per second by the wall clock, and by the busiest worker's CPU
  // time (what idle cores would give; the machine may be shared): one
  // model per worker, as a grid search spreads them.
  for (const int threads : {1, 2}) {
    std::vector<std::unique_ptr<engine::Evaluator>> workers;
    for (int w = 0; w < threads; ++w) {
      workers.push_back(std::make_unique<engine::Evaluator>(
          std::vector<std::shared_ptr<const engine::Record>>{record}, weights));
      workers.back()->evaluate(std::span(&list[0], 1));
    }
    std::vector<double> cpu(static_cast<std::size_t>(threads), 0.0);
    const double w0 = wallSeconds();
    parallel::forEach(list.size(), threads, [&](std::size_t i, int w) {
      const double c0 = threadSeconds();
      workers[static_cast<std::size_t>(w)]->evaluate(std::span(&list[i], 1));
      cpu[static_cast<std::size_t>(w)] += threadSeconds() - c0;
    });
    f.wall[threads - 1] = double(list.size()) / (wallSeconds() - w0);
    f.cpu[threads - 1] = double(list.size()) / *std::max_element(cpu.begin(), cpu.end());
  }
  f.egfsim = egfsimRun(dir, egfsimRuns);

  f.agree = agreement(r, r.p, synth);
  for (std::size_t k = 0; k < 8; ++k) {
    const Agreement a = agreement(r, list[k * (list.size() / 8)], synth);
    f.agree.exact = std::max(f.agree.exact, a.exact);
    f.agree.plain = std::max(f.agree.plain, a.plain);
  }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "quick";
  const fs::path root = fs::temp_directory_path() / ("fit_bench." + std::to_string(getpid()));
  const fs::path examples = fs::path(EGF_SOURCE_DIR) / "examples";
  writeRuns(root / "typical", root / "worst", examples);
  const std::string cpu = bench::processorName();
  std::printf("%s; threads available: %d (EGF_THREADS or hardware)\n", cpu.c_str(),
              parallel::defaultThreads());
  // The exact loop per model on one thread, as a search would run it (one
  // model per thread); egfsim's own runs below use every core.
  synthesis::useSummationThreads(1);

  // Agreement on the bundled example as it is.
  Agreement example;
  {
    Prepared r;
    prepare(examples, "params.txt", r);
    engine::Synthesizer synth(r.nin, r.ns);
    example = agreement(r, r.p, synth);
  }

  const Figures t = measure("typical", root / "typical", quick ? 1000 : 4000, quick ? 3 : 10, 20);
  const Figures w = measure("worst", root / "worst", quick ? 100 : 400, quick ? 1 : 3, 1);
  rusage use{};
  getrusage(RUSAGE_SELF, &use);

  std::printf("\n| | typical (10 x 10, ntt 100, ns 6000) | worst (30 x 30, ntt 500, ns 15000) |\n");
  std::printf("|---|---|---|\n");
  std::printf("| exact loop per model (egfsim's kernel, 1 thread) | %.2f ms | %.0f ms |\n", 1e3 * t.exact,
              1e3 * w.exact);
  std::printf("| fast synthetic per model | %.3f ms (%s) | %.2f ms (%s) |\n", 1e3 * t.fastSynth,
              t.method, 1e3 * w.fastSynth, w.method);
  std::printf("| whole model: source model, synthetic, misfit curves | %.3f ms | %.2f ms |\n",
              1e3 * t.whole, 1e3 * w.whole);
  for (int k = 0; k < 2; ++k)
    std::printf(
        "| models per second, %d thread%s: wall clock (busiest worker's CPU time) | %.0f (%.0f) | "
        "%.0f (%.0f) |\n",
        k + 1, k ? "s" : "", t.wall[k], t.cpu[k], w.wall[k], w.cpu[k]);
  std::printf(
      "| egfsim run by the shell, per model: wall clock (CPU time) | %.3f s (%.3f s) | %.2f s "
      "(%.2f s) |\n",
      t.egfsim.wall, t.egfsim.cpu, w.egfsim.wall, w.egfsim.cpu);
  std::printf(
      "| speed-up over the egfsim shell loop, 2 threads: wall clock (CPU time) | %.0fx (%.0fx) | "
      "%.0fx (%.0fx) |\n",
      t.wall[1] * t.egfsim.wall, t.cpu[1] * t.egfsim.cpu, w.wall[1] * w.egfsim.wall,
      w.cpu[1] * w.egfsim.cpu);
  std::printf("| memory per thread (evaluator) | %.2f MB | %.2f MB |\n", t.memory / 1e6,
              w.memory / 1e6);
  std::printf("| memory shared by the threads (one record) | %.2f MB | %.2f MB |\n", t.shared / 1e6,
              w.shared / 1e6);
  std::printf("| largest fast - exact loop, over the peak | %.1e | %.1e |\n", t.agree.exact,
              w.agree.exact);
  std::printf("| same sample, fast - double-precision sum of the copies | %.1e | %.1e |\n",
              t.agree.plain, w.agree.plain);
  std::printf(
      "\nbundled example as it is: fast - exact loop %.1e of the peak (double-precision sum "
      "%.1e)\n",
      example.exact, example.plain);
  std::printf("load average at the end: ");
  std::fflush(stdout);
  std::system("cut -d' ' -f1-3 /proc/loadavg");
  std::printf("peak resident memory of the benchmark: %.0f MB\n", use.ru_maxrss / 1024.0);
  fs::remove_all(root);
  return 0;
}
