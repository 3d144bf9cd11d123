// Text and number labels drawn as PostScript strings through the device.
#pragma once

#include <string>
#include <string_view>

#include "plot/device.hpp"

namespace plot {

// Draws the first `nchar` characters of `text` (at most 80; the shown string
// is always blank padded to 80) at (x, y) cm, `height` cm high, along `angle`
// degrees, in Helvetica-Bold. A negative height also leaves the origin
// shifted by (x, y).
void symbol(Device& dev, float x, float y, float height, std::string_view text, float angle,
            int nchar);

// As `symbol` with a font code: 1 Palatino-Roman, 2 Palatino-Bold,
// 3 Palatino-Italic, 4 Palatino-BoldItalic, anything else Helvetica-Bold.
void xsymbol(Device& dev, float x, float y, float height, std::string_view text, float angle,
             int nchar, int ifont);

// Draws `value` as text: "0" for zero, fixed point with `ndec` decimals for
// ndec >= 0, the value truncated to an integer for ndec < 0. Helvetica-Bold.
void number(Device& dev, float x, float y, float height, float value, float angle, int ndec);

// As `number` with a font code (see xsymbol).
void xnumber(Device& dev, float x, float y, float height, float value, float angle, int ndec,
             int ifont);

// The text `xnumber` draws for `value` and `ndec`, leading blanks included.
std::string numberText(float value, int ndec);

}  // namespace plot
