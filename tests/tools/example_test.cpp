// The bundled example: deterministic, identical to what is committed under
// examples/, a parameter file that the program reads to exactly the values
// the generator's model used, and a target that is the model plus a little
// noise.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "example/example.hpp"
#include "run/parameter_file.hpp"
#include "run_support.hpp"
#include "textio/textio.hpp"

namespace {

namespace fs = std::filesystem;

using runsupport::binaryDir;
using runsupport::readFile;
using runsupport::sourceDir;

TEST(Example, SameBytesOnEveryCall) {
  const example::ExampleFiles a = example::makeExample();
  const example::ExampleFiles b = example::makeExample();
  EXPECT_EQ(a.params, b.params);
  EXPECT_EQ(a.wrongStart, b.wrongStart);
  EXPECT_EQ(a.answers, b.answers);
  EXPECT_EQ(a.element, b.element);
  EXPECT_EQ(a.target, b.target);
}

TEST(Example, CommittedFilesAreWhatTheGeneratorWrites) {
  const fs::path dir = sourceDir() / "examples";
  if (!fs::exists(dir / example::kParamsName)) GTEST_SKIP() << "no examples/ folder at " << dir;
  const example::ExampleFiles files = example::makeExample();
  // Compared as whole texts; a difference means the generator changed and
  // egf_example must be run again into examples/.
  EXPECT_TRUE(readFile(dir / example::kParamsName) == files.params);
  EXPECT_TRUE(readFile(dir / example::kWrongStartName) == files.wrongStart);
  EXPECT_TRUE(readFile(dir / example::kAnswersName) == files.answers);
  EXPECT_TRUE(readFile(dir / example::kElementName) == files.element);
  EXPECT_TRUE(readFile(dir / example::kTargetName) == files.target);
}

TEST(Example, ToolWritesTheSameBytesTwice) {
  const fs::path tool = binaryDir() / "tools" / "egf_example";
  if (!fs::exists(tool)) GTEST_SKIP() << "egf_example not built at " << tool;
  const fs::path base = fs::temp_directory_path() / ("egf_example_twice_" + std::to_string(getpid()));
  for (const char* run : {"a", "b"}) {
    fs::create_directories(base / run);
    const std::string cmd = "'" + tool.string() + "' '" + (base / run).string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  const example::ExampleFiles files = example::makeExample();
  for (const char* name : {example::kParamsName, example::kWrongStartName, example::kAnswersName,
                           example::kElementName, example::kTargetName}) {
    EXPECT_TRUE(readFile(base / "a" / name) == readFile(base / "b" / name)) << name;
    EXPECT_FALSE(readFile(base / "a" / name).empty()) << name;
  }
  EXPECT_TRUE(readFile(base / "a" / example::kTargetName) == files.target);
  fs::remove_all(base);
}

TEST(Example, ProgramReadsTheParameterFileToTheModelsValues) {
  const example::ExampleFault fault;
  const fs::path path = fs::temp_directory_path() / ("egf_example_params_" + std::to_string(getpid()));
  {
    std::ofstream out(path, std::ios::binary);
    out << example::parameterFile(fault);
  }
  std::istringstream in;
  std::ostringstream console, err;
  run::Params p;
  run::Workspace w;
  {
    textio::Channels io(in, console, err);
    io.open(run::kParameterUnit, path.string());
    run::readParameterFile(io, p, w);
    io.closeAll();
  }
  fs::remove(path);
  EXPECT_NO_THROW(run::checkParameters(p, "params.txt"));

  const run::Params m = example::parameters(fault);
  EXPECT_EQ(p.ns, 0);  // the file's 0: the target's count, which the model uses
  EXPECT_EQ(m.ns, example::kTargetSamples);
  // Every value the geometry and summation use, bit for bit.
  using R = float run::Params::*;
  for (R r : {&run::Params::str, &run::Params::dip, &run::Params::rak, &run::Params::z,
              &run::Params::stra, &run::Params::dipa, &run::Params::raka, &run::Params::za,
              &run::Params::dx, &run::Params::dw, &run::Params::tra, &run::Params::dx0,
              &run::Params::dw0, &run::Params::cfac, &run::Params::vs, &run::Params::vr,
              &run::Params::rm, &run::Params::pm, &run::Params::ra, &run::Params::pa,
              &run::Params::cmp}) {
    EXPECT_EQ(p.*r, m.*r);
  }
  using I = int run::Params::*;
  for (I i : {&run::Params::nx, &run::Params::nw, &run::Params::nt, &run::Params::nsx,
              &run::Params::nsw, &run::Params::ird, &run::Params::ipfm, &run::Params::imdl,
              &run::Params::ksm, &run::Params::kem, &run::Params::ksa, &run::Params::kea,
              &run::Params::IW}) {
    EXPECT_EQ(p.*i, m.*i);
  }
  EXPECT_EQ(p.fmain.substr(0, 10), "target.kib");
  EXPECT_EQ(p.faft.substr(0, 11), "element.kib");
}

TEST(Example, OneSubfaultAtTheHypocentreReproducesTheElement) {
  // One subfault on the hypocentre, one time subdivision of one sample and
  // uniform weights: ntt = 1, ft(1) = nt/ntt = 1, and the subfault's distance
  // and coefficient are the element's, so ampij = 1 and lagij = 0 up to
  // rounding: the model is the element record times cfac.
  example::ExampleFault f;
  f.nx = f.nw = f.nt = 1;
  f.nsx = f.nsw = 1;
  f.tra = "0.01";
  f.imdl = 1;
  f.cfac = "2.0";
  std::vector<float> element(100, 0.0f);
  for (int i = 0; i < 100; ++i) element[i] = static_cast<float>(std::sin(0.3 * i));
  const std::vector<double> t = example::modelTarget(f, element);
  ASSERT_EQ(t.size(), static_cast<std::size_t>(example::kTargetSamples));
  for (int i = 0; i < 100; ++i) EXPECT_NEAR(t[i], 2.0 * element[i], 1e-5) << i;
  for (int i = 100; i < example::kTargetSamples; ++i) ASSERT_EQ(t[i], 0.0) << i;
}

TEST(Example, TargetIsTheModelPlusALittleNoise) {
  // Read the element back from its text as the program does (8F10.4), build
  // the model, and compare with the target's samples (counts of 0.001 gal):
  // what is left is the independent noise of 1 gal rms (and the counts'
  // rounding). 6000 deviates: its rms lies within 0.05 of 1.
  const example::ExampleFiles files = example::makeExample();
  auto samplesOf = [](const std::string& text, bool counts) {
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i < 16; ++i) std::getline(in, line);
    const int nskip = std::stoi(line);
    for (int i = 0; i < nskip; ++i) std::getline(in, line);
    std::vector<float> x;
    for (double v; in >> v;) x.push_back(counts ? static_cast<float>(v) * 0.001f
                                                : static_cast<float>(v));
    return x;
  };
  const std::vector<float> element = samplesOf(files.element, false);
  const std::vector<float> target = samplesOf(files.target, true);
  ASSERT_EQ(element.size(), static_cast<std::size_t>(example::kElementSamples));
  ASSERT_EQ(target.size(), static_cast<std::size_t>(example::kTargetSamples));
  const std::vector<double> model = example::modelTarget(example::ExampleFault{}, element);
  double residual = 0, signal = 0, peak = 0;
  for (int i = 0; i < example::kTargetSamples; ++i) {
    residual += (target[i] - model[i]) * (target[i] - model[i]);
    signal += model[i] * model[i];
    peak = std::fmax(peak, std::fabs(model[i]));
  }
  EXPECT_NEAR(std::sqrt(residual / example::kTargetSamples), 1.0, 0.05);
  // A plausible magnitude-6 record at 20 km: some 100 to 1000 gal at peak.
  EXPECT_GT(peak, 100.0);
  EXPECT_LT(peak, 1000.0);
  EXPECT_GT(signal, 100.0 * residual);
}

}  // namespace
