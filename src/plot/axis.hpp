// Straight annotated axes at any angle.
#pragma once

#include <string_view>

#include "plot/device.hpp"

namespace plot {

// Turns (x, y) about the origin by `angle` degrees into (xr, yr).
void rot(float x, float y, float& xr, float& yr, float angle);

// Draws an axis from (x, y) cm, `axlen` cm long along `angle` degrees: the
// line, a tick and a value (firstv + t * deltav, `ndec` decimals as for
// `number`) every centimetre, and the title `label` of |nlabel| characters.
// nlabel >= 0 puts ticks, values and title on the counter-clockwise side,
// nlabel < 0 on the other. The plot origin is the same afterwards.
void axis(Device& dev, float x, float y, std::string_view label, int nlabel, float axlen,
          float angle, float firstv, float deltav, int ndec);

}  // namespace plot
