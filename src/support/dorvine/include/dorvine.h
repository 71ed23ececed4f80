// dorvine: quorvale's header library.
//
// Reads the header record and data-format record of an X-file and writes the
// head of a Y file (leading tag, type-5 header record, type-6 data-format
// record). File layouts: docs/formats.md.
#ifndef DORVINE_H
#define DORVINE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#pragma pack(push, 1)
// The 64-byte header record, payload of the type-5 tag. In memory its integer
// fields are in host byte order; in a file they are little-endian (use
// YHeaderEncode / YHeaderDecode).
struct YHeaderRecord {
  char network[2];
  char station[5];
  char location[2];
  char channel[3];
  int64_t startTimeNs;      // first sample, ns since 1970-01-01T00:00:00 UTC
  double sampleRate;        // samples per second
  uint32_t reserved28;
  uint32_t sampleCount;     // samples of all XBlocks together
  int32_t mean;
  int32_t largest;
  int32_t smallest;
  char fileType[6];         // "XFILE" in an X-file, "YFILE" in a finished Y file
  uint16_t formatVersion;   // 1
  uint8_t reserved56[8];
};

// The 32-byte data-format record, payload of the type-6 tag.
struct YDataFormat {
  uint32_t encoding;        // 1: Steim-1 XBlocks, 2: int32 samples
  uint8_t reserved4[12];
  char byteOrder;           // 'I' little-endian, 'M' big-endian; not 'I' = reversed
  uint8_t reserved17[15];
};

// What XFileReadYHeader fills and YFileWriteHeader writes. The first 40
// bytes belong to the library; the two references point at records owned by
// the library.
struct YFileHeader {
  uint8_t library[40];
  YHeaderRecord* record;
  YDataFormat* format;
};
#pragma pack(pop)

static_assert(sizeof(YHeaderRecord) == 64);
static_assert(offsetof(YHeaderRecord, startTimeNs) == 12);
static_assert(offsetof(YHeaderRecord, sampleRate) == 20);
static_assert(offsetof(YHeaderRecord, sampleCount) == 32);
static_assert(offsetof(YHeaderRecord, mean) == 36);
static_assert(offsetof(YHeaderRecord, largest) == 40);
static_assert(offsetof(YHeaderRecord, smallest) == 44);
static_assert(offsetof(YHeaderRecord, fileType) == 48);
static_assert(offsetof(YHeaderRecord, formatVersion) == 54);
static_assert(sizeof(YDataFormat) == 32);
static_assert(offsetof(YDataFormat, byteOrder) == 16);
static_assert(offsetof(YFileHeader, record) == 40);
static_assert(offsetof(YFileHeader, format) == 40 + sizeof(void*));
static_assert(sizeof(YFileHeader) == 40 + 2 * sizeof(void*));

inline constexpr size_t kYHeaderRecordSize = 64;
inline constexpr size_t kYDataFormatSize = 32;
inline constexpr uint16_t kTagTypeLeading = 0;
inline constexpr uint16_t kTagTypeHeaderRecord = 5;
inline constexpr uint16_t kTagTypeDataFormat = 6;
inline constexpr uint16_t kTagTypeSamples = 7;
inline constexpr uint16_t kTagTypeXBlocks = 23;

// Field-by-field little-endian encoding of the two records.
void YHeaderEncode(const YHeaderRecord* record, uint8_t bytes[64]);
void YHeaderDecode(const uint8_t bytes[64], YHeaderRecord* record);
void YDataFormatEncode(const YDataFormat* format, uint8_t bytes[32]);
void YDataFormatDecode(const uint8_t bytes[32], YDataFormat* format);

// ---------------------------------------------------------------------------
// Reading an X-file's head
// ---------------------------------------------------------------------------

// The interface level that XFileReadYHeader implements: the X-file layout of
// a leading tag (type 0), a type-5 header record, a type-6 data-format record
// and a type-23 tag followed by Steim-1 XBlocks.
inline constexpr int kXHeaderInterfaceLevel = 4;
// The Y-file head layout that YFileWriteHeader writes (leading tag, type-5
// header record, type-6 data-format record with int32 samples).
inline constexpr int kYHeadLayoutVersion = 1;

// Encodings of the data-format record.
inline constexpr uint32_t kEncodingSteim1 = 1;
inline constexpr uint32_t kEncodingInt32 = 2;

// Results of XFileReadYHeader (16-bit, 0 = success; each failure its own).
inline constexpr uint16_t kXHeaderOk = 0;
inline constexpr uint16_t kXHeaderBadArgument = 1;     // null file or header, or unknown constants
inline constexpr uint16_t kXHeaderReadFailed = 2;      // the file cannot be sought or read
inline constexpr uint16_t kXHeaderNoLeadingTag = 3;    // file empty, or not starting with a
                                                       // "TG" tag of type 0 and length 0
inline constexpr uint16_t kXHeaderBadSignature = 4;    // a later tag without "TG"
inline constexpr uint16_t kXHeaderTruncated = 5;       // a tag or payload cut off by the file's end
inline constexpr uint16_t kXHeaderRecordMissing = 6;   // no type-5 tag before the type-23 tag
inline constexpr uint16_t kXHeaderRecordLength = 7;    // type-5 payload not 64 bytes
inline constexpr uint16_t kXHeaderFormatMissing = 8;   // no type-6 tag before the type-23 tag
inline constexpr uint16_t kXHeaderFormatLength = 9;    // type-6 payload not 32 bytes
inline constexpr uint16_t kXHeaderNoXBlocks = 10;      // no type-23 tag
inline constexpr uint16_t kXHeaderBadEncoding = 11;    // data-format encoding is not Steim-1
inline constexpr uint16_t kXHeaderDuplicateTag = 12;   // a second type-5 or type-6 tag

// Results of YFileWriteHeader (16-bit, 0 = success).
inline constexpr uint16_t kYHeadOk = 0;
inline constexpr uint16_t kYHeadBadArgument = 1;  // null file, header or record, or unknown version
inline constexpr uint16_t kYHeadWriteFailed = 2;  // a seek or write failed

// Reads the head of the X-file `xfile` and fills `header`.
//
// `xfile` must be open for reading in binary mode; it is read from offset 0
// whatever its position, and is left at an unspecified position. `path` is
// the X-file's path; it is not opened or read (the caller names the file in
// its own messages) and may be null. `interfaceLevel` must be
// kXHeaderInterfaceLevel (4); `reserved1` and `reserved2` must be 0. Other
// values are refused with kXHeaderBadArgument, so that a caller built for
// another layout fails cleanly instead of misreading files.
//
// The file must start with a leading tag (signature "TG", type 0, length 0;
// its aux is not checked), and the tags from there must hold exactly one
// type-5 tag of length 64 (the header record) and exactly one type-6 tag of
// length 32 (the data-format record, encoding 1 = Steim-1) before the first
// type-23 tag. Tags of other types before the type-23 tag are skipped. Every
// failure has its own result (kXHeader...); the file is never written.
//
// On success `header->record` and `header->format` point at the two records,
// decoded into host byte order. The records belong to the library (static
// storage: nothing to release, no allocation per call); they stay valid,
// readable and writable until the next successful call, which overwrites
// them. The first 40 bytes of `header` hold the library's bookkeeping:
//   0-3  "DRV1"; 4-7 the type-23 tag's aux (XBlock count), little-endian;
//   8-15 the file offset of the first XBlock, little-endian; 16-39 zero.
// On failure `header` and the records of an earlier call are left unchanged.
// Not thread-safe (one shared pair of records).
uint16_t XFileReadYHeader(FILE* xfile, const char* path, YFileHeader* header, int interfaceLevel,
                          int reserved1, int reserved2);

// Writes the head of a Y file into `yfile` from offset 0 and leaves the file
// just after it (offset 144, where the data tag follows):
//   offset   0  leading tag: type 0, length 0, aux 0 (the conversion rewrites
//               it at the end with the number of bytes after it);
//   offset  16  type-5 tag, length 64, and `*header->record`, encoded;
//   offset  96  type-6 tag, length 32, and a data-format record with
//               encoding 2 (int32 samples) and byte order 'I', rest zero.
// `version` must be kYHeadLayoutVersion (1); other values are refused with
// kYHeadBadArgument, as are a null file, header or header->record. Only
// header->record is read; header->format (the X-file's) is not needed. A
// failed seek or write returns kYHeadWriteFailed.
uint16_t YFileWriteHeader(FILE* yfile, const YFileHeader* header, int version);

// A short English description of a result of XFileReadYHeader, for
// messages ("unknown result" for codes it does not know).
const char* XFileReadResultText(uint16_t result);

#endif  // DORVINE_H
