#include "convert_stats.h"

#include <initializer_list>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

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

// Largest, smallest and sum modulo 2^32 of one round of samples, and the
// sum of their high halves (sample >> 16, arithmetic): at most 4096 of them,
// each within +-2^15, so it fits an int32.
struct RoundStats {
  int32_t largest;
  int32_t smallest;
  uint32_t wrapped;
  int32_t highs;
};

RoundStats ScanRoundPortable(const int32_t* samples, size_t count) {
  RoundStats round = {INT32_MIN, INT32_MAX, 0, 0};
  for (size_t i = 0; i < count; ++i) {
    const int32_t value = samples[i];
    round.largest = value > round.largest ? value : round.largest;
    round.smallest = value < round.smallest ? value : round.smallest;
    round.wrapped += static_cast<uint32_t>(value);
    round.highs += value >> 16;
  }
  return round;
}

// Folds the statistics of the samples after the vector part into `round`.
void MergeRound(RoundStats* round, const RoundStats& rest) {
  round->largest = rest.largest > round->largest ? rest.largest : round->largest;
  round->smallest = rest.smallest < round->smallest ? rest.smallest : round->smallest;
  round->wrapped += rest.wrapped;
  round->highs += rest.highs;
}

using ScanRoundFn = RoundStats (*)(const int32_t*, size_t);

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CONVERT_STATS_AVX2 __attribute__((target("avx2")))

CONVERT_STATS_AVX2 int32_t HorizontalMax(__m256i v) {
  __m128i x = _mm_max_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  x = _mm_max_epi32(x, _mm_shuffle_epi32(x, 0x4E));
  x = _mm_max_epi32(x, _mm_shuffle_epi32(x, 0xB1));
  return _mm_cvtsi128_si32(x);
}

CONVERT_STATS_AVX2 int32_t HorizontalMin(__m256i v) {
  __m128i x = _mm_min_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  x = _mm_min_epi32(x, _mm_shuffle_epi32(x, 0x4E));
  x = _mm_min_epi32(x, _mm_shuffle_epi32(x, 0xB1));
  return _mm_cvtsi128_si32(x);
}

CONVERT_STATS_AVX2 uint32_t HorizontalSum(__m256i v) {
  __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0x4E));
  x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0xB1));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(x));
}

// The statistics of a round from the vector accumulators of its largest,
// smallest, wrapped and high-half sums, and the `restCount` samples at
// `rest` that the vector steps left over.
CONVERT_STATS_AVX2 RoundStats FinishRound(__m256i largest, __m256i smallest, __m256i wrapped,
                                          __m256i highs, const int32_t* rest, size_t restCount) {
  RoundStats round = {HorizontalMax(largest), HorizontalMin(smallest), HorizontalSum(wrapped),
                      static_cast<int32_t>(HorizontalSum(highs))};
  MergeRound(&round, ScanRoundPortable(rest, restCount));
  return round;
}

// ScanRoundPortable with 16 samples a step in two independent sets of
// accumulators, so that the additions and comparisons do not wait on each
// other.
CONVERT_STATS_AVX2 RoundStats ScanRoundAvx2(const int32_t* samples, size_t count) {
  // Named accumulators rather than arrays, which the compiler would keep in
  // memory; two sets, as more would not fit the 16 vector registers.
  __m256i l0 = _mm256_set1_epi32(INT32_MIN), l1 = l0;
  __m256i s0 = _mm256_set1_epi32(INT32_MAX), s1 = s0;
  __m256i w0 = _mm256_setzero_si256(), w1 = w0;
  __m256i h0 = _mm256_setzero_si256(), h1 = h0;
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + i));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + i + 8));
    l0 = _mm256_max_epi32(l0, v0);
    l1 = _mm256_max_epi32(l1, v1);
    s0 = _mm256_min_epi32(s0, v0);
    s1 = _mm256_min_epi32(s1, v1);
    w0 = _mm256_add_epi32(w0, v0);
    w1 = _mm256_add_epi32(w1, v1);
    h0 = _mm256_add_epi32(h0, _mm256_srai_epi32(v0, 16));
    h1 = _mm256_add_epi32(h1, _mm256_srai_epi32(v1, 16));
  }
  return FinishRound(_mm256_max_epi32(l0, l1), _mm256_min_epi32(s0, s1),
                     _mm256_add_epi32(w0, w1), _mm256_add_epi32(h0, h1), samples + i, count - i);
}

#define CONVERT_STATS_AVX512 __attribute__((target("avx512f")))

// GCC's 512-bit extractions start from a vector it leaves undefined on
// purpose, which its uninitialised-value warnings flag.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The same with 32 samples a step in 512-bit registers.
CONVERT_STATS_AVX512 RoundStats ScanRoundAvx512(const int32_t* samples, size_t count) {
  __m512i l0 = _mm512_set1_epi32(INT32_MIN), l1 = l0;
  __m512i s0 = _mm512_set1_epi32(INT32_MAX), s1 = s0;
  __m512i w0 = _mm512_setzero_si512(), w1 = w0;
  __m512i h0 = _mm512_setzero_si512(), h1 = h0;
  size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    const __m512i v0 = _mm512_loadu_si512(samples + i);
    const __m512i v1 = _mm512_loadu_si512(samples + i + 16);
    l0 = _mm512_max_epi32(l0, v0);
    l1 = _mm512_max_epi32(l1, v1);
    s0 = _mm512_min_epi32(s0, v0);
    s1 = _mm512_min_epi32(s1, v1);
    w0 = _mm512_add_epi32(w0, v0);
    w1 = _mm512_add_epi32(w1, v1);
    h0 = _mm512_add_epi32(h0, _mm512_srai_epi32(v0, 16));
    h1 = _mm512_add_epi32(h1, _mm512_srai_epi32(v1, 16));
  }
  // Folded to 256 bits in vector instructions, whose additions wrap (the
  // compiler's own 512-bit reductions add in signed scalars).
  const __m512i l = _mm512_max_epi32(l0, l1);
  const __m512i sm = _mm512_min_epi32(s0, s1);
  const __m512i w = _mm512_add_epi32(w0, w1);
  const __m512i h = _mm512_add_epi32(h0, h1);
  return FinishRound(
      _mm256_max_epi32(_mm512_castsi512_si256(l), _mm512_extracti64x4_epi64(l, 1)),
      _mm256_min_epi32(_mm512_castsi512_si256(sm), _mm512_extracti64x4_epi64(sm, 1)),
      _mm256_add_epi32(_mm512_castsi512_si256(w), _mm512_extracti64x4_epi64(w, 1)),
      _mm256_add_epi32(_mm512_castsi512_si256(h), _mm512_extracti64x4_epi64(h, 1)),
      samples + i, count - i);
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// The kernel of `kind`, or null when this processor lacks it.
ScanRoundFn ScanRoundOf(ConvertScanKernel kind) {
  __builtin_cpu_init();
  switch (kind) {
    case ConvertScanKernel::kPortable:
      return ScanRoundPortable;
    case ConvertScanKernel::kAvx2:
      return __builtin_cpu_supports("avx2") ? ScanRoundAvx2 : nullptr;
    case ConvertScanKernel::kAvx512:
      return __builtin_cpu_supports("avx512f") ? ScanRoundAvx512 : nullptr;
  }
  return nullptr;
}
#else
ScanRoundFn ScanRoundOf(ConvertScanKernel kind) {
  return kind == ConvertScanKernel::kPortable ? ScanRoundPortable : nullptr;
}
#endif

// The fastest kernel the processor has.
ScanRoundFn ChooseScanRound() {
  for (const ConvertScanKernel kind : {ConvertScanKernel::kAvx512, ConvertScanKernel::kAvx2}) {
    if (const ScanRoundFn scan = ScanRoundOf(kind)) return scan;
  }
  return ScanRoundPortable;
}

ScanRoundFn g_scanRound = ChooseScanRound();

// Samples one round takes at most; see ScanBlock.
constexpr size_t kScanRound = 4096;

// Largest, smallest and exact sum of `count` samples, taken in rounds of at
// most 4096 that use 32-bit arithmetic only (and so vector instructions).
// A round keeps its own largest and smallest and its sum modulo 2^32
// (wrapping unsigned addition); its true sum lies between n * smallest and
// n * largest, and when that range is narrower than 2^32 (for 4096 samples:
// when they span less than 2^20), the sum modulo 2^32 fixes it. Rounds of wider
// samples are summed again in two parts: each sample is high * 65536 + low
// with high = sample >> 16 (arithmetic) and low in [0, 65535]; the highs' sum
// fits an int32 and the lows' sum, below 2^32, follows from the sum modulo
// 2^32. Every round sums the highs along the way: a second pass over a wide
// round would cost more than the one addition per vector.
BlockStats ScanBlock(const int32_t* samples, size_t count, int32_t largest, int32_t smallest) {
  const ScanRoundFn scanRound = g_scanRound;
  int64_t sum = 0;
  while (count != 0) {
    const size_t size = count < kScanRound ? count : kScanRound;
    const RoundStats round = scanRound(samples, size);
    const int64_t span = int64_t{round.largest} - round.smallest;
    const auto n = static_cast<int64_t>(size);
    if (span * n < (int64_t{1} << 32)) {
      const int64_t floor = n * round.smallest;
      sum += floor + int64_t{round.wrapped - static_cast<uint32_t>(floor)};
    } else {
      const uint32_t lows = round.wrapped - (static_cast<uint32_t>(round.highs) << 16);
      sum += int64_t{round.highs} * 65536 + int64_t{lows};
    }
    largest = round.largest > largest ? round.largest : largest;
    smallest = round.smallest < smallest ? round.smallest : smallest;
    samples += size;
    count -= size;
  }
  return {largest, smallest, sum};
}

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
    const BlockStats block = ScanBlock(samples, count, stats->largest, stats->smallest);
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

bool ConvertStatsUseKernel(ConvertScanKernel kind) {
  const ScanRoundFn scan = ScanRoundOf(kind);
  if (scan == nullptr) return false;
  g_scanRound = scan;
  return true;
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
