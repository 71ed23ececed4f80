// XFileReadYHeader on arbitrary files.
//
// No crash and no hang; the file is never written. On success both records
// are there, the data-format record says Steim-1, and the bookkeeping names
// a type-23 tag that lies in the file right before the first XBlock, with
// its aux as the XBlock count. On failure the header is left as it was.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dorvine.h"
#include "kelvast.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::tmpfile();
  if (file == nullptr) return 0;
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::rewind(file);

  YFileHeader header;
  std::memset(&header, 0xA5, sizeof header);
  YFileHeader before;
  std::memcpy(&before, &header, sizeof header);
  if (XFileReadYHeader(file, "fuzz", &header, kXHeaderInterfaceLevel, 0, 0) == kXHeaderOk) {
    if (header.record == nullptr || header.format == nullptr) std::abort();
    if (header.format->encoding != kEncodingSteim1) std::abort();
    volatile uint32_t count = header.record->sampleCount;
    (void)count;
    const uint64_t firstBlock = LoadLE64(header.library + 8);
    if (firstBlock < 4 * kTagSize + kYHeaderRecordSize + kYDataFormatSize || firstBlock > size) {
      std::abort();
    }
    const uint8_t* tag = data + firstBlock - kTagSize;
    if (tag[0] != kTagSignature0 || tag[1] != kTagSignature1 ||
        LoadLE16(tag + 2) != kTagTypeXBlocks || LoadLE32(tag + 8) != LoadLE32(header.library + 4)) {
      std::abort();
    }
  } else if (std::memcmp(&header, &before, sizeof header) != 0) {
    std::abort();
  }

  // The file holds what was written, nothing more or less.
  std::vector<uint8_t> after(size + 1);
  std::rewind(file);
  if (std::fread(after.data(), 1, after.size(), file) != size ||
      (size != 0 && std::memcmp(after.data(), data, size) != 0)) {
    std::abort();
  }
  std::fclose(file);
  return 0;
}
