// A stream that fails from below: its buffer throws the given exception the
// moment it is read or written, and the stream passes that exception on
// (badbit in exceptions()). A program's edge meets it as an unexpected
// fault, with no way in for a user.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <streambuf>

namespace testsupport {

class FaultyStream : public std::iostream {
 public:
  explicit FaultyStream(std::function<void()> fault) : std::iostream(nullptr), buf_(std::move(fault)) {
    rdbuf(&buf_);
    exceptions(std::ios::badbit);
  }

 private:
  struct Buf : std::streambuf {
    explicit Buf(std::function<void()> fault) : fault(std::move(fault)) {}
    int_type underflow() override {
      fault();
      return traits_type::eof();
    }
    int_type overflow(int_type c) override {
      fault();
      return traits_type::not_eof(c);
    }
    std::function<void()> fault;
  };
  Buf buf_;
};

}  // namespace testsupport
