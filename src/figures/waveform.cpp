// The waveform comparison page: three columns (acceleration, velocity,
// displacement), each with the observed, synthetic and element traces
// stacked 5.5 cm apart, on one landscape page.
#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "figures/figures.hpp"
#include "model/limits.hpp"
#include "records/units.hpp"
#include "textio/stop.hpp"

namespace figures {
namespace {

// Trace panels span 6 cm of time and +-2 cm of amplitude; the amplitude axis
// stands 1 cm left of the trace and the element time axis 0.5 cm below it.
constexpr float kTraceLength = 6.0f;
constexpr float kPanelStep = -5.5f;

void label(plot::Device& dev, float x, float y, float height, std::string_view text, int n) {
  plot::symbol(dev, x, y, height, text, 0.0f, n);
}

// The last sample (counted from 1) of k1..k2 that lies in the array.
int lastInside(std::span<const float> a, int k2) {
  const auto size = static_cast<long long>(a.size());
  return static_cast<int>(std::min<long long>(k2, size));
}

// Largest magnitude over samples k1..k2; starts at 0 and is replaced only by
// a strictly larger magnitude.
float peakOf(std::span<const float> a, int k1, int k2) {
  float peak = 0.0f;
  const int last = lastInside(a, k2);
  for (int i = std::max(k1, 1); i <= last; ++i) {
    const float v = std::fabs(a[static_cast<std::size_t>(i - 1)]);
    if (v > peak) peak = v;
  }
  return peak;
}

// The element peak is taken on the record without its amplitude factor:
// every quotient ele(i) / cfac is rounded to single precision before its
// magnitude is compared. A factor of 0 leaves nothing to scale by: peak 0.
float elementPeakOf(std::span<const float> a, int k1, int k2, float cfac) {
  float peak = 0.0f;
  if (cfac == 0.0f) return peak;
  const int last = lastInside(a, k2);
  for (int i = std::max(k1, 1); i <= last; ++i) {
    const float q = a[static_cast<std::size_t>(i - 1)] / cfac;
    const float v = std::fabs(q);
    if (v > peak) peak = v;
  }
  return peak;
}

// Draws samples k1..k2 as one polyline, x = (i - k1) * dt / tscl, cut at the
// last sample before x = 6 cm. yOf maps a sample value to its height.
template <typename YOf>
void trace(plot::Device& dev, std::span<const float> a, int k1, int k2, float dt, float tscl,
           YOf yOf) {
  const int last = lastInside(a, k2);
  bool first = true;
  for (int i = std::max(k1, 1); i <= last; ++i) {
    const float x = static_cast<float>(i - k1) * dt / tscl;
    if (x >= kTraceLength) break;
    const float y = yOf(a[static_cast<std::size_t>(i - 1)]);
    dev.plot(x, y, first ? 3 : 2);
    first = false;
  }
}

// The vertical amplitude axis of a panel: -top .. top over 4 cm, five
// annotations with two decimals. top = 0 annotates every tick "0".
void amplitudeAxis(plot::Device& dev, std::string_view title, int n, float top) {
  // Amplitudes near the top of the float range (a velocity peak above 3e36,
  // scaled by 100) cannot be annotated: such a run is refused rather than
  // drawn with meaningless axes.
  if (!std::isfinite(top)) {
    throw textio::InputRejected("the waveform figure cannot annotate its " + std::string(title) +
                                " axis: the amplitudes overflow single precision");
  }
  plot::axis(dev, -1.0f, -2.0f, title, n, 4.0f, 90.0f, -top, top / 2.0f, 2);
}

struct Column {
  const char* heading;
  std::span<const float> obs, syn, ele;
};

// Where the element axis rescales, per unit family. Records in a
// centimetre-based unit (gal, cm/s/s) give velocity and displacement in cm/s
// and cm already; records in metres are annotated in cm/s and cm, times 100.
// Below a threshold the values are annotated scaled up by 100 (the
// displacement by 10000 below the second one), and the title says so with
// "**-2" or "**-4". The thresholds are single precision, the comparisons
// strict.
struct AxisRule {
  float velocity;       // velocity annotated as it is above this peak
  float displacement;   // displacement annotated as it is above this peak
  float displacement2;  // and scaled by 100 (not 10000) above this one
};
constexpr AxisRule kCentimetreRule{0.1f, 0.1f, 0.001f};
constexpr AxisRule kMetreRule{0.001f, 0.001f, 0.00001f};

}  // namespace

bool centimetreAxes(std::string_view dunit) {
  return records::unitFamily(dunit.substr(0, 5)) == records::UnitFamily::Centimetre;
}

ElementAxis elementAxis(int column, float emax, std::string_view dunit) {
  const bool centimetres = centimetreAxes(dunit);
  const AxisRule& rule = centimetres ? kCentimetreRule : kMetreRule;
  const std::string_view unit = dunit.substr(0, 5);
  ElementAxis r;
  r.emax = emax;
  switch (column) {
    case 0:
      if (emax > 0.1f) {
        r.title = unit;
        r.nchar = 5;
      } else {
        r.emax = 100.0f * emax;
        r.title = centimetres ? std::string(unit.substr(0, unit.find_last_not_of(' ') + 1)) + "**-2"
                              : std::string("m/s/s**-2");
        r.nchar = static_cast<int>(r.title.size());
      }
      r.top = r.emax;
      return r;
    case 1:
      if (emax > rule.velocity) {
        r.title = "cm/s";
        r.nchar = 4;
      } else {
        r.emax = 100.0f * emax;
        r.title = "cm/s**-2";
        r.nchar = 8;
      }
      break;
    default:
      if (emax > rule.displacement) {
        r.title = "cm";
        r.nchar = 2;
      } else if (emax > rule.displacement2) {
        r.emax = 100.0f * emax;
        r.title = "cm**-2";
        r.nchar = 6;
      } else {
        r.emax = 10000.0f * emax;
        r.title = "cm**-4";
        r.nchar = 6;
      }
      break;
  }
  r.top = centimetres ? r.emax : 100.0f * r.emax;
  return r;
}

void waveformFigure(textio::Channels& io, plot::Device& dev, const model::Params& p,
                    const FigureMotions& m, const FigureTexts& t) {
  const float dt = m.dt;
  const float tscl = p.tscl;
  const float cfac = p.cfac;

  const std::array<Column, 3> cols = {{
      {"amplitude of event waveform", m.observed.acc, m.synthetic.acc, m.element.acc},
      {"amplitude of integrated waveform", m.observed.vel, m.synthetic.vel, m.element.vel},
      {"amplitude of double integrated waveform", m.observed.disp, m.synthetic.disp,
       m.element.disp},
  }};

  dev.plots(p.iuwav);
  dev.yoko(p.iuwav);

  for (int c = 0; c < 3; ++c) {
    const Column& col = cols[static_cast<std::size_t>(c)];
    io.writeList(model::kConsoleOut, {"*****************************"});
    io.writeList(model::kConsoleOut, {col.heading});
    if (c == 0) {
      dev.plot(4.0f, 16.0f, -3);
    } else {
      dev.plot(9.0f, 11.0f, -3);
    }

    // Observed panel. Its peak also scales the synthetic trace, so the two
    // share one amplitude scale.
    const float amax = peakOf(col.obs, p.ksm, p.kem);
    io.writeList(model::kConsoleOut, {" max of obs.", amax, m.observedCount});
    dev.plot(0.0f, 0.0f, 3);
    trace(dev, col.obs, p.ksm, p.kem, dt, tscl,
          [amax](float v) { return amax == 0.0f ? 0.0f : 2.0f * v / amax; });
    if (c == 0) {
      label(dev, 0.0f, 4.0f, 0.4f, p.ttl1, 6);
      label(dev, 0.0f, 3.2f, 0.4f, p.ttl2, 7);
      label(dev, 4.5f, 4.0f, 0.4f, t.labn, 4);
      label(dev, 4.5f, 3.2f, 0.4f, t.labc, 7);
      label(dev, 9.0f, 4.0f, 0.4f, t.labsz, 15);
      label(dev, 9.0f, 3.2f, 0.4f, t.labt, 5);
      label(dev, 14.0f, 4.0f, 0.4f, t.labns, 7);
      label(dev, 18.0f, 4.0f, 0.4f, t.rcode, 5);
      label(dev, 18.0f, 3.2f, 0.4f, t.labbp, 19);
      label(dev, 3.0f, 1.5f, 0.3f, "Target Obs.", 11);
      label(dev, 0.0f, 2.2f, 0.4f, t.rname, 12);
    } else if (c == 1) {
      label(dev, 3.0f, 1.5f, 0.3f, "Target Obs.", 11);
      label(dev, 0.0f, 2.2f, 0.4f, "velocity", 8);
    } else {
      label(dev, 3.0f, 1.5f, 0.3f, "Target Obs.", 11);
      label(dev, 0.0f, 2.2f, 0.4f, "displacement", 12);
    }
    // Acceleration is annotated in the record's own unit; velocity and
    // displacement in cm/s and cm: as they are for a centimetre-based unit,
    // times 100 otherwise (the series taken to be in metres).
    std::string_view title;
    int n = 0;
    float top = 0.0f;
    if (c == 0) {
      title = t.dunit;
      n = 5;
      top = amax;
    } else {
      title = c == 1 ? std::string_view("cm/s") : std::string_view("cm");
      n = c == 1 ? 4 : 2;
      top = centimetreAxes(t.dunit) ? amax : 100.0f * amax;
    }
    amplitudeAxis(dev, title, n, top);
    dev.plot(0.0f, kPanelStep, -3);

    // Synthetic panel, on the observed panel's scale and axis.
    const float smax = peakOf(col.syn, p.ksa, p.kea);
    io.writeList(model::kConsoleOut, {" max of syn.", smax, m.syntheticCount});
    dev.plot(0.0f, 0.0f, 3);
    trace(dev, col.syn, p.ksa, p.kea, dt, tscl,
          [amax](float v) { return amax == 0.0f ? 0.0f : 2.0f * v / amax; });
    if (c == 2) {
      label(dev, 0.0f, 2.8f, 0.3f, t.res, 9);
      label(dev, 0.0f, 2.2f, 0.3f, t.cor, 9);
    }
    label(dev, 3.0f, 1.5f, 0.3f, "Target Syn.", 11);
    amplitudeAxis(dev, title, n, top);
    dev.plot(0.0f, kPanelStep, -3);

    // Element panel: the record without its factor cfac, on its own scale,
    // so that its trace reaches +-2 cm at its peak.
    const float emax = elementPeakOf(col.ele, p.ksa, p.kea, cfac);
    io.writeList(model::kConsoleOut, {" max of ele.", emax, m.elementCount});
    dev.plot(0.0f, 0.0f, 3);
    trace(dev, col.ele, p.ksa, p.kea, dt, tscl, [emax, cfac](float v) {
      if (emax == 0.0f) return 0.0f;
      const float scaled = 2.0f * v / emax;
      return scaled / cfac;
    });
    label(dev, 3.0f, 1.5f, 0.3f, "Element eq.", 11);
    const ElementAxis ea = elementAxis(c, emax, t.dunit);
    amplitudeAxis(dev, ea.title, ea.nchar, ea.top);
    plot::axis(dev, 0.0f, -2.5f, "s", -1, 6.0f, 0.0f, 0.0f, tscl, 1);
  }

  dev.plote(p.iuwav);
}

}  // namespace figures
