// kibconv's edge: an exception that is not a refusal passes kibconv on to
// the guard main runs it under, which reports it as the program's own fault.
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "convert/convert.hpp"
#include "support/faults.hpp"
#include "textio/stop.hpp"

namespace {

TEST(Edge, AnUnexpectedFaultIsTheProgramsOwn) {
  testsupport::FaultyStream out([] { throw std::logic_error("bad index"); });
  std::ostringstream err;
  const std::vector<std::string> args = {"--help"};
  EXPECT_EQ(textio::guarded("kibconv", out, err, [&] { return convert::kibconv(args, out, err); }), 3);
  EXPECT_EQ(err.str().rfind("internal error: bad index. This is a fault of kibconv, not of its input", 0), 0u)
      << err.str();
}

}  // namespace
