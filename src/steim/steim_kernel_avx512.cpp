// AVX-512 (F, BW, VL) Steim-1 kernel.
//
// Samples are produced 16 lanes at a time: a vector of differences, its
// inclusive prefix sum (four lane shifts), plus the running value, stored
// with a mask so that nothing past the decoded count is written. The running
// value moves on by the vector's last prefix lane, one add per vector.
//
// Frames whose 15 data words share one code (long quiet or long loud
// stretches of a record) take a direct path: 60 bytes sign-extended, 30
// halves sign-extended, or 15 words as they are. Every other frame, and the
// first frame with its integration constants and its skipped difference, goes
// four words at a time: the 8 code bits of the four words select a byte
// shuffle that moves each difference's bytes to the top of its own 32-bit
// lane, in order, and a per-lane arithmetic right shift sign-extends it (24
// for 8-bit, 16 for 16-bit, 0 for 32-bit differences). The byte-reversed
// variant of each shuffle handles the swap flag.
#include "steim_kernels.h"
#include "steim_shuffle_tables.h"

#ifdef STEIM_HAVE_X86_KERNELS

#include <immintrin.h>

#include <cstring>

// GCC 12 reports its own intrinsics' deliberately undefined vectors.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define STEIM_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl")))

namespace {

constexpr auto kTables = SteimMakeShuffleTables<4, uint32_t>();

// Inclusive prefix sum of 16 int32 lanes (wrapping).
STEIM_AVX512 inline __m512i PrefixSum(__m512i v) {
  const __m512i zero = _mm512_setzero_si512();
  v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 15));
  v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 14));
  v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 12));
  return _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 8));
}

// Writes running + prefix sums of `diffs` to the `mask` lanes at `out` and
// moves `running` on by the sum of all 16 lanes (lanes past the differences
// are zero or, at the block's count, no longer needed).
STEIM_AVX512 inline void Emit(int32_t* out, __mmask16 mask, __m512i diffs, __m512i& running) {
  const __m512i sums = PrefixSum(diffs);
  _mm512_mask_storeu_epi32(out, mask, _mm512_add_epi32(sums, running));
  running = _mm512_add_epi32(running, _mm512_permutexvar_epi32(_mm512_set1_epi32(15), sums));
}

// 16 signed 16-bit differences, byte-reversed first when kSwap.
template <bool kSwap>
STEIM_AVX512 inline __m512i Widen16(__m256i halves) {
  if constexpr (kSwap) {
    const __m256i reverse = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,
                                             1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    halves = _mm256_shuffle_epi8(halves, reverse);
  }
  return _mm512_cvtepi16_epi32(halves);
}

// The differences of the four words at `words` (code bits `key`).
STEIM_AVX512 inline __m512i GroupDifferences(const uint8_t* words, uint32_t key,
                                             const uint8_t (*shuffle)[64]) {
  const __m512i src = _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(words)));
  const __m512i placed = _mm512_shuffle_epi8(src, _mm512_load_si512(shuffle[key]));
  return _mm512_srav_epi32(placed, _mm512_load_si512(kTables.shift[key]));
}

template <bool kSwap>
STEIM_AVX512 uint32_t DecodeFrames(int32_t* samples, const uint8_t* block, uint32_t count,
                                   int32_t x0, int32_t* finalValue) {
  const uint8_t(*shuffle)[64] = kTables.shuffle[kSwap ? 1 : 0];
  const __m512i zero = _mm512_setzero_si512();
  __m512i running = _mm512_set1_epi32(x0);
  uint32_t n = 0;

  for (uint32_t f = 1; f <= 63 && n < count; ++f) {
    const uint8_t* frame = block + 64 * f;
    uint32_t control;
    std::memcpy(&control, frame, sizeof control);
    if constexpr (kSwap) control = __builtin_bswap32(control);
    const uint32_t left = count - n;
    const uint32_t pattern = control & 0x3FFFFFFF;  // bits 31-30 name no data word

    // Whole frames of one code, when all their differences are due.
    if (f > 1 && pattern == kSteimAllCode1 && left >= 60) {
      const auto* bytes = reinterpret_cast<const __m128i*>(frame + 4);
      Emit(samples + n, 0xFFFF, _mm512_cvtepi8_epi32(_mm_loadu_si128(bytes)), running);
      Emit(samples + n + 16, 0xFFFF, _mm512_cvtepi8_epi32(_mm_loadu_si128(bytes + 1)), running);
      Emit(samples + n + 32, 0xFFFF, _mm512_cvtepi8_epi32(_mm_loadu_si128(bytes + 2)), running);
      // Bytes 52-63: the last 12 of the frame.
      const __m128i tail = _mm_srli_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + 48)), 4);
      Emit(samples + n + 48, 0x0FFF, _mm512_cvtepi8_epi32(tail), running);
      n += 60;
      continue;
    }
    if (f > 1 && pattern == kSteimAllCode2 && left >= 30) {
      const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frame + 4));
      const __m256i rest = _mm256_maskz_loadu_epi16(0x3FFF, frame + 36);  // bytes 36-63
      Emit(samples + n, 0xFFFF, Widen16<kSwap>(first), running);
      Emit(samples + n + 16, 0x3FFF, Widen16<kSwap>(rest), running);
      n += 30;
      continue;
    }
    if (f > 1 && pattern == kSteimAllCode3 && left >= 15) {
      __m512i words = _mm512_loadu_si512(frame);
      if constexpr (kSwap) {
        words = _mm512_shuffle_epi8(words, _mm512_set4_epi32(0x0C0D0E0F, 0x08090A0B, 0x04050607, 0x00010203));
      }
      Emit(samples + n, 0x7FFF, _mm512_alignr_epi32(zero, words, 1), running);  // words 1-15
      n += 15;
      continue;
    }

    // Four words at a time. In frame 1 the first difference of word 3 (after
    // those of words 1 and 2) is the link to the previous block: never added.
    uint32_t skipAt = 16;  // no lane
    if (f == 1 && ((control >> 24) & 3) != 0) {
      skipAt = static_cast<uint32_t>(kSteimCodeCount[(control >> 28) & 3]) + kSteimCodeCount[(control >> 26) & 3];
    }
    const uint32_t keys[4] = {(control >> 24) & 0x3F, (control >> 16) & 0xFF, (control >> 8) & 0xFF,
                              control & 0xFF};
    for (uint32_t g = 0; g < 4 && n < count; ++g) {
      const uint32_t key = keys[g];
      __m512i diffs = GroupDifferences(frame + 16 * g, key, shuffle);
      if (g == 0) diffs = _mm512_mask_mov_epi32(diffs, static_cast<__mmask16>(1u << skipAt), zero);
      const uint32_t due = count - n;
      const uint32_t take = kTables.count[key] < due ? kTables.count[key] : due;
      Emit(samples + n, static_cast<__mmask16>((1u << take) - 1), diffs, running);
      n += take;
    }
  }
  *finalValue = n != 0 ? samples[n - 1] : x0;
  return n;
}

}  // namespace

uint32_t SteimDecodeAvx512(int32_t* samples, const uint8_t* block, uint32_t count, int32_t x0,
                           int swap, int32_t* finalValue) {
  return swap != 0 ? DecodeFrames<true>(samples, block, count, x0, finalValue)
                   : DecodeFrames<false>(samples, block, count, x0, finalValue);
}

bool SteimAvx512Supported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl");
}

#endif  // STEIM_HAVE_X86_KERNELS
