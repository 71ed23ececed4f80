// Header library: record encoding, reading an X-file's head, writing a Y head.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dorvine.h"
#include "kelvast.h"
#include "test_files.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Tag(uint16_t type, uint32_t length, uint32_t aux = 0, const char* signature = "TG") {
  Bytes bytes(kTagSize);
  bytes[0] = static_cast<uint8_t>(signature[0]);
  bytes[1] = static_cast<uint8_t>(signature[1]);
  StoreLE16(bytes.data() + 2, type);
  StoreLE32(bytes.data() + 4, length);
  StoreLE32(bytes.data() + 8, aux);
  return bytes;
}

void Append(Bytes& to, const Bytes& part) { to.insert(to.end(), part.begin(), part.end()); }

YHeaderRecord SampleRecord() {
  YHeaderRecord record{};
  std::memcpy(record.network, "NT", 2);
  std::memcpy(record.station, "STA01", 5);
  std::memcpy(record.location, "10", 2);
  std::memcpy(record.channel, "BHZ", 3);
  record.startTimeNs = 0x0102030405060708;
  record.sampleRate = 40.0;
  record.reserved28 = 0x11223344;
  record.sampleCount = 0xA1B2C3D4;
  record.mean = -2;
  record.largest = 0x7F000001;
  record.smallest = -0x7F000001;
  std::memcpy(record.fileType, "XFILE", 6);
  record.formatVersion = 1;
  for (int i = 0; i < 8; ++i) record.reserved56[i] = static_cast<uint8_t>(0xF0 + i);
  return record;
}

Bytes RecordBytes(const YHeaderRecord& record) {
  Bytes bytes(kYHeaderRecordSize);
  YHeaderEncode(&record, bytes.data());
  return bytes;
}

Bytes FormatBytes(uint32_t encoding, char byteOrder) {
  YDataFormat format{};
  format.encoding = encoding;
  format.byteOrder = byteOrder;
  Bytes bytes(kYDataFormatSize);
  YDataFormatEncode(&format, bytes.data());
  return bytes;
}

// The parts of an X-file head, in file order; each fixture changes one.
struct XParts {
  Bytes leading = Tag(0, 0, 0);
  Bytes beforeRecord;  // tags put before the header record
  Bytes record = Join(Tag(5, 64), RecordBytes(SampleRecord()));
  Bytes format = Join(Tag(6, 32), FormatBytes(1, 'M'));
  Bytes xblocks = Join(Tag(23, 4096, 1), Bytes(4096, 0));
  Bytes after;  // bytes after the XBlocks

  static Bytes Join(const Bytes& a, const Bytes& b) {
    Bytes all = a;
    Append(all, b);
    return all;
  }
  Bytes File() const {
    Bytes all = leading;
    for (const Bytes* part : {&beforeRecord, &record, &format, &xblocks, &after}) {
      Append(all, *part);
    }
    return all;
  }
};

class DorvineTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes, const std::string& name = "X0001") {
    const std::string path = dir_ / name;
    testfs::WriteFile(path, bytes);
    return path;
  }
  uint16_t Read(const Bytes& bytes, YFileHeader* header, int a = 4, int b = 0, int c = 0) {
    const std::string path = Write(bytes);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 0xFFFF;
    const uint16_t result = XFileReadYHeader(file, path.c_str(), header, a, b, c);
    std::fclose(file);
    return result;
  }
  testfs::TempDir dir_;
};

// Every field at its offset, least significant byte first.
TEST(DorvineRecordTest, EncodeLaysOutFieldsLittleEndianAndDecodeInverts) {
  const YHeaderRecord record = SampleRecord();
  const Bytes bytes = RecordBytes(record);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 12), "NTSTA0110BHZ");
  EXPECT_EQ(LoadLE64(&bytes[12]), 0x0102030405060708u);
  EXPECT_EQ(bytes[12], 0x08);
  EXPECT_EQ(LoadLE64(&bytes[20]), std::bit_cast<uint64_t>(40.0));
  EXPECT_EQ(LoadLE32(&bytes[28]), 0x11223344u);
  EXPECT_EQ(bytes[32], 0xD4);
  EXPECT_EQ(LoadLE32(&bytes[32]), 0xA1B2C3D4u);
  EXPECT_EQ(LoadLE32(&bytes[36]), 0xFFFFFFFEu);
  EXPECT_EQ(LoadLE32(&bytes[40]), 0x7F000001u);
  EXPECT_EQ(LoadLE32(&bytes[44]), static_cast<uint32_t>(-0x7F000001));
  EXPECT_EQ(std::memcmp(&bytes[48], "XFILE", 6), 0);
  EXPECT_EQ(bytes[54], 1);
  EXPECT_EQ(bytes[55], 0);
  EXPECT_EQ(bytes[63], 0xF7);

  YHeaderRecord decoded{};
  YHeaderDecode(bytes.data(), &decoded);
  EXPECT_EQ(std::memcmp(&decoded, &record, sizeof record), 0);

  const Bytes format = FormatBytes(0x01020304, 'M');
  EXPECT_EQ(format[0], 0x04);
  EXPECT_EQ(format[3], 0x01);
  EXPECT_EQ(format[16], 'M');
  YDataFormat back{};
  YDataFormatDecode(format.data(), &back);
  EXPECT_EQ(back.encoding, 0x01020304u);
  EXPECT_EQ(back.byteOrder, 'M');
}

TEST_F(DorvineTest, ReadsRecordsOfAValidXFile) {
  XParts parts;
  YFileHeader header{};
  ASSERT_EQ(Read(parts.File(), &header), kXHeaderOk);
  ASSERT_NE(header.record, nullptr);
  ASSERT_NE(header.format, nullptr);
  const YHeaderRecord expected = SampleRecord();
  EXPECT_EQ(std::memcmp(header.record, &expected, sizeof expected), 0);
  EXPECT_EQ(header.format->encoding, kEncodingSteim1);
  EXPECT_EQ(header.format->byteOrder, 'M');
  // Library bookkeeping: marker, XBlock count, offset of the first XBlock.
  EXPECT_EQ(std::memcmp(header.library, "DRV1", 4), 0);
  EXPECT_EQ(LoadLE32(header.library + 4), 1u);
  EXPECT_EQ(LoadLE64(header.library + 8), 160u);

  // The records are the library's: the next read reuses them.
  YHeaderRecord* firstRecord = header.record;
  firstRecord->largest = 123;  // writable
  parts.format = XParts::Join(Tag(6, 32), FormatBytes(1, 'I'));
  YFileHeader second{};
  ASSERT_EQ(Read(parts.File(), &second), kXHeaderOk);
  EXPECT_EQ(second.record, firstRecord);
  EXPECT_EQ(second.record->largest, expected.largest);
  EXPECT_EQ(second.format->byteOrder, 'I');
}

TEST_F(DorvineTest, AcceptsOtherTagsAndEitherOrderBeforeTheXBlocks) {
  XParts parts;
  parts.beforeRecord = Tag(9, 3);
  parts.beforeRecord.insert(parts.beforeRecord.end(), {1, 2, 3});
  std::swap(parts.record, parts.format);
  YFileHeader header{};
  EXPECT_EQ(Read(parts.File(), &header), kXHeaderOk);
  EXPECT_EQ(header.record->sampleCount, SampleRecord().sampleCount);
}

TEST_F(DorvineTest, RefusesAnythingButTheXFileLayout) {
  struct Case {
    const char* name;
    void (*change)(XParts&);
    uint16_t result;
  };
  const Case cases[] = {
      {"leading tag of type 5", [](XParts& p) { p.leading = Tag(5, 0); }, kXHeaderNoLeadingTag},
      {"leading tag with a payload", [](XParts& p) { p.leading = Tag(0, 4); },
       kXHeaderNoLeadingTag},
      {"leading tag without signature", [](XParts& p) { p.leading = Tag(0, 0, 0, "GT"); },
       kXHeaderNoLeadingTag},
      {"leading tag missing", [](XParts& p) { p.leading.clear(); }, kXHeaderNoLeadingTag},
      {"type-5 tag missing", [](XParts& p) { p.record.clear(); }, kXHeaderRecordMissing},
      {"type-5 tag 60 bytes long",
       [](XParts& p) { p.record = XParts::Join(Tag(5, 60), Bytes(60, 0)); },
       kXHeaderRecordLength},
      {"type-6 tag missing", [](XParts& p) { p.format.clear(); }, kXHeaderFormatMissing},
      {"type-6 tag 16 bytes long",
       [](XParts& p) { p.format = XParts::Join(Tag(6, 16), Bytes(16, 0)); },
       kXHeaderFormatLength},
      {"type-5 tag after the type-23 tag",
       [](XParts& p) {
         p.after = p.record;
         p.record.clear();
       },
       kXHeaderRecordMissing},
      {"type-6 tag after the type-23 tag",
       [](XParts& p) {
         p.after = p.format;
         p.format.clear();
       },
       kXHeaderFormatMissing},
      {"type-23 tag missing", [](XParts& p) { p.xblocks.clear(); }, kXHeaderNoXBlocks},
      {"second type-5 tag",
       [](XParts& p) { p.beforeRecord = p.record; }, kXHeaderDuplicateTag},
      {"tag without signature", [](XParts& p) { p.format[0] = 'X'; }, kXHeaderBadSignature},
      {"data not Steim-1", [](XParts& p) { p.format = XParts::Join(Tag(6, 32), FormatBytes(2, 'I')); },
       kXHeaderBadEncoding},
      {"file ends inside the header record",
       [](XParts& p) {
         p.record.resize(40);
         p.format.clear();
         p.xblocks.clear();
       },
       kXHeaderTruncated},
      {"file ends inside a tag",
       [](XParts& p) {
         p.format.resize(7);
         p.xblocks.clear();
       },
       kXHeaderTruncated},
      {"skipped payload runs past the end",
       [](XParts& p) {
         p.beforeRecord = Tag(9, 1u << 30);
       },
       kXHeaderTruncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XParts parts;
    c.change(parts);
    YFileHeader header{};
    EXPECT_EQ(Read(parts.File(), &header), c.result);
    EXPECT_EQ(header.record, nullptr);  // untouched on failure
  }
}

TEST_F(DorvineTest, RefusesEmptyShortAndRandomFiles) {
  Bytes random(5000);
  uint32_t state = 12345;
  for (uint8_t& byte : random) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {{"empty", {}}, {"ten bytes", Bytes(10, 'T')}, {"random bytes", random}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    YFileHeader header{};
    EXPECT_EQ(Read(c.file, &header), kXHeaderNoLeadingTag);
  }
}

TEST_F(DorvineTest, RefusesUnknownConstantsAndNullArguments) {
  const Bytes file = XParts().File();
  YFileHeader header{};
  EXPECT_EQ(Read(file, &header, 3, 0, 0), kXHeaderBadArgument);
  EXPECT_EQ(Read(file, &header, 4, 1, 0), kXHeaderBadArgument);
  EXPECT_EQ(Read(file, &header, 4, 0, 1), kXHeaderBadArgument);
  EXPECT_EQ(XFileReadYHeader(nullptr, "x", &header, 4, 0, 0), kXHeaderBadArgument);
  EXPECT_STRNE(XFileReadResultText(kXHeaderRecordLength), XFileReadResultText(99));
}

// The Y head byte for byte, the position it leaves, and the type-5 search the
// conversion makes on it later.
TEST_F(DorvineTest, WritesTheYHeadExactly) {
  YFileHeader header{};
  ASSERT_EQ(Read(XParts().File(), &header), kXHeaderOk);
  const std::string path = dir_ / "Y0001";
  FILE* yfile = std::fopen(path.c_str(), "w+b");
  ASSERT_NE(yfile, nullptr);
  ASSERT_EQ(YFileWriteHeader(yfile, &header, 1), kYHeadOk);
  EXPECT_EQ(std::ftell(yfile), 144);

  Bytes expected = Tag(0, 0, 0);
  Append(expected, Tag(5, 64));
  Append(expected, RecordBytes(SampleRecord()));
  Append(expected, Tag(6, 32));
  Bytes format(32, 0);
  format[0] = 2;  // int32 samples
  format[16] = 'I';
  Append(expected, format);

  std::rewind(yfile);
  TagHeader tag{};
  EXPECT_EQ(TagGetTag(yfile, 5, &tag), kTagOk);
  EXPECT_EQ(std::ftell(yfile), 32);
  std::fclose(yfile);
  EXPECT_EQ(testfs::ReadFile(path), expected);
}

TEST_F(DorvineTest, WriteHeadRefusesBadArgumentsAndReportsWriteFailures) {
  YFileHeader header{};
  ASSERT_EQ(Read(XParts().File(), &header), kXHeaderOk);
  const std::string path = Write({}, "Y0001");
  FILE* readOnly = std::fopen(path.c_str(), "rb");
  ASSERT_NE(readOnly, nullptr);
  EXPECT_EQ(YFileWriteHeader(readOnly, &header, 1), kYHeadWriteFailed);
  EXPECT_EQ(YFileWriteHeader(readOnly, &header, 2), kYHeadBadArgument);
  YFileHeader empty{};
  EXPECT_EQ(YFileWriteHeader(readOnly, &empty, 1), kYHeadBadArgument);
  std::fclose(readOnly);
}

}  // namespace
