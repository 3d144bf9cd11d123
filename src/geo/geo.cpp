#include "geo/geo.hpp"

#include <GeographicLib/Geodesic.hpp>

#include <cmath>

namespace geo {
namespace {

// Azimuths from GeographicLib lie in (-180, 180]; here in [0, 360).
double fromNorth(double degrees) {
  const double a = std::fmod(degrees, 360.0);
  return a < 0.0 ? a + 360.0 : a;
}

}  // namespace

Geodesic inverse(double lat1, double lon1, double lat2, double lon2) {
  const GeographicLib::Geodesic& wgs84 = GeographicLib::Geodesic::WGS84();
  double metres = 0, azi1 = 0, azi2 = 0;
  wgs84.Inverse(lat1, lon1, lat2, lon2, metres, azi1, azi2);
  // azi2 is the forward azimuth at point 2; the way back points opposite.
  return {metres / 1000.0, fromNorth(azi1), fromNorth(azi2 + 180.0)};
}

double hypocentralKm(double epicentralKm, double verticalKm) {
  return std::hypot(epicentralKm, verticalKm);
}

GeometryOrMissing geometryOf(const model::EventInfo& event, const model::StationInfo& station) {
  GeometryOrMissing out;
  const std::pair<bool, const char*> needs[] = {
      {event.latitude.has_value(), "the event's latitude"},
      {event.longitude.has_value(), "the event's longitude"},
      {event.depth.has_value(), "the event's depth"},
      {station.latitude.has_value(), "the station's latitude"},
      {station.longitude.has_value(), "the station's longitude"},
  };
  for (const auto& [known, what] : needs)
    if (!known) {
      out.missing = what;
      return out;
    }
  const Geodesic g = inverse(*event.latitude, *event.longitude, *station.latitude, *station.longitude);
  Geometry geometry;
  geometry.epicentralKm = g.distanceKm;
  geometry.azimuth = g.azimuth;
  geometry.backAzimuth = g.backAzimuth;
  const double sensorKm = (station.elevation.value_or(0.0) - station.sensorDepth.value_or(0.0)) / 1000.0;
  geometry.verticalKm = *event.depth + sensorKm;
  geometry.hypocentralKm = hypocentralKm(geometry.epicentralKm, geometry.verticalKm);
  out.geometry = geometry;
  return out;
}

}  // namespace geo
