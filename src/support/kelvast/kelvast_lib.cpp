// Library start-up and the program's identity.
#include "kelvast.h"
#include "kelvast_internal.h"

KelvastSettings& KelvastState() {
  static KelvastSettings settings;
  return settings;
}

int LibStartup(uint32_t memoryBudget, uint32_t largestBlock, int consoleOutput) {
  KelvastSettings& s = KelvastState();
  s.memoryBudget = memoryBudget;
  s.largestBlock = largestBlock;
  s.consoleOutput = consoleOutput;
  return 0;
}

void LibSetProgram(int programNumber, const char* name) {
  KelvastSettings& s = KelvastState();
  s.programNumber = programNumber;
  if (name != nullptr) s.programName = name;
}

int LibProgramNumber(void) { return KelvastState().programNumber; }
const char* LibProgramName(void) { return KelvastState().programName; }
