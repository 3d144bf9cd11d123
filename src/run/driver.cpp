#include "run/driver.hpp"

#include <algorithm>
#include <array>
#include <iostream>
#include <string_view>

#include "core/simulation.hpp"
#include "figures/figures.hpp"
#include "plot/device.hpp"
#include "records/records.hpp"
#include "run/parameter_file.hpp"
#include "model/limits.hpp"
#include "model/params.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace run {
namespace {

using model::kConsoleIn;
using model::kConsoleOut;
constexpr int kTargetUnit = 10;
constexpr int kElementUnit = 20;

// The five question marks that open and close every filter complaint.
constexpr std::string_view kMarks = "?????";

// The complaint of a refused filter design, with the normalised edges it was
// given (the band edges times the record's interval).
void reportRefusedDesign(textio::Channels& io, const model::Params& p, float dt) {
  io.writeLine(kConsoleOut, "");
  if (p.fl == 0.0f) {
    io.writeFormatted(kConsoleOut, "(1x,a,' (chblop) invalid input  fp=',f14.6,3x,'fs=',1pe14.6,3x,a)",
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

// The means a record's preparation removed, and the filter's complaint once
// per series when its design was refused.
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

void ask(textio::Channels& io, std::string_view question, const char* format, std::string& answer) {
  io.writeList(kConsoleOut, {question});
  io.readFormatted(kConsoleIn, format, {&answer});
  io.writeList(kConsoleOut, {std::string_view(answer)});
}

// The transcript of the simulation's stages, as far as they got; `refusal`
// is the refusal that stopped them, if one did.
void reportSimulation(textio::Channels& io, const model::Params& p, const core::Simulation& sim,
                      const textio::InputRejected* refusal) {
  if (const auto* zero = dynamic_cast<const synthesis::ZeroDistance*>(refusal)) {
    io.writeList(kConsoleOut, {"rl=0", zero->x, zero->y, zero->z});
    return;
  }
  io.writeList(kConsoleOut, {synthesis::radiationLine(p.ipfm)});
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

}  // namespace

Answers holdDialogue(textio::Channels& io) {
  Answers a;
  ask(io, " input filename of input parameters", "(a80)", a.fprm);
  ask(io, " input filename for saving observed data", "(a80)", a.fobs);
  ask(io, " input a comment for observed data", "(a52)", a.cobs);
  ask(io, " input filename for saving synthetic data", "(a80)", a.fsyn);
  ask(io, " input a comment for synthetic data", "(a52)", a.csyn);
  return a;
}

void execute(textio::Channels& io) {
  const Answers answers = holdDialogue(io);

  model::Params p;
  io.open(kParameterUnit, answers.fprm);
  readParameterFile(io, p);
  const records::Labels labels = records::buildLabels(p);
  checkParameters(p, std::string_view(answers.fprm).substr(0, answers.fprm.find_last_not_of(' ') + 1));

  records::RecordHeader header;
  const records::RecordSamples target = records::readRecordFile(io, kTargetUnit, p.fmain, header);
  io.writeList(kConsoleOut, {"dt=", target.dt});
  const records::PreparedRecord observed =
      records::prepareRecord(target.samples, target.dt, records::targetPreparation(p));
  reportPreparation(io, p, observed, {"dm sum =", "dmm sum =", "dmmm sum ="});
  if (!observed.finite) throw records::overflowRefusal(p.fmain);
  // "prelimilary" is the transcript's own spelling: keep it.
  io.writeList(kConsoleOut, {" target event prelimilary analysis was done "});

  // From here on the run uses the element record's sample interval.
  const records::RecordSamples element = records::readRecordFile(io, kElementUnit, p.faft, header);
  const records::PreparedRecord elementMotion =
      records::prepareRecord(element.samples, element.dt, records::elementPreparation(p));
  reportPreparation(io, p, elementMotion, {"da sum =", "daa sum =", "daaa sum ="});
  if (!elementMotion.finite) throw records::overflowRefusal(p.faft);
  // "prelimilary" is the transcript's own spelling: keep it.
  io.writeList(kConsoleOut, {" small event prelimilary analysis was done "});

  core::Simulation sim;
  try {
    core::simulate(p, observed, elementMotion, sim);
  } catch (const textio::InputRejected& refusal) {
    reportSimulation(io, p, sim, &refusal);
    throw;
  }
  reportSimulation(io, p, sim, nullptr);

  // The figures carry the displacement fit.
  const synthesis::FitLabels fit = synthesis::fitLabels(sim.fits[2].res, sim.fits[2].cor);

  const figures::FigureTexts texts{header.rcode, header.rname, header.dunit, labels.labn, labels.labc,
                                   labels.labsz, labels.labt, labels.labns, labels.labbp, fit.res,
                                   fit.cor};
  const figures::FigureMotions motions{observed.motion,      observed.count,
                                       sim.synthetic.motion, sim.synthetic.ns,
                                       elementMotion.motion, elementMotion.count,
                                       elementMotion.dt};
  plot::Device device(io);
  figures::waveformFigure(io, device, p, motions, texts);
  if (p.iuspc != 0) {
    io.writeList(kConsoleOut, {"continue writing"});
    figures::spectrumFigure(io, device, p, motions, texts);
  }
}

int runProgram(std::istream& in, std::ostream& out, std::ostream& err) {
  textio::Channels io(in, out, err);
  try {
    execute(io);
    io.closeAll();
    return textio::kExitNormal;
  } catch (const textio::IoError& e) {
    out.flush();
    err << e.report();
    err.flush();
    return textio::kExitIoError;
  } catch (const textio::InputRejected& e) {
    out.flush();
    err << "egfsim: " << e.message << '\n';
    err.flush();
    return textio::kExitRejected;
  }
}

}  // namespace run
