// What a record knows of where, when and what it recorded: the station,
// the component, the time of its first sample and the event. Every value is
// absent (empty text, no number) when no source says it.
//
// Conventions: latitudes and longitudes in degrees on WGS84, north and east
// positive; azimuths in degrees clockwise from north; a component's dip in
// degrees below the horizontal (0 horizontal, -90 up, 90 down); times in
// UTC.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace model {

// A time in UTC: microseconds since 1970-01-01T00:00:00 (leap seconds not
// counted, as every data format here counts them).
struct UtcTime {
  std::int64_t microseconds = 0;
  auto operator<=>(const UtcTime&) const = default;
};

struct StationInfo {
  std::string network;                // "CI", "BO"
  std::string code;                   // the full station code, "KMMH16"
  std::string location;               // SEED location code, "00"
  std::string name;                   // "China Lake, G2 Tower Rd."
  std::optional<double> latitude;     // degrees
  std::optional<double> longitude;    // degrees
  std::optional<double> elevation;    // metres above sea level of the ground at the station
  std::optional<double> sensorDepth;  // metres of the sensor below the ground (boreholes)
};

struct ComponentInfo {
  std::string code;               // "HNE", "NS2", "090"
  std::optional<double> azimuth;  // degrees from north of positive motion (horizontal)
  std::optional<double> dip;      // degrees below the horizontal: -90 is up

  bool vertical() const { return dip && (*dip == 90.0 || *dip == -90.0); }
};

struct EventInfo {
  std::string name;
  std::optional<UtcTime> origin;
  std::optional<double> latitude;   // degrees, of the hypocentre
  std::optional<double> longitude;  // degrees
  std::optional<double> depth;      // km below sea level, as catalogues give it
  std::optional<double> magnitude;
  std::string magnitudeType;        // "Mw", "MJMA", "ML"
};

struct Recording {
  StationInfo station;
  ComponentInfo component;
  std::optional<UtcTime> firstSample;
  EventInfo event;
};

}  // namespace model
