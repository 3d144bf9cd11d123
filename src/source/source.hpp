// The source in physical terms: strong-motion generation areas (SMGAs) on
// the target's fault plane, in kilometres and seconds, and their exact
// translation into the parameter sets and the summation plan of the
// synthesis.
//
// Frame: positions in the fault plane are (u, w) km from the hypocentre, u
// along strike and w down dip (the depth of a point is z + w sin(dip)). An
// SMGA of N x N subfaults has cells of L/N by W/N km; subfault (i, j)
// stands for its cell by one point, the centre of the cell. The rupture of
// SMGA k starts at the point of its starting subfault (nsx, nsw), which
// lies at (x_k, w_k), and the SMGA covers the cells around it:
//   along strike  x_k + (0.5 - nsx) L/N  ..  x_k + (N + 0.5 - nsx) L/N
//   down dip      w_k + (0.5 - nsw) W/N  ..  w_k + (N + 0.5 - nsw) W/N.
// The checks and the drawings use these cell edges.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/params.hpp"
#include "synthesis/synthesis.hpp"

namespace source {

// Where an SMGA's rupture starts: a subfault by its indices (from 1), or a
// position inside the SMGA as fractions of L and W from its first corner
// (along strike, down dip), mapped to the subfault whose cell holds it.
struct Start {
  bool fraction = true;
  double along = 0, down = 0;  // fraction form, 0..1
  int nsx = 0, nsw = 0;        // subfault form, 1..N
};

// One strong-motion generation area.
struct Smga {
  double L = 0, W = 0;    // length along strike, width down dip (km)
  int N = 0;              // subfaults per side and sub-events per subfault
  double C = 0;           // stress-drop ratio to the element event
  double tau = 0;         // rise time (s)
  double x = 0, w = 0;    // rupture start, km along strike and down dip from the hypocentre
  Start start;
  double delay = 0;       // s added to the time the rupture front reaches the start
  std::optional<double> vr;  // its own rupture velocity (km/s); the model's when absent
};

// A source model: its SMGAs and the values they share. A value left absent
// is the record's parameter set's (its line 11, and imdl of line 14).
struct Source {
  std::optional<double> vs, vr;        // km/s
  std::optional<model::Rupture> rupture;
  std::optional<model::Radiation> radiation;
  std::optional<model::TimeFunction> timeFunction;
  std::vector<Smga> smgas;
};

// The starting subfault (nsx, nsw). A fraction f maps to subfault
// floor(f N) + 1, and f = 1 to N (the far edge belongs to the last cell); a
// fraction outside 0..1 gives an index outside 1..N (see refusal()).
std::array<int, 2> startSubfault(const Smga& a);

// The rupture velocity of SMGA k: its own, else the model's, else base's.
double ruptureVelocity(const Source& s, std::size_t k, const model::Params& base);

// The parameter set of SMGA k for a record whose parameter set is `base`:
// base with nx = nw = nt = N, dx = L/N, dw = W/N, tra = tau/N, cfac = C,
// dx0 = -x, dw0 = -w, (nsx, nsw) the starting subfault, vr the SMGA's
// rupture velocity, and vs, ird, ipfm, imdl the model's where it gives
// them. Each value is formed in double precision from the physical values
// and rounded once to single precision, as the parameter-file reader rounds
// its decimal texts.
model::Params areaParams(const model::Params& base, const Source& s, std::size_t k);

// The time the rupture front, leaving the hypocentre at time 0, reaches
// SMGA k's start: sqrt(x^2 + w^2) / vr + delay (s).
double onsetSeconds(const Source& s, std::size_t k, const model::Params& base);
// That time in whole samples: nint(t / dt), halves away from zero. Throws
// textio::InputRejected when it lies beyond +-1e9 samples.
int onsetSamples(double seconds, float dt);

// Why a value cannot stand in a source model (for the configuration's and
// the axes' values): "" when it can. A length, width, rise time, stress-drop
// ratio or velocity must be finite and positive, N within 1..30, a
// position or delay finite.
std::string badValue(const Source& s);

// Why the source model cannot be on the record's fault (base: its depth z
// and dip), or "" when it can: an SMGA whose start lies outside it, an SMGA
// reaching above the ground surface, two SMGAs that overlap (cells sharing
// more than an edge), an SMGA whose rupture would start before the origin
// time. The reasons name the SMGAs (counted from 1) and the numbers.
std::string refusal(const Source& s, const model::Params& base);

// A rectangle of cells in the fault plane: km from the hypocentre, along
// strike u0..u1 and down dip w0..w1 (the cells' outer edges).
struct Rectangle {
  double u0 = 0, u1 = 0, w0 = 0, w1 = 0;
};
// The cells of a parameter set's fault area (nx, nw, dx, dw, nsx, nsw, dx0,
// dw0), subfault (i, j) at ((i - nsx) dx - dx0, (j - nsw) dw - dw0).
Rectangle cells(const model::Params& area);

// What a seismologist reads off one fault area.
struct AreaFacts {
  Rectangle cells;
  double length = 0, width = 0, area = 0;  // km, km, km^2
  double topDepth = 0, bottomDepth = 0;    // km, of the up-dip and the down-dip edge
  double riseTime = 0;                     // s: nt tra
  double momentRatio = 0;                  // C nx nw nt (C N^3): moment over the element's
  int nx = 0, nw = 0, nt = 0, nsx = 0, nsw = 0;
  float dx = 0, dw = 0, tra = 0, cfac = 0, vr = 0;  // the parameter set's values
  double startU = 0, startW = 0;           // the start's point (km from the hypocentre)
  double onset = 0;                        // s after the origin time
};
// The facts of a parameter set's fault area, whose rupture starts `onset`
// seconds after the origin time.
AreaFacts facts(const model::Params& area, double onset = 0);

// The moment ratio of two magnitudes: 10^(1.5 (target - element)).
double magnitudeMomentRatio(double target, double element);
// One line comparing a model's total moment ratio (the sum of C N^3) with
// the ratio of the two magnitudes, when both are given.
std::string momentComparison(double total, std::optional<double> targetMagnitude,
                             std::optional<double> elementMagnitude);

// The summation plan of a source model for one record: every SMGA's own
// subfault model (sourceModel of its parameter set), its own sub-events,
// its onset in samples and the weight C_k / elementCfac (single
// precision), for an element record that carries the factor elementCfac
// (1 for a record kept before its cfac, C_1 for one prepared as egfsim
// prepares it with the first SMGA's parameter set: that SMGA's weight is
// then exactly 1). Keeps its scratch between calls; one per thread.
class Planner {
 public:
  // Throws textio::InputRejected (or a synthesis refusal) for a model the
  // stages refuse.
  synthesis::SummationPlan plan(const model::Params& base, const Source& s, float dt,
                                float elementCfac);
  // The parameter sets of the last plan's SMGAs.
  const std::vector<model::Params>& areas() const { return params_; }

 private:
  std::vector<model::Params> params_;
  std::vector<synthesis::SubfaultModel> models_;
};

// A value of a source model that a search may vary: an SMGA's (smga >= 1)
// or the model's (smga 0).
struct Field {
  enum Name { L, W, N, C, Tau, X, Wpos, Along, Down, Nsx, Nsw, Delay, Vr, Vs, Ird, Ipfm, Imdl };
  int smga = 0;
  Name name = L;
};

// The field a name denotes: "smga.K.NAME" with NAME one of L W N C tau x w
// along down nsx nsw delay vr, or a model-wide vs, vr, ird, ipfm, imdl.
std::optional<Field> findField(std::string_view name);
// Its name as findField reads it.
std::string fieldName(const Field& f);
// Whether the field holds an integer.
bool integerField(const Field& f);
// Why the field cannot be set in `s`, or "": an SMGA beyond the model's,
// along/down of a start given by subfault, nsx/nsw of one given by fraction.
std::string fieldProblem(const Source& s, const Field& f);
// Sets the field (which fieldProblem accepts).
void setField(Source& s, const Field& f, double value);
// The field's value in `s`, base's where the model leaves it to the record.
double fieldValue(const Source& s, const Field& f, const model::Params& base);

}  // namespace source
