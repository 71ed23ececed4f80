// The portable Steim-1 kernel, and the reference every faster kernel is
// tested against: it follows the frame walk one difference at a time.
#include <cstring>

#include "steim_kernels.h"

namespace {

template <bool kSwap>
uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (kSwap) v = __builtin_bswap32(v);
  return v;
}

template <bool kSwap>
uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (kSwap) v = static_cast<uint16_t>((v >> 8) | (v << 8));
  return v;
}

template <bool kSwap>
uint32_t DecodeFrames(int32_t* samples, const uint8_t* block, uint32_t count, int32_t x0,
                      int32_t* finalValue) {
  // Unsigned arithmetic: the running value wraps modulo 2^32.
  uint32_t running = static_cast<uint32_t>(x0);
  uint32_t decoded = 0;
  for (uint32_t f = 1; f <= 63 && decoded < count; ++f) {
    const uint8_t* frame = block + 64 * f;
    const uint32_t control = Load32<kSwap>(frame);
    for (uint32_t w = 1; w <= 15; ++w) {
      const uint8_t* word = frame + 4 * w;
      const uint32_t code = (control >> (30 - 2 * w)) & 3;
      // The first difference of frame 1 word 3 links to the previous block:
      // it is counted and stored, never added.
      const bool skipFirst = f == 1 && w == 3;
      const uint32_t left = count - decoded;
      if (code == 1) {
        const uint32_t take = left < 4 ? left : 4;
        for (uint32_t j = 0; j < take; ++j) {
          const auto d = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(word[j])));
          if (!(skipFirst && j == 0)) running += d;
          samples[decoded++] = static_cast<int32_t>(running);
        }
      } else if (code == 2) {
        const uint32_t take = left < 2 ? left : 2;
        for (uint32_t j = 0; j < take; ++j) {
          const auto d = static_cast<uint32_t>(
              static_cast<int32_t>(static_cast<int16_t>(Load16<kSwap>(word + 2 * j))));
          if (!(skipFirst && j == 0)) running += d;
          samples[decoded++] = static_cast<int32_t>(running);
        }
      } else if (code == 3) {
        if (!skipFirst) running += Load32<kSwap>(word);
        samples[decoded++] = static_cast<int32_t>(running);
      }
      if (decoded == count) break;
    }
  }
  *finalValue = static_cast<int32_t>(running);
  return decoded;
}

}  // namespace

uint32_t SteimDecodeScalar(int32_t* samples, const uint8_t* block, uint32_t count, int32_t x0,
                           int swap, int32_t* finalValue) {
  return swap != 0 ? DecodeFrames<true>(samples, block, count, x0, finalValue)
                   : DecodeFrames<false>(samples, block, count, x0, finalValue);
}
