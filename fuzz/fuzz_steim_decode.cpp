// SteimDecodeBlock on any 4096 bytes with either swap flag (bit 0 of the
// first input byte; the rest is the block, zero-filled to 4096 bytes).
//
// Every kernel the processor supports is compared with a plain reference
// decoder written here from the block layout: the same decoded count (never
// above 3780), the same samples, the same final value, nothing written after
// the decoded samples, the header's count as result and the same warnings.
// Each kernel gets its own buffer of exactly 3780 values, so the sanitizer
// catches any write outside it.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kelvast.h"
#include "steim.h"
#include "steim_kernels.h"

namespace {

constexpr int32_t kUntouched = 0x5A5A5A5A;

std::vector<std::string>& Warnings() {
  static std::vector<std::string> warnings;
  return warnings;
}

void Capture(uint32_t, uint32_t, const char*, int, int32_t, const char* text, const char*) {
  Warnings().emplace_back(text);
}

uint16_t Load16(const uint8_t* p, int swap) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  if (swap) SwapUShort(&v);
  return v;
}

uint32_t Load32(const uint8_t* p, int swap) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if (swap) SwapULong(&v);
  return v;
}

struct Decoded {
  uint16_t headerCount = 0;
  int32_t xn = 0;
  uint32_t count = 0;
  int32_t finalValue = 0;
  std::vector<int32_t> samples;
};

// The frame walk done the plain way: one difference at a time, stopping at
// the header's count (also inside a word) or after frame 63.
Decoded Reference(const uint8_t* block, int swap) {
  Decoded d;
  d.headerCount = Load16(block + kSteimCountOffset, swap);
  d.xn = static_cast<int32_t>(Load32(block + kSteimXnOffset, swap));
  uint32_t running = Load32(block + kSteimX0Offset, swap);
  for (size_t frame = 1; frame <= 63 && d.count < d.headerCount; ++frame) {
    const uint8_t* base = block + 64 * frame;
    const uint32_t control = Load32(base, swap);
    for (unsigned word = 1; word <= 15 && d.count < d.headerCount; ++word) {
      const uint8_t* p = base + 4 * word;
      uint32_t diffs[4];
      unsigned n = 0;
      switch ((control >> (30 - 2 * word)) & 3u) {
        case 1:
          for (unsigned i = 0; i < 4; ++i) {
            diffs[n++] = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(p[i])));
          }
          break;
        case 2:
          for (unsigned i = 0; i < 2; ++i) {
            diffs[n++] = static_cast<uint32_t>(
                static_cast<int32_t>(static_cast<int16_t>(Load16(p + 2 * i, swap))));
          }
          break;
        case 3:
          diffs[n++] = Load32(p, swap);
          break;
        default:
          break;
      }
      for (unsigned i = 0; i < n && d.count < d.headerCount; ++i) {
        ++d.count;
        if (!(frame == 1 && word == 3 && i == 0)) running += diffs[i];
        d.samples.push_back(static_cast<int32_t>(running));
      }
    }
  }
  d.finalValue = static_cast<int32_t>(running);
  return d;
}

std::vector<std::string> ExpectedWarnings(const Decoded& d) {
  std::vector<std::string> texts;
  if (d.count != d.headerCount) {
    texts.push_back("Steim block contains " + std::to_string(d.count) + " samples not correct " +
                    std::to_string(d.headerCount));
  }
  if (d.finalValue != d.xn) {
    texts.push_back("Steim block calculated final value " + std::to_string(d.finalValue) +
                    " not correct " + std::to_string(d.xn));
  }
  return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  LogSetSink(Capture);
  const int swap = data[0] & 1;
  auto block = std::make_unique<uint8_t[]>(kXBlockSize);
  std::memset(block.get(), 0, kXBlockSize);
  std::memcpy(block.get(), data + 1, std::min(size - 1, kXBlockSize));
  const auto original = std::make_unique<uint8_t[]>(kXBlockSize);
  std::memcpy(original.get(), block.get(), kXBlockSize);

  const Decoded expected = Reference(block.get(), swap);
  if (expected.count > kSteimMaxSamples) std::abort();
  const std::vector<std::string> expectedWarnings = ExpectedWarnings(expected);

  for (const SteimKernel& kernel : SteimKernels()) {
    if (!kernel.supported()) continue;
    auto samples = std::make_unique<int32_t[]>(kSteimMaxSamples);
    for (size_t i = 0; i < kSteimMaxSamples; ++i) samples[i] = kUntouched;

    Warnings().clear();
    const uint16_t result = SteimDecodeBlockWith(kernel, samples.get(), block.get(), swap);
    if (result != expected.headerCount || Warnings() != expectedWarnings) std::abort();
    for (size_t i = 0; i < kSteimMaxSamples; ++i) {
      const int32_t want = i < expected.count ? expected.samples[i] : kUntouched;
      if (samples[i] != want) std::abort();
    }
    if (std::memcmp(block.get(), original.get(), kXBlockSize) != 0) std::abort();
  }

  // The public entry point takes the preferred kernel; its result is the
  // header's count.
  auto samples = std::make_unique<int32_t[]>(kSteimMaxSamples);
  if (SteimDecodeBlock(samples.get(), block.get(), swap) != expected.headerCount) std::abort();
  return 0;
}
