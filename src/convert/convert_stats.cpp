#include "convert_stats.h"

int32_t ConvertMean(double sum, uint32_t count) {
  if (count == 0) return 0;
  const double mean = sum / static_cast<double>(count);
  // Converting a double outside the int32 range is undefined; clamp first.
  // Written so that a NaN also takes the first branch.
  if (!(mean > -2147483649.0)) return INT32_MIN;
  if (mean >= 2147483648.0) return INT32_MAX;
  return static_cast<int32_t>(mean);  // truncates toward zero
}
