#include "convert_stats.h"

namespace {

// Every partial sum within +-2^53 is an integer that a double holds exactly.
constexpr int64_t kExactLimit = int64_t{1} << 53;
// No sample adds more than 2^31 to the magnitude of a sum.
constexpr int kSampleMagnitudeBits = 31;

struct BlockStats {
  int32_t largest;
  int32_t smallest;
  int64_t sum;
};

// Samples one pass of ScanBlock takes at most; see there.
constexpr size_t kScanRound = 4096;

// Largest, smallest and exact sum of `count` samples, in a form that the
// compiler turns into vector code with 32-bit lanes only. The samples are
// taken in rounds of at most 4096. A round keeps its own largest and
// smallest and its sum modulo 2^32 (wrapping unsigned addition); its true
// sum lies between n * smallest and n * largest, a range narrower than 2^32
// whenever the round's samples span less than 2^20, and then the sum modulo
// 2^32 fixes it. Rounds of wider samples are summed again in two parts: each
// sample is high * 65536 + low with high = sample >> 16 (arithmetic) and low
// in [0, 65535]; the highs' sum fits an int32 and the lows' sum, below 2^32,
// follows from the sum modulo 2^32.
inline BlockStats ScanBlock(const int32_t* samples, size_t count, int32_t largest,
                            int32_t smallest) {
  int64_t sum = 0;
  while (count != 0) {
    const size_t round = count < kScanRound ? count : kScanRound;
    int32_t roundLargest = INT32_MIN;
    int32_t roundSmallest = INT32_MAX;
    uint32_t wrapped = 0;
    for (size_t i = 0; i < round; ++i) {
      const int32_t value = samples[i];
      roundLargest = value > roundLargest ? value : roundLargest;
      roundSmallest = value < roundSmallest ? value : roundSmallest;
      wrapped += static_cast<uint32_t>(value);
    }
    const int64_t span = int64_t{roundLargest} - roundSmallest;
    const auto n = static_cast<int64_t>(round);
    if (span < (int64_t{1} << 20)) {
      const int64_t floor = n * roundSmallest;
      sum += floor + int64_t{wrapped - static_cast<uint32_t>(floor)};
    } else {
      int32_t highs = 0;
      for (size_t i = 0; i < round; ++i) highs += samples[i] >> 16;
      const uint32_t lows = wrapped - (static_cast<uint32_t>(highs) << 16);
      sum += int64_t{highs} * 65536 + int64_t{lows};
    }
    largest = roundLargest > largest ? roundLargest : largest;
    smallest = roundSmallest < smallest ? roundSmallest : smallest;
    samples += round;
    count -= round;
  }
  return {largest, smallest, sum};
}

BlockStats ScanBlockPortable(const int32_t* samples, size_t count, int32_t largest,
                             int32_t smallest) {
  return ScanBlock(samples, count, largest, smallest);
}

using ScanBlockFn = BlockStats (*)(const int32_t*, size_t, int32_t, int32_t);

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same loop compiled for processors with AVX2, chosen at run time.
__attribute__((target("avx2"))) BlockStats ScanBlockAvx2(const int32_t* samples, size_t count,
                                                         int32_t largest, int32_t smallest) {
  return ScanBlock(samples, count, largest, smallest);
}

ScanBlockFn ChooseScanBlock() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? ScanBlockAvx2 : ScanBlockPortable;
}
#else
ScanBlockFn ChooseScanBlock() { return ScanBlockPortable; }
#endif

// Whether `count` more samples keep every partial sum of `sum` within the
// exact range, whatever their values. |sum| never exceeds the limit here.
bool StaysExact(int64_t sum, size_t count) {
  const int64_t magnitude = sum < 0 ? -sum : sum;
  const auto headroom = static_cast<uint64_t>(kExactLimit - magnitude);
  return count <= (headroom >> kSampleMagnitudeBits);
}

}  // namespace

void ConvertScanSamples(const int32_t* samples, size_t count, ConvertStats* stats) {
  if (stats->exact && StaysExact(stats->exactSum, count)) {
    static const ScanBlockFn scan = ChooseScanBlock();
    const BlockStats block = scan(samples, count, stats->largest, stats->smallest);
    stats->largest = block.largest;
    stats->smallest = block.smallest;
    stats->exactSum += block.sum;
    return;
  }
  if (stats->exact) {
    // Exact: the integer sum is within +-2^53 here.
    stats->sum = static_cast<double>(stats->exactSum);
    stats->exact = false;
  }
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

void ConvertScanZeros(size_t count, ConvertStats* stats) {
  // Adding 0 changes neither sum: the double one is never -0.0, as it starts
  // at +0.0 and integer additions that give zero give +0.0.
  if (count == 0) return;
  if (stats->largest < 0) stats->largest = 0;
  if (stats->smallest > 0) stats->smallest = 0;
}

double ConvertStatsSum(const ConvertStats& stats) {
  return stats.exact ? static_cast<double>(stats.exactSum) : stats.sum;
}

int32_t ConvertMean(double sum, uint32_t count) {
  if (count == 0) return 0;
  const double mean = sum / static_cast<double>(count);
  // Converting a double outside the int32 range is undefined; clamp first.
  // Written so that a NaN also takes the first branch.
  if (!(mean > -2147483649.0)) return INT32_MIN;
  if (mean >= 2147483648.0) return INT32_MAX;
  return static_cast<int32_t>(mean);  // truncates toward zero
}
