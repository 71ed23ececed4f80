// Running statistics of the samples of one conversion.
#ifndef CONVERT_STATS_H
#define CONVERT_STATS_H

#include <cstddef>
#include <cstdint>

// Largest and smallest sample (signed) and their sum, a double to which
// every sample is added in turn, in the order the samples are written.
struct ConvertStats {
  int32_t largest;
  int32_t smallest;
  double sum;
};

// The statistics before the first sample: largest -2147483648, smallest
// 2147483647, sum 0.0.
inline constexpr ConvertStats kConvertStatsStart = {INT32_MIN, INT32_MAX, 0.0};

// Takes `count` samples from `samples` into `stats`, first to last.
inline void ConvertScanSamples(const int32_t* samples, size_t count, ConvertStats* stats) {
  int32_t largest = stats->largest;
  int32_t smallest = stats->smallest;
  double sum = stats->sum;
  for (size_t i = 0; i < count; ++i) {
    const int32_t value = samples[i];
    if (value > largest) largest = value;
    if (value < smallest) smallest = value;
    sum += static_cast<double>(value);
  }
  stats->largest = largest;
  stats->smallest = smallest;
  stats->sum = sum;
}

// The mean of `count` samples whose sum is `sum`: the quotient in double
// precision truncated toward zero; 0 for a count of 0. A quotient outside the
// signed 32-bit range (only possible when the count does not match the
// samples) is clamped to the nearest end of the range.
int32_t ConvertMean(double sum, uint32_t count);

#endif  // CONVERT_STATS_H
