#include "convert_block_io.h"

#include <cstring>

#include "convert_seam.h"
#include "steim.h"

const uint8_t* ConvertReadBlock(ConvertBlockReader* reader) {
  if (reader->next == reader->held) {
    reader->next = 0;
    if (reader->ahead != nullptr) {
      reader->held = reader->ahead->Next(&reader->blocks);
    } else {
      // A request of many blocks goes from the page cache straight into the
      // area; fread counts whole blocks only.
      reader->held =
          ConvertReadChunk(reader->file, reader->area, reader->capacity, &reader->announced);
      reader->blocks = reader->area;
    }
    if (reader->held == 0) return nullptr;
  }
  return reader->blocks + size_t{reader->next++} * kXBlockSize;
}

namespace {

// Writes the first `count` staged samples and moves the rest to the start of
// the area. False when the write falls short; the staged samples are then
// dropped.
bool WriteStaged(ConvertSampleWriter* writer, size_t count) {
  const bool written = ConvWriteSamples(writer->area, count, writer->file) == count;
  if (!written) {
    writer->fill = 0;
    return false;
  }
  writer->fill -= count;
  std::memmove(writer->area, writer->area + count, writer->fill * sizeof(int32_t));
  writer->position += uint64_t{count} * sizeof(int32_t);
  return true;
}

// Writes every complete round.
bool WriteRounds(ConvertSampleWriter* writer) {
  for (;;) {
    const uint64_t boundary = (writer->position / writer->roundBytes + 1) * writer->roundBytes;
    const uint64_t end = writer->position + uint64_t{writer->fill} * sizeof(int32_t);
    if (end < boundary) return true;
    // Up to the boundary; at least one sample, should the offset not be a
    // multiple of 4.
    const auto count = static_cast<size_t>((boundary - writer->position + 3) / sizeof(int32_t));
    if (!WriteStaged(writer, count)) return false;
  }
}

}  // namespace

bool ConvertFlushSamples(ConvertSampleWriter* writer) {
  if (writer->fill == 0) return true;
  return WriteStaged(writer, writer->fill);
}

bool ConvertAppendBlock(ConvertSampleWriter* writer, uint32_t decoded, uint32_t count,
                        ConvertStats* stats) {
  ConvertScanSamples(ConvertSampleSlot(writer), decoded, stats);
  writer->fill += decoded;
  if (!WriteRounds(writer)) return false;
  // Samples the block claims beyond those it holds: zeros, in as many steps
  // as the area needs (a block may claim up to 65535).
  size_t zeros = count - decoded;
  while (zeros != 0) {
    const size_t room = writer->capacity - writer->fill;
    const size_t take = zeros < room ? zeros : room;
    std::memset(ConvertSampleSlot(writer), 0, take * sizeof(int32_t));
    ConvertScanZeros(take, stats);
    writer->fill += take;
    zeros -= take;
    if (!WriteRounds(writer)) return false;
  }
  return true;
}
