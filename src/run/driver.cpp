#include "run/driver.hpp"

#include <array>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "core/simulation.hpp"
#include "figures/figures.hpp"
#include "plot/device.hpp"
#include "records/records.hpp"
#include "paramfile/paramfile.hpp"
#include "run/transcript.hpp"
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

// Prepares a record and writes what its preparation removed; a record whose
// prepared samples overflow is refused after those lines.
records::PreparedRecord prepareReported(textio::Channels& io, const model::Params& p,
                                        const records::RecordSamples& record,
                                        const records::Preparation& how,
                                        const std::array<const char*, 3>& names,
                                        const std::string& fileName) {
  records::PreparedRecord r = records::prepareRecord(record.samples, record.dt, how);
  reportPreparation(io, p, r, names);
  if (!r.finite) throw records::overflowRefusal(fileName);
  return r;
}

// Reads a record file and writes the reader's lines, as far as it got.
records::RecordSamples readReported(textio::Channels& io, int unit, const std::string& name,
                                    records::RecordHeader& h) {
  try {
    records::RecordSamples r = records::readRecordFile(io, unit, name, h);
    reportRecordReading(io, h);
    return r;
  } catch (const textio::IoError&) {
    reportRecordReading(io, h);
    throw;
  } catch (const textio::InputRejected&) {
    reportRecordReading(io, h);
    throw;
  }
}

// Reads the parameter file and echoes it, as far as the reading got.
model::Params readParameters(textio::Channels& io, const std::string& name) {
  io.open(paramfile::kUnit, name);
  paramfile::Reading r;
  try {
    r.read(io, paramfile::kUnit);
  } catch (const textio::IoError&) {
    paramfile::echo(io, r);
    throw;
  }
  paramfile::echo(io, r);
  return r.params();
}

void ask(textio::Channels& io, std::string_view question, const char* format, std::string& answer) {
  io.writeList(kConsoleOut, {question});
  io.readFormatted(kConsoleIn, format, {&answer});
  io.writeList(kConsoleOut, {std::string_view(answer)});
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

void execute(textio::Channels& io, Finished* finished) {
  const Answers answers = holdDialogue(io);

  const model::Params p = readParameters(io, answers.fprm);
  paramfile::check(p, std::string_view(answers.fprm).substr(0, answers.fprm.find_last_not_of(' ') + 1));

  records::RecordHeader header;
  const records::RecordSamples target = readReported(io, kTargetUnit, p.fmain, header);
  const records::RecordHeader targetHeader = header;
  io.writeList(kConsoleOut, {"dt=", target.dt});
  const records::PreparedRecord observed = prepareReported(
      io, p, target, records::targetPreparation(p), {"dm sum =", "dmm sum =", "dmmm sum ="}, p.fmain);
  // "prelimilary" is the transcript's own spelling: keep it.
  io.writeList(kConsoleOut, {" target event prelimilary analysis was done "});

  // From here on the run uses the element record's sample interval.
  const records::RecordSamples element = readReported(io, kElementUnit, p.faft, header);
  records::requireComparable(records::identityOf(p.fmain, target), records::identityOf(p.faft, element));
  const records::PreparedRecord elementMotion = prepareReported(
      io, p, element, records::elementPreparation(p), {"da sum =", "daa sum =", "daaa sum ="}, p.faft);
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
  const figures::FigureTexts texts = figures::figureTexts(p, header, sim.fits[2].res, sim.fits[2].cor);
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
  if (finished) *finished = {p, targetHeader, header, observed, elementMotion, sim};
}

int runProgram(std::istream& in, std::ostream& out, std::ostream& err,
               const OutputFolders& folders) {
  textio::Channels io(in, out, err);
  try {
    const bool outputs = !folders.series.empty() || !folders.report.empty();
    auto finished = outputs ? std::make_unique<Finished>() : nullptr;
    execute(io, finished.get());
    io.closeAll();
    if (!outputs) return textio::kExitNormal;
    out.flush();
    return writeOutputs(*finished, folders, err);
  } catch (const textio::IoError& e) {
    out.flush();
    err << e.report();
    // A read from the parameter file or a record names the line it failed on.
    if (!e.location.empty()) err << "egfsim: " << e.location << '\n';
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
