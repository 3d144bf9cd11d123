// Units: names accepted, and conversion factors against the exact ratios.
#include <gtest/gtest.h>

#include <cmath>

#include "convert/convert.hpp"

namespace {

using convert::Unit;

TEST(Units, NamesAccepted) {
  struct Row {
    const char* text;
    std::optional<Unit> unit;
  };
  const Row rows[] = {
      {"g", Unit::G},           {"G", Unit::G},           {"gal", Unit::Gal},
      {"Gal", Unit::Gal},       {"cm/s/s", Unit::Gal},    {"cm/s2", Unit::Gal},
      {"cm/s^2", Unit::Gal},    {"m/s/s", Unit::MetrePerS2}, {"M/S2", Unit::MetrePerS2},
      {"nm/s/s", Unit::NanometrePerS2}, {"nm/s^2", Unit::NanometrePerS2},
      {"cm/s", std::nullopt},   {"", std::nullopt},       {"gals", std::nullopt},
  };
  for (const auto& r : rows) EXPECT_EQ(convert::parseUnit(r.text), r.unit) << r.text;
}

TEST(Units, FieldFitsTheFiveColumnsOfTheRecord) {
  for (Unit u : {Unit::G, Unit::Gal, Unit::MetrePerS2, Unit::NanometrePerS2}) {
    EXPECT_LE(convert::unitField(u).size(), 5u);
    EXPECT_EQ(convert::parseUnit(convert::unitField(u)), u);  // the field names its unit
  }
}

TEST(Units, FactorIsTheExactRatioRoundedOnce) {
  // Oracle: the ratios written out by hand in double.
  EXPECT_EQ(convert::unitFactor(Unit::G, Unit::Gal), 980.665f);
  EXPECT_EQ(convert::unitFactor(Unit::MetrePerS2, Unit::Gal), 100.0f);
  EXPECT_EQ(convert::unitFactor(Unit::NanometrePerS2, Unit::Gal), static_cast<float>(1e-7));
  EXPECT_EQ(convert::unitFactor(Unit::Gal, Unit::G), static_cast<float>(1.0 / 980.665));
  EXPECT_EQ(convert::unitFactor(Unit::G, Unit::MetrePerS2), 9.80665f);
  EXPECT_EQ(convert::unitFactor(Unit::Gal, Unit::MetrePerS2), 0.01f);
}

TEST(Units, ConversionIsOneFloatMultiplicationWithinAnUlpOfTheTrueValue) {
  std::vector<float> x = {0.5f, -0.318f, 1.0f, 3.0e-6f, 0.0f};
  const std::vector<float> in = x;
  EXPECT_EQ(convert::convertUnits(x, Unit::G, Unit::Gal), 980.665f);
  for (std::size_t k = 0; k < x.size(); ++k) {
    const double exact = static_cast<double>(in[k]) * 980.665;
    EXPECT_NEAR(x[k], exact, std::fabs(exact) * 1.2e-7) << k;  // one ulp is 2^-23 relative
  }
  EXPECT_EQ(x[0], 490.3325f);  // 0.5 g in gal, exact in a float
}

}  // namespace
