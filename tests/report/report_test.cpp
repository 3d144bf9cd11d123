// The series files read back by a reader of its own (header words by their
// byte offsets), the measures' nulls, and the report opened by Ghostscript
// (a folder that cannot be made is the run's outputs test).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/files.hpp"
#include "report/report.hpp"

namespace {

namespace fs = std::filesystem;

// Little-endian words at byte offsets, independent of the writer's layout code.
std::uint32_t u32(const std::string& b, std::size_t at) {
  const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
float f32(const std::string& b, std::size_t at) { return std::bit_cast<float>(u32(b, at)); }
std::int32_t i32(const std::string& b, std::size_t at) { return static_cast<std::int32_t>(u32(b, at)); }

struct Fixture {
  std::vector<float> series[9];
  report::RunView c;

  explicit Fixture(bool silentSynthetic) {
    const std::size_t counts[3] = {600, 500, 300};  // observed, synthetic, element
    for (int m = 0; m < 3; ++m)
      for (int q = 0; q < 3; ++q) {
        auto& x = series[3 * m + q];
        x.resize(counts[m]);
        for (std::size_t k = 0; k < x.size(); ++k)
          x[k] = (m == 1 && silentSynthetic) ? 0.0f
                                             : static_cast<float>((q + 1) * std::sin(0.05 * k * (m + 1)) * std::exp(-0.01 * k));
      }
    auto motion = [&](int m) { return model::MotionView{series[3 * m], series[3 * m + 1], series[3 * m + 2]}; };
    c.observed = motion(0), c.synthetic = motion(1), c.element = motion(2);
    c.title = "TEST RUN", c.station = "CLC", c.component = "NS", c.event = "RIDGECREST 2019 MW7.1 LONG";
    c.elementEvent = "FORESHOCK";
    c.unit = "gal", c.dt = 0.01f;
    c.ksm = 1, c.kem = 500, c.ksa = 1, c.kea = 500;
    c.nx = c.nw = c.nt = 5, c.nsx = 2, c.nsw = 3, c.cfac = 1.5f, c.vr = 2.5f, c.dx = c.dw = 1, c.tra = 0.2f;
    c.fits = {{{0.5f, 0.6f, 1}, {0.4f, 0.7f, -2}, {0.3f, 0.8f, 3}}};
  }
};

TEST(Series, SacFilesReadBackByOffset) {
  const Fixture fx(false);
  const testsupport::TempFolder dir;
  report::writeSeries(dir.path() / "new", fx.c);  // created when missing
  const char* motions[] = {"observed", "synthetic", "element"};
  const char* quantities[] = {"acc", "vel", "dis"};
  const std::int32_t idep[] = {8, 7, 6};  // IACC, IVEL, IDISP
  const char* units[] = {"gal", "cm/s", "cm"};
  for (int m = 0; m < 3; ++m)
    for (int q = 0; q < 3; ++q) {
      const std::string b = testsupport::readFile(dir.path() / "new" / (std::string(motions[m]) + "." + quantities[q] + ".sac"));
      const auto& x = fx.series[3 * m + q];
      ASSERT_EQ(b.size(), 632 + 4 * x.size());
      EXPECT_EQ(f32(b, 0), 0.01f);                      // delta
      EXPECT_EQ(f32(b, 5 * 4), 0.0f);                   // b
      EXPECT_EQ(i32(b, 280 + 6 * 4), 6);                // nvhdr
      EXPECT_EQ(i32(b, 280 + 9 * 4), static_cast<std::int32_t>(x.size()));  // npts
      EXPECT_EQ(i32(b, 280 + 15 * 4), 1);               // iftype ITIME
      EXPECT_EQ(i32(b, 280 + 16 * 4), idep[q]);         // idep
      EXPECT_EQ(i32(b, 280 + 35 * 4), 1);               // leven
      EXPECT_EQ(b.substr(440, 8), "CLC     ");          // kstnm
      EXPECT_EQ(b.substr(448, 16), m == 2 ? "FORESHOCK       " : "RIDGECREST 2019 ");  // kevnm
      EXPECT_EQ(b.substr(440 + 160, 8), "NS      ");     // kcmpnm
      EXPECT_EQ(b.substr(440 + 136, 8), (std::string(units[q]) + "        ").substr(0, 8));  // kuser0
      for (std::size_t k = 0; k < x.size(); ++k) ASSERT_EQ(f32(b, 632 + 4 * k), x[k]);
    }
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path() / "new")) ++files;
  EXPECT_EQ(files, 10u);  // nine SAC files and the table, nothing else
  std::istringstream csv(testsupport::readFile(dir.path() / "new" / "series.csv"));
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line,
            "time,observed.acc,observed.vel,observed.dis,synthetic.acc,synthetic.vel,synthetic.dis,"
            "element.acc,element.vel,element.dis");
  int rows = 0;
  while (std::getline(csv, line)) {
    if (rows == 1) {
      EXPECT_EQ(line.substr(0, 5), "0.01,");
    } else if (rows == 550) {
      EXPECT_EQ(line.substr(line.size() - 6), ",,,,,,") << line;  // synthetic and element ended
    }
    ++rows;
  }
  EXPECT_EQ(rows, 600);
}

TEST(Report, MeasuresAndPagesOpen) {
  const Fixture fx(false);
  const testsupport::TempFolder dir;
  report::writeReport(dir.path(), fx.c);
  const auto m = nlohmann::json::parse(testsupport::readFile(dir.path() / "metrics.json"));
  EXPECT_EQ(m["fourier_frequencies"].front().get<double>(), 0.05);
  EXPECT_EQ(m["fourier_frequencies"].back().get<double>(), 50);
  EXPECT_EQ(m["dt"].get<double>(), 0.01);  // the decimal 0.01f stands for
  EXPECT_EQ(m["psa_ln_ratio"].size(), m["periods"].size());
  EXPECT_TRUE(m["anderson"]["pass_band"]["score"].is_number());
  EXPECT_TRUE(m["anderson"]["all_bands"]["score"].is_number());
  EXPECT_EQ(m["residuals"]["velocity"].get<double>(), 0.4f);
  EXPECT_EQ(testsupport::readFile(dir.path() / "report.svg").substr(0, 5), "<?xml");
  if (std::system("command -v gs >/dev/null 2>&1") != 0) GTEST_SKIP() << "Ghostscript (gs) is not installed";
  const std::string cmd = "gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=nullpage '" + (dir.path() / "report.pdf").string() + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(Report, SilentSyntheticGivesNullsNotNan) {
  Fixture fx(true);
  const auto m = report::metricsJson(fx.c, report::measure(fx.c));
  for (const auto& v : m["psa_synthetic"]) EXPECT_TRUE(v.is_null());
  for (const auto& v : m["psa_ln_ratio"]) EXPECT_TRUE(v.is_null());
  EXPECT_TRUE(m["anderson"]["pass_band"]["score"].is_null());
  EXPECT_TRUE(m["anderson"]["all_bands"]["score"].is_null());
  EXPECT_EQ(m.dump().find("nan"), std::string::npos);
  const testsupport::TempFolder dir;  // the page is drawn all the same
  fx.c.station = "CL\xd6";  // and a header in another encoding than UTF-8 is written
  report::writeReport(dir.path(), fx.c);
  EXPECT_GT(fs::file_size(dir.path() / "report.pdf"), 1000u);
  EXPECT_EQ(nlohmann::json::parse(testsupport::readFile(dir.path() / "metrics.json"))["station"], "CL\xef\xbf\xbd");
}

}  // namespace
