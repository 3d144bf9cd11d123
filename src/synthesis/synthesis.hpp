// Synthesis of the target event's motion from the element event's record:
// the fault and station geometry with its radiation-pattern correction, the
// summation of delayed and weighted copies of the element record, and the
// comparison of the synthetic with the observed motion. Each stage is a
// function from its inputs to its result; none writes to the console, so
// they may run on several threads at once. A refusal is a
// textio::InputRejected; where the transcript shows part of a stage before
// its refusal, the exception says how far it got.
//
// Series follow the model's convention: sample n (counted from 1) is
// element n - 1. Subfault tables are indexed [i - 1][j - 1], i along strike
// and j down-dip. All reals are single precision; elementary functions are
// evaluated in double on the widened argument and rounded where stored.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/limits.hpp"
#include "model/motion.hpp"
#include "model/params.hpp"
#include "textio/stop.hpp"
#include "textio/textio.hpp"

namespace synthesis {

inline constexpr int kMaxGrid = model::kMaxGrid;      // nx, nw
inline constexpr int kMaxShifts = model::kMaxShifts;  // ntt
inline constexpr int kWindow = 800;      // samples compared by correlateOverLags's callers
inline constexpr int kMaxLag = 200;      // lags -kMaxLag..kMaxLag

using Table = std::array<std::array<float, kMaxGrid>, kMaxGrid>;     // [i-1][j-1]
using IntTable = std::array<std::array<int, kMaxGrid>, kMaxGrid>;

// Everything the geometry stage produces; the summation needs ampij, lagij
// and lagmin, the rest is kept for inspection.
struct SubfaultModel {
  Table ampij{};          // amplitude factor of each subfault
  IntTable lagij{};       // delay of each subfault in samples (may be negative)
  int lagmin = 0;         // min(0, all lagij)
  Table rij{}, azij{}, tkij{}, trij{};
  Table radt{};           // subfault coefficient on the recorded component (0 when ipfm <= 0)
  float xs = 0, ys = 0;   // station in the fault frame (km)
  float r0 = 0, ra0 = 0;  // hypocentral distances of the target and element events (km)
  float tka = 0;          // take-off angle of the element event (radians)
  float rada = 0;         // element coefficient on the recorded component (0 when ipfm <= 0)
};

// x = r cos(az - str), y = r sin(az - str).
void toFaultFrame(float r, float az, float str, float& x, float& y);

// A subfault point at zero distance from the station: the transcript shows
// "rl=0" with the point's offsets x, y, z before the refusal.
class ZeroDistance : public textio::InputRejected {
 public:
  ZeroDistance(std::string message, float x, float y, float z)
      : InputRejected(std::move(message)), x(x), y(y), z(z) {}
  float x, y, z;
};

// Distance, azimuth from strike and take-off angle of the station seen from
// every subfault point. A point at zero distance throws ZeroDistance.
void stationFromSubfaults(float xs, float ys, float z, float dx, float dw, int nx, int nw, int nsx,
                          int nsw, float dip, float dx0, float dw0, Table& rij, Table& azij,
                          Table& tkij);

// Rupture arrival time of every subfault; ird 1 along strike, 2 radial from
// the starting subfault. Any other ird leaves every time 0.
void ruptureTimes(float dx, float dw, int nx, int nw, int nsx, int nsw, int ird, float vr, Table& trij);

// Far-field SH and SV coefficients of a double couple.
void doubleCoupleRadiation(float str, float dip, float rak, float az, float tk, float& sh, float& sv);

// The coefficient on the recorded component of azimuth cmp (or the vertical
// markers model::kVerticalUp / model::kVerticalDown), for take-off angle tk and
// station azimuth az.
float componentRadiation(float sh, float sv, float tk, float az, float cmp);

// Converts a time in samples to an integer by truncation toward zero, after
// checking that it is finite and of magnitude at most 1e9; otherwise throws
// textio::InputRejected whose message names `what`.
int toSamples(float value, const std::string& what);
// True when toSamples accepts `value`.
bool fitsSamples(float value);

// The whole geometry stage: station position, tables, scalars, element
// coefficient, subfault pass, for records sampled every dt seconds. The
// transcript shows the line naming the radiation option after the tables:
// before every refusal except ZeroDistance.
SubfaultModel sourceModel(const model::Params& p, float dt);

// out(shift+m) += (a*b)*in(m), m = 1..cnt (cnt = nin, or nout - shift when
// shift + nin > nout). Indices outside either span are never touched.
void synt(std::span<float> out, int nout, std::span<const float> in, int nin, int shift, float a,
          float b);

// Time-function weights ft(1..ntt) for weight model imdl (1..4; any other
// model gives zeros). ft must hold at least ntt values.
void weights(int imdl, int nt, int ntt, std::span<float> ft);

// One copy of the element record: placed `shift` samples late, scaled by
// (a*b)*w: the subfault factor, the time-function weight and the weight of
// the copy's fault area, each product rounded to single precision (a weight
// of 1 leaves a*b as it is).
struct Copy {
  int shift;
  float a;
  float b;
  float w = 1.0f;
};

// The three synthetics at once: for every copy in order, synt on each of the
// three (out[s], nout, in[s], nin). Every output sample receives its terms in
// the order of `copies`, so the result is bit for bit that of calling synt
// copy after copy; the work is blocked over the output and vectorised. The
// output series must not overlap the input series.
void syntAll(const std::array<std::span<float>, 3>& out, int nout,
             const std::array<std::span<const float>, 3>& in, int nin,
             std::span<const Copy> copies);

// The instruction sets syntAll's passes are compiled for. The widest one the
// processor supports is used; useKernelIsa selects a narrower one (or the
// widest available when more is asked) and returns the one now in use.
// Every choice gives the same bits.
enum class KernelIsa { Baseline, Avx2, Avx512 };
KernelIsa kernelIsa();
KernelIsa useKernelIsa(KernelIsa wanted);

// The threads syntAll and syntPlan spread their output blocks over:
// parallel::defaultThreads() (EGF_THREADS, or every core) unless
// useSummationThreads set a count; a count below 1 returns to the default.
// useSummationThreads returns the count now in use. Summations too small to
// repay a thread stay on the calling one. Every count gives the same bits.
int summationThreads();
int useSummationThreads(int threads);

// The plain reference of syntAll: one synt call per copy and series, in a
// translation unit compiled without vectorisation. Used to check syntAll and
// as the benchmark's baseline.
void syntAllScalar(const std::array<std::span<float>, 3>& out, int nout,
                   const std::array<std::span<const float>, 3>& in, int nin,
                   std::span<const Copy> copies);

// A refusal of the summation once ntt is known: the transcript shows ntt and
// the progress lines of the first `rows` subfault rows before it.
class SummationRefused : public textio::InputRejected {
 public:
  SummationRefused(std::string message, int ntt, int rows)
      : InputRejected(std::move(message)), ntt(ntt), rows(rows) {}
  int ntt, rows;
};

// The sub-events of every subfault of a fault area: nt subdivisions of tra
// seconds, weighted by time-function model imdl.
struct TimeFunction {
  int nt = 0;
  float tra = 0;
  model::TimeFunction imdl{};
};
inline TimeFunction timeFunction(const model::Params& p) { return {p.nt, p.tra, p.imdl}; }

// One fault area of a summation plan: its subfaults' amplitude factors and
// delays, the weight of all its copies and their common onset, and its own
// sub-events: ntt copies per subfault, spaced dtau, weighted ft(1..ntt).
struct PlanArea {
  int nx = 0, nw = 0;  // subfaults along strike and down-dip (0..kMaxGrid)
  Table amplitude{};   // ampij of the area's subfault model
  IntTable delay{};    // lagij + onset, in samples
  float weight = 1.0f;
  int onset = 0;       // samples added to every copy's delay
  int ntt = 0;         // copies per subfault: nt*tra/dt, truncated
  float dtau = 0;      // their spacing (s)
  std::array<float, kMaxShifts> ft{};       // time-function weights
  std::array<float, kMaxShifts> offsets{};  // (k - 1)*dtau/dt, k = 1..ntt
};

// What a plan takes of one fault area: the geometry stage's model of it,
// the subfaults in use, a weight, an onset in whole samples and, when the
// area has sub-events of its own, its time function.
struct AreaSource {
  const SubfaultModel& model;
  int nx, nw;
  float weight = 1.0f;
  int onset = 0;
  std::optional<TimeFunction> time{};
};

// The summation plan: every copy of the element record a summation adds,
// defined once, for egfsim's exact summation and the search's fast one.
//
// Each area has its own sub-events: ntt = trunc(nt*tra/dt) copies per
// subfault, spaced dtau = nt*tra/ntt, weighted by ft(k) of its time
// function. Copy (i, j, k) of an area (k = 1..ntt) is the element record
// scaled by amplitude(i, j), by ft(k) and by the area's weight, and placed
//   shift = trunc(delay(i, j) + (k - 1)*dtau/dt + 0.5 - lagmin)
// samples late, every operation in single precision in that order, where
// lagmin = min(0, every delay of every area) keeps every shift >= 0. The
// copies come in the order of the areas, then i, j, k; each synthetic
// sample receives its terms in that order.
//
// Building a plan makes egfsim's refusals of the summation, with its texts:
// an ntt = nt*tra/dt that cannot be formed (textio::InputRejected), an ntt
// outside 1..kMaxShifts, and a shift beyond +-1e9 samples
// (SummationRefused); with several areas the text names the area. The one
// refusal that needs the sum itself, a synthetic beyond single precision,
// is overflow(): both summations apply it.
class SummationPlan {
 public:
  // One area: egfsim's summation of `model` with nx by nw subfaults of p,
  // its time function, weight 1, onset 0.
  SummationPlan(const model::Params& p, const SubfaultModel& model, float dt);
  // The copies of every area in order, for the sample interval dt; an area
  // without a time function of its own takes p's (nt, tra, imdl).
  SummationPlan(const model::Params& p, float dt, std::span<const AreaSource> areas);

  // The first area's sub-events (those of egfsim's one area); 0 and empty
  // without areas.
  int ntt() const { return areas_.empty() ? 0 : areas_.front().ntt; }
  float dtau() const { return areas_.empty() ? 0.0f : areas_.front().dtau; }
  std::span<const float> weights() const {
    return areas_.empty() ? std::span<const float>()
                          : std::span<const float>(areas_.front().ft.data(),
                                                   static_cast<std::size_t>(ntt()));
  }
  float dt() const { return dt_; }
  int lagmin() const { return lagmin_; }
  std::span<const PlanArea> areas() const { return areas_; }
  std::size_t copies() const;

  // The shift of copy (i, j, k) of area `a` before truncation.
  float shiftValue(const PlanArea& a, int i, int j, int k) const {
    return static_cast<float>(a.delay[i - 1][j - 1]) + a.offsets[k - 1] + 0.5f -
           static_cast<float>(lagmin_);
  }
  int shift(const PlanArea& a, int i, int j, int k) const {
    return static_cast<int>(shiftValue(a, i, j, k));  // checked when the plan was made
  }
  // The largest shift of any copy; 0 without copies.
  int longestShift() const;
  // Copies first..first+n-1 (counted from 0) in the plan's order.
  void fill(std::size_t first, std::size_t n, Copy* dst) const;

  // The refusal of a synthetic that overflows single precision: a float
  // sample not finite, or a double-precision one that does not round to a
  // finite float (finiteInSinglePrecision).
  SummationRefused overflow() const;
  // Throws overflow() unless every sample of the three series is finite.
  void requireFinite(const std::array<std::span<float>, 3>& series) const;

 private:
  void checkShifts() const;

  float dt_ = 0;
  int lagmin_ = 0;
  std::vector<PlanArea> areas_;
};

// The midpoint between the largest float and 2^128: a double below it in
// magnitude rounds to a finite float, from it on to infinity.
inline constexpr double kSinglePrecisionLimit = 0x1.ffffffp127;
inline bool finiteInSinglePrecision(double v) { return std::fabs(v) < kSinglePrecisionLimit; }

// syntAll over the copies of a plan, made chunk by chunk as they are needed
// (the list of a 30 x 30 x 500 plan would take megabytes).
void syntPlan(const std::array<std::span<float>, 3>& out, int nout,
              const std::array<std::span<const float>, 3>& in, int nin,
              const SummationPlan& plan);

// The summation's result: the synthetic motion and what the transcript
// reports about it.
struct Synthesis {
  model::Motion motion;  // kMaxSamples per series, samples 1..ns synthesised
  int ns = 0;            // samples synthesised
  int ntt = 0;           // time subdivisions per subfault: nt*tra/dt, truncated
  float dtau = 0;        // their spacing (s)
  std::array<float, 3> means{};        // removed over 1..ns
  std::array<float, 3> windowMeans{};  // then removed over ksa..kea
};

// The summation of a plan: the element motion's copies (element samples
// 1..elementCount) summed into ns samples, the plan's overflow refusal, and
// the six mean removals (over 1..ns, then over ksa..kea).
Synthesis synthesize(const SummationPlan& plan, const model::Motion& element, int elementCount,
                     int ns, int ksa, int kea);

// The summation stage of egfsim: the plan of one area (its refusals) and
// its summation.
Synthesis synthesize(const model::Params& p, const SubfaultModel& model,
                     const model::Motion& element, int elementCount, float dt, int ns);

// Correlation of x(ix+1..ix+n) with y(iy+1+l..iy+n+l) for l = -200..200; the
// best lag goes to `lag` (left as it was when no coefficient is positive) and
// the residual is taken there. Samples outside 1..size of a span read as 0.
// A residual whose denominator is 0 throws textio::InputRejected.
void correlateOverLags(std::span<const float> x, std::span<const float> y, int ix, int iy, int n, float& res,
          float& cor, int& lag);

// Residual, correlation and best lag of one quantity.
struct Fit {
  float res = 0, cor = 0;
  int lag = 0;
};

// Acceleration, velocity, displacement.
using Comparison = std::array<Fit, 3>;

// A quantity whose residual cannot be formed; the quantities before it were
// compared (`done` holds them) and the transcript shows them.
class ComparisonRefused : public textio::InputRejected {
 public:
  ComparisonRefused(std::string message, int quantity, Comparison done)
      : InputRejected(std::move(message)), quantity(quantity), done(done) {}
  int quantity;
  Comparison done;
};

// The comparison stage: observed samples from ksm+1, synthetic from ksa+1,
// kWindow samples, per quantity. A quantity with no positive coefficient
// keeps the lag of the one before.
Comparison compare(const model::Params& p, const model::Motion& observed,
                   const model::Motion& synthetic);

}  // namespace synthesis
