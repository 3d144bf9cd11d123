// Whole runs of the program on mutated inputs, each in a folder of its own,
// and the check that every run ends in one of the three allowed ways.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace robustness {

// The inputs of one run: the console answers and the three files.
struct Inputs {
  std::string answers;
  std::string params;
  std::string target;
  std::string element;
};

// The valid small run every mutation starts from: a 2 x 2 grid, a 400-sample
// target record in scaled integers, a 300-sample element record in fixed
// reals, both figures (units 21 and 22).
Inputs baseInputs();

// What one run left behind.
struct Outcome {
  int status = -1;
  std::string out, err;
  std::vector<std::pair<std::string, std::string>> files;  // every fort.* file: name, contents
  std::string unexpected;  // what() of an exception other than the three expected, if any
};

// Writes the inputs into `dir` (created afresh), runs the program there
// in-process, collects the figure files and removes the folder.
Outcome runIn(const std::filesystem::path& dir, const Inputs& in);

// Runs the program in the current folder, which already holds its inputs.
Outcome runHere(const std::string& answers);

// Empty when the outcome is one of the three allowed endings with sound
// figure files; otherwise what is wrong.
std::string verdict(const Outcome& o);

// Lines of a text, without their newlines (a last line without one counts).
std::vector<std::string> splitLines(const std::string& text);
std::string joinLines(const std::vector<std::string>& lines);

}  // namespace robustness
