// The decoder's edge cases, run through SteimDecodeBlock and through every
// kernel this processor supports, each block in both byte orders.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "steim.h"
#include "steim_kernels.h"
#include "steim_test_blocks.h"

namespace {

constexpr int32_t kCanary = 0x5EEDC0DE;

// A decoder under test: a kernel, or SteimDecodeBlock itself (kernel null).
struct Decoder {
  std::string name;
  const SteimKernel* kernel;
  uint16_t Decode(int32_t* samples, const void* block, int swapFlag) const {
    return kernel != nullptr ? SteimDecodeBlockWith(*kernel, samples, block, swapFlag)
                             : SteimDecodeBlock(samples, block, swapFlag);
  }
};

std::vector<Decoder> Decoders() {
  std::vector<Decoder> decoders{{"SteimDecodeBlock", nullptr}};
  for (const SteimKernel& k : SteimKernels()) {
    if (k.supported()) decoders.push_back({k.name, &k});
  }
  return decoders;
}

int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

std::string CountText(unsigned decoded, unsigned count) {
  return "Steim block contains " + std::to_string(decoded) + " samples not correct " +
         std::to_string(count);
}
std::string FinalText(long value, long xn) {
  return "Steim block calculated final value " + std::to_string(value) + " not correct " +
         std::to_string(xn);
}

// Every data word of every frame code 1 with differences of 1, the words of
// X0 and Xn included (X0 = 0x01010101 is then also four differences of 1):
// 3780 samples counting up from X0 + 1, the link difference excepted.
void FullOfOnes(BlockBuilder& b) {
  for (int f = 1; f <= 63; ++f) {
    for (int w = 1; w <= 15; ++w) b.Word8(f, w, 1, 1, 1, 1);
  }
}
std::vector<int32_t> FullOfOnesSamples() {
  std::vector<int32_t> s;
  int32_t v = 0x01010101;
  for (int i = 0; i < 3780; ++i) {
    if (i != 8) ++v;  // sample 8 comes from the skipped first difference of word 3
    s.push_back(v);
  }
  return s;
}

// A well-formed block of 3772 differences of -1 (code 1 from frame 1 word 3).
void WellFormedFull(BlockBuilder& b) {
  b.X0(7).Xn(7 - 3771);
  for (int f = 1; f <= 63; ++f) {
    for (int w = f == 1 ? 3 : 1; w <= 15; ++w) b.Word8(f, w, -1, -1, -1, -1);
  }
}

struct Case {
  const char* name;
  std::function<void(BlockBuilder&)> build;
  std::vector<int32_t> samples;
  uint16_t result;
  std::vector<std::string> messages;
};

std::vector<Case> Cases() {
  std::vector<int32_t> countingDown;
  for (int i = 0; i < 3772; ++i) countingDown.push_back(7 - i);
  std::vector<int32_t> ones = FullOfOnesSamples();
  return {
      {"CountZero", [](BlockBuilder& b) { b.Count(0).X0(5).Xn(5).Word8(1, 3, 1, 2, 3, 4); }, {}, 0, {}},
      {"CountZeroFinalMismatch", [](BlockBuilder& b) { b.Count(0).X0(5).Xn(9).Word8(1, 3, 1, 2, 3, 4); },
       {}, 0, {FinalText(5, 9)}},
      {"WellFormedEveryCode",
       [](BlockBuilder& b) {
         b.Count(7).X0(100).Xn(71102).Word8(1, 3, 7, 1, -2, 3).Word16(1, 4, 1000, -30000).Word32(1, 5, 100000);
       },
       {100, 101, 99, 102, 1102, -28898, 71102}, 7, {}},
      {"AllControlWordsZeroCountFive", [](BlockBuilder& b) { b.Count(5).X0(3).Xn(3).Word8(1, 3, 1, 1, 1, 1).Code(1, 3, 0); },
       {}, 5, {CountText(0, 5)}},
      {"CountReachedInsideCode1Word",
       [](BlockBuilder& b) {
         b.Count(6).X0(0).Xn(15).Word8(1, 3, 50, 1, 2, 3).Word8(1, 4, 4, 5, 6, 7).Word8(1, 5, 9, 9, 9, 9);
       },
       {0, 1, 3, 6, 10, 15}, 6, {}},
      {"CountReachedInsideCode2Word",
       [](BlockBuilder& b) { b.Count(3).X0(0).Xn(-500).Word16(1, 3, 99, 500).Word16(1, 4, -1000, 7); },
       {0, 500, -500}, 3, {}},
      {"CountReachedInNextFrame",
       [](BlockBuilder& b) {
         b.Count(3).X0(1).Xn(-2).Word32(1, 3, 1).Word32(1, 15, -1).Word16(2, 1, -2, 100).Word8(3, 1, 1, 1, 1, 1);
       },
       {1, 0, -2}, 3, {}},
      {"Word3Code0NothingSkipped",
       [](BlockBuilder& b) { b.Count(2).X0(10).Xn(60).Word16(1, 4, 100, -50); }, {110, 60}, 2, {}},
      {"X0AndXnWordsCoded",
       [](BlockBuilder& b) { b.Count(6).Word32(1, 1, 10).Word32(1, 2, 17).Word8(1, 3, 9, 1, 2, 3); },
       {20, 37, 37, 38, 40, 43}, 6, {FinalText(43, 17)}},
      {"ControlBits31And30Ignored",
       [](BlockBuilder& b) {
         b.Count(7).X0(100).Xn(71102).Word8(1, 3, 7, 1, -2, 3).Word16(1, 4, 1000, -30000).TopBits(1, 3);
         b.Word32(2, 1, 100000).TopBits(2, 1);
       },
       {100, 101, 99, 102, 1102, -28898, 71102}, 7, {}},
      {"WrapsPastInt32Max",
       [](BlockBuilder& b) { b.Count(3).X0(2147483600).Xn(Wrap(2147483600LL + 100 - 1)).Word32(1, 3, 5).Word16(1, 4, 100, -1); },
       {2147483600, Wrap(2147483700LL), Wrap(2147483699LL)}, 3, {}},
      {"WrapsPastInt32Min",
       [](BlockBuilder& b) {
         b.Count(3).X0(-2147483600).Xn(Wrap(-2147483600LL - 2000000000LL + 127)).Word32(1, 3, 5).Word32(1, 4, -2000000000).Word8(1, 5, 127, 0, 0, 0);
       },
       {-2147483600, Wrap(-2147483600LL - 2000000000LL), Wrap(-2147483600LL - 2000000000LL + 127)}, 3, {}},
      {"Count3780FullBlock", [](BlockBuilder& b) { b.Count(3780); FullOfOnes(b); }, ones, 3780,
       {FinalText(0x01010101 + 3779, 0x01010101)}},
      {"Count65535FullBlock", [](BlockBuilder& b) { b.Count(65535); FullOfOnes(b); }, ones, 65535,
       {CountText(3780, 65535), FinalText(0x01010101 + 3779, 0x01010101)}},
      {"Count3780WellFormedHolds3772", [](BlockBuilder& b) { b.Count(3780); WellFormedFull(b); },
       countingDown, 3780, {CountText(3772, 3780)}},
      {"CountAboveDataBothMessages",
       [](BlockBuilder& b) { b.Count(10).X0(-5).Xn(0).Word8(1, 3, 0, 1, 1, 1); }, {-5, -4, -3, -2}, 10,
       {CountText(4, 10), FinalText(-2, 0)}},
  };
}

class SteimDecodeTest : public ::testing::TestWithParam<Decoder> {};

TEST_P(SteimDecodeTest, EdgeCasesInBothByteOrders) {
  const Decoder& decoder = GetParam();
  for (const Case& c : Cases()) {
    for (const bool bigEndian : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (bigEndian ? " big-endian, flag set" : " little-endian, flag clear"));
      BlockBuilder builder(bigEndian);
      c.build(builder);
      const XBlockBytes block = builder.Build();
      const XBlockBytes copy = block;
      std::vector<int32_t> out(4096, kCanary);

      MessageCapture capture;
      const uint16_t result = decoder.Decode(out.data(), block.data(), bigEndian ? 1 : 0);

      EXPECT_EQ(result, c.result);
      EXPECT_EQ(std::vector<int32_t>(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(c.samples.size())), c.samples);
      EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(c.samples.size()), out.end(),
                              [](int32_t v) { return v == kCanary; }))
          << "an element past the decoded samples was written";
      EXPECT_EQ(capture.Texts(), c.messages);
      for (const CapturedMessage& m : MessageCapture::Messages()) {
        EXPECT_EQ(m.messageClass, kMsgWarning);
        EXPECT_EQ(m.severity, 0u);
        EXPECT_EQ(m.status, 0);
        EXPECT_EQ(m.sourceFile, "steim_decode.cpp");
      }
      EXPECT_EQ(block, copy) << "the block was written";
    }
  }
}

TEST_P(SteimDecodeTest, WarningsFollowMessageMask) {
  BlockBuilder builder(false);
  builder.Count(65535);
  FullOfOnes(builder);
  const XBlockBytes block = builder.Build();
  std::vector<int32_t> out(4096);
  const uint32_t savedMask = MessageMask;
  MessageMask = kMsgProgress | kMsgFatal;
  MessageCapture capture;
  const uint16_t result = GetParam().Decode(out.data(), block.data(), 0);
  MessageMask = savedMask;
  EXPECT_EQ(result, 65535);
  EXPECT_TRUE(capture.Texts().empty());
  EXPECT_EQ(std::vector<int32_t>(out.begin(), out.begin() + 3780), FullOfOnesSamples());
}

TEST(SteimDecodeCountedTest, ReportsTheDecodedCountBesideTheSameResult) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    BlockBuilder builder(true);
    c.build(builder);
    const XBlockBytes block = builder.Build();
    std::vector<int32_t> plain(4096, kCanary), counted(4096, kCanary);
    MessageCapture capture;
    const uint16_t result = SteimDecodeBlock(plain.data(), block.data(), 1);
    const auto messages = capture.Texts();
    MessageCapture::Messages().clear();
    uint32_t decoded = 12345;
    EXPECT_EQ(SteimDecodeBlockCounted(counted.data(), block.data(), 1, &decoded), result);
    EXPECT_EQ(decoded, c.samples.size());
    EXPECT_EQ(counted, plain);
    EXPECT_EQ(capture.Texts(), messages);
  }
}

INSTANTIATE_TEST_SUITE_P(Decoders, SteimDecodeTest, ::testing::ValuesIn(Decoders()),
                         [](const ::testing::TestParamInfo<Decoder>& param) {
                           std::string name = param.param.name;
                           std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
                           return name;
                         });

}  // namespace
