// ISO 8601 texts for the times of Y and X files.
#ifndef YDUMP_TIME_H
#define YDUMP_TIME_H

#include <cstdint>
#include <string>

// `ns` nanoseconds since 1970-01-01T00:00:00 UTC as an ISO 8601 UTC text,
// for example "2024-02-29T23:59:59.250Z": the fraction has 3, 6 or 9 digits,
// as many as it needs. Covers the whole int64 range (years 1677 to 2262).
std::string YdumpIsoTime(int64_t ns);

// The time of sample `index` of a series that starts at `startNs` with
// `rate` samples per second, rounded to the nanosecond; the start time when
// the rate is not a positive finite number.
int64_t YdumpSampleTime(int64_t startNs, double rate, uint64_t index);

#endif  // YDUMP_TIME_H
