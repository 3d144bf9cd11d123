// Times a source model of three SMGAs against one SMGA of the same total
// subfaults and sub-events, in the search's engine: the three SMGAs' copies
// go into one set of taps and one convolution per series, so the model
// should cost little more than the single one (the taps span the longer
// time the three SMGAs take, and three subfault models are made instead of
// one).
//
// On the bundled example's records (ns 6000, element 3000 samples):
//   small: one SMGA of 12 x 12 against three of 8 x 8, 8 x 8 and 4 x 4;
//   large: one SMGA of 30 x 30 against three of 20 x 20, 20 x 20, 10 x 10;
// every SMGA with the same rise time (so the same ntt per subfault). Per
// model: the plan (the SMGAs' subfault models, onsets, copies' checks), the
// fast synthetic, the whole evaluation (plan, synthetic, the four misfit
// curves over +-100 samples), and egfsim's exact loop over the same plan.
//
// Usage: smga_bench [quick]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "core/simulation.hpp"
#include "engine/evaluator.hpp"
#include "paramfile/paramfile.hpp"
#include "source/source.hpp"

namespace {

namespace fs = std::filesystem;
using Series = std::array<std::vector<float>, 3>;

double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct Record {
  model::Params p;
  float dt = 0;
  int ns = 0, nin = 0;
  Series observed, element;
};

Record load(const fs::path& dir) {
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  std::istringstream in;
  std::ostringstream out;
  textio::Channels io(in, out, out);
  io.open(paramfile::kUnit, "params.txt");
  Record r;
  r.p = paramfile::readParams(io, paramfile::kUnit);
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
  return r;
}

std::array<std::span<const float>, 3> spans(const Series& s) { return {s[0], s[1], s[2]}; }

source::Smga smga(int n, double km, double x, double w) {
  source::Smga a;
  a.N = n, a.L = a.W = km, a.C = 1, a.tau = 1.0, a.x = x, a.w = w;
  a.start = {true, 0.5, 0.5, 0, 0};
  return a;
}

struct Timing {
  double plan = 0, synth = 0, whole = 0, exact = 0;
  std::size_t copies = 0;
  int span = 0, taps = 0;
  const char* method = "";
};

// The least of `reps` thread-CPU times of f().
template <class F>
double best(int reps, F f) {
  double t = 1e300;
  for (int k = 0; k < reps; ++k) {
    const double t0 = threadSeconds();
    f();
    t = std::min(t, threadSeconds() - t0);
  }
  return t;
}

Timing measure(const Record& r, const source::Source& s, int reps) {
  Timing t;
  const model::MotionView observed{r.observed[0], r.observed[1], r.observed[2]};
  const model::MotionView elementMotion{r.element[0], r.element[1], r.element[2]};
  const auto record = std::make_shared<const engine::Record>(
      engine::RecordInput{"bench", 1.0, r.p, r.dt, r.ns, observed, elementMotion, r.nin, r.p.cfac}, 100, 12);
  source::Planner planner;
  const synthesis::SummationPlan plan = planner.plan(r.p, s, r.dt, 1.0f);
  t.copies = plan.copies();
  t.plan = best(reps, [&] { planner.plan(r.p, s, r.dt, 1.0f); });
  const engine::Element element(elementMotion, r.nin, r.ns);
  engine::Synthesizer synth(r.nin, r.ns);
  engine::ConvolutionScratch scratch;
  std::vector<double> series(static_cast<std::size_t>(r.ns));
  t.synth = best(reps, [&] {
    synth.prepare(element, plan, r.ns);
    for (int q = 0; q < 3; ++q) synth.series(q, scratch, series);
  });
  t.span = synth.tapSpan();
  t.taps = synth.nonzeroTaps();
  t.method = synth.lastMethod() == engine::Method::Fft ? "FFT" : "direct";
  // The whole model with every quantity, the envelope's included.
  engine::Evaluator e({record}, {1.0, 1.0, 1.0, 1.0});
  e.evaluate(std::span(&r.p, 1), s);
  t.whole = best(reps, [&] { e.evaluate(std::span(&r.p, 1), s); });
  Series out;
  t.exact = best(std::max(1, reps / 20), [&] {
    for (auto& x : out) x.assign(static_cast<std::size_t>(r.ns), 0.0f);
    synthesis::syntPlan({out[0], out[1], out[2]}, r.ns, spans(r.element), r.nin, plan);
  });
  return t;
}

void row(const char* name, const Timing& t) {
  std::printf("| %s | %zu | %d (%d nonzero, %s) | %.3f | %.3f | %.3f | %.1f |\n", name, t.copies, t.span, t.taps,
              t.method, 1e3 * t.plan, 1e3 * t.synth, 1e3 * t.whole, 1e3 * t.exact);
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "quick";
  const int reps = quick ? 20 : 100;
  synthesis::useSummationThreads(1);
  const Record r = load(fs::path(EGF_SOURCE_DIR) / "examples");
  std::printf("%s; one thread; records of the bundled example: ns %d, element %d samples; "
              "every SMGA's rise time 1 s (ntt %d)\n\n",
              bench::processorName().c_str(), r.ns, r.nin, static_cast<int>(1.0f / r.dt));
  std::printf("| model | copies | taps: span (nonzero, convolution) | plan ms | fast synthetic ms | "
              "whole model ms | exact loop ms |\n|---|---|---|---|---|---|---|\n");
  struct Case {
    const char* one;
    const char* three;
    source::Source single, triple;
  };
  // The three SMGAs lie apart along strike, the second up dip, so that
  // their onsets spread the taps over several seconds.
  std::vector<Case> cases(2);
  cases[0] = {"one SMGA, 12 x 12", "three SMGAs, 8 x 8, 8 x 8, 4 x 4", {}, {}};
  cases[0].single.smgas = {smga(12, 12, 0, 0)};
  cases[0].triple.smgas = {smga(8, 8, 0, 0), smga(8, 8, 12, -2), smga(4, 4, -10, 1)};
  cases[1] = {"one SMGA, 30 x 30", "three SMGAs, 20 x 20, 20 x 20, 10 x 10", {}, {}};
  cases[1].single.smgas = {smga(30, 20, 0, 0)};
  cases[1].triple.smgas = {smga(20, 14, 0, 0), smga(20, 14, 20, -3), smga(10, 7, -16, 1)};
  for (Case& c : cases) {
    for (source::Source* s : {&c.single, &c.triple}) s->vr = 2.8;
    const Timing one = measure(r, c.single, reps), three = measure(r, c.triple, reps);
    row(c.one, one);
    row(c.three, three);
    std::printf("| three over one | | | %.2fx | %.2fx | %.2fx | %.2fx |\n", three.plan / one.plan,
                three.synth / one.synth, three.whole / one.whole, three.exact / one.exact);
  }
  std::printf("\nload average at the end: ");
  std::fflush(stdout);
  return std::system("cut -d' ' -f1-3 /proc/loadavg");
}
