// Reading an X-file's head and writing a Y file's head.
// 64-bit file offsets where off_t is 32 bits by default; before any
// system header.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include <sys/types.h>

#include <cstdio>
#include <cstring>

#include "dorvine.h"
#include "kelvast.h"

namespace {

// The records that XFileReadYHeader hands out. Static storage: one pair for
// the whole run, overwritten by each successful read, never allocated.
// Aligned so that the 32-bit fields (offsets 32-44) are naturally aligned
// for callers that take their address.
alignas(8) YHeaderRecord g_record;
alignas(8) YDataFormat g_format;

// Reads `size` bytes; the result tells a clean end of file (nothing read)
// apart from a short read.
enum class ReadResult { kOk, kEnd, kShort };

ReadResult ReadBytes(FILE* file, uint8_t* bytes, size_t size) {
  const size_t got = fread(bytes, 1, size, file);
  if (got == size) return ReadResult::kOk;
  return got == 0 ? ReadResult::kEnd : ReadResult::kShort;
}

bool HasSignature(const TagHeader& tag) {
  return tag.signature[0] == kTagSignature0 && tag.signature[1] == kTagSignature1;
}

}  // namespace

uint16_t XFileReadYHeader(FILE* xfile, const char* /*path*/, YFileHeader* header,
                          int interfaceLevel, int reserved1, int reserved2) {
  if (xfile == nullptr || header == nullptr || interfaceLevel != kXHeaderInterfaceLevel ||
      reserved1 != 0 || reserved2 != 0) {
    return kXHeaderBadArgument;
  }
  const auto size = static_cast<off_t>(FileSize64(xfile));
  if (size < 0 || fseeko(xfile, 0, SEEK_SET) != 0) return kXHeaderReadFailed;

  uint8_t bytes[kTagSize];
  TagHeader tag;
  if (ReadBytes(xfile, bytes, kTagSize) != ReadResult::kOk) return kXHeaderNoLeadingTag;
  TagDecode(bytes, &tag);
  if (!HasSignature(tag) || tag.type != kTagTypeLeading || tag.length != 0) {
    return kXHeaderNoLeadingTag;
  }

  YHeaderRecord record{};
  YDataFormat format{};
  bool haveRecord = false;
  bool haveFormat = false;
  off_t position = static_cast<off_t>(kTagSize);
  // Each step moves at least one tag forward and never past the file's end,
  // so the walk ends.
  for (;;) {
    const ReadResult read = ReadBytes(xfile, bytes, kTagSize);
    if (read == ReadResult::kShort) return kXHeaderTruncated;
    if (read == ReadResult::kEnd) {
      if (ferror(xfile)) return kXHeaderReadFailed;
      if (!haveRecord) return kXHeaderRecordMissing;
      if (!haveFormat) return kXHeaderFormatMissing;
      return kXHeaderNoXBlocks;
    }
    position += static_cast<off_t>(kTagSize);
    TagDecode(bytes, &tag);
    if (!HasSignature(tag)) return kXHeaderBadSignature;

    if (tag.type == kTagTypeXBlocks) {
      if (!haveRecord) return kXHeaderRecordMissing;
      if (!haveFormat) return kXHeaderFormatMissing;
      break;
    }
    if (tag.type == kTagTypeHeaderRecord) {
      if (haveRecord) return kXHeaderDuplicateTag;
      if (tag.length != kYHeaderRecordSize) return kXHeaderRecordLength;
      uint8_t payload[kYHeaderRecordSize];
      if (ReadBytes(xfile, payload, sizeof payload) != ReadResult::kOk) return kXHeaderTruncated;
      YHeaderDecode(payload, &record);
      haveRecord = true;
    } else if (tag.type == kTagTypeDataFormat) {
      if (haveFormat) return kXHeaderDuplicateTag;
      if (tag.length != kYDataFormatSize) return kXHeaderFormatLength;
      uint8_t payload[kYDataFormatSize];
      if (ReadBytes(xfile, payload, sizeof payload) != ReadResult::kOk) return kXHeaderTruncated;
      YDataFormatDecode(payload, &format);
      if (format.encoding != kEncodingSteim1) return kXHeaderBadEncoding;
      haveFormat = true;
    } else {
      const off_t left = size > position ? size - position : 0;
      if (tag.length > static_cast<uint64_t>(left)) return kXHeaderTruncated;
      // An empty payload (the leading tag's) needs no seek.
      if (tag.length != 0 &&
          fseeko(xfile, position + static_cast<off_t>(tag.length), SEEK_SET) != 0) {
        return kXHeaderReadFailed;
      }
    }
    position += static_cast<off_t>(tag.length);
  }

  g_record = record;
  g_format = format;
  std::memset(header->library, 0, sizeof header->library);
  std::memcpy(header->library, "DRV1", 4);
  StoreLE32(header->library + 4, tag.aux);
  StoreLE64(header->library + 8, static_cast<uint64_t>(position));
  header->record = &g_record;
  header->format = &g_format;
  return kXHeaderOk;
}

uint16_t YFileWriteHeader(FILE* yfile, const YFileHeader* header, int version) {
  if (yfile == nullptr || header == nullptr || header->record == nullptr ||
      version != kYHeadLayoutVersion) {
    return kYHeadBadArgument;
  }
  if (fseeko(yfile, 0, SEEK_SET) != 0) return kYHeadWriteFailed;

  uint8_t record[kYHeaderRecordSize];
  YHeaderEncode(header->record, record);
  YDataFormat samplesFormat{};
  samplesFormat.encoding = kEncodingInt32;
  samplesFormat.byteOrder = 'I';
  uint8_t format[kYDataFormatSize];
  YDataFormatEncode(&samplesFormat, format);

  if (TagWriteRecord(yfile, kTagTypeLeading, 0, 0, 0, nullptr) != kTagOk ||
      TagWriteRecord(yfile, kTagTypeHeaderRecord, kYHeaderRecordSize, 0, 0, record) != kTagOk ||
      TagWriteRecord(yfile, kTagTypeDataFormat, kYDataFormatSize, 0, 0, format) != kTagOk) {
    return kYHeadWriteFailed;
  }
  return kYHeadOk;
}

const char* XFileReadResultText(uint16_t result) {
  switch (result) {
    case kXHeaderOk: return "ok";
    case kXHeaderBadArgument: return "bad arguments";
    case kXHeaderReadFailed: return "the file cannot be read";
    case kXHeaderNoLeadingTag: return "no leading tag: not an X-file";
    case kXHeaderBadSignature: return "a tag without its signature";
    case kXHeaderTruncated: return "a tag or record runs past the end of the file";
    case kXHeaderRecordMissing: return "no header record (type-5 tag) before the XBlocks";
    case kXHeaderRecordLength: return "header record (type-5 tag) is not 64 bytes long";
    case kXHeaderFormatMissing: return "no data-format record (type-6 tag) before the XBlocks";
    case kXHeaderFormatLength: return "data-format record (type-6 tag) is not 32 bytes long";
    case kXHeaderNoXBlocks: return "no XBlocks (type-23 tag)";
    case kXHeaderBadEncoding: return "data are not Steim-1 encoded";
    case kXHeaderDuplicateTag: return "a second header or data-format record";
    default: return "unknown result";
  }
}
