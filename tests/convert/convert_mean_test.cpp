// The mean stored in the header record: truncated toward zero, clamped when
// the quotient leaves the int32 range (a count that does not match the
// samples), 0 without samples.
#include <gtest/gtest.h>

#include <climits>

#include "convert_stats.h"

namespace {

TEST(ConvertMean, TruncatesTowardZeroAndClamps) {
  struct Row {
    double sum;
    uint32_t count;
    int32_t mean;
  };
  const Row rows[] = {
      {-7.0, 2, -3},
      {7.0, 2, 3},
      {-1.0, 2, 0},
      {5.0, 1, 5},
      {0.0, 0, 0},
      {123.0, 0, 0},
      {2147483647.0, 1, INT32_MAX},
      {-2147483648.0, 1, INT32_MIN},
      {2147483647.9 * 2, 2, INT32_MAX},
      {-2147483648.9, 1, INT32_MIN},  // truncates to the least int32 itself
      {2147483648.0, 1, INT32_MAX},
      {-2147483649.0, 1, INT32_MIN},
      {1e300, 1, INT32_MAX},
      {-1e300, 3, INT32_MIN},
      {4294967295.0 * 2147483647.0, 4294967295u, INT32_MAX},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ConvertMean(row.sum, row.count), row.mean) << row.sum << " / " << row.count;
  }
}

}  // namespace
