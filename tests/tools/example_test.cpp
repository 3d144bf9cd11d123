// The bundled example's generator is what wrote the committed examples/: its
// transform, its noise and its two record encodings are pinned by those bytes
// (and the golden run pins what the program makes of them).
#include <gtest/gtest.h>

#include "example/example.hpp"
#include "support/run.hpp"

namespace {

using namespace runsupport;

const char* const kFiles[] = {example::kParamsName, example::kWrongStartName, example::kAnswersName,
                              example::kElementName, example::kTargetName};

TEST(Example, CommittedFilesAreWhatTheGeneratorWrites) {
  // A difference means the generator changed and egf_example must be run
  // again into examples/.
  const example::ExampleFiles files = example::makeExample();
  const std::string made[] = {files.params, files.wrongStart, files.answers, files.element, files.target};
  for (std::size_t k = 0; k < std::size(kFiles); ++k)
    EXPECT_TRUE(readFile(kSourceDir / "examples" / kFiles[k]) == made[k]) << kFiles[k];
}

}  // namespace
