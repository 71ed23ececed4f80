// steim: the Steim-1 block codec.
#ifndef STEIM_H
#define STEIM_H

#include <cstddef>
#include <cstdint>

inline constexpr size_t kXBlockSize = 4096;
inline constexpr size_t kSteimMaxSamples = 3780;   // 63 frames x 15 words x 4

// Decodes one 4096-byte XBlock into `samples` (room for kSteimMaxSamples) and
// returns the block sample count of its header (offset 30). Contract to be
// completed by the codec's implementation.
uint16_t SteimDecodeBlock(int32_t* samples, const void* xblock, int swapFlag);

#endif  // STEIM_H
