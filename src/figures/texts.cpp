// The figures' texts of a run: the element record's header fields, the six
// fixed-width parameter labels and the displacement fit.
#include "figures/figures.hpp"

namespace figures {
namespace {

// Writes `value` with the one-item fixed format `format` over columns
// first..first+width-1 (1-based) of `label`, leaving the other columns as
// the template has them.
void overwrite(std::string& label, int first, int width, std::string_view format, textio::Value value) {
  const std::string field = textio::internalWrite(format, width, {value});
  label.replace(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(width), field);
}

}  // namespace

FigureTexts figureTexts(const model::Params& p, const records::RecordHeader& element, float res, float cor) {
  FigureTexts t{element.rcode, element.rname, element.dunit, "N=##", "C=#####", "####km x ####km", "####s",
                "(##,##)", "B.P.F=#####~#####Hz", "Res.=####", "Cor.=####"};
  overwrite(t.labn, 3, 2, "(i2)", p.nx);
  overwrite(t.labc, 3, 5, "(f5.2)", p.cfac);
  overwrite(t.labsz, 1, 4, "(f4.2)", p.dx);
  overwrite(t.labsz, 10, 4, "(f4.2)", p.dw);
  overwrite(t.labt, 1, 4, "(f4.2)", p.tra);
  overwrite(t.labns, 2, 2, "(i2)", p.nsx);
  overwrite(t.labns, 5, 2, "(i2)", p.nsw);
  overwrite(t.labbp, 7, 5, "(f5.2)", p.fl);
  overwrite(t.labbp, 13, 5, "(f5.2)", p.fh);
  overwrite(t.res, 6, 4, "(f4.2)", res);
  overwrite(t.cor, 6, 4, "(f4.2)", cor);
  return t;
}

}  // namespace figures
