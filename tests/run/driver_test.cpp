// The dialogue and the parameter file, run through the whole driver: the
// transcript up to the first record, line for line, and the ways a run that
// cannot go on ends (fatal I/O report, status 1; rejected value, status 2).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <algorithm>

#include "run/driver.hpp"

namespace {

namespace fs = std::filesystem;

// Runs the program in a fresh folder with the given dialogue answers.
struct Outcome {
  int status = -1;
  std::string out, err;
};

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("egf_driver_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  static void write(const std::string& name, const std::string& text) { std::ofstream(name) << text; }
  static Outcome run(const std::string& answers) {
    std::istringstream in(answers);
    std::ostringstream out, err;
    Outcome r;
    r.status = run::runProgram(in, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }
  static std::string pad(const std::string& s, size_t n) { return s + std::string(n - s.size(), ' '); }

  fs::path dir_, old_;
};

// A parameter file whose line 3 holds an extra value, whose line 4 is split
// over two lines and whose line 5 carries a value too many.
const char* const kParams =
    "21 0\n"
    "1 6.0\n"
    "1 2\n"
    "0.1 10.0\n"
    "  15.0 0.5 5.0\n"
    "1.0 0.0 0.0 0.0 0.0 0.0 0.0 99\n"
    "320.8 83.9 -171.3 8.0\n"
    "1\n"
    "320.8 83.9 -171.3 0.88\n"
    "5.0 1.3 0.15 0.0 0.0 0.0\n"
    "11 11 11 0 7 6 0 1.05\n"
    "3.5 2.5 2 0\n"
    "target.kib\n"
    "element.kib\n"
    "5.14 1.8 10.81 338.5 90.0 3\n"
    "500 4300 500 4300\n"
    "RIDGECREST\n"
    "CLC EW extra columns\n"
    "500 4300 100\n";

const char* const kAnswers = "run.prm\nobs.dat\nfirst comment\nsyn.dat\n\n";

TEST_F(DriverTest, EchoesDialogueAndParameterFileThenReportsMissingRecord) {
  write("run.prm", kParams);
  const Outcome r = run(kAnswers);

  const std::string expected =
      "  input filename of input parameters\n"
      " " + pad("run.prm", 80) + "\n"
      "  input filename for saving observed data\n"
      " " + pad("obs.dat", 80) + "\n"
      "  input a comment for observed data\n"
      " " + pad("first comment", 52) + "\n"
      "  input filename for saving synthetic data\n"
      " " + pad("syn.dat", 80) + "\n"
      "  input a comment for synthetic data\n"
      " " + pad("", 52) + "\n"
      " option for filter : 1 - use filter  2 - no filter\n"
      " nevnt= 1\n"
      " ifilt= 1\n"
      " fl=  0.100000001 fh=  10. fs=  15. ap=  0.5 as=  5.  no.2\n"
      " ut=  1. q(1)=  0. q(2)=  0. q(3)=  0.\n"
      " q(4)=  0. q(5)=  0. q(6)=  0.  no.3\n"
      " str=  320.799988 dip=  83.9000015 rak= -171.300003 z=  8.  no.4\n"
      " ncmpt= 1  no.5\n"
      " stra=  320.799988 dipa=  83.9000015 raka= -171.300003  no.6\n"
      " dx=  5. dw=  1.29999995 tra=  0.150000006\n"
      " dx0=  0. dw0=  0. tr0=  0.  no.7\n"
      " nx= 11 nw= 11 nt= 11 ntt= 0 nsx= 7 nsw= 6 ns= 0  no.8\n"
      " vs=  3.5 vr=  2.5 ird= 2 ipfm= 0  no.9\n"
      " SAMPLE(IE-IS<8192) IS(TART),IE(ND),IW(INDOW LENGTH)?\n"
      " 500 4300 100\n"
      // An 80-column name cannot join its label's line: it takes a line of
      // its own (81 columns with the leading blank), and so does the tail.
      " fmain=\n"
      " " + pad("target.kib", 80) + "\n"
      "   no.10\n"
      " faft =\n"
      " " + pad("element.kib", 80) + "\n"
      "   no.11\n"
      " rm=  5.13999987 pm=  1.79999995 ra=  10.8100004 pa=  338.5\n"
      " cmp=  90. imdl= 3  no.12\n"
      " ksm= 500 kem= 4300 ksa= 500 kea= 4300 no.13\n";
  EXPECT_EQ(r.out, expected);

  // The target record does not exist: it is not created, and the run ends
  // with the open failure of unit 10.
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "open: No such file or directory\n"
            "apparent state: unit 10 named target.kib\n"
            "lately reading sequential formatted external IO\n");
  EXPECT_FALSE(fs::exists("target.kib"));
  EXPECT_FALSE(fs::exists("obs.dat"));
  EXPECT_FALSE(fs::exists("syn.dat"));
}

TEST_F(DriverTest, LongFirstAnswerIsCutToEightyColumns) {
  const std::string name(80, 'p');
  write(name, kParams);
  const Outcome r = run(name + "EXTRA\n\n\n\n\n");
  EXPECT_NE(r.out.find(" " + name + "\n"), std::string::npos);
  EXPECT_EQ(r.out.find("EXTRA"), std::string::npos);
  EXPECT_NE(r.out.find(" nevnt= 1\n"), std::string::npos);
}

TEST_F(DriverTest, MissingParameterFileIsReportedAndNotCreated) {
  const Outcome r = run(kAnswers);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "open: No such file or directory\n"
            "apparent state: unit 80 named run.prm\n"
            "lately reading sequential formatted external IO\n");
  EXPECT_FALSE(fs::exists("run.prm"));
}

TEST_F(DriverTest, ConsoleInputEndingEarlyIsFatal) {
  write("run.prm", kParams);
  const Outcome r = run("run.prm\nobs.dat\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "fmt: end of file");
  EXPECT_NE(r.err.find("apparent state: unit 5 "), std::string::npos);
}

TEST_F(DriverTest, ShortParameterFileEndsWithEndOfFileReport) {
  std::string text = kParams;
  text.resize(text.find("1\n320.8"));  // stop before line 7
  write("run.prm", text);
  const Outcome r = run(kAnswers);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "list in: end of file\n"
            "apparent state: unit 80 named run.prm\n"
            "last format: list io\n"
            "lately reading sequential formatted external IO\n"
            "egfsim: run.prm ends after line 7\n");
  // The echoes of the lines read so far came out before the failure.
  EXPECT_NE(r.out.find("  no.4\n"), std::string::npos);
}

// A fatal read from the parameter file or a record names, after the four
// report lines, the line it stood on as read (cut to 80 columns, trailing
// blanks dropped), or where the file ended.
TEST_F(DriverTest, FatalReportNamesFileAndLine) {
  const std::string record =
      "KIBTRACE FORMAT\nEW\n2019/07/06\nCLC  CHINA LAKE\n       100\n         4\nE\nC\n"
      "     0.000\nF10.3     gal\n     1.000\n8F10.3\nCI\nCGS\ndt\n0\n"
      "     1.000     2.000     3.000     4.000\n";
  const std::string longLine = "1.0 6.0" + std::string(75, ' ') + "tail";
  const struct Row {
    const char *from, *to;   // an edit of the parameter file ...
    const char *rfrom, *rto;  // ... or of the target record
    const char* first;        // the report's first line
    const char* fifth;
  } rows[] = {
      {"1 6.0", longLine.c_str(), "", "", "invalid integer: read unexpected character", "egfsim: run.prm line 2: 1.0 6.0"},
      {"11 11 11 0", "11 11 x 0", "", "", "invalid number: read unexpected character",
       "egfsim: run.prm line 11: 11 11 x 0 7 6 0 1.05"},
      {"", "", "     4.000", "     4.0x0", "fmt: read unexpected character",
       "egfsim: target.kib line 17:      1.000     2.000     3.000     4.0x0"},
      {"", "", "8F10.3\nCI\nCGS\ndt\n0\n     1.000     2.000     3.000     4.000",
       "*\nCI\nCGS\ndt\n0\n1 2 3",
       "list in: end of file", "egfsim: target.kib ends after line 17"},
  };
  for (const Row& row : rows) {
    std::string params = kParams, target = record;
    if (*row.from) params.replace(params.find(row.from), std::string(row.from).size(), row.to);
    if (*row.rfrom) target.replace(target.find(row.rfrom), std::string(row.rfrom).size(), row.rto);
    write("run.prm", params);
    write("target.kib", target);
    const Outcome r = run(kAnswers);
    EXPECT_EQ(r.status, 1) << row.fifth;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), row.first);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 5) << r.err;
    EXPECT_EQ(r.err.substr(r.err.rfind('\n', r.err.size() - 2) + 1), std::string(row.fifth) + "\n");
  }
}

// Values the later stages cannot use are rejected right after the echo,
// with one line that names the parameter, its value and what is allowed.
TEST_F(DriverTest, RejectsUnusableParameters) {
  struct Edit {
    const char* from;
    const char* to;
  };
  struct Case {
    std::vector<Edit> edits;
    const char* message;  // empty: the values are accepted
  };
  const Case cases[] = {
      {{{"11 11 11 0 7 6 0 1.05", "31 11 11 0 7 6 0 1.05"}}, "nx = 31: allowed 1 to 30"},
      {{{"11 11 11 0 7 6 0 1.05", "11 0 11 0 7 6 0 1.05"}}, "nw = 0: allowed 1 to 30"},
      {{{"11 11 11 0 7 6 0 1.05", "11 11 11 0 7 6 15001 1.05"}}, "ns = 15001: allowed 0 to 15000"},
      {{{"11 11 11 0 7 6 0 1.05", "11 11 11 0 7 6 0 0.0"}}, "cfac = 0"},
      {{{"3.5 2.5 2 0", "3.5 2.5 3 0"}}, "ird = 3: allowed 1 or 2"},
      {{{"3.5 2.5 2 0", "3.5 2.5 2 3"}}, "ipfm = 3: allowed 2 or less"},
      {{{"3.5 2.5 2 0", "0 2.5 2 0"}}, "vs = 0: must be a positive number"},
      {{{"3.5 2.5 2 0", "3.5 -1 2 0"}}, "vr = -1: must be a positive number"},
      {{{"90.0 3\n", "90.0 5\n"}}, "imdl = 5: allowed 1 to 4"},
      {{{"500 4300 500 4300", "0 4300 500 4300"}}, "ksm = 0: allowed 1 to 15000"},
      {{{"500 4300 500 4300", "500 400 500 4300"}}, "kem = 400: allowed 500 to 15000"},
      {{{"500 4300 500 4300", "500 4300 500 15001"}}, "kea = 15001: allowed 500 to 15000"},
      {{{"1 6.0", "1 0.0"}}, "tscl = 0: must be a positive number"},
      {{{"21 0\n", "5 0\n"}}, "iuwav = 5: a figure unit must be 0 or positive and not 5"},
      {{{"21 0\n", "21 -1\n"}}, "iuspc = -1: a figure unit must be 0 or positive and not 5"},
      {{{"5.0 1.3 0.15", "1e39 1.3 0.15"}}, "dx = inf: must be a finite number"},
      // The taper must leave samples inside the shorter spectrum window; it
      // only matters when the spectrum figure is drawn.
      {{{"21 0\n", "21 22\n"}}, ""},
      {{{"21 0\n", "21 22\n"}, {"500 4300 500 4300", "500 4300 500 599"}},
       "IW = 100: the taper must be shorter than the shorter spectrum window (100 samples)"},
      {{{"500 4300 500 4300", "500 4300 500 599"}}, ""},
  };
  for (const Case& c : cases) {
    std::string text = kParams;
    for (const Edit& e : c.edits) text.replace(text.find(e.from), std::string(e.from).size(), e.to);
    write("run.prm", text);
    const Outcome r = run(kAnswers);
    const std::string what = c.edits.front().to;
    if (*c.message == '\0') {
      EXPECT_EQ(r.status, 1) << what;  // accepted: stops at the missing record
      continue;
    }
    EXPECT_EQ(r.status, 2) << what;
    EXPECT_EQ(r.err.rfind("egfsim: parameter file run.prm: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    // The rejection comes after the whole echo of the parameter file.
    EXPECT_NE(r.out.find(" no.13\n"), std::string::npos) << what;
  }
}

}  // namespace
