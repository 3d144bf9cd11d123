// The misfit map: misfit over two varied parameters as a coloured grid of
// cells, the best model marked, drawn as PDF and PNG (or SVG).
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "model/params.hpp"
#include "source/source.hpp"

namespace fit {

struct MisfitMap {
  std::string title;
  std::string xName, yName;
  std::vector<std::string> xValues, yValues;  // column and row labels
  std::vector<double> misfit;                 // [row * columns + column]; NaN where no model
  int bestColumn = -1, bestRow = -1;
  std::string note;  // a line under the title: the best model's other values and its misfit
  // The colour scale runs from the least misfit to `clip` times it (to the
  // largest when that is less, or when the least is 0); cells above it take
  // the top colour.
  double clip = 3;
};

// The misfits where the colour scale begins and ends.
struct ColourRange {
  double lo = 0, hi = 1;
  bool clipped = false;      // some cell lies above hi
  bool logarithmic = false;  // the range spans more than a factor of 3
};
ColourRange colourRange(const MisfitMap& map);

// Writes `stem`.pdf and `stem`.png. Throws std::runtime_error when cairo
// cannot write them.
void drawMisfitMap(const MisfitMap& map, const std::filesystem::path& stem);

// Draws the map into a PDF, PNG or SVG file (by the extension of `file`).
void drawMisfitMapFile(const MisfitMap& map, const std::filesystem::path& file);

// A map view of the source: the fault areas projected on the ground
// surface, where their ruptures start, the epicentre and the stations, in
// km east and north of the epicentre.
struct FaultMap {
  std::string title;
  struct Area {
    std::string label;                         // "SMGA 1"
    std::array<std::array<double, 2>, 4> corners{};  // (east, north); the up-dip edge first
    std::array<double, 2> start{};             // where its rupture starts
    double topDepth = 0, bottomDepth = 0;      // km
  };
  std::vector<Area> areas;
  struct Station {
    std::string code;
    double east = 0, north = 0;
    bool predicted = false;  // a site without a target record
  };
  std::vector<Station> stations;
  std::string note;  // a line under the map (the mechanism, the hypocentre depth)
};

// The map view of fault areas with these facts on the fault of `base` (its
// strike, dip and hypocentre depth). Stations are added by the caller.
FaultMap faultMap(const model::Params& base, const std::vector<source::AreaFacts>& areas);

// The position of a station at distance rm (km) and azimuth pm (radians)
// from the epicentre.
std::array<double, 2> stationPosition(float rm, float pm);

// Draws the map into a PDF, PNG or SVG file (by the extension of `file`).
// Throws std::runtime_error when cairo cannot write it.
void drawFaultMap(const FaultMap& map, const std::filesystem::path& file);

// Frees the font caches that drawing left behind (cairo's and the font
// configuration's), so that a leak checker sees a clean exit. Call once,
// when nothing will be drawn any more.
void releaseDrawingCaches();

}  // namespace fit
