// Wrapping 4096-byte SEED data records as XBlocks.
#include <string>

#include "xgen.h"
#include "xgen_internal.h"

namespace {

constexpr uint16_t kBlocketteDataOnly = 1000;
constexpr uint16_t kBlocketteDataExtension = 1001;
constexpr uint8_t kEncodingSteim1Seed = 10;
constexpr uint8_t kRecordLengthExponent = 12;  // 2^12 = 4096

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

bool PlausibleStart(const uint8_t* record, bool bigEndian) {
  const uint16_t year = XgenLoad16(record + 20, bigEndian);
  const uint16_t day = XgenLoad16(record + 22, bigEndian);
  return year >= 1900 && year <= 2100 && day >= 1 && day <= 366;
}

std::string Code(const uint8_t* field, size_t width) {
  std::string code(reinterpret_cast<const char*>(field), width);
  while (!code.empty() && (code.back() == ' ' || code.back() == '\0')) code.pop_back();
  size_t first = 0;
  while (first < code.size() && code[first] == ' ') ++first;
  return code.substr(first);
}

// What one record's blockette chain says.
struct Blockettes {
  bool haveDataOnly = false;
  uint8_t encoding = 0;
  uint8_t wordOrder = 0;
  uint8_t lengthExponent = 0;
  int8_t microseconds = 0;  // from blockette 1001
};

bool ReadBlockettes(const uint8_t* record, bool bigEndian, Blockettes* found, std::string* why) {
  uint32_t offset = XgenLoad16(record + 46, bigEndian);
  uint32_t last = 0;
  // Offsets must grow, so the chain ends within the record.
  while (offset != 0) {
    if (offset < 48 || offset <= last || offset + 8 > kXgenBlockSize) {
      *why = "blockette chain leaves the record (offset " + std::to_string(offset) + ")";
      return false;
    }
    const uint16_t type = XgenLoad16(record + offset, bigEndian);
    if (type == kBlocketteDataOnly) {
      found->haveDataOnly = true;
      found->encoding = record[offset + 4];
      found->wordOrder = record[offset + 5];
      found->lengthExponent = record[offset + 6];
    } else if (type == kBlocketteDataExtension) {
      found->microseconds = static_cast<int8_t>(record[offset + 5]);
    }
    last = offset;
    offset = XgenLoad16(record + offset + 2, bigEndian);
  }
  return true;
}

}  // namespace

bool XgenInspectRecords(std::span<const uint8_t> records, XgenRecordInfo* info,
                        std::string* error) {
  if (records.empty() || records.size() % kXgenBlockSize != 0) {
    return Fail(error, "input is " + std::to_string(records.size()) +
                           " bytes, not a whole number of 4096-byte records");
  }
  const uint8_t* first = records.data();
  const bool little = PlausibleStart(first, false);
  const bool big = PlausibleStart(first, true);
  if (little == big) {
    return Fail(error, "record 1: no plausible start time in either byte order "
                       "(not a SEED data record?)");
  }
  XgenRecordInfo result;
  result.bigEndian = big;
  result.records = records.size() / kXgenBlockSize;
  uint64_t total = 0;
  for (size_t i = 0; i < result.records; ++i) {
    const uint8_t* record = first + i * kXgenBlockSize;
    const std::string where = "record " + std::to_string(i + 1) + ": ";
    const char quality = static_cast<char>(record[6]);
    if (quality != 'D' && quality != 'R' && quality != 'Q' && quality != 'M') {
      return Fail(error, where + "not a data record (quality indicator not D, R, Q or M)");
    }
    if (!PlausibleStart(record, big)) {
      return Fail(error, where + "start time implausible in the first record's byte order");
    }
    const uint16_t dataBegin = XgenLoad16(record + 44, big);
    if (dataBegin != 64) {
      return Fail(error, where + "data begin at offset " + std::to_string(dataBegin) +
                             ", not 64");
    }
    Blockettes blockettes;
    std::string why;
    if (!ReadBlockettes(record, big, &blockettes, &why)) return Fail(error, where + why);
    if (!blockettes.haveDataOnly) {
      return Fail(error, where + "no blockette 1000: encoding and record length unknown");
    }
    if (blockettes.encoding != kEncodingSteim1Seed) {
      return Fail(error, where + "encoding " + std::to_string(blockettes.encoding) +
                             " is not Steim-1 (10)");
    }
    if (blockettes.lengthExponent != kRecordLengthExponent) {
      return Fail(error, where + "record length is 2^" +
                             std::to_string(blockettes.lengthExponent) + ", not 4096 bytes");
    }
    if ((blockettes.wordOrder != 0) != big) {
      return Fail(error, where + "data word order differs from the header's byte order");
    }
    total += XgenLoad16(record + 30, big);

    if (i == 0) {
      XgenStation& station = result.station;
      station.station = Code(record + 8, 5);
      station.location = Code(record + 13, 2);
      station.channel = Code(record + 15, 3);
      station.network = Code(record + 18, 2);
      XgenBtime time;
      time.year = XgenLoad16(record + 20, big);
      time.day = XgenLoad16(record + 22, big);
      time.hour = record[24];
      time.minute = record[25];
      time.second = record[26];
      time.fraction = XgenLoad16(record + 28, big);
      int64_t startNs = XgenJoinTime(time) + int64_t{blockettes.microseconds} * 1000;
      // Activity flag bit 1 set: the correction is already in the start time.
      if ((record[36] & 0x02) == 0) {
        startNs += int64_t{static_cast<int32_t>(XgenLoad32(record + 40, big))} * 100000;
      }
      station.startTimeNs = startNs;
      station.sampleRate = XgenRateFromFactors(static_cast<int16_t>(XgenLoad16(record + 32, big)),
                                               static_cast<int16_t>(XgenLoad16(record + 34, big)));
      if (!XgenCheckStation(station, &why)) return Fail(error, where + why);
    }
  }
  if (total > UINT32_MAX) return Fail(error, "more than 4294967295 samples in the records");
  result.sampleCount = static_cast<uint32_t>(total);
  *info = result;
  return true;
}

int XgenWrapRecords(const char* path, std::span<const uint8_t> records, std::string* error) {
  XgenRecordInfo info;
  if (!XgenInspectRecords(records, &info, error)) return kXgenExitBadInput;
  const YHeaderRecord record = XgenMakeRecord(info.station, info.sampleCount);
  if (!XgenWriteXFile(path, record, info.bigEndian ? 'M' : 'I', records, error)) {
    return kXgenExitWriteFailed;
  }
  return kXgenExitOk;
}
