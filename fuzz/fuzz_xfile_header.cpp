// XFileReadYHeader on arbitrary files: no crash; on success both records are
// there and readable.
#include <cstdio>
#include <cstdlib>

#include "dorvine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::tmpfile();
  if (file == nullptr) return 0;
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::rewind(file);
  YFileHeader header{};
  if (XFileReadYHeader(file, "fuzz", &header, 4, 0, 0) == 0) {
    if (header.record == nullptr || header.format == nullptr) std::abort();
    volatile uint32_t count = header.record->sampleCount;
    volatile char order = header.format->byteOrder;
    (void)count;
    (void)order;
  }
  std::fclose(file);
  return 0;
}
