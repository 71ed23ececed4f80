// AVX-512 (F + BW) Steim-1 kernel.
//
// Pass 1 turns the data words into 32-bit differences, four words (16 bytes)
// at a time: the 8 code bits of the four words select a byte shuffle that
// moves each difference's bytes to the top of its own 32-bit lane, in order,
// and an arithmetic right shift per lane sign-extends it (24 for 8-bit, 16 for
// 16-bit, 0 for 32-bit differences). The byte-reversed variant of the shuffle
// handles the swap flag. The differences are written with masked stores
// straight into the sample buffer, never past the block sample count.
// Pass 2 turns the differences into samples in place with a 16-lane prefix
// sum; the running value is carried by a single vector add per 16 samples.
#include "steim_kernels.h"

#ifdef STEIM_HAVE_X86_KERNELS

#include <immintrin.h>

#include <cstring>

// GCC 12 reports its own intrinsics' deliberately undefined vectors.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define STEIM_AVX512 __attribute__((target("avx512f,avx512bw")))

namespace {

struct Avx512Tables {
  // [swap][codes of 4 words]: vpshufb control giving up to 16 differences.
  alignas(64) uint8_t shuffle[2][256][64];
  // [codes]: right shift of each lane (sign extension of its difference).
  alignas(16) uint8_t shift[256][16];
  // [codes]: number of differences, and the mask of that many low lanes.
  uint8_t count[256];
  uint16_t mask[256];
};

constexpr Avx512Tables MakeTables() {
  Avx512Tables t{};
  for (int swap = 0; swap < 2; ++swap) {
    for (int key = 0; key < 256; ++key) {
      uint8_t* shuffle = t.shuffle[swap][key];
      for (int b = 0; b < 64; ++b) shuffle[b] = 0x80;  // zero
      int lane = 0;
      for (int word = 0; word < 4; ++word) {
        const int code = (key >> (6 - 2 * word)) & 3;
        const int base = 4 * word;
        if (code == 1) {
          for (int j = 0; j < 4; ++j, ++lane) {
            shuffle[4 * lane + 3] = static_cast<uint8_t>(base + j);
            t.shift[key][lane] = 24;
          }
        } else if (code == 2) {
          for (int j = 0; j < 2; ++j, ++lane) {
            const int lo = base + 2 * j + (swap != 0 ? 1 : 0);
            const int hi = base + 2 * j + (swap != 0 ? 0 : 1);
            shuffle[4 * lane + 2] = static_cast<uint8_t>(lo);
            shuffle[4 * lane + 3] = static_cast<uint8_t>(hi);
            t.shift[key][lane] = 16;
          }
        } else if (code == 3) {
          for (int b = 0; b < 4; ++b) {
            shuffle[4 * lane + b] = static_cast<uint8_t>(base + (swap != 0 ? 3 - b : b));
          }
          t.shift[key][lane] = 0;
          ++lane;
        }
      }
      t.count[key] = static_cast<uint8_t>(lane);
      t.mask[key] = static_cast<uint16_t>((1u << lane) - 1);
    }
  }
  return t;
}

constexpr Avx512Tables kTables = MakeTables();

constexpr uint8_t kCodeCount[4] = {0, 4, 2, 1};

// Differences of the four words at `words`, selected by `key`.
STEIM_AVX512 inline __m512i Differences(const uint8_t* words, uint32_t key,
                                        const uint8_t (*shuffle)[64]) {
  const __m512i src = _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(words)));
  const __m512i d = _mm512_shuffle_epi8(src, _mm512_load_si512(shuffle[key]));
  const __m512i s = _mm512_cvtepu8_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(kTables.shift[key])));
  return _mm512_srav_epi32(d, s);
}

// In-lane inclusive prefix sum of 16 int32 lanes (wrapping).
STEIM_AVX512 inline __m512i PrefixSum(__m512i v) {
  const __m512i zero = _mm512_setzero_si512();
  v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 15));
  v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 14));
  v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 12));
  v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 8));
  return v;
}

template <bool kSwap>
STEIM_AVX512 uint32_t DecodeFrames(int32_t* samples, const uint8_t* block, uint32_t count,
                                   int32_t x0, int32_t* finalValue) {
  const uint8_t(*shuffle)[64] = kTables.shuffle[kSwap ? 1 : 0];
  uint32_t n = 0;
  uint32_t skipAt = UINT32_MAX;

  // Pass 1: differences into samples[0..n), n <= count.
  for (uint32_t f = 1; f <= 63 && n < count; ++f) {
    const uint8_t* frame = block + 64 * f;
    uint32_t control;
    std::memcpy(&control, frame, sizeof control);
    if constexpr (kSwap) control = __builtin_bswap32(control);
    if (f == 1 && ((control >> 24) & 3) != 0) {
      // Position of the first difference of word 3: after those of words 1, 2.
      skipAt = static_cast<uint32_t>(kCodeCount[(control >> 28) & 3]) + kCodeCount[(control >> 26) & 3];
    }
    // Word 0 is the control word: bits 31-30 never name data.
    const uint32_t keys[4] = {(control >> 24) & 0x3F, (control >> 16) & 0xFF, (control >> 8) & 0xFF,
                              control & 0xFF};
    if (count - n >= 60) {  // the whole frame fits below the count
      for (uint32_t g = 0; g < 4; ++g) {
        const uint32_t key = keys[g];
        const __m512i d = Differences(frame + 16 * g, key, shuffle);
        _mm512_mask_storeu_epi32(samples + n, kTables.mask[key], d);
        n += kTables.count[key];
      }
    } else {
      for (uint32_t g = 0; g < 4 && n < count; ++g) {
        const uint32_t key = keys[g];
        const __m512i d = Differences(frame + 16 * g, key, shuffle);
        const uint32_t left = count - n;
        const uint32_t take = kTables.count[key] < left ? kTables.count[key] : left;
        _mm512_mask_storeu_epi32(samples + n, static_cast<__mmask16>((1u << take) - 1), d);
        n += take;
      }
    }
  }
  if (skipAt < n) samples[skipAt] = 0;

  // Pass 2: running sums in place.
  __m512i running = _mm512_set1_epi32(x0);
  const __m512i last = _mm512_set1_epi32(15);
  uint32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m512i v = PrefixSum(_mm512_loadu_si512(samples + i));
    _mm512_storeu_si512(samples + i, _mm512_add_epi32(v, running));
    running = _mm512_add_epi32(running, _mm512_permutexvar_epi32(last, v));
  }
  if (i < n) {
    const auto mask = static_cast<__mmask16>((1u << (n - i)) - 1);
    const __m512i v = PrefixSum(_mm512_maskz_loadu_epi32(mask, samples + i));
    _mm512_mask_storeu_epi32(samples + i, mask, _mm512_add_epi32(v, running));
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
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}

#endif  // STEIM_HAVE_X86_KERNELS
