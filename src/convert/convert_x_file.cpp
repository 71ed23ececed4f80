// ConvertXFile: one X-file into one Y file, with the statistics of its samples.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "convert.h"
#include "convert_block_io.h"
#include "convert_seam.h"
#include "convert_stats.h"
#include "convert_streams.h"
#include "convert_totals.h"
#include "dorvine.h"
#include "kelvast.h"
#include "steim.h"

namespace {

constexpr uint32_t kXBlockBytes = 4096;
constexpr uint32_t kSampleCapacity = 4096;  // samples the sample buffer holds
constexpr uint32_t kSampleBytes = kSampleCapacity * sizeof(int32_t);
static_assert(kXBlockBytes == kXBlockSize);
static_assert(kSampleCapacity >= kSteimMaxSamples, "the decoder must fit the sample buffer");

// The data of every conversion pass through two bulk areas: XBlocks read at
// one time (a quarter of a megabyte per system call), and samples staged for
// writes of one megabyte that end on megabyte boundaries of the Y file. A
// file of more than one read is read by a second thread, a ring of reads
// ahead of the decoding; the area then holds the ring.
constexpr uint32_t kReadAheadBlocks = 64;
constexpr uint32_t kReadAheadChunks = 4;
constexpr uint64_t kWriteRoundBytes = uint64_t{1} << 20;
constexpr uint32_t kStagingSamples = kWriteRoundBytes / sizeof(int32_t) + kSteimMaxSamples;

// The bulk areas belong to the run, not to one conversion: conversions run
// one after another on the run's only thread, and none leaves data in them
// for the next. Kept for the whole run, they cost a file no allocation and no
// fresh pages, and the run's resident memory stays the same however many
// files it converts (per-file heap blocks of this size fragment the heap and
// make it grow from file to file). The XBlock and sample buffers are still
// obtained for each conversion, whose end on a failed allocation callers rely
// on.
alignas(64) uint8_t g_readAhead[kReadAheadChunks * kReadAheadBlocks * kXBlockBytes];
alignas(64) int32_t g_staging[kStagingSamples];
// The streams' own buffers, one page each, as the C library would choose;
// given here so that opening a file costs no extra call to learn its block
// size. An X-file of up to 64 KiB is read whole into the image and parsed
// from memory. One conversion at a time uses them, and closes both streams.
constexpr size_t kStreamBufferBytes = 4096;
constexpr size_t kXImageBytes = 64 * 1024;
alignas(64) char g_xStreamBuffer[kStreamBufferBytes];
alignas(64) char g_yStreamBuffer[kStreamBufferBytes];
alignas(64) uint8_t g_xImage[kXImageBytes];

// Texts without a placeholder still carry one argument, an empty text, as
// every message of the conversion does; the format check would flag it.
#define CONVERT_MESSAGE_PLAIN(messageClass, severity, status, text)  \
  do {                                                               \
    _Pragma("GCC diagnostic push")                                   \
    _Pragma("GCC diagnostic ignored \"-Wformat-extra-args\"")        \
    LOG_MESSAGE(messageClass, severity, status, text, "");       \
    _Pragma("GCC diagnostic pop")                                    \
  } while (0)

// The state of one call. Everything is released or closed on every way out.
struct Conversion {
  const char* xpath = nullptr;
  const char* ypath = nullptr;
  int32_t status = 0;
  FILE* xfile = nullptr;
  FILE* yfile = nullptr;
  uint8_t* xblock = nullptr;
  int32_t* samples = nullptr;
  ConvertBlockReader reader{};  // on the bulk areas once the buffers are held
  ConvertSampleWriter writer{};
};

void ReleaseBuffers(Conversion& c) {
  if (c.xblock != nullptr) MemFreeHugeMem(c.xblock);
  c.xblock = nullptr;
  if (c.samples != nullptr) MemFreeHugeMem(c.samples);
  c.samples = nullptr;
  c.reader = ConvertBlockReader{};
  c.writer = ConvertSampleWriter{};
}

void CloseFiles(Conversion& c) {
  if (c.xfile != nullptr) std::fclose(c.xfile);
  c.xfile = nullptr;
  if (c.yfile != nullptr) ConvCloseY(c.yfile);
  c.yfile = nullptr;
}

// Ends the conversion of this file after a failure, which has been reported.
// The samples of every block appended so far still go to the Y file, as a
// stream's buffered data would; then the buffers are released and the
// X-file, then the Y file, closed.
void Skip(Conversion& c) {
  LogClearContext();
  if (c.writer.area != nullptr) ConvertFlushSamples(&c.writer);
  ReleaseBuffers(c);
  CloseFiles(c);
  ConvertCountSkipped();
}

// Sets up the reader and the writer on the bulk areas; `announced` is the
// number of XBlocks the X-file's type-23 tag announces. The samples start
// where the Y file stands now, right after the data tag.
void StartBlockIo(Conversion& c, uint32_t announced) {
  c.reader.file = c.xfile;
  c.reader.area = g_readAhead;
  c.reader.capacity = kReadAheadBlocks;
  c.reader.announced = announced;
  if (announced > kReadAheadBlocks) {
    // Null when no thread can be had: the conversion then reads for itself.
    c.reader.ahead = ConvertReadAhead::Start(c.xfile, g_readAhead, kReadAheadBlocks,
                                             kReadAheadChunks, announced);
  }
  const int64_t start = FileTell64(c.yfile);
  const uint64_t position = start > 0 ? static_cast<uint64_t>(start) : 0;
  c.writer =
      ConvertSampleWriter{c.yfile, g_staging, kStagingSamples, 0, position, kWriteRoundBytes};
}

// A buffer cannot be obtained: close both files, the X-file first, and end
// the program.
[[noreturn]] void ExitOnAllocation(Conversion& c) {
  ReleaseBuffers(c);
  CloseFiles(c);
  std::exit(1);
}

}  // namespace

void ConvertXFile(const char* xpath, const char* ypath) {
  Conversion c;
  c.xpath = xpath;
  c.ypath = ypath;
  c.status = 0;
  ConvertStats stats = kConvertStatsStart;

  c.xfile = ConvertOpenX(xpath, g_xImage, g_xStreamBuffer);
  if (c.xfile == nullptr) {
    LOG_MESSAGE(kMsgWarning, 0, &c.status, "FATAL ERROR: XFileOpen failed on %s", xpath);
    ConvertCountSkipped();
    return;
  }

  // Opening the Y file empties it; if it is the X-file itself (the same path,
  // or a link to it), that would destroy the input.
  if (PathSameFile(xpath, ypath) != 0) {
    LOG_MESSAGE(kMsgWarning, 0, &c.status,
                    "WARNING: Y file %s is the X-file itself, file skipped", ypath);
    Skip(c);
    return;
  }

  c.yfile = ConvertOpenY(ypath, g_yStreamBuffer);
  if (c.yfile == nullptr) {
    LOG_MESSAGE(kMsgWarning, 0, &c.status, "FATAL ERROR: YFileOpen failed on %s", ypath);
    Skip(c);
    return;
  }

  LOG_MESSAGE(kMsgProgress, 0, &c.status, "Reading Y file header from X-file %s", xpath);
  YFileHeader header{};
  if (ConvReadHeader(c.xfile, xpath, &header) != 0) {
    LOG_MESSAGE(kMsgWarning, 0, &c.status,
                    "WARNING: Reading Y file Header failed on %s, file skipped", xpath);
    Skip(c);
    return;
  }
  YHeaderRecord* const record = header.record;
  const YDataFormat* const format = header.format;

  LOG_MESSAGE(kMsgProgress, 0, &c.status, "Writting Y file header %s", ypath);
  if (ConvWriteHeader(c.yfile, &header) != 0) {
    LOG_MESSAGE(kMsgWarning, 0, &c.status,
                    "WARNING: Writting Y file header failed on %s, file skipped", ypath);
    Skip(c);
    return;
  }

  c.status = ConvSeek(c.xfile, 0, SEEK_SET);
  if (c.status != 0) {
    CONVERT_MESSAGE_PLAIN(kMsgWarning, 0, &c.status, "WARNING: Seeking Y file back failed ");
    Skip(c);
    return;
  }
  TagHeader tag{};
  c.status = ConvGetTag(c.xfile, kTagTypeXBlocks, &tag);
  if (c.status != 0) {
    LOG_MESSAGE(kMsgFatal, 1000, &c.status, "FATAL ERROR: TagGetTag failed from %s", xpath);
    Skip(c);
    return;
  }

  const uint32_t announcedBlocks = tag.length / kXBlockBytes;

  // The data tag keeps the signature bytes and aux of the type-23 tag.
  tag.type = kTagTypeSamples;
  tag.length = 4u * record->sampleCount;  // unsigned 32-bit product
  tag.reserved = 0;
  c.status = ConvWriteTag(c.yfile, &tag);
  if (c.status != 0) {
    CONVERT_MESSAGE_PLAIN(kMsgWarning, 0, &c.status, "WARNING: Writing tag failed ");
    Skip(c);
    return;
  }

  uint32_t remaining = record->sampleCount;
  c.xblock = static_cast<uint8_t*>(MemAllocHugeMem(kXBlockBytes, __LINE__, __FILE__));
  if (c.xblock == nullptr) {
    CONVERT_MESSAGE_PLAIN(kMsgFatal, 0, &c.status,
                          "FATAL ERROR: MemAllocHugeMem failed for XBlock");
    ExitOnAllocation(c);
  }
  c.samples = static_cast<int32_t*>(MemAllocHugeMem(kSampleBytes, __LINE__, __FILE__));
  if (c.samples == nullptr) {
    LOG_MESSAGE(kMsgFatal, 0, &c.status, "FATAL ERROR: MemAllocHugeMem failed for %lu longs",
                    static_cast<unsigned long>(kSampleCapacity));
    ExitOnAllocation(c);
  }
  StartBlockIo(c, announcedBlocks);

  record->largest = stats.largest;
  record->smallest = stats.smallest;
  LOG_MESSAGE(kMsgProgress, 0, &c.status,
                  "Decompressing XBlock data and writing decoded data to Y file %s", ypath);

  // Warnings from here on (the decoder's included) name the X-file and block.
  uint32_t blockNumber = 0;
  uint64_t written = 0;
  if (remaining != 0) LogSetContext(xpath, "XBlock", 1);
  while (remaining != 0) {
    LogSetContextUnit(++blockNumber);
    const uint8_t* const block = ConvertReadBlock(&c.reader);
    if (block == nullptr) {
      LOG_MESSAGE(kMsgWarning, 0, &c.status,
                      "WARNING: Reading XBlock data failed on %s, file skipped", xpath);
      Skip(c);
      return;
    }
    const int swapFlag = format->byteOrder == 'I' ? 0 : 1;
    uint32_t decoded = 0;
    const uint16_t count =
        SteimDecodeBlockCounted(ConvertSampleSlot(&c.writer), block, swapFlag, &decoded);
    if (ConvAppendFails() || !ConvertAppendBlock(&c.writer, decoded, count, &stats)) {
      LOG_MESSAGE(kMsgWarning, 0, &c.status,
                      "WARNING: Writting Y file data failed on %s, file skipped", ypath);
      Skip(c);
      return;
    }
    record->largest = stats.largest;
    record->smallest = stats.smallest;
    written += count;
    remaining -= count;  // wraps when a block reports more than is still expected
  }
  LogClearContext();
  // The samples still staged go out with the rewind, as a stream's buffered
  // data would: a write that fails there is a failed rewind (status -1).
  const bool flushed = ConvertFlushSamples(&c.writer);
  ReleaseBuffers(c);

  // The leading tag: type 0, length 0, the number of bytes after it.
  const int64_t size = flushed ? FileTell64(c.yfile) : 0;
  tag.type = kTagTypeLeading;
  tag.length = 0;
  tag.aux = static_cast<uint32_t>(static_cast<uint64_t>(size) - kTagSize);
  tag.reserved = 0;
  c.status = flushed ? ConvSeek(c.yfile, 0, SEEK_SET) : -1;
  if (c.status != 0) {
    CONVERT_MESSAGE_PLAIN(kMsgWarning, 0, &c.status, "WARNING: Seeking Y file back failed ");
    Skip(c);
    return;
  }
  c.status = ConvWriteTag(c.yfile, &tag);
  if (c.status != 0) {
    CONVERT_MESSAGE_PLAIN(kMsgWarning, 0, &c.status, "WARNING: Writing tag failed ");
    Skip(c);
    return;
  }

  std::memcpy(record->fileType, "YFILE", sizeof record->fileType);
  record->mean = ConvertMean(ConvertStatsSum(stats), record->sampleCount);

  // The header record is rewritten in place, over the type-5 tag and record
  // that YFileWriteHeader wrote.
  c.status = ConvSeek(c.yfile, 0, SEEK_SET);
  if (c.status != 0) {
    CONVERT_MESSAGE_PLAIN(kMsgWarning, 0, &c.status, "WARNING: Seeking Y file back failed ");
    Skip(c);
    return;
  }
  c.status = ConvGetTag(c.yfile, kTagTypeHeaderRecord, &tag);
  if (c.status != 0) {
    LOG_MESSAGE(kMsgFatal, 1000, &c.status, "FATAL ERROR: TagGetTag failed from %s", ypath);
    Skip(c);
    return;
  }
  c.status = ConvSeek(c.yfile, -static_cast<long>(kTagSize), SEEK_CUR);
  if (c.status != 0) {
    CONVERT_MESSAGE_PLAIN(kMsgWarning, 0, &c.status, "WARNING: Seeking Y file back failed ");
    Skip(c);
    return;
  }
  uint8_t encoded[kYHeaderRecordSize];
  YHeaderEncode(record, encoded);
  c.status = ConvWriteRecord(c.yfile, encoded);
  if (c.status != 0) {
    LOG_MESSAGE(kMsgFatal, 1000, &c.status, "FATAL ERROR: TagWriteRecord failed from %s",
                    ypath);
    Skip(c);
    return;
  }

  // Closing flushes what is still buffered; a full disk shows here.
  std::fclose(c.xfile);
  c.xfile = nullptr;
  const int closed = ConvCloseY(c.yfile);
  c.yfile = nullptr;
  if (closed != 0) {
    LOG_MESSAGE(kMsgWarning, 0, &c.status,
                    "WARNING: Closing Y file failed on %s, file may be incomplete", ypath);
    ConvertCountSkipped();
    return;
  }
  ConvertCountConverted(written);
}
