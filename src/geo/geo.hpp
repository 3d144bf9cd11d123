// Distances and azimuths between an event and a station on the WGS84
// ellipsoid (geodesics computed by GeographicLib, accurate to nanometres),
// and the straight-line distance from the hypocentre to the sensor.
#pragma once

#include <optional>
#include <string>

#include "model/recording.hpp"

namespace geo {

// The geodesic from point 1 to point 2 (latitudes and longitudes in
// degrees).
struct Geodesic {
  double distanceKm = 0;   // along the ellipsoid's surface
  double azimuth = 0;      // at point 1 towards point 2, degrees clockwise from north, [0, 360)
  double backAzimuth = 0;  // at point 2 towards point 1, degrees clockwise from north, [0, 360)
};

Geodesic inverse(double lat1, double lon1, double lat2, double lon2);

// An event and a station seen from each other.
struct Geometry {
  double epicentralKm = 0;    // geodesic distance from the epicentre to the station
  double azimuth = 0;         // of the station from the epicentre, degrees from north
  double backAzimuth = 0;     // of the epicentre from the station, degrees from north
  double verticalKm = 0;      // from the hypocentre up to the sensor
  double hypocentralKm = 0;   // straight line from the hypocentre to the sensor
};

// The geometry of `event` and `station`, or what is missing for it ("the
// event's depth"); the event's depth is below sea level, the sensor at the
// station's elevation less its depth below the ground (both 0 when not
// known).
struct GeometryOrMissing {
  std::optional<Geometry> geometry;
  std::string missing;  // empty when the geometry is known
};
GeometryOrMissing geometryOf(const model::EventInfo& event, const model::StationInfo& station);

// The straight-line distance from a hypocentre `verticalKm` below the
// sensor to a sensor `epicentralKm` away along the surface. The surface
// distance stands for the chord, which is shorter by less than 1 m at
// 100 km.
double hypocentralKm(double epicentralKm, double verticalKm);

}  // namespace geo
