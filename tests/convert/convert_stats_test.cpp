// The running statistics: largest, smallest, and a sum bit for bit equal to
// adding every sample to a double in turn, also where that double is no
// longer exact (partial sums beyond 2^53), whatever the blocks' sizes.
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "convert_stats.h"

namespace {

constexpr int64_t kTwo53 = int64_t{1} << 53;

// The plain way: every sample added to a double in turn.
struct Reference {
  int32_t largest = INT32_MIN;
  int32_t smallest = INT32_MAX;
  double sum = 0.0;
  int64_t exact = 0;  // the true sum, for telling the cases apart
  void Take(const std::vector<int32_t>& samples) {
    for (int32_t s : samples) {
      if (s > largest) largest = s;
      if (s < smallest) smallest = s;
      sum += s;
      exact += s;
    }
  }
};

void ExpectSame(const ConvertStats& stats, const Reference& ref) {
  EXPECT_EQ(stats.largest, ref.largest);
  EXPECT_EQ(stats.smallest, ref.smallest);
  EXPECT_EQ(std::bit_cast<uint64_t>(ConvertStatsSum(stats)), std::bit_cast<uint64_t>(ref.sum))
      << ConvertStatsSum(stats) << " != " << ref.sum;
}

std::vector<int32_t> Repeat(int32_t value, size_t count) {
  return std::vector<int32_t>(count, value);
}

std::vector<int32_t> WithFirst(int32_t first, std::vector<int32_t> rest) {
  rest.insert(rest.begin(), first);
  return rest;
}

// Feeds `samples` in blocks of `blockSize` to both.
void Feed(ConvertStats* stats, Reference* ref, const std::vector<int32_t>& samples,
          size_t blockSize) {
  for (size_t at = 0; at < samples.size(); at += blockSize) {
    const size_t n = std::min(blockSize, samples.size() - at);
    ConvertScanSamples(samples.data() + at, n, stats);
  }
  ref->Take(samples);
}

// Brings the sum to exactly `target` (|target| < 2^53) with the most extreme
// samples, in blocks of 4096.
void FeedUpTo(ConvertStats* stats, Reference* ref, int64_t target) {
  const int32_t step = target < 0 ? INT32_MIN : INT32_MAX;
  const int64_t full = target / step;
  std::vector<int32_t> samples = Repeat(step, static_cast<size_t>(full));
  samples.push_back(static_cast<int32_t>(target - full * step));
  Feed(stats, ref, samples, 4096);
  ASSERT_EQ(ref->exact, target);
}

TEST(ConvertStats, MatchesThePlainLoopForAnyBlockSizes) {
  std::mt19937 random(17);
  std::vector<int32_t> fullRange(200000);
  for (int32_t& s : fullRange) s = static_cast<int32_t>(random());
  std::vector<int32_t> small(150000);
  for (int32_t& s : small) s = static_cast<int32_t>(random() % 2001) - 1000;
  struct Row {
    const char* name;
    std::vector<int32_t> samples;
    size_t blockSize;
  };
  const Row rows[] = {
      {"nothing", {}, 1},
      {"full range, decoder-sized blocks", fullRange, 3780},
      {"full range, one call", fullRange, fullRange.size()},
      {"full range, odd blocks", fullRange, 37},
      {"small values", small, 4096},
      {"all least, beyond one round of the vector sum", Repeat(INT32_MIN, 140000), 140000},
      {"all greatest, beyond one round", Repeat(INT32_MAX, 140000), 70001},
      {"all -1", Repeat(-1, 70000), 65536},
      // One least, the rest greatest, where count x span passes 2^32 and the
      // sum stops following from its value modulo 2^32.
      {"4096 samples spanning just under 2^20", WithFirst(-524288, Repeat(524287, 4095)), 4096},
      {"4096 samples spanning just over 2^20", WithFirst(-524288, Repeat(524588, 4095)), 4096},
      {"3000 samples spanning just over 2^32 / 3000",
       WithFirst(-1000000, Repeat(433000, 2999)), 3000},
  };
  // Every scanning kernel the processor has, on every row.
  for (const ConvertScanKernel kernel :
       {ConvertScanKernel::kPortable, ConvertScanKernel::kAvx2, ConvertScanKernel::kAvx512}) {
    if (!ConvertStatsUseKernel(kernel)) continue;
    for (const Row& row : rows) {
      SCOPED_TRACE(testing::Message() << "kernel " << static_cast<int>(kernel) << ", " << row.name);
      ConvertStats stats = kConvertStatsStart;
      Reference ref;
      Feed(&stats, &ref, row.samples, row.blockSize);
      ExpectSame(stats, ref);
    }
  }
  // Back to the fastest, as at start.
  if (!ConvertStatsUseKernel(ConvertScanKernel::kAvx512)) {
    ConvertStatsUseKernel(ConvertScanKernel::kAvx2);
  }
}

// Sums that pass 2^53, where the double loses units: the result is the
// double's, not the true sum.
TEST(ConvertStats, SumsBeyondTwoToThe53AreThoseOfTheDouble) {
  struct Row {
    const char* name;
    int64_t start;                 // reached exactly first
    std::vector<int32_t> samples;  // then these, in one block
  };
  const Row rows[] = {
      // 2^53 + 1 rounds back to 2^53: every later +1 is lost.
      {"ones past 2^53 within one block", kTwo53 - 1000, Repeat(1, 4096)},
      {"minus ones past -2^53 within one block", -(kTwo53 - 1000), Repeat(-1, 4096)},
      {"odd steps past 2^53", kTwo53 - 3, Repeat(3, 50)},
      {"past 2^53 and back below it",
       kTwo53 - 10,
       [] {
         std::vector<int32_t> v = Repeat(1, 100);
         v.insert(v.end(), 3, INT32_MIN);
         return v;
       }()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ConvertStats stats = kConvertStatsStart;
    Reference ref;
    FeedUpTo(&stats, &ref, row.start);
    Feed(&stats, &ref, row.samples, row.samples.size());
    ASSERT_NE(static_cast<double>(ref.exact), ref.sum) << "the double must have lost units";
    ExpectSame(stats, ref);
    // And it stays the double's for the rest of the samples.
    Feed(&stats, &ref, Repeat(5, 9000), 3000);
    ExpectSame(stats, ref);
  }
}

// A sum that ends right at 2^53 is exact and needs no double at all.
TEST(ConvertStats, SumUpToTwoToThe53IsExact) {
  ConvertStats stats = kConvertStatsStart;
  Reference ref;
  FeedUpTo(&stats, &ref, kTwo53 - 4096);
  Feed(&stats, &ref, Repeat(1, 4096), 4096);
  EXPECT_EQ(ref.exact, kTwo53);
  ExpectSame(stats, ref);
}

// Samples a block claims but does not hold count as zeros.
TEST(ConvertStats, ZerosCountInLargestAndSmallest) {
  struct Row {
    std::vector<int32_t> samples;
    size_t zeros;
  };
  const Row rows[] = {
      {{-5, -7}, 3},
      {{5, 7}, 1},
      {{-5, 7}, 2},
      {{}, 4},
      {{-5}, 0},
  };
  for (const Row& row : rows) {
    ConvertStats stats = kConvertStatsStart;
    Reference ref;
    Feed(&stats, &ref, row.samples, 8);
    ConvertScanZeros(row.zeros, &stats);
    ref.Take(Repeat(0, row.zeros));
    ExpectSame(stats, ref);
  }
}

}  // namespace
