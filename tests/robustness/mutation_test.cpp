// The whole program on mutated inputs. Every run must end with status 0 and
// complete figures free of "nan" and "inf", with status 1 and the I/O layer's
// fatal report, or with status 2 and one clear line; a failed run leaves no
// figure file. The mutations start from a small valid run so that they stay
// quick under the sanitizers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <functional>
#include <iterator>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "run/driver.hpp"

namespace {

namespace fs = std::filesystem;

template <class... A>
std::string fmt(const char* f, A... a) {
  char buf[256];
  std::snprintf(buf, sizeof buf, f, a...);
  return buf;
}

// A KIBTRACE record of a decaying two-tone wave: sixteen header lines, nskip
// free lines, then the samples, perLine to a line (integers or %10.4f).
std::string record(int n, const char* sfmt, const char* scale, const char* dfmt, int nskip,
                   int perLine, bool integers, double amp, double f1, double f2) {
  std::string r = "KIBTRACE FORMAT\nEW \n2000/01/01 00:00\nEXS  MUTATION SITE\n       100\n" +
                  fmt("%10d\n%-24s\n%-24s\n    29.995\n%-10sgal  \n%s\n%-10s\n", n,
                      "ROBUSTNESS RECORD", "XX.EXS HNE 090deg", sfmt, scale, dfmt) +
                  "XX        EXS       HNE       \nrobustness          \ndt=0.01000 \n" +
                  fmt("%10d\n", nskip);
  for (int i = 1; i <= nskip; ++i) r += fmt("free text line %d\n", i);
  const double twoPi = 6.283185307179586;
  for (int i = 0; i < n; ++i) {
    const double t = i * 0.01;
    const double w = amp * (std::exp(-t) * (std::sin(twoPi * f1 * t) + 0.5 * std::cos(twoPi * f2 * t)));
    r += integers ? fmt("%8ld", std::lround(w)) : fmt("%10.4f", w);
    if (i % perLine == perLine - 1 || i == n - 1) r += '\n';
  }
  return r;
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, nl; start < text.size(); start = nl + 1) {
    nl = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, nl - start));
  }
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

struct Inputs {
  std::string answers, params, target, element;
};

Inputs baseInputs() {
  return {"params.txt\nobserved.dat\nrobustness target\nsynthetic.dat\nrobustness synthetic\n",
          "21 22\n1 4.0\n1\n0.5 10.0 15.0 0.5 5.0\n1.0 0.0 0.0 0.0 0.0 0.0 0.0\n"
          "30.0 45.0 90.0 10.0\n1\n30.0 45.0 90.0 10.0\n1.5 1.5 0.05 0.0 0.0 0.0\n"
          "2 2 2 0 1 1 0 1.0\n3.5 2.8 2 1\ntarget.kib\nelement.kib\n"
          "20.0 60.0 20.0 60.0 90.0 3\n50 350 50 250\nMUTANT\nEXS EW\n50 350 20\n",
          record(400, "F10.6", "  0.001000", "10I8", 1, 10, true, 20000.0, 2.0, 5.0),
          record(300, "*", "1.0", "8F10.4", 2, 8, false, 3.0, 4.0, 7.0)};
}

struct Outcome {
  int status = -1;
  std::string out, err, unexpected;  // unexpected: what() of any other exception
  std::vector<std::pair<std::string, std::string>> files;  // every fort.* file: name, text
};

// Writes the inputs into `dir`, calls `prepare` there, runs the program
// in-process, collects the figure files and removes the folder.
Outcome runIn(const fs::path& dir, const Inputs& in, const std::function<void()>& prepare = {}) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "params.txt", std::ios::binary) << in.params;
  std::ofstream(dir / "target.kib", std::ios::binary) << in.target;
  std::ofstream(dir / "element.kib", std::ios::binary) << in.element;
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  if (prepare) prepare();
  Outcome o;
  std::istringstream answers(in.answers);
  std::ostringstream out, err;
  try {
    o.status = run::runProgram(answers, out, err);
  } catch (const std::exception& e) {
    o.unexpected = e.what();
  }
  o.out = out.str();
  o.err = err.str();
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("fort.") && entry.is_regular_file())
      o.files.emplace_back(name, slurp(entry.path()));
  }
  fs::current_path(old);
  fs::remove_all(dir);
  return o;
}

// Empty when the run ended in one of the three allowed ways.
std::string verdict(const Outcome& o) {
  if (!o.unexpected.empty()) return "unexpected exception: " + o.unexpected;
  for (const auto& [name, text] : o.files) {
    // Figures are renamed into place only when complete.
    if (name.find(".tmp") != std::string::npos) return "half-written figure left: " + name;
    if (o.status != 0) return "figure " + name + " left behind by a failed run";
    // The texts of the base inputs hold neither word, in any case.
    std::string low = text;
    for (char& c : low) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : {"nan", "inf"}) {
      if (const std::size_t p = low.find(word); p != std::string::npos)
        return "figure " + name + " holds \"" + text.substr(p < 30 ? 0 : p - 30, 60) + "\"";
    }
    if (!text.ends_with(" showpage\n")) return "figure " + name + " is not a complete page";
  }
  std::vector<std::string> lines = splitLines(o.err);
  switch (o.status) {
    case 0:
      return "";
    case 1:  // "context: message", "apparent state: ...", ..., "lately ... IO",
             // then, for a read from a file, "egfsim: FILE line N: TEXT" or
             // "egfsim: FILE ends after line N"
      if (!lines.empty() && lines.back().starts_with("egfsim: ") &&
          lines.back().find(" line ") != std::string::npos)
        lines.pop_back();
      if (lines.size() >= 3 && lines[0].find(": ") != std::string::npos &&
          lines[1].starts_with("apparent state: ") && lines.back().starts_with("lately "))
        return "";
      return "status 1 without the fatal report: \"" + o.err + "\"";
    case 2:
      if (lines.size() == 1 && o.err.ends_with('\n') && o.err.starts_with("egfsim: ") &&
          o.err.size() > 13)
        return "";
      return "status 2 without one clear line: \"" + o.err + "\"";
    default:
      return "exit status " + std::to_string(o.status);
  }
}

enum File { Params, Target, Element };
const char* const kFileNames[] = {"params", "target", "element"};

std::string& fileOf(Inputs& in, int f) {
  return f == Params ? in.params : f == Target ? in.target : in.element;
}
std::vector<std::string> linesOf(int f) {
  Inputs base = baseInputs();
  return splitLines(fileOf(base, f));
}

struct Mutation {
  std::string name;
  Inputs in;
};

// The base inputs with file f (or the answers, f < 0) replaced.
Mutation mutate(int f, const std::string& what, const std::string& text) {
  Mutation m{(f < 0 ? "answers" : kFileNames[f]) + std::string(": ") + what, baseInputs()};
  (f < 0 ? m.in.answers : fileOf(m.in, f)) = text;
  return m;
}
Mutation mutate(int f, const std::string& what, const std::vector<std::string>& lines) {
  return mutate(f, what, joinLines(lines));
}

std::vector<std::string> tokens(const std::string& line) {
  std::istringstream s(line);
  std::vector<std::string> t;
  for (std::string w; s >> w;) t.push_back(w);
  return t;
}

// Lines 12, 13, 16 and 17 of the parameter file are texts; the rest are
// read in free format.
bool freeFormatLine(std::size_t k) { return k != 11 && k != 12 && k != 15 && k != 16; }

std::string rightIn(const std::string& v, std::size_t width) {
  return std::string(v.size() < width ? width - v.size() : 0, ' ') + v;
}

const fs::path kDir = fs::temp_directory_path() / ("egf_robustness_" + std::to_string(::getpid()));

void expectSound(const std::vector<Mutation>& mutations) {
  int counts[3] = {0, 0, 0};
  for (const Mutation& m : mutations) {
    const Outcome o = runIn(kDir, m.in);
    const std::string v = verdict(o);
    if (v.empty()) ++counts[o.status];
    else ADD_FAILURE() << m.name << ": " << v << "\nerror stream:\n" << o.err;
  }
  std::printf("%zu mutations: %d ended with status 0, %d with 1, %d with 2\n", mutations.size(),
              counts[0], counts[1], counts[2]);
}

// The base run is complete; with a carriage return before every newline in
// every file and in the answers it reads and writes exactly the same.
TEST(Mutation, BaseRunAndCarriageReturnLineEnds) {
  const Inputs base = baseInputs();
  const Outcome expected = runIn(kDir, base);
  ASSERT_EQ(expected.status, 0) << expected.err;
  EXPECT_EQ(verdict(expected), "");
  EXPECT_EQ(expected.files.size(), 2u);
  EXPECT_EQ(expected.err, "");
  auto crlf = [](const std::string& text) {
    std::string s;
    for (char c : text) s += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return s;
  };
  const Outcome o =
      runIn(kDir, {crlf(base.answers), crlf(base.params), crlf(base.target), crlf(base.element)});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, expected.out);
  EXPECT_EQ(o.files, expected.files);
}

TEST(Mutation, TruncationAtEveryLine) {
  std::vector<Mutation> ms;
  for (int f = -1; f <= Element; ++f) {
    const std::vector<std::string> lines = f < 0 ? splitLines(baseInputs().answers) : linesOf(f);
    // Every line of the parameter file and of the record headers; of the
    // samples, which all read alike, every twelfth.
    for (std::size_t k = 0; k < lines.size(); k += (k < 19 ? 1 : 12)) {
      const std::string kept = joinLines({lines.begin(), lines.begin() + static_cast<long>(k)});
      ms.push_back(mutate(f, "first " + std::to_string(k) + " lines", kept));
      if (f >= 0 && k < 19 && !lines[k].empty())
        ms.push_back(mutate(f, "cut inside line " + std::to_string(k + 1),
                            kept + lines[k].substr(0, lines[k].size() / 2)));
    }
  }
  expectSound(ms);
}

TEST(Mutation, ByteFlips) {
  std::vector<Mutation> ms;
  std::mt19937 rng(20261206);  // the same mutations on every run
  for (int f : {Params, Target, Element}) {
    Inputs base = baseInputs();
    const std::string text = fileOf(base, f);
    // In the records three flips in four land in the header.
    const std::size_t headerEnd = f == Params ? text.size() : text.find('\n', 330);
    for (int n = 0; n < 20; ++n) {
      const std::size_t limit = n % 4 == 3 ? text.size() : headerEnd;
      const std::size_t pos = std::uniform_int_distribution<std::size_t>(0, limit - 1)(rng);
      const int bit = std::uniform_int_distribution<int>(0, 7)(rng);
      std::string t = text;
      t[pos] = static_cast<char>(t[pos] ^ (1 << bit));
      ms.push_back(mutate(f, "bit " + std::to_string(bit) + " of byte " + std::to_string(pos), t));
    }
  }
  expectSound(ms);
}

TEST(Mutation, VeryLongLines) {
  std::vector<Mutation> ms;
  for (int f : {Params, Target, Element}) {
    const std::vector<std::string> lines = linesOf(f);
    for (std::size_t k = 0; k < (f == Params ? lines.size() : 19); ++k) {
      // Alternately 100000 digits, and the line followed by 100000 blanks and a word.
      std::vector<std::string> l = lines;
      l[k] = k % 2 == 0 ? std::string(100000, '9') : l[k] + std::string(100000, ' ') + "tail";
      ms.push_back(mutate(f, "line " + std::to_string(k + 1) + " made very long", l));
    }
  }
  ms.push_back(mutate(-1, "a file name of 100000 characters",
                      std::string(100000, 'p') + "\n" + baseInputs().answers));
  expectSound(ms);
}

TEST(Mutation, HugeTinyAndNonNumbers) {
  const std::vector<std::string> values = {"1e39", "-1e39", "3.4e38", "1e-45", "1e-50",
                                           "2147483648", "-2147483649", "99999999999", "nan",
                                           "inf", "-Infinity", "NaN", "0", "-0.0"};
  std::vector<Mutation> ms;
  const std::vector<std::string> lines = linesOf(Params);
  std::size_t pick = 0;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (!freeFormatLine(k)) continue;
    const std::vector<std::string> t = tokens(lines[k]);
    for (std::size_t i = 0; i < t.size(); ++i) {  // one value per parameter, cycling
      const std::string& v = values[pick++ % values.size()];
      std::vector<std::string> l = lines;
      l[k].clear();
      for (std::size_t j = 0; j < t.size(); ++j) l[k] += (j == i ? v : t[j]) + " ";
      ms.push_back(mutate(Params, "line " + std::to_string(k + 1) + " value " +
                                      std::to_string(i + 1) + " = " + v, l));
    }
  }
  // The records: the rate (line 5) and scale factor (line 11), fixed fields
  // of ten columns, and the third sample of a line.
  for (int f : {Target, Element}) {
    const std::vector<std::string> rl = linesOf(f);
    const std::size_t sampleLine = f == Target ? 20 : 21, w = f == Target ? 8 : 10;
    for (const std::string& v : values) {
      std::vector<std::string> a = rl, b = rl, c = rl;
      a[4] = rightIn(v, 10);
      b[10] = rightIn(v, 10);
      c[sampleLine].replace(2 * w, w, rightIn(v, w));
      ms.push_back(mutate(f, "isps " + v, a));
      ms.push_back(mutate(f, "scale factor " + v, b));
      ms.push_back(mutate(f, "a sample " + v, c));
    }
  }
  expectSound(ms);
}

TEST(Mutation, EmptyFieldsBlankLinesAndNonAsciiBytes) {
  std::vector<Mutation> ms;
  const std::vector<std::string> lines = linesOf(Params);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string at = "line " + std::to_string(k + 1);
    std::vector<std::string> blank = lines, inserted = lines, foreign = lines;
    blank[k] = "      ";
    inserted.insert(inserted.begin() + static_cast<long>(k), "");
    // Alternately a leading UTF-8 letter and trailing stray bytes.
    foreign[k] = k % 2 == 0 ? "\xc3\xa9" + lines[k] : lines[k] + " \xff\xfe\x01";
    ms.push_back(mutate(Params, at + " only blanks", blank));
    ms.push_back(mutate(Params, "empty line before " + at, inserted));
    ms.push_back(mutate(Params, at + " with non-ASCII bytes", foreign));
    if (freeFormatLine(k)) {
      // A null first value (leaves the parameter at its start value), or a
      // slash ending the list at once.
      std::vector<std::string> t = tokens(lines[k]), nulled = lines;
      nulled[k] = k % 3 == 0 ? "/" : ",";
      if (k % 3 != 0)
        for (std::size_t i = 1; i < t.size(); ++i) nulled[k] += t[i] + ",";
      ms.push_back(mutate(Params, at + " = \"" + nulled[k] + "\"", nulled));
    }
  }
  for (int f : {Target, Element}) {
    const std::vector<std::string> rl = linesOf(f);
    for (std::size_t k = f == Target ? 0 : 1; k < 19; k += 2) {
      std::vector<std::string> blank = rl, foreign = rl;
      blank[k] = "          ";
      foreign[k] = "\xe2\x80\x83\xff" + rl[k];
      ms.push_back(mutate(f, "line " + std::to_string(k + 1) + " only blanks", blank));
      ms.push_back(mutate(f, "line " + std::to_string(k + 1) + " led by non-ASCII", foreign));
    }
  }
  const std::string answers = baseInputs().answers;
  ms.push_back(mutate(-1, "a non-ASCII parameter file name",
                      "p\xc3\xa4rams.txt\n" + answers.substr(answers.find('\n') + 1)));
  expectSound(ms);
}

TEST(Mutation, SampleCountDisagreesWithSamples) {
  std::vector<Mutation> ms;
  for (int f : {Target, Element}) {
    const long n = f == Target ? 400 : 300;
    for (long v : {n - 1, n + 1, n + 9, 2 * n, 1L, 0L, -1L, 15000L, 15001L, 20001L, 2147483647L,
                   2147483648L}) {
      std::vector<std::string> l = linesOf(f);
      l[5] = rightIn(std::to_string(v), 10);
      ms.push_back(mutate(f, "npts " + std::to_string(v), l));
    }
  }
  expectSound(ms);
}

// A figure that cannot be written (its name is taken by a folder) ends the
// run with the fatal report naming the unit, and leaves no figure behind.
TEST(Mutation, UnwritableFigure) {
  const Outcome o = runIn(kDir, baseInputs(), [] { fs::create_directory("fort.21"); });
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(verdict(o), "");
  EXPECT_NE(o.err.find("unit 21"), std::string::npos) << o.err;
  EXPECT_TRUE(o.files.empty());
}

// Findings: finite samples that overflow later (the integral of the element
// record; the sum of subfault copies with a large amplitude factor) ended
// with status 0 and "Res.=nan" in the figure; now status 2 with one line.
TEST(Findings, OverflowAfterReadingIsRefused) {
  Inputs sample = baseInputs(), sum = baseInputs();
  std::size_t pos = 0;  // the second sample of the first sample line
  for (int k = 0; k < 18; ++k) pos = sample.element.find('\n', pos) + 1;
  sample.element.replace(pos + 20, 10, "    3.0e38");
  sum.element.replace(sum.element.find("\n1.0\n"), 5, "\n1.0e25\n");  // ra = 1e15 km
  sum.params.replace(sum.params.find("20.0 60.0 20.0 60.0"), 19, "20.0 60.0 1e15 60.0");
  for (const auto& [in, says] :
       {std::pair{sample, "record file element.kib: the samples are too large"},
        std::pair{sum, "the synthetic motion overflows single precision"}}) {
    const Outcome o = runIn(kDir, in);
    EXPECT_EQ(o.status, 2) << o.err;
    EXPECT_NE(o.err.find(says), std::string::npos) << o.err;
    EXPECT_EQ(verdict(o), "");
  }
}

}  // namespace
