#include "run/driver.hpp"

#include <iostream>
#include <memory>
#include <string_view>

#include "figures/figures.hpp"
#include "plot/device.hpp"
#include "records/records.hpp"
#include "run/parameter_file.hpp"
#include "run/params.hpp"
#include "run/workspace.hpp"
#include "synthesis/synthesis.hpp"
#include "textio/stop.hpp"

namespace run {
namespace {

constexpr int kConsoleIn = 5;
constexpr int kConsoleOut = 6;

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

  Finished local;
  Finished& run = finished ? *finished : local;
  Params& p = run.p;
  Workspace& w = run.w;
  io.open(kParameterUnit, answers.fprm);
  readParameterFile(io, p, w);
  const records::Labels labels = records::buildLabels(p);
  checkParameters(p, std::string_view(answers.fprm).substr(0, answers.fprm.find_last_not_of(' ') + 1));

  records::RecordHeader header;
  records::prepareTarget(io, p, w, header);
  run.target = header;
  records::prepareElement(io, p, w, header);
  run.element = header;

  synthesis::SubfaultModel model;
  synthesis::sourceModel(io, p, w.dt, model);
  synthesis::summation(io, p, model, w);
  run.fit = synthesis::compare(io, p, w);
  const synthesis::FitLabels& fit = run.fit;

  const figures::FigureTexts texts{header.rcode, header.rname, header.dunit, labels.labn, labels.labc,
                                   labels.labsz, labels.labt, labels.labns, labels.labbp, fit.res,
                                   fit.cor};
  plot::Device device(io);
  figures::waveformFigure(io, device, p, w, texts);
  if (p.iuspc != 0) {
    io.writeList(kConsoleOut, {"continue writing"});
    figures::spectrumFigure(io, device, p, w, texts);
  }
}

int runProgram(std::istream& in, std::ostream& out, std::ostream& err,
               const OutputFolders& folders) {
  textio::Channels io(in, out, err);
  try {
    try {
      const bool outputs = !folders.series.empty() || !folders.report.empty();
      auto finished = outputs ? std::make_unique<Finished>() : nullptr;
      execute(io, finished.get());
      io.closeAll();
      if (!outputs) return textio::kExitNormal;
      out.flush();
      return writeOutputs(*finished, folders, err);
    } catch (const textio::StopRun& stop) {
      io.reportStop(stop.text);
      io.closeAll();
      return textio::kExitNormal;
    }
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
