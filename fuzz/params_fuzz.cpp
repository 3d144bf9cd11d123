// Fuzz target: the parameter file, read from a scratch file on unit 80 with
// its console echoes, followed by the figure labels and the parameter checks.
//
// A parameter set that passes the checks must hold only values the later
// stages can use: finite angles and lengths, grid and windows within the
// arrays.
#include <cmath>
#include <sstream>

#include "fuzz_support.hpp"
#include "model/limits.hpp"
#include "records/records.hpp"
#include "run/parameter_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static egffuzz::ScratchFile file;
  file.write(std::string_view(reinterpret_cast<const char*>(data), size));
  std::istringstream in;
  std::ostringstream out, err;
  textio::Channels io(in, out, err);
  egffuzz::withExpectedEndings([&] {
    model::Params p;
    io.open(run::kParameterUnit, file.path());
    run::readParameterFile(io, p);
    const records::Labels l = records::buildLabels(p);
    if (l.labn.size() != 4 || l.labc.size() != 7 || l.labsz.size() != 15 || l.labt.size() != 5 ||
        l.labns.size() != 7 || l.labbp.size() != 19)
      std::abort();
    run::checkParameters(p, "params.txt");
    if (p.nx < 1 || p.nx > model::kMaxGrid || p.nw < 1 || p.nw > model::kMaxGrid) std::abort();
    if (p.ksm < 1 || p.kem < p.ksm || p.kem > model::kMaxSamples || p.ksa < 1 || p.kea < p.ksa ||
        p.kea > model::kMaxSamples)
      std::abort();
    for (float v : {p.str, p.dip, p.rak, p.dx, p.dw, p.tra, p.cfac, p.rm, p.ra, p.vs, p.vr})
      if (!std::isfinite(v)) std::abort();
  });
  return 0;
}
