// The family of a record's five-column amplitude unit, and the check that a
// target and an element record can be compared sample by sample.
#pragma once

#include <string>
#include <string_view>

namespace records {

enum class UnitFamily { Unrecognised, Centimetre, Metre, Gravity };

// The family of a unit field, trimmed and compared without regard to case:
// gal, cm/s2, cm/s/, cm/s*, cm/s^ are centimetre-based; m/s/s, m/s2, m/s**,
// m/s^2 metre-based; g gravity-based. Anything else, blank included, is
// unrecognised.
UnitFamily unitFamily(std::string_view unit);

// What the refusal names of one record: its file, rate and unit field.
struct RecordIdentity {
  std::string file;
  int isps = 0;
  std::string unit;
};

// Throws textio::InputRejected (one line naming both files) when the two
// records differ in samples per second, or when both units are recognised
// and belong to different families. Unrecognised units are not judged.
void requireComparable(const RecordIdentity& target, const RecordIdentity& element);

}  // namespace records
