// Fuzz target: the KIBTRACE record reader, fed from the console unit.
//
// A record the reader accepts must come back with a sample count within the
// capacity, as many free text lines as it announced, header texts of their
// declared widths and only finite samples.
#include <cmath>
#include <sstream>
#include <vector>

#include "fuzz_support.hpp"
#include "records/records.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in{std::string(reinterpret_cast<const char*>(data), size)};
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  static std::vector<float> samples(model::kRecordCapacity);
  egffuzz::withExpectedEndings([&] {
    int npts = 0;
    int isps = 0;
    records::RecordHeader h;
    records::readkib(io, 5, samples, npts, isps, h, "fuzz.kib");
    if (npts < 1 || npts > model::kMaxSamples || isps < 1) std::abort();
    if (h.nskip < 0 || h.nskip > records::kMaxSkipLines) std::abort();
    if (h.skipl.size() != static_cast<std::size_t>(h.nskip)) std::abort();
    if (h.head3.size() != 3 || h.head16.size() != 16 || h.rcode.size() != 5 ||
        h.rname.size() != 12 || h.head24a.size() != 24 || h.head24b.size() != 24 ||
        h.dunit.size() != 5 || h.head10a.size() != 10 || h.head20.size() != 20 ||
        h.head11.size() != 11)
      std::abort();
    for (const std::string& line : h.skipl)
      if (line.size() != 80) std::abort();
    for (int i = 0; i < npts; ++i) {
      if (!std::isfinite(samples[static_cast<std::size_t>(i)])) std::abort();
    }
  });
  return 0;
}
