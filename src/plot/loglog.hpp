// Log-log frames with decade grids, and curves drawn into them.
#pragma once

#include <span>

#include "plot/device.hpp"

namespace plot {

// Largest point count `ptline` draws.
inline constexpr int kMaxCurvePoints = 4096;

// Draws a frame of nbx by nby decades (dx, dy cm per decade) with its lower
// left corner at the current origin: decade grid lines, minor ticks of length
// t inside the bottom and left edges, decade annotations of height h for the
// axis minima xlow and ylow, the frequency titles and the y title selected by
// kk (1 displacement, 2 velocity, 3 acceleration spectra with their units;
// 4 spectral ratio, 5 spectral amplitude without a unit).
void pltlog(Device& dev, int nbx, int nby, float dx, float dy, float h, float t, float xlow,
            float ylow, int kk);

// Draws the first n points (x[i], y[i]) as one polyline in a frame drawn by
// `pltlog` with the same dx, dy, xlow, ylow. Values at or below the axis
// minimum are raised to it, and written back into x and y. At most
// kMaxCurvePoints points (and no more than the spans hold) are drawn; n < 1
// draws nothing.
void ptline(Device& dev, std::span<float> x, std::span<float> y, float dx, float dy, float xlow,
            float ylow, int n);

}  // namespace plot
