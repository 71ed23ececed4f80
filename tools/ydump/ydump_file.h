// Reading Y files and X-files for ydump: the tags, the records and the samples,
// with every length taken from the file checked against the file's size.
#ifndef YDUMP_FILE_H
#define YDUMP_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "dorvine.h"
#include "kelvast.h"

struct YdumpTag : TagHeader {
  uint64_t offset = 0;
};

enum class YdumpKind { kUnknown, kYFile, kXFile };

// What the tag walk found. The walk starts at offset 0 and follows the tags'
// lengths; it stops at the first data tag (type 7 in a Y file, type 23 in an
// X-file), whose data run to the end of the file, or at the first tag it
// cannot read (noted in `problems`).
struct YdumpFile {
  std::string path;
  uint64_t size = 0;
  std::vector<YdumpTag> tags;
  bool hasRecord = false;  // the first type-5 tag of 64 bytes
  YHeaderRecord record{};
  bool hasFormat = false;  // the first type-6 tag of 32 bytes
  YDataFormat format{};
  YdumpKind kind = YdumpKind::kUnknown;
  uint64_t dataOffset = 0;  // first byte after the data tag
  uint64_t dataBytes = 0;   // bytes from there to the end of the file
  std::vector<std::string> problems;  // what is wrong with the tag structure
};

// Reads the tags and records of the file at `path`. Returns false, with the
// reason in `*error`, only when the file cannot be opened or read; a file
// whose structure is wrong is read as far as it goes and described by
// `file->problems`.
bool YdumpInspect(const std::string& path, YdumpFile* file, std::string* error);

// A Y file is finished when its leading tag holds the number of bytes after
// it (nonzero) and its header record's file type is "YFILE".
bool YdumpIsFinished(const YdumpFile& file);

// Calls `consume(samples, count)` for the little-endian int32 samples of a Y
// file's data part, in order and in chunks. Returns false, with the reason
// in `*error`, when the file cannot be read to the end of the data.
template <typename Consume>
bool YdumpForEachSamples(const YdumpFile& file, Consume consume, std::string* error);

// The statistics of the samples as the conversion forms them.
struct YdumpStats {
  uint64_t count = 0;
  int32_t mean = 0;
  int32_t largest = INT32_MIN;
  int32_t smallest = INT32_MAX;
};

// Checks a Y file: the tags against the file's size, the records, and the
// sample count, mean, largest and smallest of its header record against the
// samples. Appends one text per check that does not hold to `*failures` and
// returns whether all hold; `*stats` receives what the samples give.
bool YdumpVerify(const YdumpFile& file, YdumpStats* stats, std::vector<std::string>* failures);

// A text field of a record up to its first NUL, with bytes outside printable
// ASCII shown as \xNN.
std::string YdumpText(const char* field, size_t width);

// ---------------------------------------------------------------------------

#include <fstream>

#include "kelvast.h"

template <typename Consume>
bool YdumpForEachSamples(const YdumpFile& file, Consume consume, std::string* error) {
  std::ifstream in(file.path, std::ios::binary);
  if (!in) {
    *error = "cannot open the file";
    return false;
  }
  in.seekg(static_cast<std::streamoff>(file.dataOffset));
  constexpr size_t kChunk = 65536;
  std::vector<uint8_t> bytes(kChunk * 4);
  std::vector<int32_t> samples(kChunk);
  uint64_t left = file.dataBytes / 4;
  while (left != 0) {
    const size_t count = left < kChunk ? static_cast<size_t>(left) : kChunk;
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count * 4));
    if (static_cast<size_t>(in.gcount()) != count * 4) {
      *error = "the samples cannot be read to the end";
      return false;
    }
    for (size_t i = 0; i < count; ++i) {
      samples[i] = static_cast<int32_t>(LoadLE32(bytes.data() + 4 * i));
    }
    consume(samples.data(), count);
    left -= count;
  }
  return true;
}

#endif  // YDUMP_FILE_H
