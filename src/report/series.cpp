// The series files: nine SAC files and one CSV table.
#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <string_view>

#include "records/units.hpp"
#include "report/files.hpp"
#include "report/report.hpp"
#include "sacio/sacio.hpp"
#include "textio/shortest.hpp"

namespace report {
namespace {

constexpr std::array<std::string_view, 3> kMotionNames{"observed", "synthetic", "element"};
constexpr std::array<std::string_view, 3> kQuantityNames{"acc", "vel", "dis"};
constexpr std::array<std::int32_t, 3> kIdep{sacio::kIacc, sacio::kIvel, sacio::kIdisp};

std::string trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

std::string sacFile(const RunView& c, int motion, int q, const std::string& unit) {
  const std::span<const float> x = (motion == 0 ? c.observed : motion == 1 ? c.synthetic : c.element)[q];
  sacio::Header h;
  h.f[sacio::kDelta] = c.dt;
  h.f[sacio::kB] = 0.0f;
  h.f[sacio::kE] = static_cast<float>(static_cast<double>(x.empty() ? 0 : x.size() - 1) * c.dt);
  if (!x.empty()) {
    double sum = 0.0;
    for (float v : x) sum += v;
    h.f[sacio::kDepmin] = *std::min_element(x.begin(), x.end());
    h.f[sacio::kDepmax] = *std::max_element(x.begin(), x.end());
    h.f[sacio::kDepmen] = static_cast<float>(sum / static_cast<double>(x.size()));
  }
  h.i[sacio::kNvhdr] = 6;
  h.i[sacio::kIftype] = sacio::kItime;
  h.i[sacio::kIdep] = kIdep[static_cast<std::size_t>(q)];
  h.i[sacio::kLeven] = 1;
  h.i[sacio::kLovrok] = 1;
  h.setName(sacio::kKstnm, trimmed(c.station));
  h.setName(sacio::kKcmpnm, trimmed(c.component));
  h.setName(sacio::kKevnm, trimmed(motion == 2 ? c.elementEvent : c.event));
  h.setName(sacio::kKuser0, unit);  // the unit of the samples
  h.setName(sacio::kKuser1, kMotionNames[static_cast<std::size_t>(motion)]);
  return sacio::encodeLittleEndian(std::move(h), x);
}

}  // namespace

std::array<std::string, 3> quantityUnits(const std::string& unit) {
  const std::string text = trimmed(unit);
  switch (records::unitFamily(text)) {
    case records::UnitFamily::Centimetre: return {text, "cm/s", "cm"};
    case records::UnitFamily::Metre: return {text, "m/s", "m"};
    case records::UnitFamily::Gravity: return {text, "g*s", "g*s^2"};
    case records::UnitFamily::Unrecognised: break;
  }
  const std::string base = text.empty() ? "unit" : text;
  return {base, base + "*s", base + "*s^2"};
}

void writeSeries(const std::filesystem::path& dir, const RunView& c) {
  makeFolder(dir);
  const auto units = quantityUnits(c.unit);
  // A prediction has no observed motion: its files and columns are left out.
  const bool observed = !c.observed.acc.empty();
  for (int motion = observed ? 0 : 1; motion < 3; ++motion)
    for (int q = 0; q < 3; ++q)
      writeFile(dir, std::string(kMotionNames[static_cast<std::size_t>(motion)]) + "." +
                         std::string(kQuantityNames[static_cast<std::size_t>(q)]) + ".sac",
                sacFile(c, motion, q, units[static_cast<std::size_t>(q)]));

  // Times: k / rate when the interval is the inverse of a whole rate (as a
  // record's is), so that 0.01 s steps print as 0.01, 0.02, ...
  const double dt = c.dt;
  const double rate = std::round(1.0 / dt);
  const bool wholeRate = rate > 0 && std::fabs(rate * dt - 1.0) < 1e-6;
  const std::array<model::MotionView, 3> motions{c.observed, c.synthetic, c.element};
  std::size_t rows = 0;
  std::string csv = "time";
  const std::size_t firstMotion = observed ? 0 : 1;
  for (std::size_t m = firstMotion; m < 3; ++m)
    for (int q = 0; q < 3; ++q) {
      csv += "," + std::string(kMotionNames[m]) + "." + std::string(kQuantityNames[static_cast<std::size_t>(q)]);
      rows = std::max(rows, motions[m][q].size());
    }
  csv += '\n';
  for (std::size_t k = 0; k < rows; ++k) {
    const double t = wholeRate ? static_cast<double>(k) / rate : static_cast<double>(k) * dt;
    csv += textio::shortest(t);
    for (std::size_t m = firstMotion; m < 3; ++m)
      for (int q = 0; q < 3; ++q) {
        csv += ',';
        const auto x = motions[m][q];
        if (k < x.size()) csv += textio::shortest(x[k]);
      }
    csv += '\n';
  }
  writeFile(dir, "series.csv", csv);
}

}  // namespace report
