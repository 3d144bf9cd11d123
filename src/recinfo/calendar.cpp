// The UTC calendar of record times: days from civil dates and back (H.
// Hinnant's algorithms, exact over the proleptic Gregorian calendar), ISO
// texts and their parsing.
#include <cmath>
#include <cstdio>

#include "recinfo/recinfo.hpp"

namespace recinfo {
namespace {

constexpr std::int64_t kMicrosPerSecond = 1000000;
constexpr std::int64_t kMicrosPerDay = 86400 * kMicrosPerSecond;

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

struct Split {
  Civil date;
  int hour, minute, second, micro;
};

Split split(model::UtcTime t) {
  std::int64_t days = t.microseconds / kMicrosPerDay;
  std::int64_t rest = t.microseconds % kMicrosPerDay;
  if (rest < 0) rest += kMicrosPerDay, --days;
  const std::int64_t secs = rest / kMicrosPerSecond;
  return {civilFromDays(days), static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
          static_cast<int>(secs % 60), static_cast<int>(rest % kMicrosPerSecond)};
}

model::UtcTime fromDays(std::int64_t days, int hour, int minute, int second, int micro) {
  return {((days * 24 + hour) * 60 + minute) * 60 * kMicrosPerSecond +
          static_cast<std::int64_t>(second) * kMicrosPerSecond + micro};
}

}  // namespace

model::UtcTime utcFromCivil(int year, int month, int day, int hour, int minute, int second,
                            int microsecond) {
  return fromDays(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)),
                  hour, minute, second, microsecond);
}

model::UtcTime utcFromDayOfYear(int year, int yday, int hour, int minute, int second,
                                int microsecond) {
  return fromDays(daysFromCivil(year, 1, 1) + (yday - 1), hour, minute, second, microsecond);
}

std::optional<model::UtcTime> parseUtc(std::string_view text) {
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
  std::int64_t micro = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    const std::size_t first = i;
    std::int64_t scale = 100000;
    bool roundUp = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (scale > 0) micro += (text[i] - '0') * scale;
      else if (scale == 0) roundUp = text[i] >= '5';  // the seventh digit rounds
      scale = scale > 0 ? scale / 10 : -1;
      ++i;
    }
    if (i == first) return std::nullopt;
    micro += roundUp;
  }
  if (i < text.size() && text[i] == 'Z') ++i;
  if (i != text.size()) return std::nullopt;
  const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  if (civilFromDays(days).d != static_cast<unsigned>(d)) return std::nullopt;  // 31 April
  model::UtcTime t = fromDays(days, h, mi, s, 0);
  t.microseconds += micro;
  return t;
}

std::string isoText(model::UtcTime t) {
  const Split s = split(t);
  char buf[64];
  if (s.micro % 1000 == 0)
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<long long>(s.date.y), s.date.m, s.date.d, s.hour, s.minute,
                  s.second, s.micro / 1000);
  else
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02d.%06dZ",
                  static_cast<long long>(s.date.y), s.date.m, s.date.d, s.hour, s.minute,
                  s.second, s.micro);
  return buf;
}

std::string minuteText(model::UtcTime t) {
  const Split s = split(t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld/%02u/%02u %02d:%02d", static_cast<long long>(s.date.y),
                s.date.m, s.date.d, s.hour, s.minute);
  return buf;
}

model::UtcTime plusSeconds(model::UtcTime t, double seconds) {
  return {t.microseconds + std::llround(seconds * static_cast<double>(kMicrosPerSecond))};
}

model::UtcTime roundedToMillisecond(model::UtcTime t) {
  std::int64_t ms = t.microseconds / 1000, rest = t.microseconds % 1000;
  if (rest < 0) rest += 1000, --ms;
  return {(ms + (rest >= 500)) * 1000};
}

double secondsBetween(model::UtcTime a, model::UtcTime b) {
  return static_cast<double>(b.microseconds - a.microseconds) / static_cast<double>(kMicrosPerSecond);
}

}  // namespace recinfo
