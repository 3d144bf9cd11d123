// The misfit map: misfit over two varied parameters as a coloured grid of
// cells, the best model marked, drawn as PDF and PNG.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fit {

struct MisfitMap {
  std::string title;
  std::string xName, yName;
  std::vector<std::string> xValues, yValues;  // column and row labels
  std::vector<double> misfit;                 // [row * columns + column]; NaN where no model
  int bestColumn = -1, bestRow = -1;
};

// Writes `stem`.pdf and `stem`.png. Throws std::runtime_error when cairo
// cannot write them.
void drawMisfitMap(const MisfitMap& map, const std::filesystem::path& stem);

// Frees the font caches that drawing left behind (cairo's and the font
// configuration's), so that a leak checker sees a clean exit. Call once,
// when nothing will be drawn any more.
void releaseDrawingCaches();

}  // namespace fit
