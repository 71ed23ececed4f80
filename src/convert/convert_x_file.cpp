#include "convert.h"

// Placeholder until the conversion lands.
void ConvertXFile(const char*, const char*) {}
ConvertTotals ConvertGetTotals(void) { return {}; }
