#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "plot/loglog.hpp"
#include "plot_fixture.hpp"

namespace {

using plottest::kCm;
using plottest::Page;

// A frame of 4 by 4 decades of 1.5 cm, h = 0.3 cm, from 0.01 Hz and from 1:
// "10" with a raised half-size exponent, but 0.1 and 1.0 written out.
TEST(Pltlog, DecadeAnnotationsAndTitles) {
  Page page;
  page.start();
  plot::pltlog(page.dev, 4, 4, 1.5f, 1.5f, 0.3f, 0.3f, 0.01f, 1.0f, 1);
  const auto texts = plottest::labels(page.lines());
  const std::vector<std::string> expected = {
      "10", "-2", "0.1", "1.0", "10", "10", "2",  "1.0", "10", "10", "2", "10", "3",
      "10", "4",  "(HZ)", "FREQUENCY", "( CM*S )", "DISPLACEMENT SPECTRA"};
  ASSERT_EQ(texts.size(), expected.size());
  // Positions in cm and the size line (0.3 cm is 12.756 points, 0.15 cm 6.378).
  const struct Row {
    std::size_t index;
    double x, y;
    const char* size;
  } rows[] = {{0, -0.3, -0.6, "   12.756  hV"}, {1, 0.3, -0.3, "    6.378  hV"},
              {2, 0.9, -0.6, "   12.756  hV"}, {7, -1.5, 0.0, "   12.756  hV"},
              {12, -0.6, 4.8, "    6.378  hV"}, {18, -2.1, -1.5, "   19.134  hV"}};
  for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i].text, expected[i]) << i;
  for (const Row& row : rows) {
    EXPECT_NEAR(texts[row.index].px, row.x * kCm, 0.002) << row.index;
    EXPECT_NEAR(texts[row.index].py, row.y * kCm, 0.002) << row.index;
    EXPECT_EQ(texts[row.index].size, row.size) << row.index;
  }
  EXPECT_EQ(texts[18].rotate, "   90.000 rotate");
}

// Values at or below the axis minima are raised to them and written back;
// never more than 4096 points are drawn, nor more than either array holds.
TEST(Ptline, ClampsAndBoundsThePoints) {
  Page page;
  page.start();
  std::vector<float> x = {0.001f, 0.1f, 1.0f, -5.0f};
  std::vector<float> y = {0.5f, 10.0f, 100.0f, 1.0f};
  plot::ptline(page.dev, x, y, 1.5f, 1.5f, 0.01f, 1.0f, 4);
  EXPECT_EQ(x, (std::vector<float>{0.01f, 0.1f, 1.0f, 0.01f}));
  EXPECT_EQ(y, (std::vector<float>{1.0f, 10.0f, 100.0f, 1.0f}));
  const std::vector<std::string> expected = {"    0.000    0.000 pM", "   42.520   42.520 pL",
                                             "   85.039   85.039 pL", "    0.000    0.000 pL"};
  EXPECT_EQ(page.lines(), expected);

  std::vector<float> big(5000, 1.0f);
  // {n, points in x, points in y, lines drawn}
  for (const auto& [n, nx, ny, drawn] : {std::array<int, 4>{0, 5000, 5000, 0}, {-3, 5000, 5000, 0},
                                         {4097, 5000, 5000, 4096}, {20, 10, 7, 7}}) {
    page.start();
    plot::ptline(page.dev, std::span<float>(big).first(nx), std::span<float>(big).first(ny), 1.5f,
                 1.5f, 0.01f, 0.1f, n);
    EXPECT_EQ(page.lines().size(), static_cast<std::size_t>(drawn)) << n;
  }
}

}  // namespace
