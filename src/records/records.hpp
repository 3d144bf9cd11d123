// Record input: the KIBTRACE record reader, mean removal, the figure's
// parameter labels, and the preparation of the target and element records
// into mean-free (optionally band-passed) acceleration, velocity and
// displacement series.
//
// A record that cannot give usable samples ends the run with
// textio::InputRejected (one line naming the file and the fault) after the
// reader's own console lines; read errors of the text itself are the I/O
// layer's textio::IoError.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "run/params.hpp"
#include "run/workspace.hpp"
#include "textio/textio.hpp"

namespace records {

// The most samples a record may carry: the prepared series hold no more.
inline constexpr int kMaxSamples = run::kSeriesCapacity;
// The most free text lines a record may carry.
inline constexpr int kMaxSkipLines = 100;

// Header values of one KIBTRACE record. Texts keep their declared widths
// (blank padded), which is the length a read stores into.
struct RecordHeader {
  std::string head3 = std::string(3, ' ');
  std::string head16 = std::string(16, ' ');
  std::string rcode = std::string(5, ' ');    // station code, labels the figures
  std::string rname = std::string(12, ' ');   // station name, labels the figures
  int isps = 0;                               // samples per second
  int npts = 0;                               // sample count
  std::string head24a = std::string(24, ' ');
  std::string head24b = std::string(24, ' ');
  float hreal = 0;
  std::string dunit = std::string(5, ' ');    // amplitude unit, labels the acceleration axis
  std::string head10a = std::string(10, ' ');
  std::string head10b = std::string(10, ' ');
  std::string head10c = std::string(10, ' ');
  std::string head20 = std::string(20, ' ');
  std::string head11 = std::string(11, ' ');
  int nskip = 0;                              // free text lines of the record
  std::vector<std::string> skipl;             // exactly nskip lines of 80 columns
};

// Reads one record from `unit` (already opened by the caller, left open)
// into samples (sample i at index i-1), writing the reader's console lines
// on unit 6. `npts`, `isps` and `h` are set as their lines are read.
// `source` names the record file in a rejection message (trailing blanks
// are dropped). Throws textio::InputRejected for a record without usable
// samples: an empty file, a wrong first line, a missing scale factor or
// nskip, nskip outside 0..100, npts outside 1..min(15000, samples.size()),
// isps not positive, an end of file inside a fixed-format scale factor or
// sample list (in free format it is textio::IoError "list in: end of file"),
// a scale factor or scaled sample that is not a finite float.
void readkib(textio::Channels& io, int unit, std::span<float> samples, int& npts, int& isps,
             RecordHeader& h, std::string_view source = {});

// Removes the mean of x(i1..i2) (1-based, inclusive) and returns it in
// `mean`. The sum is accumulated in single precision, in index order. An
// empty range (i2 = i1 - 1) changes nothing and gives 0/0, not a number.
// Throws std::out_of_range when a non-empty range leaves the series.
void zero(std::span<float> x, int i1, int i2, float& mean);

// The six fixed-width parameter labels of the waveform figure.
struct Labels {
  std::string labn;   // 4:  "N=" and nx (I2)
  std::string labc;   // 7:  "C=" and cfac (F5.2)
  std::string labsz;  // 15: dx (F4.2) "km x " dw (F4.2) "km"
  std::string labt;   // 5:  tra (F4.2) "s"
  std::string labns;  // 7:  "(" nsx (I2) "," nsw (I2) ")"
  std::string labbp;  // 19: "B.P.F=" fl (F5.2) "~" fh (F5.2) "Hz"
};
Labels buildLabels(const run::Params& p);

// The target record: opens p.fmain on unit 10, reads it into w.d, sets and
// echoes w.dt, closes the unit, removes means and integrates, filters when
// p.ifilt is 1, copies to dm/dmm/dmmm (zero beyond the count), sets
// w.nmain, replaces p.ns = 0 by the count, removes the means of the copies,
// and ends with " target event prelimilary analysis was done ".
void prepareTarget(textio::Channels& io, run::Params& p, run::Workspace& w, RecordHeader& h);

// The element record: clears d/di/dii, opens p.faft on unit 20, reads it,
// sets w.dt (from here on the element's interval), closes the unit,
// refuses it (textio::InputRejected) when its rate differs from the
// target's (h.isps on entry) or its unit is of another family (see
// units.hpp), prepares it as the target, scales by p.cfac into da/daa/daaa (zero
// beyond the count), sets w.naft, removes the means of the copies, and
// ends with " small event prelimilary analysis was done ".
void prepareElement(textio::Channels& io, const run::Params& p, run::Workspace& w,
                    RecordHeader& h);

}  // namespace records
