// SteimDecodeBlock on any 4096 bytes with either swap flag: the result is the
// header's count, nothing is read outside the block, and no more than 3780
// samples are written (the buffers are exactly that large, so the sanitizer
// catches any step outside them).
#include <cstdlib>
#include <cstring>
#include <memory>

#include "kelvast.h"
#include "steim.h"

namespace {
void Silence(uint32_t, uint32_t, const char*, int, int32_t, const char*, const char*) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  LogSetSink(Silence);
  const int swap = data[0] & 1;
  auto block = std::make_unique<uint8_t[]>(kXBlockSize);
  std::memset(block.get(), 0, kXBlockSize);
  std::memcpy(block.get(), data + 1, std::min(size - 1, kXBlockSize));
  auto samples = std::make_unique<int32_t[]>(kSteimMaxSamples);

  const uint16_t result = SteimDecodeBlock(samples.get(), block.get(), swap);

  uint16_t count = 0;
  std::memcpy(&count, block.get() + 30, sizeof count);
  if (swap) SwapUShort(&count);
  if (result != count) std::abort();
  return 0;
}
