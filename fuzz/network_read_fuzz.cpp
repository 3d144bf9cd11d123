// Fuzz target: the readers of what strong-motion networks and archives
// publish (K-NET and KiK-net ASCII, COSMOS, CSMIP, ESM, GeoNet, miniSEED),
// chosen by the input's first line ("knet", "cosmos", "csmip", "esm",
// "geonet" or "mseed"; the rest is the file).
//
// A record a reader accepts must hold samples at a positive finite
// interval, with a unit of acceleration.
#include <cmath>
#include <cstdlib>

#include "convert/convert.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view format = egffuzz::takeLine(input);
  const auto f = convert::parseFormat(format);
  if (!f || (*f != convert::InputFormat::Knet && *f != convert::InputFormat::Cosmos &&
             *f != convert::InputFormat::Csmip && *f != convert::InputFormat::Esm &&
             *f != convert::InputFormat::Geonet && *f != convert::InputFormat::MiniSeed))
    return 0;
  convert::ReadOptions ro;
  if (*f == convert::InputFormat::MiniSeed) ro.countsPerUnit = 1.0, ro.unit = convert::Unit::Gal;
  egffuzz::withExpectedEndings([&] {
    const convert::Trace t = convert::readTrace(input, *f, "fuzz.in", ro);
    if (t.samples.empty() || !(t.dt > 0.0) || !std::isfinite(t.dt)) std::abort();
    if (t.unit == convert::Unit::Unknown) std::abort();
  });
  return 0;
}
