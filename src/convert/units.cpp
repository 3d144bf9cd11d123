// Acceleration units and their conversion.
#include <algorithm>
#include <cctype>
#include <string>

#include "convert/convert.hpp"

namespace convert {
namespace {

std::string lowered(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The size of each unit in metres per second squared. Standard gravity is
// 9.80665 m/s/s by definition.
double metresPerS2(Unit u) {
  switch (u) {
    case Unit::G: return 9.80665;
    case Unit::Gal: return 0.01;
    case Unit::MetrePerS2: return 1.0;
    case Unit::MillimetrePerS2: return 1.0e-3;
    case Unit::NanometrePerS2: return 1.0e-9;
    case Unit::Unknown: break;
  }
  return 1.0;
}

}  // namespace

std::optional<Unit> parseUnit(std::string_view text) {
  const std::string t = lowered(text);
  if (t == "g") return Unit::G;
  if (t == "gal" || t == "cm/s/s" || t == "cm/s2" || t == "cm/s^2") return Unit::Gal;
  if (t == "m/s/s" || t == "m/s2" || t == "m/s^2") return Unit::MetrePerS2;
  if (t == "mm/s/s" || t == "mm/s2" || t == "mm/s^2") return Unit::MillimetrePerS2;
  if (t == "nm/s/s" || t == "nm/s2" || t == "nm/s^2") return Unit::NanometrePerS2;
  return std::nullopt;
}

std::string_view unitName(Unit u) {
  switch (u) {
    case Unit::G: return "g";
    case Unit::Gal: return "cm/s/s";
    case Unit::MetrePerS2: return "m/s/s";
    case Unit::MillimetrePerS2: return "mm/s/s";
    case Unit::NanometrePerS2: return "nm/s/s";
    case Unit::Unknown: break;
  }
  return "unknown";
}

std::string_view unitField(Unit u) {
  switch (u) {
    case Unit::G: return "g";
    case Unit::Gal: return "gal";
    case Unit::MetrePerS2: return "m/s/s";
    case Unit::MillimetrePerS2: return "mm/s2";
    case Unit::NanometrePerS2: return "nm/s2";
    case Unit::Unknown: break;
  }
  return "";
}

float unitFactor(Unit from, Unit to) {
  // One rounding of the exact ratio: g to gal gives 980.665f, gal to g the
  // float nearest 1/980.665.
  return static_cast<float>(metresPerS2(from) / metresPerS2(to));
}

float convertUnits(std::vector<float>& samples, Unit from, Unit to) {
  if (from == to) return 1.0f;
  const float f = unitFactor(from, to);
  for (float& x : samples) x = x * f;
  return f;
}

}  // namespace convert
