// A study: the target and element events, the stations and their records,
// and the processing, from which each record's egfsim parameter file is
// set up with its geometry computed from coordinates and its windows
// aligned on the predicted S arrival.
//
// Values come from two places: the records' own comment lines (what
// kibconv wrote: station, component, first-sample time, event) and the
// study. A record's values are preferred; the study fills what a record
// lacks, and a disagreement between them is reported. Of the events the
// study's values are preferred (a record header's origin time is often
// rounded to the minute); a record fills what the study leaves out.
//
// The alignment. A record's sample n (counted from 1) is at
// t_first + (n - 1) dt. The S wave of an event of origin time o at
// hypocentral distance R arrives at o + R/vs, so at the real sample
//   n_S = 1 + (o + R/vs - t_first) / dt
// of its record (n_t in the target record, n_e in the element record). The
// summation places element sample m of a copy whose delay is d samples at
// synthetic sample m + trunc(d + 0.5 - lagmin), lagmin = min(0, every
// subfault's delay): the delays count from the target hypocentre's S
// travel time (delay 0), so the element's S arrives in the synthetic at
// n_e - lagmin, where the target's S stands at n_t in the observed record.
// The observed window is ksm = nint(n_t + from/dt) .. kem = nint(n_t +
// to/dt) and the synthetic window is the same shifted by
//   D = nint(n_e - lagmin - n_t):  ksa = ksm + D,  kea = kem + D,
// so that a comparison at lag 0 puts the two S arrivals within half a
// sample of each other.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/params.hpp"
#include "model/recording.hpp"
#include "paramfile/paramfile.hpp"

namespace study {

// A fault plane's strike, dip and rake in degrees.
struct Mechanism {
  double strike = 0, dip = 0, rake = 0;
};

struct Event {
  model::EventInfo info;
  std::optional<Mechanism> mechanism;
};

// Values a user gives by hand for a record's line 14 instead of those
// computed from coordinates; each is used as given and reported when it
// disagrees with the coordinates.
struct HandGeometry {
  std::optional<double> rm, pm, ra, pa;
};

// One component at one station: its target record (absent for a site that
// recorded only the element event) and its element record.
struct RecordPair {
  std::string label;                  // "NS", "EW", "UD": the figures' title, the files' names
  std::filesystem::path target, element;
  double weight = 1.0;
  model::ComponentInfo component;     // what the study says of the component
  std::optional<model::UtcTime> targetStart, elementStart;  // first samples, when the records lack them
  std::string where;                  // where the study names the pair ("study.toml:12:1")
  int line = 0, column = 0;           // the same as numbers
};

struct Station {
  model::StationInfo info;            // what the study says of the station
  HandGeometry hand;
  std::vector<RecordPair> records;
  std::string where;
};

// Parameter-file values that are processing, not geometry or source.
struct Processing {
  bool filter = true;                 // ifilt 1
  double low = 0.1, high = 10.0, stop = 15.0, passTolerance = 0.5, stopTolerance = 5.0;
  double from = -1.0, to = 7.0;       // compared window, s from the predicted S arrival
  double taper = 1.0;                 // s, the spectra's cosine taper (IW)
  double timeScale = 6.0;             // s per cm of the waveform figure (tscl)
  std::string title;                  // first title of the figures (6 columns)
};

struct Study {
  std::filesystem::path file;
  Event target, element;
  std::vector<Station> stations;
  Processing processing;
};

// What a record file says of itself: its samples and its comment lines.
struct RecordFile {
  std::filesystem::path path;
  int samples = 0;
  float dt = 0;
  model::Recording said;
  std::vector<std::string> problems;  // comment lines that could not be read
};
// Reads a KIBTRACE record (textio::InputRejected or textio::IoError when it
// cannot be read).
RecordFile readRecordFile(const std::filesystem::path& path);

// A value computed for a parameter file and the numbers it came from.
struct Echo {
  std::string name;   // the parameter's name ("rm") or what it is ("target S")
  std::string value;  // as written
  std::string from;   // "geodesic on WGS84 from 35.7695 -117.5993 to 35.81574 -117.59751"
};

// One record's parameter file as set up.
struct SetupRecord {
  std::string name;                   // "CLC_NS": station code and component label
  paramfile::Changes values;          // every value of the file
  std::vector<Echo> echo;
  std::vector<std::string> notes;     // disagreements and values taken from elsewhere
  int lagmin = 0;
  double residualSamples = 0;         // n_e - lagmin - n_t - D, within +-0.5
};

// The physical inputs of one record's alignment (seconds, km, km/s).
struct AlignmentInput {
  double targetOrigin = 0, elementOrigin = 0;  // s, on any common clock
  double targetFirst = 0, elementFirst = 0;    // s, first samples on that clock
  double targetDistance = 0, elementDistance = 0;  // hypocentral, km
  double vs = 0;
  double dt = 0;
  int lagmin = 0;
  double from = 0, to = 0;                     // s from the predicted S arrival
};

struct Alignment {
  double targetS = 0, elementS = 0;  // real samples n_t, n_e
  int ksm = 0, kem = 0, ksa = 0, kea = 0;
  int offset = 0;                    // D
  double residual = 0;               // n_e - lagmin - n_t - D (samples)
};

// The windows that align the element's S (through the summation's
// lagmin) with the target's S; see the alignment above.
Alignment align(const AlignmentInput& in);

// The parameter files of a study: every record of every station with a
// target record, in the study's order. `source` gives the values of lines
// 9 to 11 (and imdl of line 14) as a parameter set; `folder` is where the
// files will be written (record paths are written relative to it).
// textio::InputRejected for a study that cannot be set up (one line naming
// the record and the key that supplies what is missing).
//
// `lagmin` gives the summation's lagmin for a record's parameter set and
// sample interval; by default egfsim's, from the set's one fault area
// (synthesis::sourceModel). A front end that sums a source model of several
// areas gives that model's.
using Lagmin = std::function<int(const model::Params& record, float dt)>;
std::vector<SetupRecord> setUp(const Study& s, const model::Params& source,
                               const std::filesystem::path& folder, const Lagmin& lagmin = {});

// The setup report: every record's computed values with the numbers they
// came from, and the notes.
std::string report(const Study& s, const std::vector<SetupRecord>& records);

}  // namespace study
