// State shared by the modules of the support library (not public).
#ifndef KELVAST_INTERNAL_H
#define KELVAST_INTERNAL_H

#include <cstdint>

struct KelvastSettings {
  uint32_t memoryBudget = 0;   // 0 = no bound
  uint32_t largestBlock = 0;   // 0 = no bound
  int consoleOutput = 1;
  int programNumber = 0;
  const char* programName = "quorvale";
};

KelvastSettings& KelvastState();

#endif  // KELVAST_INTERNAL_H
