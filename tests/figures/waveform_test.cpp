// The waveform figure: element axis units and the refusal of amplitudes
// beyond single precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "figures/capture.hpp"
#include "figures/figures.hpp"
#include "model/limits.hpp"

namespace {

// Each threshold is a strict comparison: a peak equal to it takes the scaled
// branch.
TEST(ElementAxis, UnitAndScaleFollowThePeakSize) {
  const struct Row {
    int column;
    float emax;
    const char* title;
    int nchar;
    float top, rescaled;
  } rows[] = {
      {0, 0.5f, "gal", 5, 0.5f, 0.5f},          {0, 0.1f, "m/s/s**-2", 9, 10.0f, 10.0f},
      {1, 0.002f, "cm/s", 4, 0.2f, 0.002f},     {1, 0.001f, "cm/s**-2", 8, 10.0f, 0.1f},
      {2, 0.002f, "cm", 2, 0.2f, 0.002f},       {2, 0.001f, "cm**-2", 6, 10.0f, 0.1f},
      {2, 0.00002f, "cm**-2", 6, 0.2f, 0.002f}, {2, 0.00001f, "cm**-4", 6, 10.0f, 0.1f},
      {2, 0.0f, "cm**-4", 6, 0.0f, 0.0f},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "column " << r.column << " emax " << r.emax);
    const figures::ElementAxis a = figures::elementAxis(r.column, r.emax, "gal");
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
  figures_test::Capture c;
  figures::waveformFigure(c.io, c.dev, p, {m.obs, m.nmain, m.syn, p.ns, m.ele, m.naft, m.dt}, t);
  return c.lines();
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

}  // namespace
