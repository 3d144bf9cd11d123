// The checks of a parameter set, from the layout's forms and ranges.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "model/limits.hpp"
#include "paramfile/paramfile.hpp"
#include "textio/stop.hpp"

namespace paramfile {
namespace {

class Checker {
 public:
  Checker(const model::Params& p, std::string_view fileName) : p_(p), file_(fileName) {}

  void form(const Entry& e) const {
    switch (e.form) {
      case Form::Any:
        return;
      case Form::Finite:
        if (!std::isfinite(real(e))) fail(e, text(real(e)), "must be a finite number");
        return;
      case Form::Positive:
        positive(e);
        return;
      case Form::FigureUnit:
        if (integer(e) < 0 || integer(e) == model::kConsoleIn)
          fail(e, std::to_string(integer(e)), "a figure unit must be 0 or positive and not 5 (console input)");
        return;
    }
  }

  void range(const Entry& e) const {
    const Range& r = e.range;
    switch (r.kind) {
      case Range::Kind::None:
        return;
      case Range::Kind::Between: {
        const int lo = r.from.empty() ? r.lo : std::get<int>(entry(r.from).get(p_));
        if (integer(e) < lo || integer(e) > r.hi)
          fail(e, std::to_string(integer(e)), "allowed " + std::to_string(lo) + " to " + std::to_string(r.hi));
        return;
      }
      case Range::Kind::NonZero:
        if (real(e) == 0.0f) fail(e, "0", std::string(r.note));
        return;
      case Range::Kind::Positive:
        positive(e);
        return;
      case Range::Kind::Either:
        if (integer(e) != r.lo && integer(e) != r.hi)
          fail(e, std::to_string(integer(e)), "allowed " + std::to_string(r.lo) + " or " + std::to_string(r.hi));
        return;
      case Range::Kind::AtMost:
        if (integer(e) > r.hi) fail(e, std::to_string(integer(e)), "allowed " + std::to_string(r.hi) + " or less");
        return;
      case Range::Kind::Taper:
        taper(e);
        return;
    }
  }

 private:
  int integer(const Entry& e) const { return std::get<int>(e.get(p_)); }
  float real(const Entry& e) const { return std::get<float>(e.get(p_)); }

  void positive(const Entry& e) const {
    if (!(real(e) > 0.0f) || !std::isfinite(real(e))) fail(e, text(real(e)), "must be a positive number");
  }

  // The taper must leave part of both spectrum windows untouched; only a
  // drawn spectrum uses it.
  void taper(const Entry& e) const {
    if (p_.iuspc == 0) return;
    auto window = [](int first, int last) { return std::min(last - first + 1, model::kFftLength); };
    const int shorter = std::min(window(p_.ksm, p_.kem), window(p_.ksa, p_.kea));
    if (integer(e) >= shorter)
      fail(e, std::to_string(integer(e)),
           "the taper must be shorter than the shorter spectrum window (" + std::to_string(shorter) + " samples)");
  }

  [[noreturn]] void fail(const Entry& e, const std::string& value, const std::string& rule) const {
    throw textio::InputRejected("parameter file " + std::string(file_) + ": " + std::string(e.name) + " = " +
                                value + ": " + rule);
  }
  static std::string text(float value) {
    std::ostringstream s;
    s << value;
    return s.str();
  }

  const model::Params& p_;
  std::string_view file_;
};

}  // namespace

void check(const model::Params& p, std::string_view fileName) {
  const Checker c(p, fileName);
  for (const Entry& e : layout()) c.form(e);
  for (const Entry& e : layout()) c.range(e);
}

}  // namespace paramfile
