#include "plot/device.hpp"

#include <array>
#include <climits>
#include <cmath>
#include <string>
#include <string_view>

namespace plot {

namespace {

// Prolog lines 3 onwards; each is written after one blank.
constexpr std::array<std::string_view, 29> kProlog = {
    "initmatrix",
    "/pM {stroke newpath moveto} def",
    "/pL {lineto} def",
    "/rM {rmoveto} def",
    "/rL {rlineto} def",
    "/AR {stroke newpath 0 360 arc closepath stroke} def",
    "/cAR {stroke newpath 0 360 arc closepath fill} def",
    "/PLUS {stroke newpath moveto",
    "   -0.5 0 rlineto 1 0 rlineto",
    "   -0.5 -0.5 rmoveto 0 1 rlineto} def",
    "/SQR {stroke newpath moveto",
    "   -4 -4 rmoveto 0 8 rlineto 8 0 rlineto",
    "0 -8 rlineto -8 0 rlineto closepath fill} def",
    "/TRI {stroke newpath moveto",
    "   -4 -4 rmoveto 4 8 rlineto",
    "4 -8 rlineto -8 0 rlineto closepath fill} def",
    "1 setlinejoin",
    "/pR {/Palatino-Roman findfont ",
    "  exch scalefont setfont} def",
    "/pI {/Palatino-Italic findfont ",
    "  exch scalefont setfont} def",
    "/pB {/Palatino-Bold findfont ",
    "  exch scalefont setfont} def",
    "/pBI {/Palatino-BoldItalic findfont ",
    "  exch scalefont setfont} def",
    "/hV {/Helvetica-Bold findfont ",
    "  exch scalefont setfont} def",
    "newpath ",
    "0.8 setlinewidth",
};

// The range of device coordinates that F9.3 can show. Anything outside is
// pulled back to the nearest end so the page never holds asterisks; NaN
// becomes 0 so it never reaches the file.
constexpr float kMinPoint = -9999.999f;
constexpr float kMaxPoint = 99999.99f;

float showable(float p) {
  if (std::isnan(p)) return 0.0f;
  if (p < kMinPoint) return kMinPoint;
  if (p > kMaxPoint) return kMaxPoint;
  return p;
}

// One coordinate as F9.3. A field that fills all nine columns (10000 points
// and above, -1000 and below) gets one blank in front, so that two numbers
// never run together into one PostScript token.
std::string coordinate(float p) {
  std::string field = textio::internalWrite("(f9.3)", 9, {p});
  if (!field.empty() && field.front() != ' ') field.insert(field.begin(), ' ');
  return field;
}

}  // namespace

Device::Device(textio::Channels& io) : io_(io) {}

void Device::plots(int iunit) {
  iunit_ = iunit;
  xorg_ = 0.0f;
  yorg_ = 0.0f;
  scale_ = kPointsPerCm;
  io_.writeLine(iunit_, "%!");
  io_.writeLine(iunit_, "%%Page:1");
  for (std::string_view line : kProlog) {
    std::string text(1, ' ');
    text += line;
    io_.writeLine(iunit_, text);
  }
}

void Device::yoko(int iunit) {
  io_.writeLine(iunit, " -2.8 841.6 translate");
  io_.writeLine(iunit, " -90 rotate");
}

void Device::plot(float x, float y, int ipen) {
  if (ipen < 0) {
    xorg_ += x * scale_;
    yorg_ += y * scale_;
    // -INT_MIN does not exist; it is no drawing code anyway.
    xplot(0.0f, 0.0f, ipen == INT_MIN ? 0 : -ipen);
  } else {
    xplot(x, y, ipen);
  }
}

void Device::xplot(float x, float y, int ipen) {
  std::string_view op;
  if (ipen == 2) {
    op = " pL";
  } else if (ipen == 3) {
    op = " pM";
  } else {
    return;
  }
  const float px = scale_ * x + xorg_;
  const float py = scale_ * y + yorg_;
  std::string line = coordinate(showable(px));
  line += coordinate(showable(py));
  line += op;
  io_.writeLine(iunit_, line);
}

void Device::plote(int iunit) {
  io_.writeLine(iunit, " stroke");
  io_.writeLine(iunit, " showpage");
}

}  // namespace plot
