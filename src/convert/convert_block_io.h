// The bulk I/O of a conversion: XBlocks read from the X-file many at a time,
// and samples decoded straight into a staging area that goes to the Y file in
// large writes. Both save a copy of every byte and most system calls.
#ifndef CONVERT_BLOCK_IO_H
#define CONVERT_BLOCK_IO_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "convert_read_ahead.h"
#include "convert_stats.h"

// XBlocks read ahead into `area`, which holds `capacity` of them (at least 1).
// `announced` is the number of XBlocks the file says follow; it only sizes
// the reads (a read that stops at the announced end saves a system call on
// small files), so a wrong number changes nothing but their sizes. With
// `ahead`, a second thread makes the reads into chunks of its own area.
struct ConvertBlockReader {
  FILE* file = nullptr;
  uint8_t* area = nullptr;
  uint32_t capacity = 0;
  uint32_t announced = 0;  // XBlocks announced and not yet read
  const uint8_t* blocks = nullptr;  // the XBlocks read last: in the area or a chunk
  uint32_t held = 0;                // how many
  uint32_t next = 0;                // the next of them to hand out
  std::unique_ptr<ConvertReadAhead> ahead;
};

// The next whole XBlock of the file (4096 bytes inside the reader's area,
// valid until the next call), or null when none can be read: end of file, a
// last block shorter than 4096 bytes, or a read error. Reads only when the
// area has been handed out: as many XBlocks as the area holds, or as are
// still announced if fewer, but at least one; with `ahead`, takes the next
// chunk the thread has read instead.
const uint8_t* ConvertReadBlock(ConvertBlockReader* reader);

// Samples on their way into the Y file: `area` holds `capacity` samples, of
// which the first `fill` are staged and not yet written; the first of them
// goes to the file offset `position`. Staged samples are written in rounds
// that end where the file offset is a multiple of `roundBytes`: the page
// cache takes a write that starts and ends on such a boundary in a few large
// pieces rather than many small ones, which costs the system far less. With
// a stream buffer of one page, each round goes out as one page from the
// buffer and one aligned write of the rest, without a copy.
// `capacity` must be at least roundBytes / 4 + kSteimMaxSamples.
struct ConvertSampleWriter {
  FILE* file;
  int32_t* area;
  size_t capacity;
  size_t fill;
  uint64_t position;
  uint64_t roundBytes;
};

// Where the next block is to be decoded: room for kSteimMaxSamples samples.
inline int32_t* ConvertSampleSlot(const ConvertSampleWriter* writer) {
  return writer->area + writer->fill;
}

// Appends one block of `count` samples whose first `decoded` (at most
// `count`) the decoder has stored at ConvertSampleSlot; the rest, the samples
// the block claims but does not hold, are zeros. Takes all `count` samples
// into `stats`. Writes every round that is complete; returns false when such
// a write falls short (the staged samples are then dropped). Afterwards the
// area has room for another block.
bool ConvertAppendBlock(ConvertSampleWriter* writer, uint32_t decoded, uint32_t count,
                        ConvertStats* stats);

// Writes the staged samples to the file (through its stream). Returns false
// when the write falls short; the staged samples are dropped either way.
bool ConvertFlushSamples(ConvertSampleWriter* writer);

#endif  // CONVERT_BLOCK_IO_H
