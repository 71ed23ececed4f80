// Tagged-file access: reading, skipping and writing 16-byte tags.
//
// Offsets are 64-bit (fseeko/ftello) so that files past 2 GiB work, also
// where off_t is 32 bits by default; the define comes before any system header.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include <sys/types.h>

#include <cstdio>

#include "kelvast.h"

void TagEncode(const TagHeader* tag, uint8_t bytes[kTagSize]) {
  bytes[0] = tag->signature[0];
  bytes[1] = tag->signature[1];
  StoreLE16(bytes + 2, tag->type);
  StoreLE32(bytes + 4, tag->length);
  StoreLE32(bytes + 8, tag->aux);
  StoreLE32(bytes + 12, tag->reserved);
}

void TagDecode(const uint8_t bytes[kTagSize], TagHeader* tag) {
  tag->signature[0] = bytes[0];
  tag->signature[1] = bytes[1];
  tag->type = LoadLE16(bytes + 2);
  tag->length = LoadLE32(bytes + 4);
  tag->aux = LoadLE32(bytes + 8);
  tag->reserved = LoadLE32(bytes + 12);
}

uint16_t TagGetTag(FILE* file, uint16_t type, TagHeader* tag) {
  if (file == nullptr || tag == nullptr) return kTagEndOfFile;
  off_t position = ftello(file);
  if (position < 0) return kTagEndOfFile;
  const auto size = static_cast<off_t>(FileSize64(file));
  if (size < 0) return kTagEndOfFile;

  // Every step moves at least kTagSize bytes forward and never past `size`,
  // so the walk ends even on a chain of zero-length tags.
  for (;;) {
    uint8_t bytes[kTagSize];
    if (fread(bytes, 1, kTagSize, file) != kTagSize) return kTagEndOfFile;
    position += static_cast<off_t>(kTagSize);
    TagHeader found;
    TagDecode(bytes, &found);
    if (found.signature[0] != kTagSignature0 || found.signature[1] != kTagSignature1) {
      return kTagBadSignature;
    }
    if (found.type == type) {
      *tag = found;
      return kTagOk;
    }
    const off_t left = size > position ? size - position : 0;
    if (found.length > static_cast<uint64_t>(left)) return kTagPayloadPastEnd;
    if (found.length == 0) continue;  // nothing to skip: no seek
    position += static_cast<off_t>(found.length);
    if (fseeko(file, position, SEEK_SET) != 0) return kTagEndOfFile;
  }
}

uint16_t TagWriteTag(FILE* file, const TagHeader* tag) {
  if (file == nullptr || tag == nullptr) return kTagWriteFailed;
  uint8_t bytes[kTagSize];
  TagEncode(tag, bytes);
  return fwrite(bytes, kTagSize, 1, file) == 1 ? kTagOk : kTagWriteFailed;
}

uint16_t TagWriteRecord(FILE* file, uint16_t type, uint32_t length, uint32_t aux,
                        uint32_t reserved, const void* record) {
  if (file == nullptr || (record == nullptr && length != 0)) return kTagWriteFailed;
  TagHeader tag{};
  tag.signature[0] = kTagSignature0;
  tag.signature[1] = kTagSignature1;
  tag.type = type;
  tag.length = length;
  tag.aux = aux;
  tag.reserved = reserved;
  const uint16_t result = TagWriteTag(file, &tag);
  if (result != kTagOk) return result;
  if (length != 0 && fwrite(record, length, 1, file) != 1) return kTagWriteFailed;
  return kTagOk;
}
