// The run's conversion totals, kept by ConvertXFile (read with ConvertGetTotals).
#ifndef CONVERT_TOTALS_H
#define CONVERT_TOTALS_H

#include <cstdint>

// Counts one file that became a complete Y file holding `samples` samples.
void ConvertCountConverted(uint64_t samples);
// Counts one file that was skipped after a failure.
void ConvertCountSkipped(void);

#endif  // CONVERT_TOTALS_H
