// TagGetTag over arbitrary file contents.
//
// From the start of the file, for several tag types: the walk ends, and a
// found tag is the type asked for, holds the 16 bytes stored just before the
// position it leaves, and that position lies inside the file. Then a walk
// that keeps asking for the next tag of any one type without rewinding: each
// success moves strictly forward, so it ends after at most size/16 steps.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kelvast.h"

namespace {

// The tag that TagGetTag filled must be the 16 bytes in front of `position`.
void CheckFound(const uint8_t* data, size_t size, uint16_t type, const TagHeader& tag,
                long position) {
  if (tag.type != type) std::abort();
  if (position < static_cast<long>(kTagSize) || static_cast<size_t>(position) > size) {
    std::abort();
  }
  const uint8_t* stored = data + position - static_cast<long>(kTagSize);
  if (stored[0] != kTagSignature0 || stored[1] != kTagSignature1) std::abort();
  if (std::memcmp(tag.signature, stored, 2) != 0 || LoadLE16(stored + 2) != tag.type ||
      LoadLE32(stored + 4) != tag.length || LoadLE32(stored + 8) != tag.aux ||
      LoadLE32(stored + 12) != tag.reserved) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::tmpfile();
  if (file == nullptr) return 0;
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  const uint16_t chosen = size >= 2 ? LoadLE16(data) : uint16_t{1};
  const uint16_t types[] = {0, 5, 6, 7, 23, chosen};
  for (uint16_t type : types) {
    std::rewind(file);
    TagHeader tag{};
    if (TagGetTag(file, type, &tag) == kTagOk) {
      CheckFound(data, size, type, tag, std::ftell(file));
    }
  }

  // Every tag of one type, one after the other.
  const uint16_t type = size >= 4 ? LoadLE16(data + 2) : uint16_t{0};
  std::rewind(file);
  long last = 0;
  size_t steps = 0;
  TagHeader tag{};
  while (TagGetTag(file, type, &tag) == kTagOk) {
    const long position = std::ftell(file);
    CheckFound(data, size, type, tag, position);
    if (position <= last || ++steps > size / kTagSize) std::abort();
    last = position;
  }
  std::fclose(file);
  return 0;
}
