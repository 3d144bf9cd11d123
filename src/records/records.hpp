// Records: the KIBTRACE record reader and the preparation of a record's
// samples into a mean-free (optionally band-passed) motion. Neither writes
// to the console: the reader leaves how far it got in the record's header,
// from which egfsim's transcript shows the reader's lines.
//
// A record that cannot give usable samples ends the run with
// textio::InputRejected (one line naming the file and the fault); read
// errors of the text itself are the I/O layer's textio::IoError.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dsp/dsp.hpp"
#include "model/limits.hpp"
#include "model/motion.hpp"
#include "model/params.hpp"
#include "records/units.hpp"
#include "textio/textio.hpp"

namespace records {

// The most free text lines a record may carry.
inline constexpr int kMaxSkipLines = model::kMaxTextLines;

// How far a read of a record got, each part set once it is read: what
// egfsim's transcript shows of the reading.
struct ReadProgress {
  bool headerLine = false;      // line 1 was read (RecordHeader::line1)
  bool kibtrace = false;        // ... and is the KIBTRACE header
  bool skipCount = false;       // nskip was read
  bool sampleFormat = false;    // the text lines were read and dfmt resolved
  bool fixedFormat = false;     // ... to a fixed format (shown with dfmt)
  bool integerSamples = false;  // ... of integer counts
};

// Header values of one KIBTRACE record. Texts keep their declared widths
// (blank padded), which is the length a read stores into.
struct RecordHeader {
  std::string line1 = std::string(15, ' ');  // the header line
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
  std::string dfmt = std::string(10, ' ');    // the sample lines' number format
  std::string head10a = std::string(10, ' ');
  std::string head10b = std::string(10, ' ');
  std::string head10c = std::string(10, ' ');
  std::string head20 = std::string(20, ' ');
  std::string head11 = std::string(11, ' ');
  int nskip = 0;                              // free text lines of the record
  std::vector<std::string> skipl;             // exactly nskip lines of 80 columns
  ReadProgress progress;                      // of the last read into this header
};

// True for the two spellings of line 1 a record may have.
bool isKibtraceHeader(std::string_view line1);

// Reads one record from `unit` (already opened by the caller, left open)
// into samples (sample i at index i-1). `npts`, `isps` and `h` (with its
// progress) are set as their lines are read, and keep what was read when
// the read fails.
// `source` names the record file in a rejection message (trailing blanks
// are dropped). Throws textio::InputRejected for a record without usable
// samples: an empty file, a wrong first line, a missing scale factor or
// nskip, nskip outside 0..100, npts outside 1..min(15000, samples.size()),
// isps not positive, an end of file inside a fixed-format scale factor or
// sample list (in free format it is textio::IoError "list in: end of file"),
// a scale factor or scaled sample that is not a finite float.
void readkib(textio::Channels& io, int unit, std::span<float> samples, int& npts, int& isps,
             RecordHeader& h, std::string_view source = {});

// A record's samples as read: sample i at index i - 1.
struct RecordSamples {
  std::vector<float> samples;  // npts values
  int isps = 0;                // samples per second
  float dt = 0;                // 1/isps in single precision
  std::string unit;            // the five-column amplitude unit field
};

// Opens `name` (blank padded, as the parameter file holds it) on `unit`,
// reads one record with readkib, closes the unit. `h.progress` starts
// afresh, before the file is opened.
RecordSamples readRecordFile(textio::Channels& io, int unit, const std::string& name,
                             RecordHeader& h);

// What the check of a record pair (requireComparable, units.hpp) names of a
// record read from `name` (blank padded, as the parameter file holds it).
RecordIdentity identityOf(const std::string& name, const RecordSamples& r);

// A record prepared for the synthesis or the comparison. Order of the steps:
// mean removal of the acceleration, integration, mean removal, integration,
// mean removal, the zero-phase filter on all three when asked for, the
// scaling (element only), then the mean removal of the three copies.
struct PreparedRecord {
  model::Motion motion;     // kMaxSamples per series, zero beyond `count`
  int count = 0;            // samples of the record
  float dt = 0;             // sample interval (s)
  std::array<float, 3> recordMeans{};  // removed from acc, vel, disp before the filter
  bool filterRefused = false;          // a filter was asked for and its design was refused
  std::array<float, 3> motionMeans{};  // removed from the (filtered, scaled) copies
  bool finite = true;       // every prepared sample is a finite float
};

// What preparation needs of the parameter set.
struct Preparation {
  bool filter = false;  // ifilt is 1
  dsp::Band band;       // fl, fh, fs, ap, as
  float scale = 1.0f;   // cfac for the element record, 1 for the target
};
Preparation targetPreparation(const model::Params& p);
Preparation elementPreparation(const model::Params& p);

// Prepares samples(1..count) (count <= kMaxSamples) sampled every dt
// seconds. Never throws for the values of the samples: a series that
// overflows single precision is reported by `finite`.
PreparedRecord prepareRecord(std::span<const float> samples, float dt, const Preparation& how);

// The refusal of a record whose prepared samples are not finite, naming the
// file (blank padded as in the parameter file).
textio::InputRejected overflowRefusal(const std::string& name);

}  // namespace records
