// SteimEncodeBlock: packs samples into one well-formed Steim-1 XBlock.
#include <cstring>

#include "steim.h"

namespace {

void Store16(uint8_t* p, uint16_t v, bool bigEndian) {
  if (bigEndian) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
  } else {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
}

void Store32(uint8_t* p, uint32_t v, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = bigEndian ? 24 - 8 * i : 8 * i;
    p[i] = static_cast<uint8_t>(v >> shift);
  }
}

bool FitsIn8(uint32_t d) {
  const auto s = static_cast<int32_t>(d);
  return s >= -128 && s <= 127;
}

bool FitsIn16(uint32_t d) {
  const auto s = static_cast<int32_t>(d);
  return s >= -32768 && s <= 32767;
}

}  // namespace

uint32_t SteimEncodeBlock(void* xblock, const int32_t* samples, uint32_t count, int32_t previous,
                          int bigEndianFlag) {
  auto* block = static_cast<uint8_t*>(xblock);
  const bool bigEndian = bigEndianFlag != 0;
  std::memset(block + 64, 0, kXBlockSize - 64);

  // Difference i: samples[i] - samples[i-1] (samples[-1] = previous), mod 2^32.
  auto diff = [&](uint32_t i) {
    const uint32_t before = i == 0 ? static_cast<uint32_t>(previous)
                                   : static_cast<uint32_t>(samples[i - 1]);
    return static_cast<uint32_t>(samples[i]) - before;
  };

  uint32_t packed = 0;
  for (uint32_t f = 1; f <= 63 && packed < count; ++f) {
    uint8_t* frame = block + 64 * f;
    uint32_t control = 0;
    for (uint32_t w = f == 1 ? 3 : 1; w <= 15 && packed < count; ++w) {
      uint8_t* word = frame + 4 * w;
      const uint32_t left = count - packed;
      uint32_t code;
      if (left >= 4 && FitsIn8(diff(packed)) && FitsIn8(diff(packed + 1)) &&
          FitsIn8(diff(packed + 2)) && FitsIn8(diff(packed + 3))) {
        code = 1;
        for (uint32_t j = 0; j < 4; ++j) word[j] = static_cast<uint8_t>(diff(packed + j));
        packed += 4;
      } else if (left >= 2 && FitsIn16(diff(packed)) && FitsIn16(diff(packed + 1))) {
        code = 2;
        for (uint32_t j = 0; j < 2; ++j) {
          Store16(word + 2 * j, static_cast<uint16_t>(diff(packed + j)), bigEndian);
        }
        packed += 2;
      } else {
        code = 3;
        Store32(word, diff(packed), bigEndian);
        packed += 1;
      }
      control |= code << (30 - 2 * w);
    }
    Store32(frame, control, bigEndian);
  }

  const uint32_t x0 = static_cast<uint32_t>(packed != 0 ? samples[0] : previous);
  const uint32_t xn = static_cast<uint32_t>(packed != 0 ? samples[packed - 1] : previous);
  Store16(block + kSteimCountOffset, static_cast<uint16_t>(packed), bigEndian);
  Store32(block + kSteimX0Offset, x0, bigEndian);
  Store32(block + kSteimXnOffset, xn, bigEndian);
  return packed;
}
