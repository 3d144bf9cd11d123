// Geodesics on WGS84 against an independent oracle (Vincenty's iterative
// inverse, written here from his 1975 formulas, agreeing with the
// library to well under a millimetre away from antipodes) and against the
// published geometry of the Ridgecrest pair at CLC (realdata README,
// computed on a sphere of radius 6371 km: the ellipsoid differs from it by
// up to 0.5 % in distance and a few tenths of a degree in azimuth here).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "geo/geo.hpp"

namespace {

constexpr double kRad = std::numbers::pi / 180.0;

// Vincenty (1975), inverse problem on WGS84: distance (km), forward azimuth
// at 1 and forward azimuth at 2 (degrees, in [0, 360)).
geo::Geodesic vincenty(double lat1, double lon1, double lat2, double lon2) {
  const double a = 6378137.0, f = 1 / 298.257223563, b = a * (1 - f);
  const double L = (lon2 - lon1) * kRad;
  const double U1 = std::atan((1 - f) * std::tan(lat1 * kRad));
  const double U2 = std::atan((1 - f) * std::tan(lat2 * kRad));
  const double sU1 = std::sin(U1), cU1 = std::cos(U1), sU2 = std::sin(U2), cU2 = std::cos(U2);
  double lambda = L, prev = 0, sSigma = 0, cSigma = 0, sigma = 0, c2Alpha = 0, c2SigmaM = 0;
  for (int k = 0; k < 200; ++k) {
    const double sL = std::sin(lambda), cL = std::cos(lambda);
    sSigma = std::hypot(cU2 * sL, cU1 * sU2 - sU1 * cU2 * cL);
    cSigma = sU1 * sU2 + cU1 * cU2 * cL;
    sigma = std::atan2(sSigma, cSigma);
    const double sAlpha = cU1 * cU2 * sL / sSigma;
    c2Alpha = 1 - sAlpha * sAlpha;
    c2SigmaM = c2Alpha != 0 ? cSigma - 2 * sU1 * sU2 / c2Alpha : 0;
    const double C = f / 16 * c2Alpha * (4 + f * (4 - 3 * c2Alpha));
    prev = lambda;
    lambda = L + (1 - C) * f * sAlpha *
                     (sigma + C * sSigma * (c2SigmaM + C * cSigma * (-1 + 2 * c2SigmaM * c2SigmaM)));
    if (std::fabs(lambda - prev) < 1e-13) break;
  }
  const double u2 = c2Alpha * (a * a - b * b) / (b * b);
  const double A = 1 + u2 / 16384 * (4096 + u2 * (-768 + u2 * (320 - 175 * u2)));
  const double B = u2 / 1024 * (256 + u2 * (-128 + u2 * (74 - 47 * u2)));
  const double dSigma =
      B * sSigma *
      (c2SigmaM + B / 4 * (cSigma * (-1 + 2 * c2SigmaM * c2SigmaM) -
                           B / 6 * c2SigmaM * (-3 + 4 * sSigma * sSigma) * (-3 + 4 * c2SigmaM * c2SigmaM)));
  const double s = b * A * (sigma - dSigma);
  const double sL = std::sin(lambda), cL = std::cos(lambda);
  auto deg = [](double r) { double d = std::fmod(r / kRad + 360.0, 360.0); return d; };
  return {s / 1000.0, deg(std::atan2(cU2 * sL, cU1 * sU2 - sU1 * cU2 * cL)),
          deg(std::atan2(cU1 * sL, -sU1 * cU2 + cU1 * sU2 * cL))};
}

double angleDiff(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

TEST(Geodesic, AgreesWithVincentyAndThePublishedRidgecrestGeometry) {
  struct Row {
    const char* what;
    double lat1, lon1, lat2, lon2;
    double publishedKm, publishedAzimuth;  // on a sphere; 0 when none
  };
  const Row rows[] = {
      // Mainshock and foreshock epicentres to CLC (35.81574 N, 117.59751 W).
      {"Mw 7.1 to CLC", 35.7695, -117.5993, 35.81574, -117.59751, 5.14, 1.8},
      {"Mw 4.97 to CLC", 35.7253, -117.5535, 35.81574, -117.59751, 10.81, 338.5},
      // Long paths, across the date line and the equator.
      {"Tohoku to MYG004", 38.103, 142.860, 38.7325, 141.0212, 0, 0},
      {"Chile to Japan", -36.12, -72.90, 35.68, 139.77, 0, 0},
      {"across the date line", -15.0, 179.5, -16.5, -178.0, 0, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const geo::Geodesic g = geo::inverse(r.lat1, r.lon1, r.lat2, r.lon2);
    const geo::Geodesic v = vincenty(r.lat1, r.lon1, r.lat2, r.lon2);
    EXPECT_NEAR(g.distanceKm, v.distanceKm, 1e-6);  // a millimetre
    EXPECT_LT(angleDiff(g.azimuth, v.azimuth), 1e-7);
    // The way back points opposite the forward azimuth at the far end.
    EXPECT_LT(angleDiff(g.backAzimuth, v.backAzimuth + 180.0), 1e-7);
    EXPECT_GE(g.azimuth, 0.0);
    EXPECT_LT(g.azimuth, 360.0);
    if (r.publishedKm > 0) {
      EXPECT_NEAR(g.distanceKm, r.publishedKm, 0.005 * r.publishedKm + 0.005);
      EXPECT_LT(angleDiff(g.azimuth, r.publishedAzimuth), 0.3);
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

// GeographicLib's own documented inverse problems on WGS84 (GeodSolve's
// manual: JFK to LHR, and JFK to Singapore Changi given in degrees, minutes
// and seconds, its output rounded to 0.1" and 1 m).
TEST(Geodesic, ThePublishedInverseProblems) {
  struct Row {
    const char* what;
    double lat1, lon1, lat2, lon2, metres, azi1, azi2, metresTolerance, degreesTolerance;
  };
  auto dms = [](double d, double m, double s) { return d + m / 60 + s / 3600; };
  const Row rows[] = {
      {"JFK to LHR", 40.6, -73.8, 51.6, -0.5, 5551759.400319, 51.198882845, 107.821776735, 1e-6, 1e-8},
      {"JFK to SIN", dms(40, 38, 23), -dms(73, 46, 44), dms(1, 21, 33), dms(103, 59, 22), 15347628,
       dms(3, 18, 29.9), dms(177, 29, 9.2), 0.5, 0.05 / 3600},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const geo::Geodesic g = geo::inverse(r.lat1, r.lon1, r.lat2, r.lon2);
    EXPECT_NEAR(g.distanceKm * 1000, r.metres, r.metresTolerance);
    EXPECT_NEAR(g.azimuth, r.azi1, r.degreesTolerance);
    // The back azimuth points opposite the forward azimuth at point 2.
    EXPECT_NEAR(angleDiff(g.backAzimuth, r.azi2 + 180.0), 0.0, r.degreesTolerance);
  }
}
