// The whole program on mutated inputs. Every run must end in one of three
// ways: status 0 with complete figures, status 1 with the I/O layer's fatal
// report, or status 2 with one clear line; no figure file may hold "nan" or
// "inf", and a run that fails leaves no figure file behind. The mutations
// start from a small valid run (see baseInputs) so that a few hundred of
// them stay quick under the sanitizers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "mutation_support.hpp"

namespace {

namespace fs = std::filesystem;
using robustness::Inputs;
using robustness::joinLines;
using robustness::splitLines;

struct Mutation {
  std::string name;
  Inputs in;
};

enum class File { Params, Target, Element };

std::string& fileOf(Inputs& in, File f) {
  return f == File::Params ? in.params : f == File::Target ? in.target : in.element;
}
const std::string& fileOf(const Inputs& in, File f) {
  return f == File::Params ? in.params : f == File::Target ? in.target : in.element;
}
const char* nameOf(File f) {
  return f == File::Params ? "params" : f == File::Target ? "target" : "element";
}

// A mutation of one file of the base inputs.
Mutation mutate(File f, const std::string& what, const std::string& text) {
  Mutation m{std::string(nameOf(f)) + ": " + what, robustness::baseInputs()};
  fileOf(m.in, f) = text;
  return m;
}

// The blank-separated tokens of a line, and the line with token k replaced.
std::vector<std::string> tokens(const std::string& line) {
  std::istringstream s(line);
  std::vector<std::string> t;
  for (std::string w; s >> w;) t.push_back(w);
  return t;
}
std::string withToken(const std::string& line, std::size_t k, const std::string& value) {
  std::vector<std::string> t = tokens(line);
  t.at(k) = value;
  std::string s;
  for (const std::string& w : t) s += (s.empty() ? "" : " ") + w;
  return s;
}

// The lines of the parameter file read in free format (the others are texts).
bool freeFormatLine(std::size_t index) {
  return index != 11 && index != 12 && index != 15 && index != 16;
}

class MutationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("egf_robustness_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  // Runs every mutation and reports each unsound ending with its name.
  void expectSound(const std::vector<Mutation>& mutations) {
    int counts[3] = {0, 0, 0};
    for (const Mutation& m : mutations) {
      const robustness::Outcome o = robustness::runIn(dir_, m.in);
      const std::string v = robustness::verdict(o);
      if (!v.empty()) {
        ADD_FAILURE() << m.name << ": " << v << "\nerror stream:\n" << o.err;
      } else {
        ++counts[o.status];
      }
    }
    std::printf("%zu mutations: %d ended with status 0, %d with status 1, %d with status 2\n",
                mutations.size(), counts[0], counts[1], counts[2]);
  }

  fs::path dir_;
};

TEST_F(MutationTest, TheBaseRunIsCompleteAndSound) {
  const robustness::Outcome o = robustness::runIn(dir_, robustness::baseInputs());
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(robustness::verdict(o), "");
  ASSERT_EQ(o.files.size(), 2u);
  EXPECT_EQ(o.err, "");
}

// Windows line ends (a carriage return before every newline) in every input
// file and in the console answers read exactly as bare newlines.
TEST_F(MutationTest, CarriageReturnLineEndsReadAsBareNewlines) {
  const Inputs base = robustness::baseInputs();
  const robustness::Outcome expected = robustness::runIn(dir_, base);
  ASSERT_EQ(expected.status, 0) << expected.err;
  auto crlf = [](const std::string& text) {
    std::string s;
    for (char c : text) s += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return s;
  };
  Inputs in{crlf(base.answers), crlf(base.params), crlf(base.target), crlf(base.element)};
  const robustness::Outcome o = robustness::runIn(dir_, in);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, expected.out);
  EXPECT_EQ(o.files, expected.files);
}

TEST_F(MutationTest, TruncationAtEveryLine) {
  std::vector<Mutation> ms;
  const Inputs base = robustness::baseInputs();
  for (File f : {File::Params, File::Target, File::Element}) {
    const std::vector<std::string> lines = splitLines(fileOf(base, f));
    // Every line of the parameter file and of the record headers; in the
    // samples every twelfth line is enough, they all read alike.
    for (std::size_t k = 0; k < lines.size(); k += (k < 19 ? 1 : 12)) {
      std::vector<std::string> kept(lines.begin(), lines.begin() + static_cast<long>(k));
      ms.push_back(mutate(f, "first " + std::to_string(k) + " lines", joinLines(kept)));
      // The same cut in the middle of the next line, without its newline.
      if (k < 19 && !lines[k].empty()) {
        ms.push_back(mutate(f, "cut inside line " + std::to_string(k + 1),
                            joinLines(kept) + lines[k].substr(0, lines[k].size() / 2)));
      }
    }
  }
  const std::vector<std::string> answers = splitLines(base.answers);
  for (std::size_t k = 0; k < answers.size(); ++k) {
    Mutation m{"answers: first " + std::to_string(k) + " answers", base};
    m.in.answers = joinLines(std::vector<std::string>(answers.begin(), answers.begin() + static_cast<long>(k)));
    ms.push_back(m);
  }
  expectSound(ms);
}

TEST_F(MutationTest, ByteFlips) {
  std::vector<Mutation> ms;
  std::mt19937 rng(20261206);  // fixed: the same mutations on every run
  const Inputs base = robustness::baseInputs();
  for (File f : {File::Params, File::Target, File::Element}) {
    const std::string text = fileOf(base, f);
    // Records: most flips in the header, where one byte changes the most.
    const std::size_t headerEnd = f == File::Params ? text.size() : text.find("\n", 330);
    for (int n = 0; n < 30; ++n) {
      const std::size_t limit = (n % 4 == 3) ? text.size() : headerEnd;
      const std::size_t pos = std::uniform_int_distribution<std::size_t>(0, limit - 1)(rng);
      const int bit = std::uniform_int_distribution<int>(0, 7)(rng);
      std::string t = text;
      t[pos] = static_cast<char>(t[pos] ^ (1 << bit));
      ms.push_back(mutate(f, "bit " + std::to_string(bit) + " of byte " + std::to_string(pos), t));
    }
  }
  expectSound(ms);
}

TEST_F(MutationTest, VeryLongLines) {
  std::vector<Mutation> ms;
  const Inputs base = robustness::baseInputs();
  for (File f : {File::Params, File::Target, File::Element}) {
    const std::vector<std::string> lines = splitLines(fileOf(base, f));
    const std::size_t n = f == File::Params ? lines.size() : 19;
    for (std::size_t k = 0; k < n; ++k) {
      std::vector<std::string> l = lines;
      // Alternately: a line of 100000 digits, and the line followed by
      // 100000 blanks and a word.
      if (k % 2 == 0) {
        l[k] = std::string(100000, '9');
      } else {
        l[k] += std::string(100000, ' ') + "tail";
      }
      ms.push_back(mutate(f, "line " + std::to_string(k + 1) + " made very long", joinLines(l)));
    }
  }
  Mutation m{"answers: a file name of 100000 characters", base};
  m.in.answers = std::string(100000, 'p') + "\n" + base.answers;
  ms.push_back(m);
  expectSound(ms);
}

TEST_F(MutationTest, HugeTinyAndNonNumbers) {
  const std::vector<std::string> values = {
      "1e39",  "-1e39", "3.4e38", "1e-45", "1e-50",     "2147483648", "-2147483649",
      "99999999999", "nan", "inf",   "-Infinity", "NaN", "0", "-0.0"};
  std::vector<Mutation> ms;
  const Inputs base = robustness::baseInputs();
  const std::vector<std::string> lines = splitLines(base.params);
  std::size_t pick = 0;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (!freeFormatLine(k)) continue;
    const std::size_t count = tokens(lines[k]).size();
    for (std::size_t t = 0; t < count; ++t) {
      // Two values per parameter, cycling through the list.
      for (int r = 0; r < 2; ++r) {
        const std::string& v = values[pick++ % values.size()];
        std::vector<std::string> l = lines;
        l[k] = withToken(lines[k], t, v);
        ms.push_back(mutate(File::Params, "line " + std::to_string(k + 1) + " value " +
                                              std::to_string(t + 1) + " = " + v, joinLines(l)));
      }
    }
  }
  // Records: the rate, the scale factor and a sample. Line 5 (isps) and the
  // scale line are fixed-format fields of ten columns.
  for (File f : {File::Target, File::Element}) {
    const std::vector<std::string> rl = splitLines(fileOf(base, f));
    const std::size_t firstSample = f == File::Target ? 17 : 18;
    for (const std::string& v : values) {
      const std::string field = std::string(v.size() < 10 ? 10 - v.size() : 0, ' ') + v;
      std::vector<std::string> l = rl;
      l[4] = field;
      ms.push_back(mutate(f, "isps " + v, joinLines(l)));
      l = rl;
      l[10] = field;
      ms.push_back(mutate(f, "scale factor " + v, joinLines(l)));
      l = rl;
      const std::size_t w = f == File::Target ? 8 : 10;
      l[firstSample + 3].replace(w * 2, w, std::string(v.size() < w ? w - v.size() : 0, ' ') + v);
      ms.push_back(mutate(f, "third sample of a line = " + v, joinLines(l)));
    }
  }
  expectSound(ms);
}

TEST_F(MutationTest, EmptyFieldsBlankLinesAndNonAsciiBytes) {
  std::vector<Mutation> ms;
  const Inputs base = robustness::baseInputs();
  const std::vector<std::string> lines = splitLines(base.params);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    std::vector<std::string> l = lines;
    l[k] = "      ";
    ms.push_back(mutate(File::Params, "line " + std::to_string(k + 1) + " only blanks", joinLines(l)));
    l = lines;
    l.insert(l.begin() + static_cast<long>(k), "");
    ms.push_back(mutate(File::Params, "empty line before line " + std::to_string(k + 1), joinLines(l)));
    l = lines;
    l[k] = "\xc3\xa9" + lines[k];
    ms.push_back(mutate(File::Params, "line " + std::to_string(k + 1) + " led by a UTF-8 letter", joinLines(l)));
    l = lines;
    l[k] = lines[k] + " \xff\xfe\x01";
    ms.push_back(mutate(File::Params, "line " + std::to_string(k + 1) + " ending in stray bytes", joinLines(l)));
    if (freeFormatLine(k)) {
      // Commas between the values with the first one left empty: a null
      // value, which leaves the parameter at its start value.
      std::vector<std::string> t = tokens(lines[k]);
      std::string commas = ",";
      for (std::size_t i = 1; i < t.size(); ++i) commas += t[i] + ",";
      l = lines;
      l[k] = commas;
      ms.push_back(mutate(File::Params, "line " + std::to_string(k + 1) + " first field empty", joinLines(l)));
      l = lines;
      l[k] = "/";
      ms.push_back(mutate(File::Params, "line " + std::to_string(k + 1) + " ended by a slash", joinLines(l)));
    }
  }
  for (File f : {File::Target, File::Element}) {
    const std::vector<std::string> rl = splitLines(fileOf(base, f));
    for (std::size_t k = f == File::Target ? 0 : 1; k < 19; k += 2) {
      std::vector<std::string> l = rl;
      l[k] = "          ";
      ms.push_back(mutate(f, "line " + std::to_string(k + 1) + " only blanks", joinLines(l)));
      l = rl;
      l[k] = "\xe2\x80\x83\xff" + rl[k];
      ms.push_back(mutate(f, "line " + std::to_string(k + 1) + " led by non-ASCII bytes", joinLines(l)));
    }
  }
  Mutation m{"answers: a non-ASCII parameter file name", base};
  m.in.answers = "p\xc3\xa4rams.txt\n" + base.answers.substr(base.answers.find('\n') + 1);
  ms.push_back(m);
  expectSound(ms);
}

// A record whose sample count disagrees with the samples it holds.
TEST_F(MutationTest, SampleCountDisagreesWithSamples) {
  std::vector<Mutation> ms;
  const Inputs base = robustness::baseInputs();
  for (File f : {File::Target, File::Element}) {
    const std::vector<std::string> rl = splitLines(fileOf(base, f));
    const int n = f == File::Target ? 400 : 300;
    for (long v : {long(n) - 1, long(n) + 1, long(n) + 9, 2L * n, 1L, 0L, -1L, 15000L, 15001L,
                   20001L, 2147483647L, 2147483648L}) {
      std::vector<std::string> l = rl;
      const std::string s = std::to_string(v);
      l[5] = std::string(10 - s.size(), ' ') + s;
      ms.push_back(mutate(f, "npts " + s, joinLines(l)));
    }
  }
  expectSound(ms);
}

// A figure that cannot be written ends the run with the fatal report and
// status 1, and no figure file is left as if it were complete.
class FigureTest : public MutationTest {
 protected:
  void SetUp() override {
    MutationTest::SetUp();
    const Inputs base = robustness::baseInputs();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    for (const auto& [name, text] : {std::pair{"params.txt", base.params},
                                     {"target.kib", base.target}, {"element.kib", base.element}}) {
      std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    ::chmod(dir_.c_str(), 0755);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  fs::path old_;
};

TEST_F(FigureTest, NameTakenByAFolder) {
  fs::create_directory("fort.21");
  const robustness::Outcome o = robustness::runHere(robustness::baseInputs().answers);
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(robustness::verdict(o), "");
  EXPECT_NE(o.err.find("unit 21"), std::string::npos) << o.err;
  EXPECT_TRUE(o.files.empty());
}

TEST_F(FigureTest, ReadOnlyFolder) {
  ::chmod(".", 0555);
  // The superuser writes into a read-only folder all the same; the case
  // only means something where the folder really refuses a new file.
  std::FILE* probe = std::fopen("probe", "w");
  if (probe != nullptr) {
    std::fclose(probe);
    std::remove("probe");
    GTEST_SKIP() << "this user may write into a read-only folder";
  }
  const robustness::Outcome o = robustness::runHere(robustness::baseInputs().answers);
  EXPECT_EQ(o.status, 1) << o.err;
  EXPECT_EQ(robustness::verdict(o), "");
  EXPECT_NE(o.err.find("unit 21"), std::string::npos) << o.err;
  EXPECT_TRUE(o.files.empty());
}

}  // namespace
