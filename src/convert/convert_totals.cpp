#include "convert.h"
#include "convert_totals.h"

namespace {
ConvertTotals g_totals = {0, 0, 0};
}  // namespace

void ConvertCountConverted(uint64_t samples) {
  ++g_totals.converted;
  g_totals.samplesWritten += samples;
}

void ConvertCountSkipped(void) { ++g_totals.skipped; }

ConvertTotals ConvertGetTotals(void) { return g_totals; }
