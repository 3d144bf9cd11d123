// The two figures of a run: the waveform comparison page (observed,
// synthetic and element traces of acceleration, velocity and displacement)
// and the spectrum comparison page (log-log Fourier amplitude spectra of the
// observed and synthetic acceleration windows).
//
// Both draw through a plot::Device and report on the console (channel 6);
// they keep no state between calls.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "plot/plot.hpp"
#include "model/motion.hpp"
#include "model/params.hpp"
#include "records/records.hpp"
#include "textio/textio.hpp"

namespace figures {

// Texts drawn on the figures that come from other stages (the driver fills
// this). Each is drawn with the column count given here; a shorter text is
// drawn blank padded, a longer one cut.
struct FigureTexts {
  std::string rcode;  // 5 columns: record code of the element record header
  std::string rname;  // 12 columns: station name of the element record header
  std::string dunit;  // 5 columns: amplitude unit of the element record header
  std::string labn, labc, labsz, labt, labns, labbp;  // 4, 7, 15, 5, 7, 19 columns
  std::string res, cor;  // 9 columns each: displacement residual and correlation
};

// The texts of a run: the element record's code, name and unit, the
// parameter labels of `p` ("N= 8", "C= 1.50", "2.50km x 2.00km", "0.30s",
// "( 1, 4)", "B.P.F= 0.10~10.00Hz") and the displacement fit
// ("Res.=0.45", "Cor.=0.99"), each number in its fixed-format field
// (asterisks when it does not fit).
FigureTexts figureTexts(const model::Params& p, const records::RecordHeader& element, float res, float cor);

// The motions the figures draw, with the sample counts they report, and
// the sample interval of the run (the element record's).
struct FigureMotions {
  const model::Motion& observed;
  int observedCount;  // samples of the target record
  const model::Motion& synthetic;
  int syntheticCount;  // ns
  const model::Motion& element;  // times cfac
  int elementCount;  // samples of the element record
  float dt;
};

// Draws the waveform figure on unit p.iuwav (plots ... plote) and writes the
// peak lines of every trace on the console. The windows are p.ksm..p.kem
// (observed) and p.ksa..p.kea (synthetic and element), samples counted from
// 1; samples outside the arrays are never read.
//
// A panel whose peak is 0 draws its trace flat at y = 0 and annotates its
// amplitude axis with zeros; cfac = 0 counts as an element peak of 0.
void waveformFigure(textio::Channels& io, plot::Device& dev, const model::Params& p,
                    const FigureMotions& m, const FigureTexts& t);

// Draws the spectrum figure on unit p.iuspc (plots ... plote): the observed
// row from the observed acceleration over ksm..kem, then the synthetic row
// from the synthetic acceleration over ksa..kea. The driver writes
// "continue writing" before calling this.
void spectrumFigure(textio::Channels& io, plot::Device& dev, const model::Params& p,
                    const FigureMotions& m, const FigureTexts& t);

// ---- Pieces of the figures, exposed for testing ---------------------------

// Title, title length, annotation top and rescaled peak of the element
// amplitude axis of one column (0 acceleration, 1 velocity, 2 displacement)
// for the element peak emax, by the rules of the record's unit family
// (centimetre-based, or any other).
struct ElementAxis {
  std::string title;
  int nchar = 0;
  float top = 0;
  float emax = 0;  // emax after the column's rescaling by 100 or 10000
};
ElementAxis elementAxis(int column, float emax, std::string_view dunit);

// True when the unit the acceleration axis shows (the first five columns of
// dunit) is centimetre-based: velocity and displacement are then annotated
// as they are, not times 100.
bool centimetreAxes(std::string_view dunit);

}  // namespace figures
