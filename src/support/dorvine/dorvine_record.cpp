// Field-by-field little-endian encoding of the header record and the
// data-format record, so that files never depend on the host's layout.
#include <bit>
#include <cstring>

#include "dorvine.h"
#include "kelvast.h"

void YHeaderEncode(const YHeaderRecord* record, uint8_t bytes[64]) {
  std::memcpy(bytes + 0, record->network, 2);
  std::memcpy(bytes + 2, record->station, 5);
  std::memcpy(bytes + 7, record->location, 2);
  std::memcpy(bytes + 9, record->channel, 3);
  StoreLE64(bytes + 12, static_cast<uint64_t>(record->startTimeNs));
  // Packed fields are read by value: a reference to them may be misaligned.
  const double sampleRate = record->sampleRate;
  StoreLE64(bytes + 20, std::bit_cast<uint64_t>(sampleRate));
  StoreLE32(bytes + 28, record->reserved28);
  StoreLE32(bytes + 32, record->sampleCount);
  StoreLE32(bytes + 36, static_cast<uint32_t>(record->mean));
  StoreLE32(bytes + 40, static_cast<uint32_t>(record->largest));
  StoreLE32(bytes + 44, static_cast<uint32_t>(record->smallest));
  std::memcpy(bytes + 48, record->fileType, 6);
  StoreLE16(bytes + 54, record->formatVersion);
  std::memcpy(bytes + 56, record->reserved56, 8);
}

void YHeaderDecode(const uint8_t bytes[64], YHeaderRecord* record) {
  std::memcpy(record->network, bytes + 0, 2);
  std::memcpy(record->station, bytes + 2, 5);
  std::memcpy(record->location, bytes + 7, 2);
  std::memcpy(record->channel, bytes + 9, 3);
  record->startTimeNs = static_cast<int64_t>(LoadLE64(bytes + 12));
  record->sampleRate = std::bit_cast<double>(LoadLE64(bytes + 20));
  record->reserved28 = LoadLE32(bytes + 28);
  record->sampleCount = LoadLE32(bytes + 32);
  record->mean = static_cast<int32_t>(LoadLE32(bytes + 36));
  record->largest = static_cast<int32_t>(LoadLE32(bytes + 40));
  record->smallest = static_cast<int32_t>(LoadLE32(bytes + 44));
  std::memcpy(record->fileType, bytes + 48, 6);
  record->formatVersion = LoadLE16(bytes + 54);
  std::memcpy(record->reserved56, bytes + 56, 8);
}

void YDataFormatEncode(const YDataFormat* format, uint8_t bytes[32]) {
  StoreLE32(bytes + 0, format->encoding);
  std::memcpy(bytes + 4, format->reserved4, 12);
  bytes[16] = static_cast<uint8_t>(format->byteOrder);
  std::memcpy(bytes + 17, format->reserved17, 15);
}

void YDataFormatDecode(const uint8_t bytes[32], YDataFormat* format) {
  format->encoding = LoadLE32(bytes + 0);
  std::memcpy(format->reserved4, bytes + 4, 12);
  format->byteOrder = static_cast<char>(bytes[16]);
  std::memcpy(format->reserved17, bytes + 17, 15);
}
