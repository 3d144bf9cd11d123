// Sample rates, resampling and calendar times.
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "convert/convert.hpp"

namespace convert {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days-from-civil), and its inverse.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
  std::int64_t y;
  unsigned m, d;
};

Civil civilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

constexpr std::int64_t kMsPerDay = 86400000;

struct Split {
  Civil date;
  int hour, minute, second, msec;
};

Split split(std::int64_t ms) {
  std::int64_t days = ms / kMsPerDay;
  std::int64_t rest = ms % kMsPerDay;
  if (rest < 0) rest += kMsPerDay, --days;
  const int msOfDay = static_cast<int>(rest);
  return {civilFromDays(days), msOfDay / 3600000, msOfDay / 60000 % 60, msOfDay / 1000 % 60,
          msOfDay % 1000};
}

}  // namespace

std::optional<int> wholeRate(double dt) {
  // A microsecond to a second: the program counts whole samples per second.
  if (!std::isfinite(dt) || dt < 1e-6 || dt > 1.0) return std::nullopt;
  const double rate = 1.0 / dt;
  const double whole = std::round(rate);
  // One part in a million is far above the rounding of a float interval
  // (0.01f is 0.0099999998) and far below any real clock offset that
  // matters: over 15000 samples it shifts the last one by 0.015 samples.
  if (std::fabs(rate - whole) > 1e-6 * whole) return std::nullopt;
  return static_cast<int>(whole);
}

std::vector<float> resampleLinear(std::span<const float> x, double dt, int sps) {
  if (x.empty() || !(dt > 0.0) || sps <= 0) throw std::invalid_argument("resampleLinear");
  const double step = 1.0 / static_cast<double>(sps);
  const double last = static_cast<double>(x.size() - 1) * dt;
  if (last / step > 1.0e9) throw std::invalid_argument("resampleLinear: too many samples");
  // A hair of tolerance keeps the last input sample when the new grid lands
  // on it up to rounding.
  const auto n = static_cast<std::size_t>(std::floor(last / step + 1e-9)) + 1;
  std::vector<float> y(n);
  for (std::size_t j = 0; j < n; ++j) {
    const double pos = static_cast<double>(j) * step / dt;  // in input samples
    auto i = static_cast<std::size_t>(pos);
    if (i >= x.size() - 1) {
      y[j] = x.back();
      continue;
    }
    const double frac = pos - static_cast<double>(i);
    const double a = x[i], b = x[i + 1];
    y[j] = static_cast<float>(a + (b - a) * frac);
  }
  return y;
}

std::int64_t epochMs(int year, int yday, int hour, int minute, int second, int msec) {
  const std::int64_t days = daysFromCivil(year, 1, 1) + (yday - 1);
  return ((days * 24 + hour) * 60 + minute) * 60000 + static_cast<std::int64_t>(second) * 1000 +
         msec;
}

std::optional<std::int64_t> parseCalendar(std::string_view text) {
  // Fixed positions: YYYY?MM?DD?hh:mm:ss, then an optional fraction and "Z".
  auto digits = [&](std::size_t at, std::size_t n) -> int {
    if (at + n > text.size()) return -1;
    int v = 0;
    for (std::size_t k = at; k < at + n; ++k) {
      if (text[k] < '0' || text[k] > '9') return -1;
      v = v * 10 + (text[k] - '0');
    }
    return v;
  };
  if (text.size() < 19) return std::nullopt;
  const char ds = text[4];
  if (!((ds == '/' || ds == '-') && text[7] == ds && (text[10] == ' ' || text[10] == 'T') &&
        text[13] == ':' && text[16] == ':'))
    return std::nullopt;
  const int y = digits(0, 4), mo = digits(5, 2), d = digits(8, 2);
  const int h = digits(11, 2), mi = digits(14, 2), s = digits(17, 2);
  if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 ||
      s < 0 || s > 60)
    return std::nullopt;
  std::size_t i = 19;
  int msec = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    int scale = 100;
    const std::size_t first = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      msec += (text[i] - '0') * scale;  // digits past the millisecond are dropped
      scale /= 10;
      ++i;
    }
    if (i == first) return std::nullopt;
  }
  if (i < text.size() && text[i] == 'Z') ++i;
  if (i != text.size()) return std::nullopt;
  const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  if (civilFromDays(days).d != static_cast<unsigned>(d)) return std::nullopt;  // 31 April
  return ((days * 24 + h) * 60 + mi) * 60000 + static_cast<std::int64_t>(s) * 1000 + msec;
}

std::string minuteText(std::int64_t ms) {
  const Split s = split(ms);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld/%02u/%02u %02d:%02d", static_cast<long long>(s.date.y),
                s.date.m, s.date.d, s.hour, s.minute);
  return buf;
}

std::string isoText(std::int64_t ms) {
  const Split s = split(ms);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02d.%03d",
                static_cast<long long>(s.date.y), s.date.m, s.date.d, s.hour, s.minute, s.second,
                s.msec);
  return buf;
}

}  // namespace convert
