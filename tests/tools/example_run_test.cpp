// The bundled example's figures, which the golden run pins byte for byte to
// tests/golden/example, are PostScript that Ghostscript interprets without
// error (the golden run itself compares bytes, not pictures).
#include <gtest/gtest.h>

#include "support/run.hpp"

namespace {

using namespace runsupport;

TEST(ExampleRun, FiguresPassGhostscript) {
  if (!haveGhostscript()) GTEST_SKIP() << "Ghostscript (gs) is not installed";
  RunFolder folder;
  for (const char* figure : {"fort.21", "fort.22"})
    fs::copy_file(kSourceDir / "tests" / "golden" / "example" / figure, folder.path() / figure);
  expectFiguresPassGhostscript(folder.path());
}

}  // namespace
