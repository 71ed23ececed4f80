// AVX2 Steim-1 kernel.
//
// Pass 1 turns the data words into 32-bit differences. Frames whose 15 data
// words share one code are sign-extended whole (60 bytes, 30 halves or 15
// words). Other frames go two words (8 bytes) at a time: the 4 code bits of
// the pair select a byte shuffle that moves each difference's bytes to the top
// of its own 32-bit lane, in order, and an arithmetic right shift per lane
// sign-extends it. The byte-reversed variant of the shuffle handles the swap
// flag. AVX2 has no cheap masked store, so the differences go to a buffer on
// the stack with whole-vector stores.
// Pass 2 writes the running sums (8-lane prefix sums) to the sample buffer,
// whole vectors while 8 samples are due and one at a time for the rest.
#include "steim_kernels.h"
#include "steim_shuffle_tables.h"

#ifdef STEIM_HAVE_X86_KERNELS

#include <immintrin.h>

#include <cstring>

// GCC 12 reports its own intrinsics' deliberately undefined vectors.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define STEIM_AVX2 __attribute__((target("avx2")))

namespace {

constexpr auto kTables = SteimMakeShuffleTables<2, uint8_t>();

// Room for every difference of a block plus the slack of the widest store
// (a whole-frame store of 64 lanes for 60 differences).
constexpr uint32_t kScratch = 3780 + 8;

STEIM_AVX2 inline void Store(int32_t* at, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);
}

// Inclusive prefix sum of 8 int32 lanes (wrapping).
STEIM_AVX2 inline __m256i PrefixSum(__m256i v) {
  v = _mm256_add_epi32(v, _mm256_slli_si256(v, 4));
  v = _mm256_add_epi32(v, _mm256_slli_si256(v, 8));
  // Carry lane 3 into the upper half.
  const __m256i low3 = _mm256_shuffle_epi32(v, 0xFF);
  return _mm256_add_epi32(v, _mm256_permute2x128_si256(low3, low3, 0x08));
}

template <bool kSwap>
STEIM_AVX2 uint32_t DecodeFrames(int32_t* samples, const uint8_t* block, uint32_t count,
                                 int32_t x0, int32_t* finalValue) {
  alignas(32) int32_t diffs[kScratch];
  const uint8_t(*shuffle)[32] = kTables.shuffle[kSwap ? 1 : 0];
  uint32_t n = 0;

  // Pass 1: every difference of the frames entered, into diffs[0..n).
  for (uint32_t f = 1; f <= 63 && n < count; ++f) {
    const uint8_t* frame = block + 64 * f;
    uint32_t control;
    std::memcpy(&control, frame, sizeof control);
    if constexpr (kSwap) control = __builtin_bswap32(control);
    const uint32_t pattern = control & 0x3FFFFFFF;  // bits 31-30 name no data word
    int32_t* out = diffs + n;
    // Whole frames of one code (the stores may run past the frame's
    // differences into the scratch buffer's slack; later ones overwrite it).
    if (f > 1 && pattern == kSteimAllCode1) {
      for (int k = 0; k < 8; ++k) {
        int64_t bytes;
        std::memcpy(&bytes, frame + 4 + 8 * k - (k == 7 ? 4 : 0), sizeof bytes);
        if (k == 7) bytes = static_cast<int64_t>(static_cast<uint64_t>(bytes) >> 32);  // bytes 60-63
        Store(out + 8 * k, _mm256_cvtepi8_epi32(_mm_cvtsi64_si128(bytes)));
      }
      n += 60;
      continue;
    }
    if (f > 1 && pattern == kSteimAllCode2) {
      for (int k = 0; k < 4; ++k) {
        // Halves from byte 4 on; the last load ends at byte 63 (6 halves due).
        const int offset = k < 3 ? 4 + 16 * k : 48;
        __m128i halves = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + offset));
        if (k == 3) halves = _mm_srli_si128(halves, 4);
        if constexpr (kSwap) halves = _mm_shuffle_epi8(halves, _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
        Store(out + 8 * k, _mm256_cvtepi16_epi32(halves));
      }
      n += 30;
      continue;
    }
    if (f > 1 && pattern == kSteimAllCode3) {
      __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frame + 4));    // words 1-8
      __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frame + 32));  // words 8-15
      if constexpr (kSwap) {
        const __m256i reverse = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12,
                                                 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
        low = _mm256_shuffle_epi8(low, reverse);
        high = _mm256_shuffle_epi8(high, reverse);
      }
      Store(out, low);
      Store(out + 7, high);  // word 8 again, then words 9-15
      n += 15;
      continue;
    }

    const uint32_t start = n;
    for (uint32_t p = 0; p < 8; ++p) {
      // Word 0 is the control word: bits 31-30 never name data.
      const uint32_t key = (control >> (28 - 4 * p)) & (p == 0 ? 0x3u : 0xFu);
      int64_t pair;
      std::memcpy(&pair, frame + 8 * p, sizeof pair);
      const __m256i src = _mm256_set1_epi64x(pair);
      __m256i d = _mm256_shuffle_epi8(src, _mm256_load_si256(reinterpret_cast<const __m256i*>(shuffle[key])));
      int64_t shifts;
      std::memcpy(&shifts, kTables.shift[key], sizeof shifts);
      d = _mm256_srav_epi32(d, _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(shifts)));
      Store(diffs + n, d);
      n += kTables.count[key];
    }
    if (f == 1 && ((control >> 24) & 3) != 0) {
      // The first difference of word 3, after those of words 1 and 2, is the
      // link to the previous block: never added.
      diffs[start + kSteimCodeCount[(control >> 28) & 3] + kSteimCodeCount[(control >> 26) & 3]] = 0;
    }
  }
  if (n > count) n = count;

  // Pass 2: running sums into samples[0..n).
  __m256i running = _mm256_set1_epi32(x0);
  const __m256i last = _mm256_set1_epi32(7);
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i v = PrefixSum(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(diffs + i)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(samples + i), _mm256_add_epi32(v, running));
    running = _mm256_add_epi32(running, _mm256_permutevar8x32_epi32(v, last));
  }
  auto value = static_cast<uint32_t>(_mm256_cvtsi256_si32(running));
  for (; i < n; ++i) {
    value += static_cast<uint32_t>(diffs[i]);
    samples[i] = static_cast<int32_t>(value);
  }
  *finalValue = static_cast<int32_t>(value);
  return n;
}

}  // namespace

uint32_t SteimDecodeAvx2(int32_t* samples, const uint8_t* block, uint32_t count, int32_t x0,
                         int swap, int32_t* finalValue) {
  return swap != 0 ? DecodeFrames<true>(samples, block, count, x0, finalValue)
                   : DecodeFrames<false>(samples, block, count, x0, finalValue);
}

bool SteimAvx2Supported() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

#endif  // STEIM_HAVE_X86_KERNELS
