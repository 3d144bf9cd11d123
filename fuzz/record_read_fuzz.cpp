// Fuzz target: kibconv's readers of SAC (binary and alphanumeric), PEER NGA
// AT2 and plain text, and its detection of a format, chosen by the input's
// first line ("sac", "sac-alpha", "at2", "text" or "auto"; the rest is the
// file). Plain text is read with a sample interval of 0.01 s when it has no
// time column.
//
// A record a reader accepts must hold finite samples at a positive finite
// interval; its conversion either succeeds or is refused, and a record it
// writes reads back with as many samples as the conversion kept.
#include <cmath>
#include <cstdlib>

#include "convert/convert.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view format = egffuzz::takeLine(input);
  const auto f = convert::parseFormat(format);
  if (!f || (*f != convert::InputFormat::SacBinary && *f != convert::InputFormat::SacAlpha &&
             *f != convert::InputFormat::At2 && *f != convert::InputFormat::Columns &&
             *f != convert::InputFormat::Detect))
    return 0;
  egffuzz::withExpectedEndings([&] {
    const auto detected = *f == convert::InputFormat::Detect ? convert::detectFormat(input) : *f;
    if (detected != convert::InputFormat::Columns && detected != convert::InputFormat::SacBinary &&
        detected != convert::InputFormat::SacAlpha && detected != convert::InputFormat::At2 &&
        detected != convert::InputFormat::Detect)
      return;  // the network readers have their own target
    convert::ReadOptions ro;
    if (detected == convert::InputFormat::Columns) ro.dt = 0.01;
    convert::Trace t = convert::readTrace(input, detected, "fuzz.in", ro);
    if (t.samples.empty() || !(t.dt > 0.0) || !std::isfinite(t.dt)) std::abort();
    for (float v : t.samples)
      if (!std::isfinite(v)) std::abort();
    convert::Options o;
    o.input = "fuzz.in";
    o.output = "fuzz.kib";
    o.inputUnit = convert::Unit::Gal;
    const convert::Conversion c = convert::convertTrace(std::move(t), o);
    if (c.text.rfind("KIBTRACE FORMAT\n", 0) != 0) std::abort();
  });
  return 0;
}
