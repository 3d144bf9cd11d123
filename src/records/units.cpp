#include "records/units.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "textio/stop.hpp"

namespace records {
namespace {

std::string_view trimmedView(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string lowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

const char* familyName(UnitFamily f) {
  switch (f) {
    case UnitFamily::Centimetre: return "centimetre-based";
    case UnitFamily::Metre: return "metre-based";
    case UnitFamily::Gravity: return "gravity-based";
    case UnitFamily::Unrecognised: break;
  }
  return "unrecognised";
}

}  // namespace

UnitFamily unitFamily(std::string_view unit) {
  // Five columns cut longer spellings: "cm/s/" is cm/s/s, "cm/s*" cm/s**2.
  static const std::array<std::pair<std::string_view, UnitFamily>, 10> kUnits = {{
      {"gal", UnitFamily::Centimetre},   {"cm/s2", UnitFamily::Centimetre},
      {"cm/s/", UnitFamily::Centimetre}, {"cm/s*", UnitFamily::Centimetre},
      {"cm/s^", UnitFamily::Centimetre}, {"m/s/s", UnitFamily::Metre},
      {"m/s2", UnitFamily::Metre},       {"m/s**", UnitFamily::Metre},
      {"m/s^2", UnitFamily::Metre},      {"g", UnitFamily::Gravity},
  }};
  const std::string key = lowerCase(trimmedView(unit));
  for (const auto& [name, family] : kUnits) {
    if (key == name) return family;
  }
  return UnitFamily::Unrecognised;
}

void requireComparable(const RecordIdentity& target, const RecordIdentity& element) {
  const std::string files = "record files " + target.file + " (target) and " + element.file + " (element)";
  if (target.isps != element.isps) {
    throw textio::InputRejected(
        files + " differ in rate: " + std::to_string(target.isps) + " and " +
        std::to_string(element.isps) +
        " samples per second; the synthetic would be compared with the observation on another "
        "time base: bring the lower rate up with kibconv --resample " +
        std::to_string(std::max(target.isps, element.isps)));
  }
  const UnitFamily a = unitFamily(target.unit), b = unitFamily(element.unit);
  if (a != UnitFamily::Unrecognised && b != UnitFamily::Unrecognised && a != b) {
    throw textio::InputRejected(files + " differ in unit: \"" + std::string(trimmedView(target.unit)) +
                                "\" (" + familyName(a) + ") and \"" +
                                std::string(trimmedView(element.unit)) + "\" (" + familyName(b) +
                                "); convert one record with kibconv --out-unit");
  }
}

}  // namespace records
