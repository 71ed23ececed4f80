// The encoder's blocks: their layout, and round trips through the decoder in
// both byte orders.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "steim.h"
#include "steim_test_blocks.h"

namespace {

uint32_t Load32(const XBlockBytes& block, size_t offset, bool bigEndian) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    const int shift = bigEndian ? 24 - 8 * i : 8 * i;
    v |= static_cast<uint32_t>(block[offset + static_cast<size_t>(i)]) << shift;
  }
  return v;
}

uint16_t LoadCount(const XBlockBytes& block, bool bigEndian) {
  const uint8_t* p = block.data() + kSteimCountOffset;
  return static_cast<uint16_t>(bigEndian ? (p[0] << 8 | p[1]) : (p[0] | p[1] << 8));
}

uint32_t CodeOf(const XBlockBytes& block, int frame, int word, bool bigEndian) {
  return (Load32(block, static_cast<size_t>(64 * frame), bigEndian) >> (30 - 2 * word)) & 3;
}

// Encodes the whole signal block after block, decodes every block with
// SteimDecodeBlock and expects the signal back without a message.
void ExpectRoundTrip(const std::vector<int32_t>& signal, bool bigEndian) {
  MessageCapture capture;
  std::vector<int32_t> decoded;
  size_t done = 0;
  int32_t previous = 0;
  do {
    XBlockBytes block{};
    const auto left = static_cast<uint32_t>(signal.size() - done);
    const uint32_t packed = SteimEncodeBlock(block.data(), signal.data() + done, left, previous, bigEndian ? 1 : 0);
    ASSERT_LE(packed, kSteimMaxEncoded);
    ASSERT_TRUE(packed > 0 || signal.empty());
    std::vector<int32_t> out(kSteimMaxSamples);
    ASSERT_EQ(SteimDecodeBlock(out.data(), block.data(), bigEndian ? 1 : 0), packed);
    decoded.insert(decoded.end(), out.begin(), out.begin() + packed);
    done += packed;
    if (packed > 0) previous = signal[done - 1];
  } while (done < signal.size());
  EXPECT_EQ(decoded, signal);
  EXPECT_TRUE(capture.Texts().empty()) << capture.Texts().front();
}

struct Signal {
  std::string name;
  std::vector<int32_t> samples;
};

std::vector<Signal> Signals() {
  std::mt19937_64 rng(21);
  std::vector<Signal> signals;
  auto add = [&](std::string name, size_t n, auto next) {
    std::vector<int32_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = next(i);
    signals.push_back({std::move(name), std::move(s)});
  };
  std::normal_distribution<double> noise(0.0, 300.0);
  add("SmallNoise", 10000, [&](size_t) { return static_cast<int32_t>(noise(rng)); });
  add("Steps", 9000, [&](size_t i) { return static_cast<int32_t>((i / 700) % 2 == 0 ? -40000 : 2000000) + static_cast<int32_t>(i % 3); });
  add("FullRange", 5000, [&](size_t) { return static_cast<int32_t>(static_cast<uint32_t>(rng())); });
  add("Extremes", 3000, [&](size_t i) { return i % 2 == 0 ? 2147483647 : -2147483647 - 1; });
  add("Constant", 8000, [&](size_t) { return -123456; });
  add("RampThroughLimits", 7000, [&](size_t i) { return static_cast<int32_t>(2147480000u + static_cast<uint32_t>(i) * 300u); });
  uint32_t v = 0;
  add("MixedWidths", 6000, [&](size_t) {
    const int bits = static_cast<int>(rng() % 31) + 1;
    v += (static_cast<uint32_t>(rng()) >> (32 - bits)) - (1u << (bits - 1));
    return static_cast<int32_t>(v);
  });
  for (const size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{3771}, size_t{3772}, size_t{3773}}) {
    add("Length" + std::to_string(n), n, [&](size_t i) { return static_cast<int32_t>(i % 7) - 3; });
  }
  return signals;
}

TEST(SteimCodecTest, RoundTripsInBothByteOrders) {
  for (const Signal& s : Signals()) {
    for (const bool bigEndian : {false, true}) {
      SCOPED_TRACE(s.name + (bigEndian ? " big-endian" : " little-endian"));
      ExpectRoundTrip(s.samples, bigEndian);
    }
  }
}

TEST(SteimCodecTest, BigEndianWithFlagEqualsLittleEndianTwinWithoutIt) {
  // Twins made by the encoder, and a deliberately inconsistent pair (count
  // above the data, wrong Xn) so that the messages are compared too.
  std::mt19937_64 rng(22);
  for (int i = 0; i < 20; ++i) {
    std::vector<int32_t> signal(4000);
    for (auto& v : signal) v = static_cast<int32_t>(static_cast<uint32_t>(rng()) >> (i % 32));
    XBlockBytes little{}, big{};
    const uint32_t packed = SteimEncodeBlock(little.data(), signal.data(), 4000, 17, 0);
    ASSERT_EQ(SteimEncodeBlock(big.data(), signal.data(), 4000, 17, 1), packed);
    if (i % 2 == 1) {  // count past the data and a wrong Xn, in each byte order
      little[kSteimCountOffset] = 0xFF;
      big[kSteimCountOffset + 1] = 0xFF;
      little[kSteimXnOffset] ^= 1;
      big[kSteimXnOffset + 3] ^= 1;
    }
    std::vector<int32_t> a(4096, 1), b(4096, 1);
    MessageCapture capture;
    const uint16_t ra = SteimDecodeBlock(a.data(), little.data(), 0);
    const auto ma = capture.Texts();
    MessageCapture::Messages().clear();
    const uint16_t rb = SteimDecodeBlock(b.data(), big.data(), 1);
    EXPECT_EQ(ra, rb);
    EXPECT_EQ(a, b);
    EXPECT_EQ(ma, capture.Texts());
    EXPECT_EQ(ma.empty(), i % 2 == 0);
  }
}

TEST(SteimCodecTest, BlockLayout) {
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "big-endian" : "little-endian");
    // Differences from previous = 1000: 5 (8-bit x4: 5, 1, -1, 127), then
    // -128, 128 (16-bit), 40000 (no 16-bit pair: 32-bit), 1, 1 (left: 2 only).
    const std::vector<int32_t> samples = {1005, 1006, 1005, 1132, 1004, 1132, 41132, 41133, 41134};
    XBlockBytes block;
    block.fill(0xAB);
    ASSERT_EQ(SteimEncodeBlock(block.data(), samples.data(), 9, 1000, bigEndian ? 1 : 0), 9u);
    for (size_t i = 0; i < 64; ++i) {
      if (i != kSteimCountOffset && i != kSteimCountOffset + 1) {
        EXPECT_EQ(block[i], 0xAB) << "header byte " << i;
      }
    }
    EXPECT_EQ(LoadCount(block, bigEndian), 9);
    EXPECT_EQ(Load32(block, kSteimX0Offset, bigEndian), 1005u);
    EXPECT_EQ(Load32(block, kSteimXnOffset, bigEndian), 41134u);
    EXPECT_EQ(CodeOf(block, 1, 1, bigEndian), 0u);
    EXPECT_EQ(CodeOf(block, 1, 2, bigEndian), 0u);
    EXPECT_EQ(CodeOf(block, 1, 3, bigEndian), 1u);
    EXPECT_EQ(block[64 + 12], 5);  // the link to `previous`
    EXPECT_EQ(static_cast<int8_t>(block[64 + 15]), 127);
    EXPECT_EQ(CodeOf(block, 1, 4, bigEndian), 2u);
    EXPECT_EQ(CodeOf(block, 1, 5, bigEndian), 3u);
    EXPECT_EQ(Load32(block, 64 + 20, bigEndian), 40000u);
    EXPECT_EQ(CodeOf(block, 1, 6, bigEndian), 2u);
    for (int w = 7; w <= 15; ++w) {
      EXPECT_EQ(CodeOf(block, 1, w, bigEndian), 0u);
      EXPECT_EQ(Load32(block, static_cast<size_t>(64 + 4 * w), bigEndian), 0u);
    }
    for (size_t i = 128; i < kXBlockSize; ++i) ASSERT_EQ(block[i], 0) << "byte " << i;
  }
}

TEST(SteimCodecTest, CapacityFollowsTheWidestDifference) {
  struct Width {
    int32_t step;
    uint32_t capacity;
  };
  for (const Width w : {Width{-128, 3772}, Width{32767, 1886}, Width{-32769, 943}}) {
    std::vector<int32_t> samples(4000);
    uint32_t v = 0;
    for (auto& s : samples) s = static_cast<int32_t>(v += static_cast<uint32_t>(w.step));
    XBlockBytes block{};
    // `previous` makes the link difference the same step.
    EXPECT_EQ(SteimEncodeBlock(block.data(), samples.data(), 4000, 0, 0), w.capacity) << w.step;
  }
}

TEST(SteimCodecTest, EmptyBlock) {
  XBlockBytes block;
  block.fill(0xCD);
  EXPECT_EQ(SteimEncodeBlock(block.data(), nullptr, 0, -77, 0), 0u);
  EXPECT_EQ(LoadCount(block, false), 0);
  EXPECT_EQ(static_cast<int32_t>(Load32(block, kSteimX0Offset, false)), -77);
  EXPECT_EQ(static_cast<int32_t>(Load32(block, kSteimXnOffset, false)), -77);
  MessageCapture capture;
  std::vector<int32_t> out(16, 3);
  EXPECT_EQ(SteimDecodeBlock(out.data(), block.data(), 0), 0);
  EXPECT_EQ(out, std::vector<int32_t>(16, 3));
  EXPECT_TRUE(capture.Texts().empty());
}

}  // namespace
