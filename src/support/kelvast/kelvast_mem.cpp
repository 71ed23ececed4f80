// Memory blocks with a bound on what is handed out at one time.
#include <cstdlib>
#include <cstring>

#include "kelvast.h"
#include "kelvast_internal.h"

namespace {

// Every block is preceded by a 64-byte prefix that records its size, so that
// the block itself stays 64-byte aligned for vector loads and stores.
constexpr size_t kPrefix = 64;
size_t g_inUse = 0;

}  // namespace

void* MemAllocHugeMem(uint32_t size, int /*line*/, const char* /*sourceFile*/) {
  const KelvastSettings& s = KelvastState();
  if (s.largestBlock != 0 && size > s.largestBlock) return nullptr;
  if (s.memoryBudget != 0 && g_inUse + size > s.memoryBudget) return nullptr;
  const size_t total = (kPrefix + size + kPrefix - 1) / kPrefix * kPrefix;
  auto* base = static_cast<unsigned char*>(std::aligned_alloc(kPrefix, total));
  if (base == nullptr) return nullptr;
  const size_t recorded = size;
  std::memcpy(base, &recorded, sizeof recorded);
  g_inUse += size;
  return base + kPrefix;
}

void MemFreeHugeMem(void* block) {
  if (block == nullptr) return;
  unsigned char* base = static_cast<unsigned char*>(block) - kPrefix;
  size_t recorded = 0;
  std::memcpy(&recorded, base, sizeof recorded);
  g_inUse -= recorded;
  std::free(base);
}

size_t MemBytesInUse(void) { return g_inUse; }
