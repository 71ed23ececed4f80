#include "steim.h"

// Placeholder until the decoder lands.
uint16_t SteimDecodeBlock(int32_t*, const void*, int) { return 0; }
