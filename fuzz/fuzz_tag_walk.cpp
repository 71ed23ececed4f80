// TagGetTag over arbitrary file contents, for several tag types: every walk
// ends, and a found tag leaves the file just after it.
#include <cstdio>
#include <cstdlib>

#include "kelvast.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::tmpfile();
  if (file == nullptr) return 0;
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  const uint16_t types[] = {0, 5, 6, 7, 23, size > 0 ? data[0] : uint16_t{1}};
  for (uint16_t type : types) {
    std::rewind(file);
    TagHeader tag{};
    if (TagGetTag(file, type, &tag) == kTagOk) {
      if (tag.type != type) std::abort();
      const long position = std::ftell(file);
      if (position < static_cast<long>(kTagSize) || static_cast<size_t>(position) > size) {
        std::abort();
      }
    }
  }
  std::fclose(file);
  return 0;
}
