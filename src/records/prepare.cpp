// Record preparation: mean removal, the figure's parameter labels, and the
// target and element records turned into mean-free acceleration, velocity
// and displacement series.
//
// The order of the steps fixes the numbers: each integration starts from the
// mean-free series of the step before, the filter acts only once all three
// series exist, and the last mean removal acts on the filtered (and, for the
// element, scaled) copies.
#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "dsp/dsp.hpp"
#include "records/records.hpp"
#include "records/units.hpp"

namespace records {
namespace {

constexpr int kConsole = 6;
constexpr int kTargetUnit = 10;
constexpr int kElementUnit = 20;

// Writes `value` with the one-item fixed format `format` over columns
// first..first+width-1 (1-based) of `label`, leaving the other columns as
// the template has them.
void overwrite(std::string& label, int first, int width, std::string_view format,
               textio::Value value) {
  const std::string field = textio::internalWrite(format, width, {value});
  label.replace(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(width), field);
}

void removeMean(textio::Channels& io, std::span<float> x, int n, std::string_view text) {
  float mean = 0;
  zero(x, 1, n, mean);
  io.writeList(kConsole, {text, mean});
}

// Steps shared by both records: the mean of the acceleration, two
// integrations each followed by its mean removal, then the optional filter.
void integrateAndFilter(textio::Channels& io, const run::Params& p, run::Workspace& w, int n) {
  removeMean(io, w.d, n, "d sum =");
  dsp::inac(w.dt, n, w.d, w.di);
  removeMean(io, w.di, n, "di sum =");
  dsp::inac(w.dt, n, w.di, w.dii);
  removeMean(io, w.dii, n, "dii sum =");
  if (p.ifilt == 1) {
    dsp::bandp(io, w.d, n, w.dt, p.fl, p.fh, p.fs, p.ap, p.as, 0);
    dsp::bandp(io, w.di, n, w.dt, p.fl, p.fh, p.fs, p.ap, p.as, 0);
    dsp::bandp(io, w.dii, n, w.dt, p.fl, p.fh, p.fs, p.ap, p.as, 0);
  }
}

// Samples that read as finite can still be too large for single precision
// once summed for a mean, integrated or scaled by cfac (3e38 is a float,
// the sum of two is not); inf and nan would then run through every later
// stage into the figures. NaN propagates, so checking the final series of a
// record catches an overflow at any step before; the record is refused.
void requireFinite(const std::string& record,
                   std::initializer_list<std::reference_wrapper<const std::vector<float>>> series,
                   std::size_t count) {
  for (const std::vector<float>& x : series) {
    for (std::size_t i = 0; i < count; ++i) {
      if (!std::isfinite(x[i]))
        throw textio::InputRejected("record file " + record +
                                    ": the samples are too large: their means, integrals or their "
                                    "product with cfac overflow single precision");
    }
  }
}

std::string trimmedName(const std::string& name) {
  return name.substr(0, name.find_last_not_of(' ') + 1);
}

// Opens a record file, reads it into w.d and closes it again; returns the
// sample count and sets w.dt to the record's interval.
int readRecord(textio::Channels& io, int unit, const std::string& name, run::Workspace& w,
               RecordHeader& h, bool echoInterval) {
  const std::string file = name.substr(0, name.find_last_not_of(' ') + 1);
  io.open(unit, file);
  int npts = 0;
  int isps = 0;
  readkib(io, unit, w.d, npts, isps, h, file);
  w.dt = 1.0f / static_cast<float>(isps);
  if (echoInterval) io.writeList(kConsole, {"dt=", w.dt});
  io.close(unit);
  return npts;
}

}  // namespace

void zero(std::span<float> x, int i1, int i2, float& mean) {
  if (i2 >= i1 && (i1 < 1 || static_cast<std::size_t>(i2) > x.size()))
    throw std::out_of_range("zero: samples " + std::to_string(i1) + ".." + std::to_string(i2) +
                            " outside a series of " + std::to_string(x.size()));
  float sum = 0.0f;
  for (int i = i1; i <= i2; ++i) sum = sum + x[static_cast<std::size_t>(i - 1)];
  mean = sum / static_cast<float>(i2 - i1 + 1);
  for (int i = i1; i <= i2; ++i) x[static_cast<std::size_t>(i - 1)] -= mean;
}

Labels buildLabels(const run::Params& p) {
  Labels l;
  l.labn = "N=##";
  overwrite(l.labn, 3, 2, "(i2)", p.nx);
  l.labc = "C=#####";
  overwrite(l.labc, 3, 5, "(f5.2)", p.cfac);
  l.labsz = "####km x ####km";
  overwrite(l.labsz, 1, 4, "(f4.2)", p.dx);
  overwrite(l.labsz, 10, 4, "(f4.2)", p.dw);
  l.labt = "####s";
  overwrite(l.labt, 1, 4, "(f4.2)", p.tra);
  l.labns = "(##,##)";
  overwrite(l.labns, 2, 2, "(i2)", p.nsx);
  overwrite(l.labns, 5, 2, "(i2)", p.nsw);
  l.labbp = "B.P.F=#####~#####Hz";
  overwrite(l.labbp, 7, 5, "(f5.2)", p.fl);
  overwrite(l.labbp, 13, 5, "(f5.2)", p.fh);
  return l;
}

void prepareTarget(textio::Channels& io, run::Params& p, run::Workspace& w, RecordHeader& h) {
  const int n = readRecord(io, kTargetUnit, p.fmain, w, h, true);
  integrateAndFilter(io, p, w, n);

  const auto count = static_cast<std::size_t>(n);
  std::copy_n(w.d.begin(), count, w.dm.begin());
  std::copy_n(w.di.begin(), count, w.dmm.begin());
  std::copy_n(w.dii.begin(), count, w.dmmm.begin());
  // Beyond the record the observed series are silent.
  std::fill(w.dm.begin() + n, w.dm.end(), 0.0f);
  std::fill(w.dmm.begin() + n, w.dmm.end(), 0.0f);
  std::fill(w.dmmm.begin() + n, w.dmmm.end(), 0.0f);
  w.nmain = n;
  if (p.ns == 0) p.ns = n;

  removeMean(io, w.dm, n, "dm sum =");
  removeMean(io, w.dmm, n, "dmm sum =");
  removeMean(io, w.dmmm, n, "dmmm sum =");
  requireFinite(trimmedName(p.fmain), {w.dm, w.dmm, w.dmmm}, count);
  io.writeList(kConsole, {" target event prelimilary analysis was done "});
}

void prepareElement(textio::Channels& io, const run::Params& p, run::Workspace& w,
                    RecordHeader& h) {
  std::fill_n(w.d.begin(), kMaxSamples, 0.0f);
  std::fill_n(w.di.begin(), kMaxSamples, 0.0f);
  std::fill_n(w.dii.begin(), kMaxSamples, 0.0f);

  // h still holds the target's header: the element must match its rate and
  // unit family, or the synthetic would be compared on another time base or
  // scale. From here on w.dt is the element record's interval.
  const RecordIdentity target{trimmedName(p.fmain), h.isps, h.dunit};
  const int n = readRecord(io, kElementUnit, p.faft, w, h, false);
  requireComparable(target, {trimmedName(p.faft), h.isps, h.dunit});
  integrateAndFilter(io, p, w, n);

  for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
    w.da[i] = w.d[i] * p.cfac;
    w.daa[i] = w.di[i] * p.cfac;
    w.daaa[i] = w.dii[i] * p.cfac;
  }
  std::fill(w.da.begin() + n, w.da.end(), 0.0f);
  std::fill(w.daa.begin() + n, w.daa.end(), 0.0f);
  std::fill(w.daaa.begin() + n, w.daaa.end(), 0.0f);
  w.naft = n;

  removeMean(io, w.da, n, "da sum =");
  removeMean(io, w.daa, n, "daa sum =");
  removeMean(io, w.daaa, n, "daaa sum =");
  requireFinite(trimmedName(p.faft), {w.da, w.daa, w.daaa}, static_cast<std::size_t>(n));
  io.writeList(kConsole, {" small event prelimilary analysis was done "});
}

}  // namespace records
