// Helpers of the conversion tests: X-files made from sample series, a Y file
// read back field by field at its fixed offsets (independently of ydump), and
// the statistics the conversion must store, computed the plain way.
#ifndef CONVERT_TEST_SUPPORT_H
#define CONVERT_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "dorvine.h"
#include "kelvast.h"
#include "test_files.h"
#include "xgen.h"

namespace convtest {

// A Y file's offsets: leading tag, type-5 tag and record, type-6 tag and
// record, data tag, samples.
inline constexpr size_t kRecordOffset = 32;
inline constexpr size_t kDataTagOffset = 144;
inline constexpr size_t kSamplesOffset = 160;

struct Tag {
  uint8_t signature[2] = {0, 0};
  uint16_t type = 0;
  uint32_t length = 0;
  uint32_t aux = 0;
  uint32_t reserved = 0;
};

inline Tag TagAt(const std::vector<uint8_t>& bytes, size_t offset) {
  Tag tag;
  if (bytes.size() < offset + kTagSize) return tag;
  tag.signature[0] = bytes[offset];
  tag.signature[1] = bytes[offset + 1];
  tag.type = LoadLE16(&bytes[offset + 2]);
  tag.length = LoadLE32(&bytes[offset + 4]);
  tag.aux = LoadLE32(&bytes[offset + 8]);
  tag.reserved = LoadLE32(&bytes[offset + 12]);
  return tag;
}

// A Y file as read from disk.
struct YFile {
  std::vector<uint8_t> bytes;
  Tag leading;
  Tag dataTag;
  YHeaderRecord record{};
  std::vector<int32_t> samples;  // whatever lies from offset 160 on
};

inline YFile ReadYFile(const std::string& path) {
  YFile y;
  y.bytes = testfs::ReadFile(path);
  y.leading = TagAt(y.bytes, 0);
  y.dataTag = TagAt(y.bytes, kDataTagOffset);
  if (y.bytes.size() >= kRecordOffset + kYHeaderRecordSize) {
    YHeaderDecode(&y.bytes[kRecordOffset], &y.record);
  }
  for (size_t at = kSamplesOffset; at + 4 <= y.bytes.size(); at += 4) {
    y.samples.push_back(static_cast<int32_t>(LoadLE32(&y.bytes[at])));
  }
  return y;
}

// What the header record of a finished Y file must say about `samples`,
// formed with the sample count `count` of the X-file's record.
struct Expected {
  int32_t mean;
  int32_t largest;
  int32_t smallest;
};

inline Expected StatsOf(const std::vector<int32_t>& samples, uint32_t count) {
  Expected e{0, INT32_MIN, INT32_MAX};
  double sum = 0.0;
  for (int32_t s : samples) {
    if (s > e.largest) e.largest = s;
    if (s < e.smallest) e.smallest = s;
    sum += s;
  }
  if (count != 0) e.mean = static_cast<int32_t>(sum / count);
  return e;
}

// XBlocks for `samples`, `perBlock` samples each (0: as many as fit).
inline std::vector<uint8_t> Blocks(const std::vector<int32_t>& samples, bool bigEndian,
                                   uint32_t perBlock = 0) {
  std::vector<uint8_t> blocks;
  std::string error;
  EXPECT_TRUE(XgenEncodeBlocks(samples, XgenStation{}, bigEndian, &blocks, &error, perBlock))
      << error;
  return blocks;
}

// An X-file from raw parts: `count` in its header record, byte-order code
// `order`, `blocks` behind the type-23 tag.
inline void WriteXFile(const std::string& path, uint32_t count, char order,
                       std::span<const uint8_t> blocks) {
  std::string error;
  const YHeaderRecord record = XgenMakeRecord(XgenStation{}, count);
  ASSERT_TRUE(XgenWriteXFile(path.c_str(), record, order, blocks, &error)) << error;
}

// The checks every finished Y file must pass: tags, the record's untouched
// bytes, the statistics, and the samples themselves.
inline void ExpectFinished(const YFile& y, const std::vector<uint8_t>& xbytes,
                           const std::vector<int32_t>& samples) {
  ASSERT_GE(xbytes.size(), kRecordOffset + kYHeaderRecordSize);
  YHeaderRecord xrecord{};
  YHeaderDecode(&xbytes[kRecordOffset], &xrecord);
  const Tag xblocksTag = TagAt(xbytes, kDataTagOffset);

  EXPECT_EQ(y.bytes.size(), kSamplesOffset + 4 * samples.size());
  EXPECT_EQ(y.leading.signature[0], 'T');
  EXPECT_EQ(y.leading.signature[1], 'G');
  EXPECT_EQ(y.leading.type, 0);
  EXPECT_EQ(y.leading.length, 0u);
  EXPECT_EQ(y.leading.aux, static_cast<uint32_t>(y.bytes.size() - kTagSize));
  EXPECT_EQ(y.leading.reserved, 0u);

  EXPECT_EQ(y.dataTag.type, kTagTypeSamples);
  EXPECT_EQ(y.dataTag.length, 4u * xrecord.sampleCount);
  EXPECT_EQ(y.dataTag.aux, xblocksTag.aux);  // the X-file's XBlock count
  EXPECT_EQ(y.dataTag.reserved, 0u);

  // Bytes 0-31 and 54-63 of the record are the X-file's, the rest is new.
  EXPECT_EQ(0, std::memcmp(&y.bytes[kRecordOffset], &xbytes[kRecordOffset], 32));
  EXPECT_EQ(0, std::memcmp(&y.bytes[kRecordOffset + 54], &xbytes[kRecordOffset + 54], 10));
  EXPECT_STREQ(y.record.fileType, "YFILE");
  const Expected e = StatsOf(samples, xrecord.sampleCount);
  EXPECT_EQ(y.record.mean, e.mean);
  EXPECT_EQ(y.record.largest, e.largest);
  EXPECT_EQ(y.record.smallest, e.smallest);
  EXPECT_EQ(y.samples, samples);
}

// A Y file that a failure left behind after its samples were appended: the
// leading tag and record as the head was first written.
inline void ExpectUnfinished(const YFile& y, const std::vector<int32_t>& samples) {
  EXPECT_EQ(y.bytes.size(), kSamplesOffset + 4 * samples.size());
  EXPECT_EQ(y.leading.type, 0);
  EXPECT_EQ(y.leading.aux, 0u);
  EXPECT_STREQ(y.record.fileType, "XFILE");
  EXPECT_EQ(y.dataTag.type, kTagTypeSamples);
  EXPECT_EQ(y.samples, samples);
}

inline std::vector<int32_t> Concat(std::initializer_list<std::vector<int32_t>> parts) {
  std::vector<int32_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace convtest

#endif  // CONVERT_TEST_SUPPORT_H
