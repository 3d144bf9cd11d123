// The waveform figure: element axis units and the refusal of amplitudes
// beyond single precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "figures/figures.hpp"
#include "model/limits.hpp"
#include "plot/plot.hpp"
#include "support/console.hpp"

namespace {

// Each threshold is a strict comparison: a peak equal to it takes the scaled
// branch. Rows in m/s/s follow the metre rules, rows in gal the centimetre
// rules (annotations not multiplied by 100).
TEST(ElementAxis, UnitAndScaleFollowThePeakSize) {
  const struct Row {
    const char* unit;
    int column;
    float emax;
    const char* title;
    int nchar;
    float top, rescaled;
  } rows[] = {
      {"m/s/s", 0, 0.5f, "m/s/s", 5, 0.5f, 0.5f},        {"m/s/s", 0, 0.1f, "m/s/s**-2", 9, 10.0f, 10.0f},
      {"m/s/s", 1, 0.002f, "cm/s", 4, 0.2f, 0.002f},     {"m/s/s", 1, 0.001f, "cm/s**-2", 8, 10.0f, 0.1f},
      {"m/s/s", 2, 0.002f, "cm", 2, 0.2f, 0.002f},       {"m/s/s", 2, 0.001f, "cm**-2", 6, 10.0f, 0.1f},
      {"m/s/s", 2, 0.00002f, "cm**-2", 6, 0.2f, 0.002f}, {"m/s/s", 2, 0.00001f, "cm**-4", 6, 10.0f, 0.1f},
      {"m/s/s", 2, 0.0f, "cm**-4", 6, 0.0f, 0.0f},       {"gal  ", 0, 0.1f, "gal**-2", 7, 10.0f, 10.0f},
      {"gal", 1, 0.1f, "cm/s**-2", 8, 10.0f, 10.0f},     {"gal", 2, 0.1f, "cm**-2", 6, 10.0f, 10.0f},
      {"gal", 2, 0.001f, "cm**-4", 6, 10.0f, 10.0f},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.unit << " column " << r.column << " emax " << r.emax);
    const figures::ElementAxis a = figures::elementAxis(r.column, r.emax, r.unit);
    EXPECT_EQ(a.title, r.title);
    EXPECT_EQ(a.nchar, r.nchar);
    EXPECT_FLOAT_EQ(a.top, r.top);
    EXPECT_FLOAT_EQ(a.emax, r.rescaled);
  }
}

// The observed, synthetic and element motions of a figure, all zero.
struct Motions {
  model::Motion obs{model::kMaxSamples}, syn{model::kMaxSamples}, ele{model::kMaxSamples};
  float dt = 0;
  int nmain = 0, naft = 0;
};

std::vector<std::string> draw(const model::Params& p, const Motions& m,
                              const figures::FigureTexts& t) {
  testsupport::StringConsole c;
  plot::Device dev{c.io};
  figures::waveformFigure(c.io, dev, p, {m.obs, m.nmain, m.syn, p.ns, m.ele, m.naft, m.dt}, t);
  c.io.closeAll();
  return c.outLines();
}

// One small figure per unit family: title and top annotation of every
// amplitude axis (observed, synthetic, element of each column). Peaks:
// acceleration 0.04 (element 0.05), velocity 0.5 (0.3), displacement 0.02
// (0.0005). Metre-based, gravity-based and unrecognised units share the
// metre rules.
TEST(WaveformFigure, AxesStateTrueValuesForEachUnitFamily) {
  model::Params p;
  p.iuwav = 6, p.tscl = 1.0f, p.cfac = 2.0f;
  p.ksm = 2, p.kem = 4, p.ksa = 1, p.kea = 3;
  Motions w;
  w.dt = 0.5f;
  w.obs.acc = {0, 0.02f, -0.04f, 0.01f}, w.ele.acc = {0.1f, -0.04f, 0};
  w.obs.vel = {0, 0.5f, -0.2f, 0.1f}, w.ele.vel = {0.6f, -0.2f, 0};
  w.obs.disp = {0, 0.02f, -0.01f, 0}, w.ele.disp = {0.001f, -0.0004f, 0};
  for (const std::string unit : {"gal", "m/s/s", "g", "cnt"}) {
    const std::vector<std::string> want =
        unit == "gal" ? std::vector<std::string>{"gal 0.04", "gal 0.04", "gal**-2 5.00",
                                                 "cm/s 0.50", "cm/s 0.50", "cm/s 0.30",
                                                 "cm 0.02",   "cm 0.02",   "cm**-4 5.00"}
                      : std::vector<std::string>{unit + " 0.04", unit + " 0.04", "m/s/s**-2 5.00",
                                                 "cm/s 50.00",   "cm/s 50.00",   "cm/s 30.00",
                                                 "cm 2.00",      "cm 2.00",      "cm**-2 5.00"};
    figures::FigureTexts t;
    t.dunit = unit;
    // The texts drawn; an amplitude axis is five annotations (0 in the
    // middle) then its title, the time axis seven then "s".
    std::vector<std::string> texts, axes;
    for (const std::string& l : draw(p, w, t)) {
      if (l.rfind(" (", 0) != 0) continue;
      std::string text = l.substr(2, l.find_last_not_of(" )") - 1);
      texts.push_back(text.erase(0, text.find_first_not_of(' ')));
    }
    for (std::size_t i = 5; i < texts.size(); ++i) {
      if (texts[i - 3] == "0" && texts[i] != "s" && texts[i].find_first_not_of("-.0123456789 ") != std::string::npos)
        axes.push_back(texts[i] + " " + texts[i - 1]);
    }
    EXPECT_EQ(axes, want) << unit;
  }
}

// A velocity peak above 3.4e36 overflows the axis top (100 times the peak):
// the run is refused rather than drawn with meaningless annotations.
TEST(WaveformFigure, AmplitudesBeyondTheFloatRangeAreRefused) {
  model::Params p;
  p.iuwav = 6;
  p.tscl = 0.5f;
  p.cfac = 1.0f;
  p.ksm = p.ksa = 1, p.kem = p.kea = 100;
  Motions w;
  w.dt = 0.01f;
  w.obs.acc[10] = w.obs.vel[10] = 1e37f;
  figures::FigureTexts t;
  EXPECT_THROW(draw(p, w, t), textio::InputRejected);
}

// Every label in its fixed-format field, asterisks when a number does not
// fit; 9.999 rounds to 10.00 and no longer fits four columns.
TEST(FigureTexts, FixedWidthFieldsWithAsterisksWhenTooWide) {
  const struct Row {
    int nx, nsx, nsw;
    float cfac, dx, dw, tra, fl, fh, res, cor;
    std::vector<std::string> labels;  // labn, labc, labsz, labt, labns, labbp, res, cor
  } rows[] = {
      {8, 1, 4, 1.5f, 2.5f, 2.0f, 0.3f, 0.1f, 10.0f, 0.45f, 0.987f,
       {"N= 8", "C= 1.50", "2.50km x 2.00km", "0.30s", "( 1, 4)", "B.P.F= 0.10~10.00Hz", "Res.=0.45", "Cor.=0.99"}},
      {100, -1, 12, -10.0f, 10.0f, 0.5f, 9.999f, 0.0f, 100.0f, 12.3f, 0.004f,
       {"N=**", "C=*****", "****km x 0.50km", "****s", "(-1,12)", "B.P.F= 0.00~*****Hz", "Res.=****", "Cor.=0.00"}},
  };
  for (const Row& r : rows) {
    model::Params p;
    p.nx = r.nx, p.nsx = r.nsx, p.nsw = r.nsw, p.cfac = r.cfac, p.dx = r.dx, p.dw = r.dw, p.tra = r.tra;
    p.fl = r.fl, p.fh = r.fh;
    records::RecordHeader h;
    h.rcode = "CLC  ";
    const figures::FigureTexts t = figures::figureTexts(p, h, r.res, r.cor);
    EXPECT_EQ((std::vector<std::string>{t.labn, t.labc, t.labsz, t.labt, t.labns, t.labbp, t.res, t.cor}), r.labels);
    EXPECT_EQ(t.rcode, "CLC  ");
  }
}

}  // namespace
