#include "ydump_time.h"

#include <cmath>
#include <cstdio>

namespace {

// Days since 1970-01-01 -> proleptic Gregorian year, month, day
// (the era-based conversion: 400-year eras of 146097 days).
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0);
}

}  // namespace

std::string YdumpIsoTime(int64_t ns) {
  constexpr int64_t kNsPerSecond = 1000000000;
  constexpr int64_t kSecondsPerDay = 86400;
  int64_t seconds = ns / kNsPerSecond;
  int64_t fraction = ns % kNsPerSecond;
  if (fraction < 0) {  // floor toward the past
    fraction += kNsPerSecond;
    seconds -= 1;
  }
  int64_t days = seconds / kSecondsPerDay;
  int64_t secondOfDay = seconds % kSecondsPerDay;
  if (secondOfDay < 0) {
    secondOfDay += kSecondsPerDay;
    days -= 1;
  }
  int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, &year, &month, &day);

  char text[64];
  int length = std::snprintf(
      text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld", static_cast<long long>(year),
      month, day, static_cast<long long>(secondOfDay / 3600),
      static_cast<long long>(secondOfDay / 60 % 60), static_cast<long long>(secondOfDay % 60));
  if (fraction % 1000000 == 0) {
    length += std::snprintf(text + length, sizeof text - static_cast<size_t>(length), ".%03lld",
                            static_cast<long long>(fraction / 1000000));
  } else if (fraction % 1000 == 0) {
    length += std::snprintf(text + length, sizeof text - static_cast<size_t>(length), ".%06lld",
                            static_cast<long long>(fraction / 1000));
  } else {
    length += std::snprintf(text + length, sizeof text - static_cast<size_t>(length), ".%09lld",
                            static_cast<long long>(fraction));
  }
  return std::string(text, static_cast<size_t>(length)) + "Z";
}

int64_t YdumpSampleTime(int64_t startNs, double rate, uint64_t index) {
  if (!(rate > 0.0) || !std::isfinite(rate)) return startNs;
  const double offset = std::round(static_cast<double>(index) / rate * 1e9);
  if (!(offset < 9.2e18)) return startNs;  // beyond what int64 nanoseconds hold
  // Wrapping addition: a time past the int64 range is a nonsense header, not
  // a reason for undefined behaviour.
  return static_cast<int64_t>(static_cast<uint64_t>(startNs) +
                              static_cast<uint64_t>(static_cast<int64_t>(offset)));
}
