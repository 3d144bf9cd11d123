// egfsim's transcript of the stages, written from their results in the
// order and with the bytes of the console program.
#include "run/transcript.hpp"

#include <algorithm>
#include <string>
#include <string_view>

#include "model/limits.hpp"
#include "synthesis/synthesis.hpp"

namespace run {
namespace {

using model::kConsoleOut;

// The five question marks that open and close every filter complaint.
constexpr std::string_view kMarks = "?????";

// The line naming the radiation option, "" for none.
const char* radiationLine(model::Radiation ipfm) {
  switch (ipfm) {
    case model::Radiation::NotCorrected:
      return "radiation not corrected";
    case model::Radiation::Corrected:
      return "radiation taken into account";
    case model::Radiation::SignOnly:
      return "sign of radiation taken into account";
  }
  return "";
}

// The complaint of a refused filter design, with the normalised edges it was
// given (the band edges times the record's interval).
void reportRefusedDesign(textio::Channels& io, const model::Params& p, float dt) {
  io.writeLine(kConsoleOut, "");
  if (p.fl == 0.0f) {
    io.writeFormatted(kConsoleOut,
                      "(1x,a,' (chblop) invalid input  fp=',f14.6,3x,'fs=',1pe14.6,3x,a)",
                      {kMarks, p.fh * dt, p.fs * dt, kMarks});
  } else {
    io.writeFormatted(kConsoleOut,
                      "(1x,a,'   (chbpas)   invalid input   fl =',f14.6,3x,'fh =',f14.6,3x,"
                      "'fs =',f14.6,3x,a)",
                      {kMarks, p.fl * dt, p.fh * dt, p.fs * dt, kMarks});
  }
  io.writeLine(kConsoleOut, "");
  io.writeLine(kConsoleOut, "");
}

// ntt and the progress lines of the first `rows` subfault rows.
void reportSummationStart(textio::Channels& io, const model::Params& p, int ntt, int rows) {
  io.writeList(kConsoleOut, {"ntt =", ntt});
  for (int i = 1; i <= rows; ++i) io.writeList(kConsoleOut, {" now calculated ", i, " of ", p.nx});
}

void reportSummation(textio::Channels& io, const model::Params& p, const synthesis::Synthesis& s) {
  reportSummationStart(io, p, s.ntt, std::clamp(p.nx, 0, model::kMaxGrid));
  const char* names[3] = {"ds sum =", "dss sum =", "dsss sum ="};
  for (std::size_t q = 0; q < 3; ++q) io.writeList(kConsoleOut, {names[q], s.means[q]});
  for (std::size_t q = 0; q < 3; ++q) io.writeList(kConsoleOut, {"remove sum =", s.windowMeans[q]});
  io.writeList(kConsoleOut, {"###############"});
}

// The lines of the first `count` quantities compared.
void reportComparison(textio::Channels& io, const synthesis::Comparison& fits, int count) {
  const char* names[3] = {"acc", "vel", "dis"};
  for (std::size_t q = 0; q < static_cast<std::size_t>(count); ++q) {
    const std::string name(names[q]);
    io.writeList(kConsoleOut, {name + " res =", fits[q].res});
    io.writeList(kConsoleOut, {name + " cor =", fits[q].cor});
    io.writeList(kConsoleOut, {name + " mtime =", fits[q].lag});
  }
}

}  // namespace

void reportRecordReading(textio::Channels& io, const records::RecordHeader& h) {
  const records::ReadProgress& r = h.progress;
  if (r.headerLine) {
    io.writeFormatted(kConsoleOut, "(a15)", {h.line1});
    if (!r.kibtrace) io.writeList(kConsoleOut, {" This data file does not have KIBTRACE format"});
  }
  if (r.skipCount) io.writeList(kConsoleOut, {" skip ", h.nskip});
  if (r.sampleFormat && r.fixedFormat) {
    io.writeFormatted(kConsoleOut, "(a10)", {h.dfmt});
    // "floting" is the transcript's own spelling: keep it.
    io.writeList(kConsoleOut, {r.integerSamples ? " data is integer" : " data is floting"});
  }
}

void reportPreparation(textio::Channels& io, const model::Params& p,
                       const records::PreparedRecord& r, const std::array<const char*, 3>& names) {
  io.writeList(kConsoleOut, {"d sum =", r.recordMeans[0]});
  io.writeList(kConsoleOut, {"di sum =", r.recordMeans[1]});
  io.writeList(kConsoleOut, {"dii sum =", r.recordMeans[2]});
  if (r.filterRefused) {
    for (int series = 0; series < 3; ++series) reportRefusedDesign(io, p, r.dt);
  }
  for (std::size_t s = 0; s < 3; ++s) io.writeList(kConsoleOut, {names[s], r.motionMeans[s]});
}

void reportSimulation(textio::Channels& io, const model::Params& p, const core::Simulation& sim,
                      const textio::InputRejected* refusal) {
  if (const auto* zero = dynamic_cast<const synthesis::ZeroDistance*>(refusal)) {
    io.writeList(kConsoleOut, {"rl=0", zero->x, zero->y, zero->z});
    return;
  }
  io.writeList(kConsoleOut, {radiationLine(p.ipfm)});
  if (sim.done < core::Simulation::Summation) {
    if (const auto* sum = dynamic_cast<const synthesis::SummationRefused*>(refusal))
      reportSummationStart(io, p, sum->ntt, sum->rows);
    return;
  }
  reportSummation(io, p, sim.synthetic);
  io.writeList(kConsoleOut, {"calculate residual and correlation"});
  if (const auto* cmp = dynamic_cast<const synthesis::ComparisonRefused*>(refusal)) {
    reportComparison(io, cmp->done, cmp->quantity);
  } else {
    reportComparison(io, sim.fits, 3);
  }
}

}  // namespace run
