// The bundled example: a synthetic element record, a target record built by
// the program's own source model from a known "true" fault plus a little
// independent noise, and the parameter and answers files of a run that
// should recover the target.
#pragma once

#include <string>
#include <vector>

#include "model/params.hpp"
#include "source/source.hpp"

namespace example {

// The values a parameter file gives, as the decimal texts that are written
// to it; the model reads them back through the same conversion as the
// program (decimal text to the nearest double, then to single precision).
struct ExampleFault {
  std::string str = "30.0", dip = "45.0", rak = "90.0", z = "10.0";
  std::string dx = "1.5", dw = "1.5", tra = "0.05";
  int nx = 10, nw = 10, nt = 10, nsx = 3, nsw = 5;
  std::string cfac = "1.0";
  std::string vs = "3.5", vr = "2.8";
  int ird = 2, ipfm = 1;
  std::string rm = "20.0", pm = "60.0", cmp = "90.0";
  int imdl = 3;
};

// The five files of the example, as their full texts.
struct ExampleFiles {
  std::string params;   // params.txt
  std::string wrongStart;  // params_wrong_start.txt: the same run, rupture started at the far end
  std::string answers;  // answers.txt
  std::string element;  // element.kib (floating samples, 8F10.4)
  std::string target;   // target.kib (integer counts of 0.001 gal, 10I8)
};

inline constexpr const char* kParamsName = "params.txt";
inline constexpr const char* kWrongStartName = "params_wrong_start.txt";
inline constexpr const char* kAnswersName = "answers.txt";
inline constexpr const char* kElementName = "element.kib";
inline constexpr const char* kTargetName = "target.kib";

// Sample counts and rate of the two records.
inline constexpr int kElementSamples = 3000;  // 30 s
inline constexpr int kTargetSamples = 6000;   // 60 s
inline constexpr int kSamplesPerSecond = 100;

// The eighteen-line parameter file for `fault`.
std::string parameterFile(const ExampleFault& fault);

// The parameter set that a run reads from parameterFile(fault), with the
// angles in radians as after reading.
model::Params parameters(const ExampleFault& fault);

// The element acceleration (cm/s/s, double precision) before it is written.
std::vector<double> elementAcceleration();

// The target acceleration (cm/s/s) for `fault` from the element samples as
// the program reads them back: the sum over every subfault and time
// subdivision of delayed, weighted copies, exactly as the program's model
// places and weights them, before any noise.
std::vector<double> modelTarget(const ExampleFault& fault, const std::vector<float>& element);

// The target acceleration (cm/s/s) of a source model of SMGAs at the station
// of `fault` (whose lines 9 to 11 the model replaces), from the element
// samples as the program reads them back: every SMGA's copies as the
// summation plan places and weighs them, summed in single precision, before
// any noise.
std::vector<double> smgaTarget(const ExampleFault& fault, const source::Source& model,
                               const std::vector<float>& element);

// The true fault with the rupture started at subfault (8, 5), the far end
// along strike, instead of (3, 5).
ExampleFault wrongStartFault();

// All files of the example for the true fault.
ExampleFiles makeExample();

// Writes the files of makeExample() into `directory` (which must exist).
void writeExample(const std::string& directory);

}  // namespace example
