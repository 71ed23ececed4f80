// Tag operations: the walk of TagGetTag, and TagWriteTag / TagWriteRecord.
#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "kelvast.h"
#include "test_files.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A tag as it lies in a file, then `payload` bytes of 0xAB.
Bytes Tag(uint16_t type, uint32_t length, uint32_t aux = 0, size_t payload = 0,
          const char* signature = "TG") {
  Bytes bytes(kTagSize + payload, 0xAB);
  bytes[0] = static_cast<uint8_t>(signature[0]);
  bytes[1] = static_cast<uint8_t>(signature[1]);
  StoreLE16(bytes.data() + 2, type);
  StoreLE32(bytes.data() + 4, length);
  StoreLE32(bytes.data() + 8, aux);
  StoreLE32(bytes.data() + 12, 0);
  return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct WalkCase {
  const char* name;
  Bytes file;
  long start;          // position before the walk
  uint16_t type;       // type searched
  uint16_t result;
  long positionAfter;  // checked on success
  uint32_t aux;        // checked on success
};

Bytes ZeroLengthChain(int tags) {
  Bytes all;
  for (int i = 0; i < tags; ++i) {
    const Bytes tag = Tag(0, 0);
    all.insert(all.end(), tag.begin(), tag.end());
  }
  return all;
}

std::vector<WalkCase> WalkCases() {
  const Bytes head = Join({Tag(0, 0), Tag(5, 64, 0, 64), Tag(6, 32, 0, 32)});
  return {
      {"found first", Tag(23, 8192, 2), 0, 23, kTagOk, 16, 2},
      {"found after skipped payloads", Join({head, Tag(23, 4096, 1, 4096)}), 0, 23, kTagOk,
       16 + 80 + 48 + 16, 1},
      {"found from the current position", Join({Tag(5, 0, 1), Tag(5, 0, 2)}), 16, 5, kTagOk, 32,
       2},
      {"found although its own payload runs past the end", Join({head, Tag(23, 40960, 10, 5)}),
       0, 23, kTagOk, 160, 10},
      {"not found", head, 0, 23, kTagEndOfFile, 0, 0},
      {"empty file", {}, 0, 23, kTagEndOfFile, 0, 0},
      {"partial tag at the end", Join({Tag(0, 0), Bytes(9, 'T')}), 0, 23, kTagEndOfFile, 0, 0},
      {"bad signature", Join({Tag(0, 0), Tag(23, 0, 0, 0, "GT")}), 0, 23, kTagBadSignature, 0,
       0},
      {"bad signature on the matching type", Tag(23, 0, 0, 0, "TX"), 0, 23, kTagBadSignature, 0,
       0},
      {"payload past the end", Join({Tag(0, 0), Tag(5, 64, 0, 63)}), 0, 23, kTagPayloadPastEnd,
       0, 0},
      {"largest length does not wrap", Join({Tag(5, 0xFFFFFFFFu, 0, 100), Tag(23, 0)}), 0, 23,
       kTagPayloadPastEnd, 0, 0},
      {"zero-length chain at end of file", ZeroLengthChain(5000), 0, 23, kTagEndOfFile, 0, 0},
  };
}

class TagTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes, const std::string& name = "file") {
    const std::string path = dir_ / name;
    testfs::WriteFile(path, bytes);
    return path;
  }
  testfs::TempDir dir_;
};

TEST_F(TagTest, GetTagWalk) {
  for (const WalkCase& c : WalkCases()) {
    SCOPED_TRACE(c.name);
    FILE* file = std::fopen(Write(c.file).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fseek(file, c.start, SEEK_SET), 0);
    TagHeader tag{};
    EXPECT_EQ(TagGetTag(file, c.type, &tag), c.result);
    if (c.result == kTagOk) {
      EXPECT_EQ(std::ftell(file), c.positionAfter);
      EXPECT_EQ(tag.signature[0], 'T');
      EXPECT_EQ(tag.signature[1], 'G');
      EXPECT_EQ(tag.type, c.type);
      EXPECT_EQ(tag.aux, c.aux);
    }
    std::fclose(file);
  }
}

// Offsets past 2 and 4 GiB: a sparse file with a 3 GiB payload before the
// wanted tag.
TEST_F(TagTest, GetTagSkipsPayloadsPastTwoGigabytes) {
  const uint32_t payload = 0xC0000000u;
  const std::string path = Write(Tag(5, payload));
  const Bytes wanted = Tag(23, 0, 77);
  FILE* file = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(fseeko(file, static_cast<off_t>(kTagSize) + payload, SEEK_SET), 0);
  ASSERT_EQ(std::fwrite(wanted.data(), wanted.size(), 1, file), 1u);
  ASSERT_EQ(std::fseek(file, 0, SEEK_SET), 0);
  TagHeader tag{};
  EXPECT_EQ(TagGetTag(file, 23, &tag), kTagOk);
  EXPECT_EQ(tag.aux, 77u);
  EXPECT_EQ(ftello(file), static_cast<off_t>(2 * kTagSize) + payload);
  std::fclose(file);
}

TEST_F(TagTest, WriteTagStoresFieldsLittleEndianAsGiven) {
  const std::string path = dir_ / "written";
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  TagHeader tag{};
  tag.signature[0] = 'x';  // written as given, not forced to "TG"
  tag.signature[1] = 'y';
  tag.type = 0x0102;
  tag.length = 0x03040506;
  tag.aux = 0x0708090A;
  tag.reserved = 0x0B0C0D0E;
  EXPECT_EQ(TagWriteTag(file, &tag), kTagOk);
  EXPECT_EQ(std::ftell(file), 16);
  std::fclose(file);
  const Bytes expected = {'x', 'y', 0x02, 0x01, 0x06, 0x05, 0x04, 0x03,
                          0x0A, 0x09, 0x08, 0x07, 0x0E, 0x0D, 0x0C, 0x0B};
  EXPECT_EQ(testfs::ReadFile(path), expected);
}

// The conversion's final step: find the type-5 tag, step back over it and
// rewrite tag and record in place.
TEST_F(TagTest, WriteRecordOverExistingHeaderRecordKeepsFileLength) {
  const Bytes original =
      Join({Tag(0, 0, 1000), Tag(5, 64, 0, 64), Tag(6, 32, 0, 32), Tag(7, 8, 0, 8)});
  const std::string path = Write(original);
  FILE* file = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(file, nullptr);
  TagHeader tag{};
  ASSERT_EQ(TagGetTag(file, 5, &tag), kTagOk);
  ASSERT_EQ(std::fseek(file, -16, SEEK_CUR), 0);
  uint8_t record[64];
  for (int i = 0; i < 64; ++i) record[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(TagWriteRecord(file, 5, 64, 0, 0, record), kTagOk);
  EXPECT_EQ(std::ftell(file), 96);
  std::fclose(file);

  const Bytes rewritten = testfs::ReadFile(path);
  ASSERT_EQ(rewritten.size(), original.size());
  Bytes expected = original;
  const Bytes tag5 = Tag(5, 64);
  std::copy(tag5.begin(), tag5.end(), expected.begin() + 16);
  std::copy(record, record + 64, expected.begin() + 32);
  EXPECT_EQ(rewritten, expected);
}

TEST_F(TagTest, WriteFailuresAreReported) {
  const std::string path = Write(Tag(0, 0));
  FILE* file = std::fopen(path.c_str(), "rb");  // writes to a read-only stream fail
  ASSERT_NE(file, nullptr);
  const TagHeader tag{{'T', 'G'}, 0, 0, 0, 0};
  EXPECT_EQ(TagWriteTag(file, &tag), kTagWriteFailed);
  const uint8_t record[4] = {};
  EXPECT_EQ(TagWriteRecord(file, 5, 4, 0, 0, record), kTagWriteFailed);
  std::fclose(file);
}

}  // namespace
