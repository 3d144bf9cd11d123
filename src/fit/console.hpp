// A console for the program's stages whose output goes nowhere: the search
// runs them for their results, not for their transcript.
#pragma once

#include <istream>
#include <ostream>
#include <streambuf>

#include "textio/textio.hpp"

namespace fit {

class Console {
 public:
  Console() : in_(&sink_), out_(&sink_), io_(in_, out_, out_) {}
  textio::Channels& io() { return io_; }

 private:
  // Accepts every character and keeps none; reads find the end of input.
  struct Sink : std::streambuf {
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  };
  Sink sink_;
  std::istream in_;
  std::ostream out_;
  textio::Channels io_;
};

}  // namespace fit
