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

// To be filled in with contracts by the header library's implementation:
// XFileReadYHeader(file, path, header, 4, 0, 0) and YFileWriteHeader(file, header, 1).
uint16_t XFileReadYHeader(FILE* xfile, const char* path, YFileHeader* header, int a, int b, int c);
uint16_t YFileWriteHeader(FILE* yfile, const YFileHeader* header, int version);

#endif  // DORVINE_H
