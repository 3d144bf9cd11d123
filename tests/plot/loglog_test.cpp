#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "plot/loglog.hpp"
#include "plot_fixture.hpp"

namespace {

using plottest::kCm;
using plottest::Label;
using plottest::Page;

std::string trimmed(std::string s) {
  s.erase(0, s.find_first_not_of(' '));
  return s;
}

struct Expect {
  std::string text;
  double x, y;  // centimetres
  std::string size;
};

void expectLabels(const std::vector<Label>& got, std::size_t first, const std::vector<Expect>& rows) {
  ASSERT_GE(got.size(), first + rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Label& g = got[first + i];
    EXPECT_EQ(trimmed(g.text), rows[i].text) << "label " << first + i;
    EXPECT_NEAR(g.px, rows[i].x * kCm, 0.002) << rows[i].text;
    EXPECT_NEAR(g.py, rows[i].y * kCm, 0.002) << rows[i].text;
    EXPECT_EQ(g.size, rows[i].size) << rows[i].text;
  }
}

// 0.3 cm text is 12.756 points, 0.15 cm 6.378, 0.39 cm 16.583, 0.45 cm 19.134.
TEST(Pltlog, DecadeAnnotationsFromOneHundredth) {
  Page page;
  page.start();
  plot::pltlog(page.dev, 4, 4, 1.5f, 1.5f, 0.3f, 0.3f, 0.01f, 1.0f, 1);
  const auto texts = plottest::labels(page.lines());
  ASSERT_EQ(texts.size(), 19u);
  // x: 10^-2, 0.1, 1.0, 10, 10^2
  expectLabels(texts, 0,
               {{"10", -0.3, -0.6, "   12.756  hV"},
                {"-2", 0.3, -0.3, "    6.378  hV"},
                {"0.1", 1.5 - 0.6, -0.6, "   12.756  hV"},
                {"1.0", 3.0 - 0.6, -0.6, "   12.756  hV"},
                {"10", 4.5 - 0.3, -0.6, "   12.756  hV"},
                {"10", 6.0 - 0.3, -0.6, "   12.756  hV"},
                {"2", 6.0 + 0.3, -0.3, "    6.378  hV"}});
  // y from 1: 1.0, 10, 10^2, 10^3, 10^4
  expectLabels(texts, 7,
               {{"1.0", -0.3 - 1.2, 0.0, "   12.756  hV"},
                {"10", -0.3 - 0.9, 1.5, "   12.756  hV"},
                {"10", -0.3 - 0.9, 3.0, "   12.756  hV"},
                {"2", -0.3 - 0.3, 3.0 + 0.3, "    6.378  hV"},
                {"10", -0.3 - 0.9, 4.5, "   12.756  hV"},
                {"3", -0.3 - 0.3, 4.5 + 0.3, "    6.378  hV"},
                {"10", -0.3 - 0.9, 6.0, "   12.756  hV"},
                {"4", -0.3 - 0.3, 6.0 + 0.3, "    6.378  hV"}});
  // titles
  expectLabels(texts, 15,
               {{"(HZ)", 3.0 - 1.5, -1.0 - 1.5, "   16.583  hV"},
                {"FREQUENCY", 3.0 - 2.25, -1.0 - 0.9, "   19.134  hV"},
                {"( CM*S )", -1.5, 3.0 - 0.9, "   16.583  hV"},
                {"DISPLACEMENT SPECTRA", -2.1, 3.0 - 4.5, "   19.134  hV"}});
  EXPECT_EQ(texts[17].rotate, "   90.000 rotate");
  EXPECT_EQ(texts[18].rotate, "   90.000 rotate");
}

TEST(Pltlog, RatioAndAmplitudeTitlesHaveNoUnit) {
  const std::vector<std::pair<int, std::string>> rows = {{4, "SPECTRAL RATIO"},
                                                         {5, "SPECTRAL AMPLITUDE"}};
  for (const auto& [kk, title] : rows) {
    Page page;
    page.start();
    plot::pltlog(page.dev, 4, 4, 1.5f, 1.5f, 0.3f, 0.3f, 0.01f, 1.0f, kk);
    const auto texts = plottest::labels(page.lines());
    ASSERT_EQ(texts.size(), 18u) << kk;
    EXPECT_EQ(trimmed(texts[16].text), "FREQUENCY");
    EXPECT_EQ(trimmed(texts[17].text), title);
    EXPECT_EQ(texts[17].rotate, "   90.000 rotate");
  }
}

TEST(Pltlog, GridLinesAndMinorTicks) {
  Page page;
  page.start();
  plot::pltlog(page.dev, 4, 4, 1.5f, 1.5f, 0.3f, 0.3f, 0.01f, 1.0f, 3);
  const auto lines = page.lines();
  // 5 grid lines and 4 decades of 9 ticks (2..9 and 5 again) per axis.
  EXPECT_EQ(plottest::countSuffix(lines, " pL"), 2 * (5 + 4 * 9));

  // Bottom ticks of the first decade: at log10(m) decades, t high; the
  // second tick at 5 is 1.5 t high.
  std::vector<std::pair<double, double>> draws;
  for (const auto& line : lines) {
    if (line.size() < 3 || line.compare(line.size() - 3, 3, " pL") != 0) continue;
    std::istringstream in(line);
    double px = 0, py = 0;
    in >> px >> py;
    draws.emplace_back(px, py);
  }
  ASSERT_GE(draws.size(), 10u);
  EXPECT_NEAR(draws[0].first, 0.0, 1e-9);  // the first vertical grid line
  EXPECT_NEAR(draws[0].second, 6.0 * kCm, 0.002);
  for (int m = 2; m <= 9; ++m) {
    EXPECT_NEAR(draws[m - 1].first, std::log10(m) * 1.5 * kCm, 0.002) << m;
    EXPECT_NEAR(draws[m - 1].second, 0.3 * kCm, 0.002) << m;
  }
  EXPECT_NEAR(draws[9].first, std::log10(5.0) * 1.5 * kCm, 0.002);
  EXPECT_NEAR(draws[9].second, 0.45 * kCm, 0.002);
}

TEST(Ptline, ClampsAndWritesBack) {
  Page page;
  page.start();
  std::vector<float> x = {0.001f, 0.1f, 1.0f, -5.0f};
  std::vector<float> y = {0.5f, 10.0f, 100.0f, 1.0f};
  plot::ptline(page.dev, x, y, 1.5f, 1.5f, 0.01f, 1.0f, 4);
  EXPECT_EQ(x[0], 0.01f);
  EXPECT_EQ(y[0], 1.0f);
  EXPECT_EQ(x[3], 0.01f);
  EXPECT_EQ(y[3], 1.0f);
  EXPECT_EQ(x[1], 0.1f);
  EXPECT_EQ(y[2], 100.0f);
  const std::vector<std::string> expected = {
      "    0.000    0.000 pM",
      "   42.520   42.520 pL",
      "   85.039   85.039 pL",
      "    0.000    0.000 pL",
  };
  EXPECT_EQ(page.lines(), expected);
}

TEST(Ptline, PointCountIsBounded) {
  std::vector<float> x(5000, 1.0f);
  std::vector<float> y(5000, 1.0f);
  const std::vector<std::pair<int, std::size_t>> rows = {
      {0, 0}, {-3, 0}, {1, 1}, {4096, 4096}, {4097, 4096}, {100000, 4096}};
  for (const auto& [n, lines] : rows) {
    Page page;
    page.start();
    plot::ptline(page.dev, x, y, 1.5f, 1.5f, 0.01f, 0.1f, n);
    EXPECT_EQ(page.lines().size(), lines) << n;
  }
  // never beyond the arrays handed in
  Page page;
  page.start();
  plot::ptline(page.dev, std::span<float>(x).first(10), std::span<float>(y).first(7), 1.5f, 1.5f,
               0.01f, 0.1f, 20);
  EXPECT_EQ(page.lines().size(), 7u);
}

}  // namespace
