// Reading a parameter file line by line, and the transcript's echo of it.
#include <stdexcept>

#include "model/limits.hpp"
#include "paramfile/paramfile.hpp"

namespace paramfile {
namespace {

Value initial(const Entry& e) {
  switch (e.type) {
    case Type::Integer:
      return 0;
    case Type::Real:
    case Type::Angle:
      return 0.0f;
    case Type::Text:
      break;
  }
  return std::string(static_cast<std::size_t>(e.width), ' ');
}

std::size_t indexOf(std::string_view name) { return static_cast<std::size_t>(&entry(name) - layout().data()); }

// One item of an echo line: a text as it stands, or the value of an entry.
struct EchoItem {
  std::string_view text;
  bool value;
};
constexpr EchoItem T(std::string_view text) { return {text, false}; }
constexpr EchoItem V(std::string_view name) { return {name, true}; }

// One list-directed line of the transcript, written once the reading has
// completed line `after` (its values are those of lines up to `after`).
struct EchoLine {
  int after;
  std::vector<EchoItem> items;
};

// The echo in the transcript's order and bytes. The two questions are the
// ones the file answers: each stands before the line that answers it.
const std::vector<EchoLine>& echoLines() {
  static const std::vector<EchoLine> lines = {
      {2, {T("option for filter : 1 - use filter  2 - no filter")}},
      {6, {T("nevnt="), V("nevnt")}},
      {6, {T("ifilt="), V("ifilt")}},
      {6, {T("fl="), V("fl"), T(" fh="), V("fh"), T(" fs="), V("fs"), T(" ap="), V("ap"), T(" as="), V("as"),
           T("  no.2")}},
      {6, {T("ut="), V("ut"), T(" q(1)="), V("q(1)"), T(" q(2)="), V("q(2)"), T(" q(3)="), V("q(3)")}},
      {6, {T("q(4)="), V("q(4)"), T(" q(5)="), V("q(5)"), T(" q(6)="), V("q(6)"), T("  no.3")}},
      {6, {T("str="), V("str"), T(" dip="), V("dip"), T(" rak="), V("rak"), T(" z="), V("z"), T("  no.4")}},
      {11, {T("ncmpt="), V("ncmpt"), T("  no.5")}},
      {11, {T("stra="), V("stra"), T(" dipa="), V("dipa"), T(" raka="), V("raka"), T("  no.6")}},
      {11, {T("dx="), V("dx"), T(" dw="), V("dw"), T(" tra="), V("tra")}},
      {11, {T("dx0="), V("dx0"), T(" dw0="), V("dw0"), T(" tr0="), V("tr0"), T("  no.7")}},
      {11, {T("nx="), V("nx"), T(" nw="), V("nw"), T(" nt="), V("nt"), T(" ntt="), V("ntt"), T(" nsx="),
            V("nsx"), T(" nsw="), V("nsw"), T(" ns="), V("ns"), T("  no.8")}},
      {11, {T("vs="), V("vs"), T(" vr="), V("vr"), T(" ird="), V("ird"), T(" ipfm="), V("ipfm"), T("  no.9")}},
      {17, {T("SAMPLE(IE-IS<8192) IS(TART),IE(ND),IW(INDOW LENGTH)?")}},
      {18, {V("IS"), V("IE"), V("IW")}},
      {18, {T("fmain="), V("fmain"), T("  no.10")}},
      {18, {T("faft ="), V("faft"), T("  no.11")}},
      {18, {T("rm="), V("rm"), T(" pm="), V("pm"), T(" ra="), V("ra"), T(" pa="), V("pa")}},
      {18, {T("cmp="), V("cmp"), T(" imdl="), V("imdl"), T("  no.12")}},
      {18, {T("ksm="), V("ksm"), T(" kem="), V("kem"), T(" ksa="), V("ksa"), T(" kea="), V("kea"), T(" no.13")}},
  };
  return lines;
}

textio::Value written(const Value& v) {
  return std::visit([](const auto& x) -> textio::Value { return x; }, v);
}

}  // namespace

Reading::Reading() {
  for (const Entry& e : layout()) values_.push_back(initial(e));
}

void Reading::read(textio::Channels& io, int unit) {
  const std::span<const Entry> entries = layout();
  std::size_t k = 0;
  for (int line = 1; line <= kLines; ++line) {
    std::vector<textio::Target> targets;
    const Entry& first = entries[k];
    for (; k < entries.size() && entries[k].line == line; ++k)
      targets.push_back(std::visit([](auto& x) -> textio::Target { return &x; }, values_[k]));
    if (first.type == Type::Text) {
      io.readFormatted(unit, "(a" + std::to_string(first.width) + ")", targets);
    } else {
      io.readList(unit, targets);
    }
    lines_ = line;
  }
  io.close(unit);
}

const Value& Reading::value(std::string_view name) const { return values_[indexOf(name)]; }

model::Params Reading::params() const {
  if (lines_ != kLines) throw std::logic_error("paramfile: the parameters of a file read in part");
  model::Params p;
  const std::span<const Entry> entries = layout();
  for (std::size_t k = 0; k < entries.size(); ++k) entries[k].set(p, values_[k]);
  return p;
}

model::Params readParams(textio::Channels& io, int unit) {
  Reading r;
  r.read(io, unit);
  return r.params();
}

void echo(textio::Channels& io, const Reading& r) {
  for (const EchoLine& line : echoLines()) {
    if (line.after > r.lines()) break;
    std::vector<textio::Value> values;
    for (const EchoItem& item : line.items) values.push_back(item.value ? written(r.value(item.text)) : item.text);
    io.writeList(model::kConsoleOut, values);
  }
}

}  // namespace paramfile
