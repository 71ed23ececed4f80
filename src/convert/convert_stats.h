// Running statistics of the samples of one conversion.
#ifndef CONVERT_STATS_H
#define CONVERT_STATS_H

#include <cstddef>
#include <cstdint>

// Largest and smallest sample (signed) and their sum. The sum must be the
// double that adding every sample to a double in turn gives. While every
// partial sum stays within +-2^53 each of those additions is exact, so the
// sum is kept as an exact 64-bit integer (`exact` true), which lets a block
// be summed in any order and with vector instructions. Before a block whose
// partial sums could pass that bound, the sum turns into the double (equal
// to the integer sum at that point) and every later sample is added to the
// double one by one, for the rest of the conversion.
struct ConvertStats {
  int32_t largest;
  int32_t smallest;
  int64_t exactSum;  // the sum while `exact` is true
  double sum;        // the sum once `exact` is false
  bool exact;
};

// The statistics before the first sample: largest -2147483648, smallest
// 2147483647, sum 0.
inline constexpr ConvertStats kConvertStatsStart = {INT32_MIN, INT32_MAX, 0, 0.0, true};

// Takes `count` samples from `samples` into `stats`, first to last.
void ConvertScanSamples(const int32_t* samples, size_t count, ConvertStats* stats);

// The vector kernels that scan the samples; the fastest the processor has
// is chosen at start. Tests run each of them: ConvertStatsUseKernel switches
// to `kind` and returns true, or returns false when the processor lacks it.
enum class ConvertScanKernel { kPortable, kAvx2, kAvx512 };
bool ConvertStatsUseKernel(ConvertScanKernel kind);

// Takes `count` zero samples into `stats` (samples a block claims beyond
// those it holds).
void ConvertScanZeros(size_t count, ConvertStats* stats);

// The sum of the samples taken so far, bit for bit the double that adding
// them to 0.0 one at a time gives.
double ConvertStatsSum(const ConvertStats& stats);

// The mean of `count` samples whose sum is `sum`: the quotient in double
// precision truncated toward zero; 0 for a count of 0. A quotient outside the
// signed 32-bit range (only possible when the count does not match the
// samples) is clamped to the nearest end of the range.
int32_t ConvertMean(double sum, uint32_t count);

#endif  // CONVERT_STATS_H
