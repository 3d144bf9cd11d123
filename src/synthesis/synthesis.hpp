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
#include <cstddef>
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
// transcript shows the radiation line (radiationLine) after the tables:
// before every refusal except ZeroDistance.
SubfaultModel sourceModel(const model::Params& p, float dt);

// The console text naming the radiation option, "" for none.
const char* radiationLine(model::Radiation ipfm);

// out(shift+m) += (a*b)*in(m), m = 1..cnt (cnt = nin, or nout - shift when
// shift + nin > nout). Indices outside either span are never touched.
void synt(std::span<float> out, int nout, std::span<const float> in, int nin, int shift, float a,
          float b);

// Time-function weights ft(1..ntt) for weight model imdl (1..4; any other
// model gives zeros). ft must hold at least ntt values.
void weights(int imdl, int nt, int ntt, std::span<float> ft);

// One copy of the element record: placed `shift` samples late, scaled by
// `a` * `b` (the subfault factor and the time-function weight).
struct Copy {
  int shift;
  float a;
  float b;
};

// The three synthetics at once: for every copy in order, synt on each of the
// three (out[s], nout, in[s], nin). Every output sample receives its terms in
// the order of `copies`, so the result is bit for bit that of calling synt
// copy after copy; the work is blocked over the output and vectorised. The
// output series must not overlap the input series.
void syntAll(const std::array<std::span<float>, 3>& out, int nout,
             const std::array<std::span<const float>, 3>& in, int nin,
             std::span<const Copy> copies);

// The copies of a subfault model in the summation's order (i, j, k), made
// one at a time as they are needed: the list of a 30 x 30 x 500 model would
// take megabytes, the grid takes none.
struct CopyGrid {
  const SubfaultModel& model;
  int nx, nw, ntt;
  std::span<const float> ft;  // ft(1..ntt)
  float dtau, dt;

  std::size_t size() const { return static_cast<std::size_t>(nx) * nw * ntt; }
  // Shift of copy (i, j, k) before truncation:
  // lagij + (k - 1)*dtau/dt + 0.5 - lagmin, in that order, in single precision.
  float shiftValue(int i, int j, int k) const;
  // Writes copies first..first+n-1 (counted from 0) into dst. Every shift
  // must pass fitsSamples.
  void fill(std::size_t first, std::size_t n, Copy* dst) const;
};

// syntAll over the copies of a grid.
void syntGrid(const std::array<std::span<float>, 3>& out, int nout,
              const std::array<std::span<const float>, 3>& in, int nin, const CopyGrid& grid);

// The instruction sets syntAll's passes are compiled for. The widest one the
// processor supports is used; useKernelIsa selects a narrower one (or the
// widest available when more is asked) and returns the one now in use.
// Every choice gives the same bits.
enum class KernelIsa { Baseline, Avx2, Avx512 };
KernelIsa kernelIsa();
KernelIsa useKernelIsa(KernelIsa wanted);

// The threads syntAll and syntGrid spread their output blocks over:
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

// A refusal of the summation once ntt is known: the transcript shows ntt and
// the progress lines of the first `rows` subfault rows before it.
class SummationRefused : public textio::InputRejected {
 public:
  SummationRefused(std::string message, int ntt, int rows)
      : InputRejected(std::move(message)), ntt(ntt), rows(rows) {}
  int ntt, rows;
};

// The summation stage: ntt, dtau, weights, the copies' shifts, the sum of
// the element motion's copies (element samples 1..elementCount) into ns
// samples, and the six mean removals. A ntt that cannot be formed is a
// plain InputRejected; every later refusal a SummationRefused.
Synthesis synthesize(const model::Params& p, const SubfaultModel& model,
                     const model::Motion& element, int elementCount, float dt, int ns);

// Correlation of x(ix+1..ix+n) with y(iy+1+l..iy+n+l) for l = -200..200; the
// best lag goes to `lag` (left as it was when no coefficient is positive) and
// the residual is taken there. Samples outside 1..size of a span read as 0.
// A residual whose denominator is 0 throws textio::InputRejected.
void correlateOverLags(std::span<const float> x, std::span<const float> y, int ix, int iy, int n, float& res,
          float& cor, int& lag);

struct FitLabels {
  std::string res;  // "Res.=0.45"
  std::string cor;  // "Cor.=0.99"
};

// The displacement labels for a residual and a coefficient (F4.2 each).
FitLabels fitLabels(float res, float cor);

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
