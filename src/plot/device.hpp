// Pen-plotter style drawing device that writes PostScript text.
//
// Callers move and draw an imaginary pen in centimetres from the current plot
// origin; every primitive turns at once into one line of PostScript on the
// output unit chosen by the last `plots`. There is no buffering of our own.
#pragma once

#include "textio/textio.hpp"

namespace plot {

// Points per centimetre: 72 / 2.54 rounded to single precision.
inline constexpr float kPointsPerCm = 28.346457f;

// The device state of one run: the output unit (p00000), the scale in points
// per centimetre (l00000) and the origin offset in points (p00001). Every
// field is zero until the first `plots`.
class Device {
 public:
  explicit Device(textio::Channels& io);

  // Starts a page on `iunit`: stores the unit, resets origin and scale and
  // writes the 31-line prolog.
  void plots(int iunit);

  // Turns the page to landscape (two lines written to `iunit`).
  void yoko(int iunit);

  // Pen move (ipen 3) or draw (ipen 2) to (x, y) cm. A negative code first
  // shifts the origin by (x, y) and then moves (-3) or draws (-2) to the new
  // origin. Other codes write nothing (negative ones still shift).
  void plot(float x, float y, int ipen);

  // Writes one path line at (x, y) cm: " pL" for ipen 2, " pM" for ipen 3,
  // nothing for any other code.
  void xplot(float x, float y, int ipen);

  // Ends the page (two lines written to `iunit`); the unit stays open.
  void plote(int iunit);

  textio::Channels& io() { return io_; }
  int unit() const { return iunit_; }
  float scale() const { return scale_; }
  float xorg() const { return xorg_; }
  float yorg() const { return yorg_; }

 private:
  textio::Channels& io_;
  int iunit_ = 0;
  float scale_ = 0.0f;
  float xorg_ = 0.0f;
  float yorg_ = 0.0f;
};

}  // namespace plot
