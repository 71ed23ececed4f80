#include "kelvast.h"

// Placeholder until the tag operations land.
uint16_t TagGetTag(FILE*, uint16_t, TagHeader*) { return kTagEndOfFile; }
uint16_t TagWriteTag(FILE*, const TagHeader*) { return kTagWriteFailed; }
uint16_t TagWriteRecord(FILE*, uint16_t, uint32_t, uint32_t, uint32_t, const void*) {
  return kTagWriteFailed;
}
