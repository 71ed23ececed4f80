#include "convert_block_io.h"

#include <cstring>

#include "convert_seam.h"
#include "steim.h"

const uint8_t* ConvertReadBlock(ConvertBlockReader* reader) {
  if (reader->next == reader->held) {
    // A request of many blocks goes from the page cache straight into the
    // area; fread counts whole blocks only.
    uint32_t wanted = reader->capacity;
    if (reader->announced < wanted) wanted = reader->announced > 0 ? reader->announced : 1;
    reader->held =
        static_cast<uint32_t>(std::fread(reader->area, kXBlockSize, wanted, reader->file));
    reader->announced -= reader->held < reader->announced ? reader->held : reader->announced;
    reader->next = 0;
    if (reader->held == 0) return nullptr;
  }
  return reader->area + size_t{reader->next++} * kXBlockSize;
}

bool ConvertFlushSamples(ConvertSampleWriter* writer) {
  const size_t staged = writer->fill;
  writer->fill = 0;
  if (staged == 0) return true;
  return ConvWriteSamples(writer->area, staged, writer->file) == staged;
}

bool ConvertAppendBlock(ConvertSampleWriter* writer, uint32_t decoded, uint32_t count,
                        ConvertStats* stats) {
  ConvertScanSamples(ConvertSampleSlot(writer), decoded, stats);
  writer->fill += decoded;
  // Samples the block claims beyond those it holds: zeros, in as many rounds
  // as the area needs (a block may claim up to 65535).
  size_t zeros = count - decoded;
  while (zeros != 0) {
    const size_t room = writer->capacity - writer->fill;
    const size_t take = zeros < room ? zeros : room;
    std::memset(ConvertSampleSlot(writer), 0, take * sizeof(int32_t));
    ConvertScanZeros(take, stats);
    writer->fill += take;
    zeros -= take;
    if (writer->fill == writer->capacity && !ConvertFlushSamples(writer)) return false;
  }
  if (writer->capacity - writer->fill < kSteimMaxSamples) return ConvertFlushSamples(writer);
  return true;
}
