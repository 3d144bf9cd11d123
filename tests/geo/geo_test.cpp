// Our use of GeographicLib's geodesics on WGS84 (argument order, kilometres,
// azimuths from north in [0, 360), the way back) against GeodSolve's
// published JFK to LHR problem and the published geometry of the Ridgecrest
// pair at CLC (realdata README, computed on a sphere of radius 6371 km: the
// ellipsoid differs from it by up to 0.5 % in distance and a few tenths of a
// degree in azimuth here); then the depth and elevation arithmetic and the
// refusals of geometryOf.
#include <gtest/gtest.h>

#include <cmath>

#include "geo/geo.hpp"

namespace {

double angleDiff(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

TEST(Geodesic, ThePublishedInverseProblems) {
  struct Row {
    const char* what;
    double lat1, lon1, lat2, lon2;
    double km, kmTolerance, azimuth, backAzimuth, degreesTolerance;
  };
  const Row rows[] = {
      // GeodSolve's manual: azimuth at LHR 107.821776735, pointing back 180 degrees from it.
      {"JFK to LHR", 40.6, -73.8, 51.6, -0.5, 5551.759400319, 1e-9, 51.198882845, 287.821776735, 1e-8},
      // Mainshock and foreshock epicentres to CLC (35.81574 N, 117.59751 W); the
      // foreshock's azimuth lies west of north, negative in the library.
      {"Mw 7.1 to CLC", 35.7695, -117.5993, 35.81574, -117.59751, 5.14, 0.03, 1.8, 181.8, 0.3},
      {"Mw 4.97 to CLC", 35.7253, -117.5535, 35.81574, -117.59751, 10.81, 0.06, 338.5, 158.5, 0.3},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const geo::Geodesic g = geo::inverse(r.lat1, r.lon1, r.lat2, r.lon2);
    EXPECT_NEAR(g.distanceKm, r.km, r.kmTolerance);
    EXPECT_LT(angleDiff(g.azimuth, r.azimuth), r.degreesTolerance);
    EXPECT_LT(angleDiff(g.backAzimuth, r.backAzimuth), r.degreesTolerance);
    for (double a : {g.azimuth, g.backAzimuth}) {
      EXPECT_GE(a, 0.0);
      EXPECT_LT(a, 360.0);
    }
  }
}

TEST(Geometry, HypocentralDistanceFromDepthAndSensorHeight) {
  model::EventInfo e;
  e.latitude = 35.7695, e.longitude = -117.5993, e.depth = 8.0;
  model::StationInfo s;
  s.latitude = 35.81574, s.longitude = -117.59751;
  auto g = geo::geometryOf(e, s);
  ASSERT_TRUE(g.geometry) << g.missing;
  // The README's 9.51 km: sqrt(5.14^2 + 8^2) on the sphere.
  EXPECT_NEAR(g.geometry->hypocentralKm, 9.51, 0.03);
  EXPECT_DOUBLE_EQ(g.geometry->hypocentralKm, std::hypot(g.geometry->epicentralKm, 8.0));
  // A sensor 100 m down a borehole under ground 775 m above sea level is
  // 0.675 km above sea level: 8.675 km above the hypocentre.
  s.elevation = 775.0, s.sensorDepth = 100.0;
  g = geo::geometryOf(e, s);
  EXPECT_DOUBLE_EQ(g.geometry->verticalKm, 8.675);
  e.depth.reset();
  EXPECT_EQ(geo::geometryOf(e, s).missing, "the event's depth");
  s.longitude.reset();
  EXPECT_FALSE(geo::geometryOf(e, s).geometry);
}

}  // namespace
