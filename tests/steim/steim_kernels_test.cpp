// Every kernel this processor supports against the portable scalar kernel,
// sample for sample, on random and edge-case blocks in both byte orders.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "steim.h"
#include "steim_kernels.h"
#include "steim_test_blocks.h"

namespace {

constexpr int32_t kCanary = -0x21524111;  // 0xDEADBEEF

struct Outcome {
  uint32_t decoded;
  int32_t finalValue;
  std::vector<int32_t> buffer;  // the whole buffer, canaries included
};

Outcome RunKernel(const SteimKernel& kernel, const XBlockBytes& block, int swap) {
  uint16_t count;
  int32_t x0;
  std::memcpy(&count, block.data() + kSteimCountOffset, sizeof count);
  std::memcpy(&x0, block.data() + kSteimX0Offset, sizeof x0);
  if (swap != 0) {
    SwapUShort(&count);
    SwapLong(&x0);
  }
  // Exactly the room the decoder may use, so that the sanitizer build catches
  // a write or read past it.
  Outcome o{0, 0, std::vector<int32_t>(kSteimMaxSamples, kCanary)};
  o.decoded = kernel.decode(o.buffer.data(), block.data(), count, x0, swap, &o.finalValue);
  return o;
}

// A block of random words whose codes are drawn from `codes` (a code is
// repeated there to weight it); the count is set apart.
XBlockBytes RandomBlock(std::mt19937_64& rng, const std::vector<uint32_t>& codes) {
  XBlockBytes block{};
  for (auto& byte : block) byte = static_cast<uint8_t>(rng());
  for (int f = 1; f <= 63; ++f) {
    uint32_t control = static_cast<uint32_t>(rng()) & 0xC0000000u;  // bits 31-30 at random
    for (int w = 1; w <= 15; ++w) control |= codes[rng() % codes.size()] << (30 - 2 * w);
    std::memcpy(block.data() + 64 * f, &control, sizeof control);
  }
  return block;
}

void SetCount(XBlockBytes& block, uint16_t count, int swap) {
  if (swap != 0) SwapUShort(&count);
  std::memcpy(block.data() + kSteimCountOffset, &count, sizeof count);
}

// The number of differences the block holds, by its control words.
uint32_t Capacity(const XBlockBytes& block, int swap) {
  static constexpr uint32_t kPerCode[4] = {0, 4, 2, 1};
  uint32_t total = 0;
  for (int f = 1; f <= 63; ++f) {
    uint32_t control;
    std::memcpy(&control, block.data() + 64 * f, sizeof control);
    if (swap != 0) SwapULong(&control);
    for (int w = 1; w <= 15; ++w) total += kPerCode[(control >> (30 - 2 * w)) & 3];
  }
  return total;
}

class SteimKernelTest : public ::testing::TestWithParam<const SteimKernel*> {
 protected:
  void SetUp() override {
    if (!GetParam()->supported()) GTEST_SKIP() << GetParam()->name << " is not supported here";
  }

  // Decodes with the scalar kernel and the one under test and compares all.
  void ExpectSameAsScalar(const XBlockBytes& block, int swap, const std::string& what) {
    const Outcome expected = RunKernel(SteimKernels()[0], block, swap);
    const Outcome actual = RunKernel(*GetParam(), block, swap);
    ASSERT_EQ(actual.decoded, expected.decoded) << what;
    ASSERT_EQ(actual.finalValue, expected.finalValue) << what;
    for (size_t i = 0; i < expected.buffer.size(); ++i) {
      ASSERT_EQ(actual.buffer[i], expected.buffer[i])
          << what << ", element " << i << (i >= expected.decoded ? " (past the decoded count)" : "");
    }
  }
};

TEST(SteimKernelListTest, ScalarFirstAndTheBestSupportedIsActive) {
  const auto kernels = SteimKernels();
  ASSERT_FALSE(kernels.empty());
  EXPECT_STREQ(kernels[0].name, "scalar");
  const SteimKernel* best = &kernels[0];
  for (const SteimKernel& k : kernels) {
    if (k.supported()) best = &k;
  }
  EXPECT_EQ(&SteimActiveKernel(), best);
}

TEST_P(SteimKernelTest, RandomBytesBlocks) {
  std::mt19937_64 rng(11);
  for (int i = 0; i < 400; ++i) {
    XBlockBytes block{};
    for (auto& byte : block) byte = static_cast<uint8_t>(rng());
    for (const int swap : {0, 1}) ExpectSameAsScalar(block, swap, "random block " + std::to_string(i));
  }
}

TEST_P(SteimKernelTest, EveryCodeMixWithCountsStoppingAnywhere) {
  const std::vector<std::vector<uint32_t>> mixes = {
      {0, 1, 2, 3}, {1}, {2}, {3}, {0}, {1, 1, 1, 2}, {2, 2, 3}, {0, 0, 0, 1}, {1, 3}};
  std::mt19937_64 rng(12);
  for (size_t m = 0; m < mixes.size(); ++m) {
    for (int i = 0; i < 40; ++i) {
      XBlockBytes block = RandomBlock(rng, mixes[m]);
      for (const int swap : {0, 1}) {
        const uint32_t capacity = Capacity(block, swap);
        // Counts inside every kind of word, at the ends and past the data.
        std::vector<uint32_t> counts = {0, 1, 2, 3, 4, 5, 15, 16, 17, 59, 60, 61, capacity, capacity + 1, 3780, 65535};
        if (capacity > 0) counts.push_back(capacity - 1);
        for (int k = 0; k < 6; ++k) counts.push_back(static_cast<uint32_t>(rng() % (capacity + 2)));
        for (const uint32_t count : counts) {
          SetCount(block, static_cast<uint16_t>(count > 65535 ? 65535 : count), swap);
          ExpectSameAsScalar(block, swap, "mix " + std::to_string(m) + " block " + std::to_string(i) +
                                              " count " + std::to_string(count) + " swap " + std::to_string(swap));
        }
      }
    }
  }
}

TEST_P(SteimKernelTest, FramesOfOneCodeStoppingAtEveryPosition) {
  // Frames whose data words all share a code may be decoded whole; the count
  // can stop anywhere inside or at the edge of such a frame.
  std::mt19937_64 rng(15);
  for (const uint32_t code : {1u, 2u, 3u}) {
    const uint32_t perFrame = 15 * (code == 1 ? 4 : code == 2 ? 2 : 1);
    const XBlockBytes block = RandomBlock(rng, {code});
    for (const int swap : {0, 1}) {
      XBlockBytes variant = block;
      for (uint32_t count = 0; count <= 3 * perFrame + 1; ++count) {
        SetCount(variant, static_cast<uint16_t>(count), swap);
        ExpectSameAsScalar(variant, swap, "code " + std::to_string(code) + " count " + std::to_string(count));
      }
      for (uint32_t count = 63 * perFrame - perFrame - 1; count <= 63 * perFrame + 1; ++count) {
        SetCount(variant, static_cast<uint16_t>(count), swap);
        ExpectSameAsScalar(variant, swap, "code " + std::to_string(code) + " count " + std::to_string(count));
      }
    }
  }
}

TEST_P(SteimKernelTest, ExtremeDifferencesWrapAround) {
  // Differences at the limits of each width, in runs that push the running
  // value past both ends of the int32 range many times.
  for (const uint32_t code : {1u, 2u, 3u}) {
    for (const int sign : {1, -1}) {
      for (const bool bigEndian : {false, true}) {
        BlockBuilder b(bigEndian);
        b.Count(65535).X0(sign > 0 ? 2147483000 : -2147483000).Xn(0);
        for (int f = 1; f <= 63; ++f) {
          for (int w = 1; w <= 15; ++w) {
            if (code == 1) b.Word8(f, w, sign > 0 ? 127 : -128, sign > 0 ? 127 : -128, sign > 0 ? 126 : -127, 0);
            if (code == 2) b.Word16(f, w, sign > 0 ? 32767 : -32768, sign > 0 ? 32766 : -32767);
            if (code == 3) b.Word32(f, w, sign > 0 ? 2147483647 : -2147483647 - 1);
          }
        }
        ExpectSameAsScalar(b.Build(), bigEndian ? 1 : 0, "code " + std::to_string(code) + " sign " + std::to_string(sign));
      }
    }
  }
}

TEST_P(SteimKernelTest, SkippedDifferenceAfterEveryLeadingLayout) {
  // Words 1 and 2 of frame 1 with every pair of codes, word 3 with every
  // code: the skipped difference lands at every possible position.
  std::mt19937_64 rng(13);
  for (uint32_t c1 = 0; c1 < 4; ++c1) {
    for (uint32_t c2 = 0; c2 < 4; ++c2) {
      for (uint32_t c3 = 0; c3 < 4; ++c3) {
        XBlockBytes block = RandomBlock(rng, {1, 2, 3});
        for (const int swap : {0, 1}) {
          uint32_t control;
          std::memcpy(&control, block.data() + 64, sizeof control);
          if (swap != 0) SwapULong(&control);
          control = (control & ~(0x3Fu << 24)) | (c1 << 28) | (c2 << 26) | (c3 << 24);
          if (swap != 0) SwapULong(&control);
          XBlockBytes variant = block;
          std::memcpy(variant.data() + 64, &control, sizeof control);
          for (const uint16_t count : {uint16_t{1}, uint16_t{9}, uint16_t{12}, uint16_t{3780}}) {
            SetCount(variant, count, swap);
            ExpectSameAsScalar(variant, swap, "codes " + std::to_string(c1) + std::to_string(c2) +
                                                  std::to_string(c3) + " count " + std::to_string(count));
          }
        }
      }
    }
  }
}

TEST_P(SteimKernelTest, EncodedSignals) {
  std::mt19937_64 rng(14);
  for (int i = 0; i < 50; ++i) {
    std::vector<int32_t> signal(3772);
    const int bits = 1 + i % 32;
    int32_t v = static_cast<int32_t>(rng());
    for (auto& s : signal) {
      v = static_cast<int32_t>(static_cast<uint32_t>(v) + (static_cast<uint32_t>(rng()) >> (32 - bits)) -
                               (1u << (bits - 1)));
      s = v;
    }
    for (const int bigEndian : {0, 1}) {
      XBlockBytes block{};
      SteimEncodeBlock(block.data(), signal.data(), static_cast<uint32_t>(signal.size()), 0, bigEndian);
      ExpectSameAsScalar(block, bigEndian, "signal of " + std::to_string(bits) + "-bit steps");
    }
  }
}

std::vector<const SteimKernel*> NonScalarKernels() {
  std::vector<const SteimKernel*> kernels;
  for (const SteimKernel& k : SteimKernels().subspan(1)) kernels.push_back(&k);
  return kernels;
}

INSTANTIATE_TEST_SUITE_P(Kernels, SteimKernelTest, ::testing::ValuesIn(NonScalarKernels()),
                         [](const ::testing::TestParamInfo<const SteimKernel*>& param) {
                           return std::string(param.param->name);
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SteimKernelTest);

}  // namespace
