// The console transcript of the geometry and summation stages for a tiny
// case whose every number is exact in binary: two subfaults at 5 km from a
// station above the epicentre, the element also at 5 km, delays of 64 and
// 128 samples, an element record of 100 equal samples.
#include <gtest/gtest.h>

#include <sstream>

#include "run/params.hpp"
#include "run/workspace.hpp"
#include "synthesis/synthesis.hpp"

namespace {

TEST(Console, GeometryAndSummationTranscript) {
  run::Params p;
  p.nx = 2;
  p.nw = 1;
  p.nsx = p.nsw = 1;
  p.dx = 6.0f;
  p.dw = 1.0f;
  p.dx0 = 3.0f;  // subfault points 3 km either side of the hypocentre
  p.z = 4.0f;
  p.ra = 3.0f;
  p.za = 4.0f;
  p.vs = 1.0f;
  p.vr = 6.0f;
  p.ird = 1;
  p.ipfm = 0;
  p.nt = 1;
  p.imdl = 1;
  p.ns = 1000;
  p.ksa = 101;
  p.kea = 300;
  run::Workspace w;
  w.dt = 0.015625f;
  p.tra = w.dt;
  w.naft = 100;
  for (int n = 0; n < 100; ++n) {
    w.da[n] = 1.25f;
    w.daa[n] = 1.25f;
    w.daaa[n] = 2.5f;
  }
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  synthesis::SubfaultModel m;
  synthesis::sourceModel(io, p, w.dt, m);
  ASSERT_EQ(m.lagij[0][0], 64);
  ASSERT_EQ(m.lagij[1][0], 128);
  synthesis::summation(io, p, m, w);
  // Means: 250/1000 and 500/1000 over the synthetic; over 101..300 the
  // samples are 28 x 1.0, 36 x 2.25, 64 x 1.0 and 72 x -0.25 (sum 155, mean
  // 0.775, nearest single 0.774999976), and twice that for displacement.
  EXPECT_EQ(out.str(),
            " radiation not corrected\n"
            " ntt = 1\n"
            "  now calculated  1 of  2\n"
            "  now calculated  2 of  2\n"
            " ds sum =  0.25\n"
            " dss sum =  0.25\n"
            " dsss sum =  0.5\n"
            " remove sum =  0.774999976\n"
            " remove sum =  0.774999976\n"
            " remove sum =  1.54999995\n"
            " ###############\n");
}

}  // namespace
