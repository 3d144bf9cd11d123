// Inside the study library: the values of one record pair taken from the
// records and the study, with the notes and refusals that says where they
// disagree.
#pragma once

#include <string>
#include <vector>

#include "study/study.hpp"
#include "textio/stop.hpp"

namespace study {

// Two sensors further apart than this are two stations.
inline constexpr double kSameSiteMetres = 100.0;
// Two horizontal components further apart than this are two components.
inline constexpr double kSameAzimuthDegrees = 0.5;
// Origins and epicentres that differ by more than these are reported.
inline constexpr double kSameOriginSeconds = 0.05;
inline constexpr double kSameEpicentreMetres = 100.0;
// A value given by hand that differs from the coordinates' by more than
// these is reported.
inline constexpr double kHandKm = 1.0;
inline constexpr double kHandDegrees = 2.0;

// Hypocentres and stations outside these are not on the Earth.
inline constexpr double kLowestDepthKm = -10.0;  // above the highest ground
inline constexpr double kDeepestKm = 800.0;
inline constexpr double kLowestElevationM = -12000.0;
inline constexpr double kHighestElevationM = 9000.0;

struct Merger {
  std::string name;         // "CLC NS (study.toml:14:1)": how a refusal names the pair
  std::string targetName, elementName;
  model::Recording merged;  // station, component
  std::vector<std::string> notes;

  void note(const std::string& text) { notes.push_back(text); }
  [[noreturn]] void refuse(const std::string& text) const { throw textio::InputRejected(name + ": " + text); }

  // Refuses target and element records of different stations or
  // components; the records' values first, the study's where they have none.
  void station(const model::StationInfo& target, const model::StationInfo& element,
               const model::StationInfo& given);
  void component(const model::ComponentInfo& target, const model::ComponentInfo& element,
                 const model::ComponentInfo& given);
  std::optional<model::UtcTime> firstSample(const std::optional<model::UtcTime>& recorded,
                                            const std::optional<model::UtcTime>& given,
                                            const std::string& record);
  // The study's event values first, the record's where the study has none.
  model::EventInfo event(const model::EventInfo& given, const model::EventInfo& recorded,
                         const std::string& which);
};

// Fixed-point text of a number.
std::string number(double v, int decimals);
// The smaller angle between two azimuths, degrees.
double angleBetween(double a, double b);

}  // namespace study
