// The parameter file's one table: a rewritten file reads back as exactly the
// parameters set by name, for every value; the uses the table claims are
// what the stages do; the checks report a file's first unusable number
// before any range; the echo ends where the reading ended.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <variant>

#include "core/simulation.hpp"
#include "paramfile/paramfile.hpp"
#include "support/console.hpp"
#include "support/files.hpp"

namespace {

namespace fs = std::filesystem;
using paramfile::Entry;
using paramfile::Type;
using Change = std::variant<double, std::string>;

const fs::path kExamples = fs::path(EGF_TEST_SOURCE_DIR) / "examples";

model::Params readBack(const fs::path& file) {
  textio::Channels io;
  io.open(paramfile::kUnit, file.string());
  return paramfile::readParams(io, paramfile::kUnit);
}

// A value the example does not hold, of the entry's own type.
Change newValue(const Entry& e) {
  switch (e.type) {
    case Type::Integer:
      return 7.0;
    case Type::Real:
      return 0.1 + 0.2;  // the float nearest 0.3, written "0.3"
    case Type::Angle:
      return 123.456;
    case Type::Text:
      break;
  }
  return std::string("records/new.kib").substr(0, static_cast<std::size_t>(e.width));
}

void setByName(model::Params& p, std::string_view name, const Change& v) {
  std::visit([&](const auto& x) { paramfile::set(p, name, x); }, v);
}

// The example spelled as the reader also takes it: line 5 ended by a slash
// (q(2) to q(6) left unset), line 7 with a repeat count far beyond its one
// value, line 10 over two lines with a repeat count and commas, a note
// after line 14's values.
std::string awkward(std::string text) {
  text.replace(text.find("1.0 0.0 0.0 0.0 0.0 0.0 0.0"), 27, "1.0, 0.0 / six values");
  text.replace(text.find("\n1\n30.0"), 7, "\n2000000000*1\n30.0");
  text.replace(text.find("10 10 10 0 3 5 0 1.0"), 20, "3*10, 0\n3 5 , 0 1.0");
  text.replace(text.find("20.0 60.0 20.0 60.0 90.0 3"), 26, "20.0 60.0 20.0 60.0 90.0 3 station");
  return text;
}

TEST(Rewrite, EveryValueReadsBackAsSetByName) {
  testsupport::TempFolder dir;
  const fs::path in = dir.path() / "in.txt", out = dir.path() / "out.txt";
  const std::string example = testsupport::readFile(kExamples / "params.txt");
  for (const std::string& text : {example, awkward(example)}) {
    testsupport::writeFile(in, text);
    const model::Params original = readBack(in);
    model::Params all = original;
    paramfile::Changes every;
    for (const Entry& e : paramfile::layout()) {
      const Change v = newValue(e);
      model::Params expected = original;
      setByName(expected, e.name, v);
      setByName(all, e.name, v);
      every[std::string(e.name)] = v;
      testsupport::writeFile(out, paramfile::rewrite(in, {{std::string(e.name), v}}));
      EXPECT_EQ(readBack(out), expected) << e.name;
    }
    testsupport::writeFile(out, paramfile::rewrite(in, every));
    EXPECT_EQ(readBack(out), all);
  }
}

TEST(Rewrite, KeepsEveryLineWithoutAChangeAndTheOtherValuesAsWritten) {
  testsupport::TempFolder dir;
  const fs::path in = dir.path() / "in.txt";
  const std::string example = testsupport::readFile(kExamples / "params.txt");
  testsupport::writeFile(in, awkward(example) + "a last line\n");
  const std::string out = paramfile::rewrite(in, {{"nsx", 8.0}, {"vr", 3.1}, {"faft", std::string("../e.kib")}});
  std::string expected = awkward(example) + "a last line\n";
  expected.replace(expected.find("3*10, 0\n3 5 , 0 1.0"), 19, "10 10 10 0 8 5 0 1.0");
  expected.replace(expected.find("3.5 2.8 2 1"), 11, "3.5 3.1 2 1");
  expected.replace(expected.find("element.kib"), 11, "../e.kib");
  EXPECT_EQ(out, expected);

  const auto texts = paramfile::valueTexts(in);
  EXPECT_EQ(texts.at("nw"), "10");
  EXPECT_EQ(texts.at("q(2)"), "0") << "left unset by the slash";
  EXPECT_EQ(texts.at("cfac"), "1.0");
  EXPECT_EQ(texts.at("ncmpt"), "1");
}

TEST(Rewrite, RefusesAChangeTheReaderCouldNotTakeBack) {
  testsupport::TempFolder dir;
  const fs::path in = kExamples / "params.txt";
  const std::pair<const char*, Change> cases[] = {
      {"nx", 2.5},        {"nx", 1e10},          {"vr", INFINITY},
      {"fmain", 1.0},     {"vr", std::string("3")}, {"ttl1", std::string("SEVEN..")},
      {"nonesuch", 1.0}, {"faft", std::string("a\nb")},
  };
  for (const auto& [name, v] : cases) EXPECT_THROW(paramfile::rewrite(in, {{name, v}}), std::logic_error) << name;
}

// The reader's own conversions, against values worked out by hand.
TEST(Set, ConvertsAsTheReaderDoes) {
  const struct {
    const char* name;
    double value;
    float model::Params::*field;
    float want;
  } reals[] = {
      // (Angles and other reals: Rewrite.EveryValueReadsBackAsSetByName.)
      {"cmp", 1000, &model::Params::cmp, 1000.0f},  // the vertical markers stay
      {"cmp", -1000, &model::Params::cmp, -1000.0f},
      {"z", 1e39, &model::Params::z, INFINITY},  // as the reader rounds "1e39"
  };
  for (const auto& c : reals) {
    model::Params p;
    paramfile::set(p, c.name, c.value);
    EXPECT_EQ(p.*c.field, c.want) << c.name << " " << c.value;
  }
  model::Params p;
  paramfile::set(p, "ipfm", -3);
  EXPECT_EQ(p.ipfm, model::Radiation::NotCorrected);
  paramfile::set(p, "ipfm", 2);
  EXPECT_EQ(p.ipfm, model::Radiation::SignOnly);
}

TEST(ValueText, ShortestTextThatReadsBackAsTheSameFloat) {
  const struct {
    Type type;
    double value;
    const char* text;
  } cases[] = {{Type::Real, 2.0 + 8 * 0.1, "2.8"}, {Type::Real, 0.1 + 0.2, "0.3"},
               {Type::Angle, 45, "45.0"},         {Type::Integer, 7, "7"},
               {Type::Real, 1.3937076, "1.3937076"}, {Type::Real, 2e-7, "2e-07"},
               {Type::Real, 10, "10.0"},             {Type::Real, -300, "-300.0"},
               {Type::Real, 1.5e9, "1.5e+09"}};
  for (const auto& c : cases) EXPECT_EQ(paramfile::valueText(c.type, c.value), c.text) << c.value;
}

// Each value changed a little, one at a time, and the example run again:
// the synthetic changes exactly when the table says the value shapes it,
// the fits exactly when it shapes the synthetic or the compared windows.
TEST(Layout, UsesAreWhatTheStagesDo) {
  textio::Channels io;
  io.open(paramfile::kUnit, (kExamples / "params.txt").string());
  paramfile::Reading reading;
  reading.read(io, paramfile::kUnit);
  const model::Params p = reading.params();
  records::RecordHeader h;
  const auto target = records::readRecordFile(io, 10, (kExamples / "target.kib").string(), h);
  const auto element = records::readRecordFile(io, 20, (kExamples / "element.kib").string(), h);
  auto run = [&](const model::Params& q) {
    const core::PreparedRecords r = core::prepareRecords(q, target, element);
    return core::simulate(q, r.target, r.element);
  };
  const core::Simulation base = run(p);
  for (const Entry& e : paramfile::layout()) {
    if (e.type == Type::Text) continue;
    const paramfile::Value& v = reading.value(e.name);
    model::Params q = p;
    if (e.name == "ird" || e.name == "ns") {
      // ird has only 1 and 2; a synthetic of ns 1 sample would be refused.
      paramfile::set(q, e.name, e.name == "ird" ? 1 : 3000);
    } else if (e.type == Type::Integer) {
      paramfile::set(q, e.name, std::get<int>(v) + 1);
    } else {
      paramfile::set(q, e.name, std::get<float>(v) * 1.1 + 0.25);
    }
    SCOPED_TRACE(e.name);
    const core::Simulation s = run(q);
    const bool shapes = (e.use & paramfile::kShapesSynthetic) != 0;
    const bool compared = shapes || (e.use & paramfile::kComparison) != 0;
    const bool synthetic = s.synthetic.motion.acc != base.synthetic.motion.acc;
    bool fits = false;
    for (int k = 0; k < 3; ++k)
      fits = fits || s.fits[k].res != base.fits[k].res || s.fits[k].cor != base.fits[k].cor;
    EXPECT_EQ(synthetic, shapes) << e.name;
    EXPECT_EQ(fits, compared) << e.name;
  }
}

// Every value's form is checked before any range, so a file's unusable
// number is reported before a count out of range on an earlier line.
TEST(Check, FormsBeforeRangesAndTheTaperOnlyWithASpectrum) {
  const model::Params example = readBack(kExamples / "params.txt");
  const struct {
    std::vector<std::pair<const char*, double>> values;
    const char* message;  // "" when the set passes
  } cases[] = {
      {{{"nx", 0}, {"pa", 1e39}}, "pa = inf: must be a finite number"},
      {{{"nx", 0}, {"vs", 0}}, "nx = 0: allowed 1 to 30"},
      {{{"IW", 4001}}, "IW = 4001: the taper must be shorter than the shorter spectrum window (4001 samples)"},
      {{{"IW", 4001}, {"iuspc", 0}}, ""},
      {{{"kem", 399}}, "kem = 399: allowed 400 to 15000"},
  };
  for (const auto& c : cases) {
    model::Params p = example;
    for (const auto& [name, value] : c.values) paramfile::set(p, name, value);
    std::string message;
    try {
      paramfile::check(p, "p.txt");
    } catch (const textio::InputRejected& e) {
      message = e.message;
    }
    EXPECT_EQ(message, *c.message ? std::string("parameter file p.txt: ") + c.message : "");
  }
}

// A file cut short: the echo holds what was read before the end, and the
// question before the line that was missing (cut after line 18: a golden run).
TEST(Echo, EndsWhereTheReadingEnded) {
  testsupport::TempFolder dir;
  std::istringstream example(testsupport::readFile(kExamples / "params.txt"));
  std::vector<std::string> lines;
  for (std::string l; std::getline(example, l);) lines.push_back(l);
  const struct {
    int keep;
    std::size_t echoLines;
    const char* last;
  } cases[] = {{1, 0, ""},
               {2, 1, " option for filter : 1 - use filter  2 - no filter"},
               {6, 7, " str=  30. dip=  45. rak=  90. z=  10.  no.4"}};
  for (const auto& c : cases) {
    std::string text;
    for (int k = 0; k < c.keep; ++k) text += lines[static_cast<std::size_t>(k)] + "\n";
    testsupport::writeFile(dir.path() / "cut.txt", text);
    testsupport::StringConsole console;
    console.io.open(paramfile::kUnit, (dir.path() / "cut.txt").string());
    paramfile::Reading r;
    EXPECT_THROW(r.read(console.io, paramfile::kUnit), textio::IoError);
    EXPECT_EQ(r.lines(), c.keep);
    paramfile::echo(console.io, r);
    const auto echoed = console.outLines();
    EXPECT_EQ(echoed.size(), c.echoLines) << c.keep;
    EXPECT_EQ(echoed.empty() ? "" : echoed.back(), c.last) << c.keep;
  }
}

}  // namespace

// A whole file composed from the values of the example, given as numbers
// and texts, reads back as the example itself.
TEST(Compose, TheExampleFromItsValuesReadsBackAsTheExample) {
  testsupport::TempFolder dir;
  paramfile::Changes values;
  for (const auto& [name, text] : paramfile::valueTexts(kExamples / "params.txt")) {
    if (paramfile::entry(name).type == Type::Text) values[name] = text;
    else values[name] = std::strtod(text.c_str(), nullptr);
  }
  testsupport::writeFile(dir.path() / "composed.txt", paramfile::compose(values));
  EXPECT_EQ(readBack(dir.path() / "composed.txt"), readBack(kExamples / "params.txt"));
  values.erase("kea");
  EXPECT_THROW(paramfile::compose(values), std::logic_error);
}
