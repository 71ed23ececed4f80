// xgen: makes X-files (the compressed input of quorvale).
//
// The library behind the xgen tool, for tests and benchmarks that need
// X-files in-process. An X-file is: leading tag (type 0, aux = bytes after
// it), type-5 tag + 64-byte header record, type-6 tag + 32-byte data-format
// record (encoding 1, byte-order code), type-23 tag (length 4096 x blocks,
// aux = blocks), then the XBlocks. Each XBlock is a 4096-byte SEED data
// record: fixed header, blockette 1000 at offset 48, Steim-1 frames from
// offset 64, the block's sample count at offset 30.
//
// Functions that can fail return false (or a nonzero code) and put a short
// English reason into `*error` (which may be null).
#ifndef XGEN_H
#define XGEN_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dorvine.h"

inline constexpr size_t kXgenBlockSize = 4096;

// Exit codes of the xgen tool (and results of XgenWrapRecords).
inline constexpr int kXgenExitOk = 0;
inline constexpr int kXgenExitUsage = 1;      // bad command line
inline constexpr int kXgenExitBadInput = 2;   // input that cannot be used
inline constexpr int kXgenExitWriteFailed = 3;  // the X-file cannot be written

// Station metadata and timing of a sample series. Codes are ASCII of at
// most 2, 5, 2 and 3 characters.
struct XgenStation {
  std::string network = "XX";
  std::string station = "XGEN";
  std::string location = "00";
  std::string channel = "HHZ";
  int64_t startTimeNs = 1704067200000000000;  // 2024-01-01T00:00:00 UTC
  double sampleRate = 100.0;                  // samples per second, > 0
};

// Checks that the codes fit their fields and the rate is positive and finite.
bool XgenCheckStation(const XgenStation& station, std::string* error);

// ---------------------------------------------------------------------------
// Synthetic signals
// ---------------------------------------------------------------------------

// noise:     correlated background noise of a few thousand counts;
// events:    quiet noise with decaying oscillations of up to a few million
//            counts every few thousand samples (8-, 16- and 32-bit differences);
// fullrange: random values over the whole int32 range, starting with
//            INT32_MIN, INT32_MAX, 0, -1 (differences that wrap);
// constant:  every sample the low 32 bits of the seed;
// steps:     levels held for 1000 samples, then a jump of up to +-2^20.
enum class XgenSignal { kNoise, kEvents, kFullRange, kConstant, kSteps };

// Parses "noise", "events", "fullrange", "constant", "steps".
bool XgenSignalFromName(std::string_view name, XgenSignal* signal);
const char* XgenSignalName(XgenSignal signal);

// `count` samples of `signal`; the same seed gives the same samples on every
// host (integer arithmetic only).
std::vector<int32_t> XgenMakeSignal(XgenSignal signal, uint32_t count, uint64_t seed);

// ---------------------------------------------------------------------------
// XBlocks
// ---------------------------------------------------------------------------

// Packs `samples` into XBlocks appended to `*blocks` (4096 bytes each), every
// multi-byte value big-endian when `bigEndian`, else little-endian. Each
// block's fixed header carries the station codes (space-padded), the start
// time of its first sample, the sample count, a rate factor/multiplier and
// sequence numbers 000001, 000002, ...; `maxPerBlock` > 0 limits the samples
// per block (0 = as many as the encoder packs). Fails when the encoder packs
// nothing (for example while it is unavailable).
bool XgenEncodeBlocks(std::span<const int32_t> samples, const XgenStation& station,
                      bool bigEndian, std::vector<uint8_t>* blocks, std::string* error,
                      uint32_t maxPerBlock = 0);

// Number of whole blocks in `blocks`.
inline size_t XgenBlockTotal(std::span<const uint8_t> blocks) {
  return blocks.size() / kXgenBlockSize;
}
// The sample count (offset 30) of block `index`, and a way to overwrite it,
// for example to make a block that reports more or fewer samples than it
// holds. `bigEndian` must be the order the blocks were made with.
uint16_t XgenBlockCount(std::span<const uint8_t> blocks, size_t index, bool bigEndian);
void XgenSetBlockCount(std::span<uint8_t> blocks, size_t index, uint16_t count, bool bigEndian);

// Sum of the sample counts of all blocks.
uint64_t XgenSumBlockCounts(std::span<const uint8_t> blocks, bool bigEndian);

// ---------------------------------------------------------------------------
// X-files
// ---------------------------------------------------------------------------

// A header record for `station` with `sampleCount` samples: codes NUL-padded,
// mean/largest/smallest 0, file type "XFILE", format version 1.
YHeaderRecord XgenMakeRecord(const XgenStation& station, uint32_t sampleCount);

// Writes an X-file at `path` from raw parts: `record` as given (its sample
// count is not checked against the blocks), a data-format record with
// encoding 1 and `byteOrder` ('I', 'M' or any other code), and `blocks`
// (a multiple of 4096 bytes) behind the type-23 tag. A partly written file
// is removed.
bool XgenWriteXFile(const char* path, const YHeaderRecord& record, char byteOrder,
                    std::span<const uint8_t> blocks, std::string* error);

// Samples -> X-file: encodes `samples` in byte order `byteOrder` ('I'
// little-endian, anything else big-endian, stored as given) with a header
// record whose sample count is samples.size().
bool XgenWriteSamples(const char* path, std::span<const int32_t> samples,
                      const XgenStation& station, char byteOrder, std::string* error,
                      uint32_t maxPerBlock = 0);

// ---------------------------------------------------------------------------
// Inputs
// ---------------------------------------------------------------------------

// Reads a whole file.
bool XgenReadFile(const char* path, std::vector<uint8_t>* bytes, std::string* error);

// Little-endian int32 samples from `bytes` (a multiple of 4 bytes).
bool XgenSamplesFromRaw(std::span<const uint8_t> bytes, std::vector<int32_t>* samples,
                        std::string* error);

// What the first of a run of SEED data records says.
struct XgenRecordInfo {
  XgenStation station;  // codes, start time (with time correction and
                        // blockette 1001's microseconds), rate
  bool bigEndian = false;
  uint32_t sampleCount = 0;  // sum of the records' counts
  size_t records = 0;
};

// Checks 4096-byte SEED data records for wrapping as XBlocks: a nonempty
// multiple of 4096 bytes; each record a data record (quality D, R, Q or M)
// in the byte order detected from the first record's start time (plausible
// year and day), data beginning at offset 64, and a blockette 1000 that
// says Steim-1 (encoding 10), 4096 bytes (exponent 12) and the same word
// order. Fills `*info` from the first record.
bool XgenInspectRecords(std::span<const uint8_t> records, XgenRecordInfo* info,
                        std::string* error);

// SEED data records -> X-file: the records are wrapped as they are, the
// header record filled from XgenInspectRecords. Returns kXgenExitOk,
// kXgenExitBadInput or kXgenExitWriteFailed.
int XgenWrapRecords(const char* path, std::span<const uint8_t> records, std::string* error);

// ---------------------------------------------------------------------------
// Time
// ---------------------------------------------------------------------------

// Parses "YYYY-MM-DDTHH:MM:SS[.fraction][Z]" (UTC; a space may replace the
// T; up to 9 fraction digits) into ns since 1970-01-01T00:00:00 UTC.
bool XgenParseTime(std::string_view text, int64_t* ns);
// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t XgenDaysFromCivil(int64_t year, unsigned month, unsigned day);

#endif  // XGEN_H
