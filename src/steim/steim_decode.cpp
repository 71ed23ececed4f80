// SteimDecodeBlock: reads the block header, lets the chosen kernel walk the
// frames, then makes the two checks and reports their warnings.
#include <array>
#include <cstring>

#include "kelvast.h"
#include "steim.h"
#include "steim_kernels.h"

namespace {

bool AlwaysSupported() { return true; }

constexpr std::array kKernels = {
    SteimKernel{"scalar", AlwaysSupported, SteimDecodeScalar},
#ifdef STEIM_HAVE_X86_KERNELS
    SteimKernel{"avx2", SteimAvx2Supported, SteimDecodeAvx2},
    SteimKernel{"avx512", SteimAvx512Supported, SteimDecodeAvx512},
#endif
};

const SteimKernel& ChooseKernel() {
  for (size_t i = kKernels.size(); i-- > 0;) {
    if (kKernels[i].supported()) return kKernels[i];
  }
  return kKernels[0];
}

}  // namespace

std::span<const SteimKernel> SteimKernels() { return kKernels; }

const SteimKernel& SteimActiveKernel() {
  static const SteimKernel& active = ChooseKernel();
  return active;
}

namespace {

uint16_t DecodeBlock(const SteimKernel& kernel, int32_t* samples, const void* xblock, int swapFlag,
                     uint32_t* decodedOut) {
  const auto* block = static_cast<const uint8_t*>(xblock);
  uint16_t blockCount;
  int32_t x0;
  int32_t xn;
  std::memcpy(&blockCount, block + kSteimCountOffset, sizeof blockCount);
  std::memcpy(&x0, block + kSteimX0Offset, sizeof x0);
  std::memcpy(&xn, block + kSteimXnOffset, sizeof xn);
  if (swapFlag != 0) {
    SwapUShort(&blockCount);
    SwapLong(&x0);
    SwapLong(&xn);
  }

  int32_t finalValue = x0;
  const auto decoded =
      static_cast<uint16_t>(kernel.decode(samples, block, blockCount, x0, swapFlag, &finalValue));

  int32_t status = 0;
  if (decoded != blockCount && (MessageMask & kMsgWarning) != 0) {
    LogMessage(0, 0, 0, kMsgWarning, 0, __FILE__, __LINE__, &status,
               "Steim block contains %hu samples not correct %hu", decoded, blockCount);
  }
  if (finalValue != xn && (MessageMask & kMsgWarning) != 0) {
    LogMessage(0, 0, 0, kMsgWarning, 0, __FILE__, __LINE__, &status,
               "Steim block calculated final value %ld not correct %ld",
               static_cast<long>(finalValue), static_cast<long>(xn));
  }
  *decodedOut = decoded;
  return blockCount;
}

}  // namespace

uint16_t SteimDecodeBlockWith(const SteimKernel& kernel, int32_t* samples, const void* xblock,
                              int swapFlag) {
  uint32_t decoded = 0;
  return DecodeBlock(kernel, samples, xblock, swapFlag, &decoded);
}

uint16_t SteimDecodeBlock(int32_t* samples, const void* xblock, int swapFlag) {
  uint32_t decoded = 0;
  return DecodeBlock(SteimActiveKernel(), samples, xblock, swapFlag, &decoded);
}

uint16_t SteimDecodeBlockCounted(int32_t* samples, const void* xblock, int swapFlag,
                                 uint32_t* decoded) {
  return DecodeBlock(SteimActiveKernel(), samples, xblock, swapFlag, decoded);
}
