// Writing X-files and reading inputs.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "kelvast.h"
#include "xgen.h"

namespace {

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

void PutCode(char* field, size_t width, const std::string& code) {
  std::memset(field, 0, width);
  std::memcpy(field, code.data(), code.size() < width ? code.size() : width);
}

}  // namespace

YHeaderRecord XgenMakeRecord(const XgenStation& station, uint32_t sampleCount) {
  YHeaderRecord record{};
  PutCode(record.network, sizeof record.network, station.network);
  PutCode(record.station, sizeof record.station, station.station);
  PutCode(record.location, sizeof record.location, station.location);
  PutCode(record.channel, sizeof record.channel, station.channel);
  record.startTimeNs = station.startTimeNs;
  record.sampleRate = station.sampleRate;
  record.sampleCount = sampleCount;
  std::memcpy(record.fileType, "XFILE", 6);
  record.formatVersion = 1;
  return record;
}

bool XgenWriteXFile(const char* path, const YHeaderRecord& record, char byteOrder,
                    std::span<const uint8_t> blocks, std::string* error) {
  if (blocks.size() % kXgenBlockSize != 0) {
    SetError(error, "block data are not a whole number of 4096-byte blocks");
    return false;
  }
  // The type-23 tag's length and the leading tag's aux are 32-bit.
  constexpr uint64_t kHead = 4 * kTagSize + kYHeaderRecordSize + kYDataFormatSize;
  const uint64_t blockCount = blocks.size() / kXgenBlockSize;
  if (blocks.size() > UINT32_MAX || kHead - kTagSize + blocks.size() > UINT32_MAX) {
    SetError(error, "too many XBlocks for one X-file (" + std::to_string(blockCount) + ")");
    return false;
  }
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    SetError(error, std::string("cannot create ") + path + ": " + std::strerror(errno));
    return false;
  }
  uint8_t recordBytes[kYHeaderRecordSize];
  YHeaderEncode(&record, recordBytes);
  YDataFormat format{};
  format.encoding = kEncodingSteim1;
  format.byteOrder = byteOrder;
  uint8_t formatBytes[kYDataFormatSize];
  YDataFormatEncode(&format, formatBytes);

  const auto afterLeading = static_cast<uint32_t>(kHead - kTagSize + blocks.size());
  bool ok = TagWriteRecord(file, kTagTypeLeading, 0, afterLeading, 0, nullptr) == kTagOk &&
            TagWriteRecord(file, kTagTypeHeaderRecord, kYHeaderRecordSize, 0, 0, recordBytes) ==
                kTagOk &&
            TagWriteRecord(file, kTagTypeDataFormat, kYDataFormatSize, 0, 0, formatBytes) ==
                kTagOk &&
            TagWriteRecord(file, kTagTypeXBlocks, static_cast<uint32_t>(blocks.size()),
                           static_cast<uint32_t>(blockCount), 0, blocks.data()) == kTagOk;
  const int writeErrno = errno;
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) {
    SetError(error, std::string("cannot write ") + path + ": " + std::strerror(writeErrno));
    std::remove(path);
  }
  return ok;
}

bool XgenWriteSamples(const char* path, std::span<const int32_t> samples,
                      const XgenStation& station, char byteOrder, std::string* error,
                      uint32_t maxPerBlock) {
  if (samples.size() > UINT32_MAX) {
    SetError(error, "more than 4294967295 samples");
    return false;
  }
  std::vector<uint8_t> blocks;
  if (!XgenEncodeBlocks(samples, station, byteOrder != 'I', &blocks, error, maxPerBlock)) {
    return false;
  }
  const YHeaderRecord record = XgenMakeRecord(station, static_cast<uint32_t>(samples.size()));
  return XgenWriteXFile(path, record, byteOrder, blocks, error);
}

bool XgenReadFile(const char* path, std::vector<uint8_t>* bytes, std::string* error) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    SetError(error, std::string("cannot open ") + path + ": " + std::strerror(errno));
    return false;
  }
  bytes->clear();
  uint8_t chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    SetError(error, std::string("cannot read ") + path);
    return false;
  }
  return true;
}

bool XgenSamplesFromRaw(std::span<const uint8_t> bytes, std::vector<int32_t>* samples,
                        std::string* error) {
  if (bytes.size() % 4 != 0) {
    SetError(error, "raw input is " + std::to_string(bytes.size()) +
                        " bytes, not a whole number of 4-byte samples");
    return false;
  }
  if (bytes.size() / 4 > UINT32_MAX) {
    SetError(error, "raw input holds more than 4294967295 samples");
    return false;
  }
  samples->resize(bytes.size() / 4);
  for (size_t i = 0; i < samples->size(); ++i) {
    (*samples)[i] = static_cast<int32_t>(LoadLE32(bytes.data() + 4 * i));
  }
  return true;
}
