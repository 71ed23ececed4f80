// XBlocks read by the second thread come in the same order, with the same
// bytes and the same end as reads made by the conversion itself, whatever
// the file announces, and the thread always ends.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "convert_block_io.h"
#include "convert_read_ahead.h"
#include "steim.h"
#include "test_files.h"

namespace {

constexpr size_t kPrefix = 160;  // bytes before the first XBlock

// A file of a prefix, `blocks` XBlocks whose bytes name their index, and
// `tail` bytes of an unfinished one.
std::vector<uint8_t> MakeBlocks(uint32_t blocks, size_t tail) {
  std::vector<uint8_t> bytes(kPrefix + size_t{blocks} * kXBlockSize + tail, 0xEE);
  for (uint32_t b = 0; b < blocks; ++b) {
    for (size_t i = 0; i < kXBlockSize; ++i) {
      bytes[kPrefix + size_t{b} * kXBlockSize + i] = static_cast<uint8_t>(b * 7 + i % 251);
    }
  }
  return bytes;
}

// Every XBlock ConvertReadBlock hands out until it returns null, read with
// or without the thread.
std::vector<std::vector<uint8_t>> ReadAll(const std::string& path, uint32_t announced,
                                          uint32_t chunkBlocks, uint32_t chunks, bool ahead) {
  FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr);
  EXPECT_EQ(std::fseek(file, kPrefix, SEEK_SET), 0);
  std::vector<uint8_t> area(size_t{chunks} * chunkBlocks * kXBlockSize);
  std::vector<std::vector<uint8_t>> got;
  {
    ConvertBlockReader reader;
    reader.file = file;
    reader.area = area.data();
    reader.capacity = chunkBlocks;
    reader.announced = announced;
    if (ahead) {
      reader.ahead = ConvertReadAhead::Start(file, area.data(), chunkBlocks, chunks, announced);
      EXPECT_NE(reader.ahead, nullptr);
    }
    while (const uint8_t* block = ConvertReadBlock(&reader)) {
      got.emplace_back(block, block + kXBlockSize);
    }
    EXPECT_EQ(ConvertReadBlock(&reader), nullptr) << "the end stays the end";
  }
  std::fclose(file);
  return got;
}

TEST(ConvertReadAhead, SameBlocksAsReadingInPlace) {
  struct Row {
    uint32_t blocks;
    size_t tail;
    uint32_t announced;
    uint32_t chunkBlocks;
    uint32_t chunks;
  };
  const Row rows[] = {
      {0, 0, 0, 4, 2},        // nothing to read
      {0, 100, 3, 4, 2},      // only an unfinished block
      {17, 100, 17, 2, 3},    // the ring wraps several times
      {17, 0, 5, 2, 3},       // fewer announced than follow
      {17, 0, 1000, 4, 4},    // more announced than follow
      {64, 0, 64, 4, 2},      // ends on a chunk boundary
      {9, 4095, 9, 1, 2},     // one block per chunk
      {300, 1, 300, 64, 4},   // the conversion's own sizes
  };
  testfs::TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.blocks << " blocks, tail " << row.tail << ", announced "
                                    << row.announced << ", ring " << row.chunks << " x "
                                    << row.chunkBlocks);
    const std::string path = dir / "X";
    const std::vector<uint8_t> bytes = MakeBlocks(row.blocks, row.tail);
    testfs::WriteFile(path, bytes);
    const auto inPlace = ReadAll(path, row.announced, row.chunkBlocks, row.chunks, false);
    const auto ahead = ReadAll(path, row.announced, row.chunkBlocks, row.chunks, true);
    ASSERT_EQ(inPlace.size(), row.blocks);
    ASSERT_EQ(ahead.size(), row.blocks);
    for (uint32_t b = 0; b < row.blocks; ++b) {
      const auto first = bytes.begin() + static_cast<long>(kPrefix + size_t{b} * kXBlockSize);
      ASSERT_TRUE(std::equal(ahead[b].begin(), ahead[b].end(), first)) << "block " << b;
      ASSERT_EQ(ahead[b], inPlace[b]) << "block " << b;
    }
  }
}

// The conversion may stop at any block: the thread then ends even with the
// ring full and the file far from read.
TEST(ConvertReadAhead, EndsWhenStoppedEarly) {
  testfs::TempDir dir;
  const std::string path = dir / "X";
  testfs::WriteFile(path, MakeBlocks(200, 0));
  for (int taken = 0; taken < 4; ++taken) {
    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fseek(file, kPrefix, SEEK_SET), 0);
    std::vector<uint8_t> area(3 * 2 * kXBlockSize);
    {
      auto ahead = ConvertReadAhead::Start(file, area.data(), 2, 3, 200);
      ASSERT_NE(ahead, nullptr);
      const uint8_t* blocks = nullptr;
      for (int i = 0; i < taken; ++i) EXPECT_EQ(ahead->Next(&blocks), 2u);
    }
    std::fclose(file);
  }
}

TEST(ConvertReadAhead, RefusesRingsItCannotHold) {
  std::vector<uint8_t> area(16 * kXBlockSize);
  EXPECT_EQ(ConvertReadAhead::Start(stdin, area.data(), 1, 1, 10), nullptr);
  EXPECT_EQ(ConvertReadAhead::Start(stdin, area.data(), 1, 9, 10), nullptr);
  EXPECT_EQ(ConvertReadAhead::Start(stdin, area.data(), 0, 2, 10), nullptr);
}

}  // namespace
