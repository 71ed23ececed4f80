// The calls that the conversion makes across the standard-library and
// support-library boundary, gathered in one place.
//
// In the product every wrapper is an inline pass-through. A test build
// compiles the conversion a second time with CONVERT_FAULT_SEAM defined;
// then every wrapper first asks ConvertSeamFail whether this call is to fail
// and, if so, reports the failure without touching the file, so that each
// failure path can be reached on an ordinary file system.
#ifndef CONVERT_SEAM_H
#define CONVERT_SEAM_H

#include <cstdint>
#include <cstdio>

#include "dorvine.h"
#include "kelvast.h"

// The kinds of boundary call, in the order a conversion first makes them.
enum ConvertSeamCall : int {
  kSeamReadHeader,   // XFileReadYHeader
  kSeamWriteHeader,  // YFileWriteHeader
  kSeamSeek,         // fseek, on either file
  kSeamGetTag,       // TagGetTag, on either file
  kSeamWriteTag,     // TagWriteTag
  kSeamWriteSamples, // appending one block's samples
  kSeamWriteRecord,  // TagWriteRecord
  kSeamCloseY,       // fclose of the Y file
  kSeamCallKinds
};

#ifdef CONVERT_FAULT_SEAM
// Defined by the test build: nonzero when this call of kind `call` is to
// fail. The value is then the failing call's result where it has one (the
// 16-bit code of a tag or header-library operation).
uint32_t ConvertSeamFail(ConvertSeamCall call);
#define CONVERT_SEAM_FAIL(call) ConvertSeamFail(call)
#else
#define CONVERT_SEAM_FAIL(call) 0u
#endif

inline uint16_t ConvReadHeader(FILE* xfile, const char* xpath, YFileHeader* header) {
  if (const uint32_t code = CONVERT_SEAM_FAIL(kSeamReadHeader)) return static_cast<uint16_t>(code);
  return XFileReadYHeader(xfile, xpath, header, 4, 0, 0);
}

inline uint16_t ConvWriteHeader(FILE* yfile, const YFileHeader* header) {
  if (const uint32_t code = CONVERT_SEAM_FAIL(kSeamWriteHeader)) return static_cast<uint16_t>(code);
  return YFileWriteHeader(yfile, header, 1);
}

inline int ConvSeek(FILE* file, long offset, int origin) {
  if (CONVERT_SEAM_FAIL(kSeamSeek) != 0) return -1;
  return std::fseek(file, offset, origin);
}

inline uint16_t ConvGetTag(FILE* file, uint16_t type, TagHeader* tag) {
  if (const uint32_t code = CONVERT_SEAM_FAIL(kSeamGetTag)) return static_cast<uint16_t>(code);
  return TagGetTag(file, type, tag);
}

inline uint16_t ConvWriteTag(FILE* file, const TagHeader* tag) {
  if (const uint32_t code = CONVERT_SEAM_FAIL(kSeamWriteTag)) return static_cast<uint16_t>(code);
  return TagWriteTag(file, tag);
}

// Whether appending the samples of one block is to fail as a short write
// would; the block's samples are then not appended. Never in the product,
// where only a write itself fails.
inline bool ConvAppendFails() { return CONVERT_SEAM_FAIL(kSeamWriteSamples) != 0; }

// Writes `count` samples; returns how many were written.
inline size_t ConvWriteSamples(const int32_t* samples, size_t count, FILE* yfile) {
  return std::fwrite(samples, sizeof(int32_t), count, yfile);
}

inline uint16_t ConvWriteRecord(FILE* yfile, const uint8_t record[kYHeaderRecordSize]) {
  if (const uint32_t code = CONVERT_SEAM_FAIL(kSeamWriteRecord)) return static_cast<uint16_t>(code);
  return TagWriteRecord(yfile, kTagTypeHeaderRecord, kYHeaderRecordSize, 0, 0, record);
}

// Closes the Y file; nonzero when the close (and the flush in it) failed.
// A failing call still closes the stream.
inline int ConvCloseY(FILE* yfile) {
  const int result = std::fclose(yfile);
  if (CONVERT_SEAM_FAIL(kSeamCloseY) != 0) return EOF;
  return result;
}

#endif  // CONVERT_SEAM_H
