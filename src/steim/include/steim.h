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

// Packs up to `count` samples from `samples` into one well-formed XBlock at
// `xblock` (4096 bytes) and returns how many it packed (at most 3772).
// Header bytes 0-63 are left as the caller gave them except the sample
// count at offset 30; `previous` is the last sample of the previous block
// (0 for the first), to which the block's first difference links;
// `bigEndian` nonzero stores every multi-byte value big-endian. Contract to
// be completed by the codec's implementation.
uint32_t SteimEncodeBlock(void* xblock, const int32_t* samples, uint32_t count, int32_t previous,
                          int bigEndian);

#endif  // STEIM_H
