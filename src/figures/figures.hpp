// The two figures of a run: the waveform comparison page (observed,
// synthetic and element traces of acceleration, velocity and displacement)
// and the spectrum comparison page (log-log Fourier amplitude spectra of the
// observed and synthetic acceleration windows).
//
// Both draw through a plot::Device and report on the console (channel 6).
// Neither is re-entrant: pltfft keeps its transform and curve buffers for
// the whole run.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "plot/plot.hpp"
#include "run/params.hpp"
#include "run/workspace.hpp"
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

// Draws the waveform figure on unit p.iuwav (plots ... plote) and writes the
// peak lines of every trace on the console. The windows are p.ksm..p.kem
// (observed) and p.ksa..p.kea (synthetic and element), samples counted from
// 1; samples outside the arrays are never read.
//
// A panel whose peak is 0 draws its trace flat at y = 0 and annotates its
// amplitude axis with zeros; cfac = 0 counts as an element peak of 0.
void waveformFigure(textio::Channels& io, plot::Device& dev, const run::Params& p,
                    const run::Workspace& w, const FigureTexts& t);

// Draws the spectrum figure on unit p.iuspc (plots ... plote): the observed
// row from dm over ksm..kem, then the synthetic row from ds over ksa..kea.
// Fills w.spc, w.spcs, w.amp and w.fre. The driver writes "continue writing"
// before calling this.
void spectrumFigure(textio::Channels& io, plot::Device& dev, const run::Params& p,
                    run::Workspace& w, const FigureTexts& t);

// Transforms the first ne samples of x (ne a power of two, 4 <= ne <= 8192,
// ne <= x.size()) and draws one row of three log-log panels, 9.5 cm apart,
// of the spectrum times (2 pi f)^p for p = II, II + 1, II + 2, with the
// title indices ntitle, ntitle + 1, ntitle + 2 and flow Hz at the left
// edge of every frame. fre and amp (at least ne / 2 values) receive the
// frequencies and the amplitude spectrum; fre(2..) may come back raised to
// flow where the curve drawing clamped them. The plot origin is left where
// it was found.
void pltfft(textio::Channels& io, plot::Device& dev, std::span<const float> x, int ne, float dt,
            int ntitle, int II, float flow, std::span<float> amp, std::span<float> fre);

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

// Cuts the window first..last of `series` (samples counted from 1) to at
// most ne samples, copies it into the first ne values of `window` (padded
// with zeros) and tapers both ends over iw samples when iw > 0 (a quarter
// sine period rising over samples 1..iw, a quarter cosine period falling
// over samples L-iw..L). Returns the window length L (0 for an empty window).
int spectrumWindow(std::span<const float> series, int first, int last, int iw, int ne,
                   std::span<float> window);

// The bottom of a spectrum panel's amplitude axis for the curve peak `peak`:
// ten to the power (nearest power of ten to the peak) - 4. A peak of 0
// gives 0.0001.
float spectrumFloor(float peak);

}  // namespace figures
