// Calendar arithmetic for start times and SEED BTIMEs, and rate factors.
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "xgen.h"
#include "xgen_internal.h"

namespace {

constexpr int64_t kNsPerSecond = 1000000000;
constexpr int64_t kNsPerDay = 86400 * kNsPerSecond;

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Reads exactly `width` decimal digits at `*pos`.
bool Digits(std::string_view text, size_t* pos, size_t width, int64_t* value) {
  if (*pos + width > text.size()) return false;
  int64_t v = 0;
  for (size_t i = 0; i < width; ++i) {
    const char c = text[*pos + i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *pos += width;
  *value = v;
  return true;
}

bool Expect(std::string_view text, size_t* pos, char c) {
  if (*pos >= text.size() || text[*pos] != c) return false;
  ++*pos;
  return true;
}

}  // namespace

// Days from 1970-01-01 for a proleptic Gregorian date (the well-known
// era-based algorithm: 400-year eras of 146097 days).
int64_t XgenDaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yoe = year - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool XgenParseTime(std::string_view text, int64_t* ns) {
  size_t pos = 0;
  int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!Digits(text, &pos, 4, &year) || !Expect(text, &pos, '-') ||
      !Digits(text, &pos, 2, &month) || !Expect(text, &pos, '-') ||
      !Digits(text, &pos, 2, &day)) {
    return false;
  }
  if (pos >= text.size() || (text[pos] != 'T' && text[pos] != ' ')) return false;
  ++pos;
  if (!Digits(text, &pos, 2, &hour) || !Expect(text, &pos, ':') ||
      !Digits(text, &pos, 2, &minute) || !Expect(text, &pos, ':') ||
      !Digits(text, &pos, 2, &second)) {
    return false;
  }
  int64_t fraction = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    int64_t scale = kNsPerSecond;
    size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (++digits > 9) return false;
      scale /= 10;
      fraction += (text[pos] - '0') * scale;
      ++pos;
    }
    if (digits == 0) return false;
  }
  if (pos < text.size() && text[pos] == 'Z') ++pos;
  if (pos != text.size()) return false;

  static constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  const int64_t monthDays = kMonthDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
  if (day > monthDays || hour > 23 || minute > 59 || second > 59) return false;
  // int64 nanoseconds reach from 1677 to 2262: whole years inside that range.
  if (year < 1678 || year > 2261) return false;

  const int64_t days =
      XgenDaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  *ns = days * kNsPerDay + ((hour * 60 + minute) * 60 + second) * kNsPerSecond + fraction;
  return true;
}

XgenBtime XgenSplitTime(int64_t ns) {
  const int64_t days = FloorDiv(ns, kNsPerDay);
  int64_t inDay = ns - days * kNsPerDay;
  // Year of `days`: start from an estimate and correct.
  int64_t year = 1970 + FloorDiv(days * 400, 146097);
  while (XgenDaysFromCivil(year, 1, 1) > days) --year;
  while (XgenDaysFromCivil(year + 1, 1, 1) <= days) ++year;
  XgenBtime time;
  time.year = static_cast<uint16_t>(year);
  time.day = static_cast<uint16_t>(days - XgenDaysFromCivil(year, 1, 1) + 1);
  time.hour = static_cast<uint8_t>(inDay / (3600 * kNsPerSecond));
  inDay %= 3600 * kNsPerSecond;
  time.minute = static_cast<uint8_t>(inDay / (60 * kNsPerSecond));
  inDay %= 60 * kNsPerSecond;
  time.second = static_cast<uint8_t>(inDay / kNsPerSecond);
  inDay %= kNsPerSecond;
  time.fraction = static_cast<uint16_t>(inDay / 100000);
  return time;
}

int64_t XgenJoinTime(const XgenBtime& time) {
  const int64_t days = XgenDaysFromCivil(time.year, 1, 1) + time.day - 1;
  return days * kNsPerDay +
         ((int64_t{time.hour} * 60 + time.minute) * 60 + time.second) * kNsPerSecond +
         int64_t{time.fraction} * 100000;
}

void XgenRateToFactors(double rate, int16_t* factor, int16_t* multiplier) {
  *factor = 0;
  *multiplier = 0;
  if (!(rate > 0) || !std::isfinite(rate)) return;
  // rate = n / d with small integers, exact where one exists.
  int64_t bestN = 0, bestD = 1;
  double bestError = HUGE_VAL;
  for (int64_t d = 1; d <= 32767; ++d) {
    const double n = std::round(rate * static_cast<double>(d));
    if (n < 1) continue;
    if (n > 32767) break;
    const double error = std::fabs(n / static_cast<double>(d) - rate);
    if (error < bestError) {
      bestError = error;
      bestN = static_cast<int64_t>(n);
      bestD = d;
      if (error <= rate * 1e-12) break;
    }
  }
  if (bestN == 0) {
    // Beyond one small fraction: the nearest of factor * multiplier (fast
    // rates) or 1 / (factor * multiplier) (very slow ones).
    if (rate >= 1) {
      const double m = std::ceil(rate / 32767.0);
      *factor = static_cast<int16_t>(std::lround(std::fmin(rate / m, 32767.0)));
      *multiplier = static_cast<int16_t>(std::fmin(m, 32767.0));
    } else {
      const double period = std::fmin(1.0 / rate, 32767.0 * 32767.0);
      const double m = std::ceil(period / 32767.0);
      *factor = static_cast<int16_t>(-std::lround(std::fmin(period / m, 32767.0)));
      *multiplier = static_cast<int16_t>(-m);
    }
    return;
  }
  if (bestD == 1) {
    *factor = static_cast<int16_t>(bestN);
    *multiplier = 1;
  } else if (bestN == 1) {
    *factor = static_cast<int16_t>(-bestD);
    *multiplier = 1;
  } else if (rate >= 1) {
    *factor = static_cast<int16_t>(bestN);  // rate = -factor / multiplier
    *multiplier = static_cast<int16_t>(-bestD);
  } else {
    *factor = static_cast<int16_t>(-bestD);  // rate = -multiplier / factor
    *multiplier = static_cast<int16_t>(bestN);
  }
}

double XgenRateFromFactors(int16_t factor, int16_t multiplier) {
  const double f = factor;
  const double m = multiplier;
  if (factor == 0 || multiplier == 0) return 0.0;
  if (factor > 0 && multiplier > 0) return f * m;
  if (factor > 0) return -f / m;
  if (multiplier > 0) return -m / f;
  return 1.0 / (f * m);
}
