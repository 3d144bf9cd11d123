// The parameter set of one run: every value of the eighteen-line parameter
// file under its own name, grouped by the file's lines. Every parameter
// starts at zero (texts blank), so a line ended early by a slash leaves
// defined values behind. Angles are read in degrees and hold radians once
// the file has been read. A Params is not changed after it has been read
// and checked: values the run derives (ns of 0, ntt) live in the results.
#pragma once

#include <string>

namespace model {

// Degrees become radians by one single-precision multiplication by this.
inline constexpr float kDegToRad = 0.017453292f;
// The program's own value of pi.
inline constexpr float kPi = 3.1415927f;

// Component azimuths that mark the vertical component; never converted.
inline constexpr float kVerticalUp = 1000.0f;
inline constexpr float kVerticalDown = -1000.0f;

// ird: how the rupture front travels from the starting subfault.
enum class Rupture : int {
  AlongStrike = 1,  // arrival by the distance along strike only
  Radial = 2,       // arrival by the distance in the fault plane
};

// ipfm: the radiation-pattern correction of each subfault's copy. The file
// may give any value up to 2; every value up to 0 reads as NotCorrected.
enum class Radiation : int {
  NotCorrected = 0,  // every subfault weighs 1
  Corrected = 1,     // subfault coefficient over the element event's coefficient
  SignOnly = 2,      // only the sign of the subfault coefficient
};

// imdl: the weights of the ntt time subdivisions of a subfault.
enum class TimeFunction : int {
  Uniform = 1,              // nt/ntt each
  PulseAndFlat = 2,         // 1, then (nt-1)/ntt each
  PulseAndDecaying = 3,     // 1, then an exponentially decaying tail
  PulseAndInverseRoot = 4,  // 1, then a tail falling as 1/sqrt(k-1)
};

struct Params {
  // line 1: figure units (0 for iuspc: no spectrum figure)
  int iuwav = 0, iuspc = 0;
  // line 2
  int nevnt = 0;
  float tscl = 0;  // seconds of record per centimetre of time axis
  // line 3: 1 filters every prepared series
  int ifilt = 0;
  // line 4: filter band edges (Hz) and tolerances
  float fl = 0, fh = 0, fs = 0, ap = 0, as = 0;
  // line 5: echo only
  float ut = 0;
  float q[6] = {0, 0, 0, 0, 0, 0};
  // line 6: target event strike, dip, rake (radians after reading), depth (km)
  float str = 0, dip = 0, rak = 0, z = 0;
  // line 7: echo only
  int ncmpt = 0;
  // line 8: element event mechanism (radians after reading) and depth (km)
  float stra = 0, dipa = 0, raka = 0, za = 0;
  // line 9: subfault spacing (km), subdivision duration (s), hypocentre offsets (km)
  float dx = 0, dw = 0, tra = 0, dx0 = 0, dw0 = 0, tr0 = 0;
  // line 10: grid, time subdivisions, starting subfault, synthetic length
  // (0: the target record's length), amplitude factor; ntt is echoed only
  // (the run derives its own from nt, tra and the sample interval)
  int nx = 0, nw = 0, nt = 0, ntt = 0, nsx = 0, nsw = 0, ns = 0;
  float cfac = 0;
  // line 11: S-wave and rupture velocity (km/s), rupture and radiation options
  float vs = 0, vr = 0;
  Rupture ird = Rupture{0};
  Radiation ipfm = Radiation::NotCorrected;
  // lines 12, 13: record file names, 80 columns, blank padded
  std::string fmain = std::string(80, ' ');
  std::string faft = std::string(80, ' ');
  // line 14: station distances (km) and azimuths (radians after reading),
  // component azimuth (radians, or the vertical markers), weight model
  float rm = 0, pm = 0, ra = 0, pa = 0, cmp = 0;
  TimeFunction imdl = TimeFunction{0};
  // line 15: observed window ksm..kem, synthetic and element window ksa..kea
  int ksm = 0, kem = 0, ksa = 0, kea = 0;
  // lines 16, 17: titles, 6 and 7 columns
  std::string ttl1 = std::string(6, ' ');
  std::string ttl2 = std::string(7, ' ');
  // line 18: IS and IE echo only; IW taper length of the spectrum windows
  int IS = 0, IE = 0, IW = 0;

  // Value by value (reals by ==).
  friend bool operator==(const Params&, const Params&) = default;
};

}  // namespace model
