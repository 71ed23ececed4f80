// Builds XBlocks word by word, in either byte order, for the codec tests,
// and captures the decoder's messages.
#ifndef STEIM_TEST_BLOCKS_H
#define STEIM_TEST_BLOCKS_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "kelvast.h"
#include "steim.h"

using XBlockBytes = std::array<uint8_t, kXBlockSize>;

class BlockBuilder {
 public:
  explicit BlockBuilder(bool bigEndian) : bigEndian_(bigEndian) {}

  BlockBuilder& Count(uint16_t count) {
    Put(kSteimCountOffset, count, 2);
    return *this;
  }
  BlockBuilder& X0(int32_t x0) {
    Put(kSteimX0Offset, static_cast<uint32_t>(x0), 4);
    return *this;
  }
  BlockBuilder& Xn(int32_t xn) {
    Put(kSteimXnOffset, static_cast<uint32_t>(xn), 4);
    return *this;
  }
  // Sets the code of data word `word` (1..15) of frame `frame` (1..63).
  BlockBuilder& Code(int frame, int word, uint32_t code) {
    const int shift = 30 - 2 * word;
    uint32_t& control = control_[static_cast<size_t>(frame)];
    control = (control & ~(3u << shift)) | (code << shift);
    return *this;
  }
  // Bits 31-30 of a control word, which name no data word.
  BlockBuilder& TopBits(int frame, uint32_t bits) {
    uint32_t& control = control_[static_cast<size_t>(frame)];
    control = (control & 0x3FFFFFFFu) | (bits << 30);
    return *this;
  }
  BlockBuilder& Word8(int frame, int word, int8_t a, int8_t b, int8_t c, int8_t d) {
    uint8_t* p = bytes_.data() + 64 * frame + 4 * word;
    p[0] = static_cast<uint8_t>(a);
    p[1] = static_cast<uint8_t>(b);
    p[2] = static_cast<uint8_t>(c);
    p[3] = static_cast<uint8_t>(d);
    return Code(frame, word, 1);
  }
  BlockBuilder& Word16(int frame, int word, int16_t a, int16_t b) {
    Put(static_cast<size_t>(64 * frame + 4 * word), static_cast<uint16_t>(a), 2);
    Put(static_cast<size_t>(64 * frame + 4 * word + 2), static_cast<uint16_t>(b), 2);
    return Code(frame, word, 2);
  }
  BlockBuilder& Word32(int frame, int word, int32_t a) {
    Put(static_cast<size_t>(64 * frame + 4 * word), static_cast<uint32_t>(a), 4);
    return Code(frame, word, 3);
  }

  XBlockBytes Build() const {
    XBlockBytes block = bytes_;
    for (int f = 1; f <= 63; ++f) PutInto(block, static_cast<size_t>(64 * f), control_[static_cast<size_t>(f)], 4);
    return block;
  }

 private:
  void Put(size_t offset, uint32_t value, int width) { PutInto(bytes_, offset, value, width); }
  void PutInto(XBlockBytes& block, size_t offset, uint32_t value, int width) const {
    for (int i = 0; i < width; ++i) {
      const int shift = bigEndian_ ? 8 * (width - 1 - i) : 8 * i;
      block[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> shift);
    }
  }

  bool bigEndian_;
  XBlockBytes bytes_{};
  std::array<uint32_t, 64> control_{};
};

// One message as the decoder sent it.
struct CapturedMessage {
  uint32_t messageClass;
  uint32_t severity;
  std::string sourceFile;
  int32_t status;
  std::string text;
};

// Installs a sink for its lifetime and records every message.
class MessageCapture {
 public:
  MessageCapture() {
    Messages().clear();
    LogSetSink(&Sink);
  }
  ~MessageCapture() { LogSetSink(nullptr); }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  static std::vector<CapturedMessage>& Messages() {
    static std::vector<CapturedMessage> messages;
    return messages;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const CapturedMessage& m : Messages()) texts.push_back(m.text);
    return texts;
  }

 private:
  static void Sink(uint32_t messageClass, uint32_t severity, const char* sourceFile, int,
                   int32_t status, const char* text, const char*) {
    Messages().push_back({messageClass, severity, sourceFile, status, text});
  }
};

#endif  // STEIM_TEST_BLOCKS_H
