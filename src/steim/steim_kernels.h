// Internal interface of the Steim-1 decoding kernels: the part of
// SteimDecodeBlock that walks the frames. The header fields, the checks and
// their messages are shared by every kernel (steim_decode.cpp), so a kernel
// only has to produce the samples.
#ifndef STEIM_KERNELS_H
#define STEIM_KERNELS_H

#include <cstdint>
#include <span>

// Decodes the frames of `block` (4096 bytes) with the running value starting
// at `x0`, stopping when `count` samples are decoded or after frame 63.
// Writes exactly the decoded samples to `samples[0..decoded)` and nothing
// else, stores the final running value (x0 when none) in `*finalValue` and
// returns the decoded count (at most 3780). `swap` nonzero: 16- and 32-bit
// values of the block are byte-reversed.
using SteimKernelFn = uint32_t (*)(int32_t* samples, const uint8_t* block, uint32_t count,
                                   int32_t x0, int swap, int32_t* finalValue);

struct SteimKernel {
  const char* name;        // "scalar", "avx2", "avx512"
  bool (*supported)();     // whether this processor can run it
  SteimKernelFn decode;
};

// Every kernel compiled into this build, the portable scalar one first and
// the preferred one last. Kernels the processor lacks are listed too; check
// `supported` before calling one.
std::span<const SteimKernel> SteimKernels();

// The kernel SteimDecodeBlock uses: the last supported one of SteimKernels().
const SteimKernel& SteimActiveKernel();

// SteimDecodeBlock with a given kernel (for tests and benchmarks).
uint16_t SteimDecodeBlockWith(const SteimKernel& kernel, int32_t* samples, const void* xblock,
                              int swapFlag);

// The kernels themselves (one file each).
uint32_t SteimDecodeScalar(int32_t* samples, const uint8_t* block, uint32_t count, int32_t x0,
                           int swap, int32_t* finalValue);
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define STEIM_HAVE_X86_KERNELS 1
uint32_t SteimDecodeAvx2(int32_t* samples, const uint8_t* block, uint32_t count, int32_t x0,
                         int swap, int32_t* finalValue);
bool SteimAvx2Supported();
uint32_t SteimDecodeAvx512(int32_t* samples, const uint8_t* block, uint32_t count, int32_t x0,
                           int swap, int32_t* finalValue);
bool SteimAvx512Supported();
#endif

#endif  // STEIM_KERNELS_H
