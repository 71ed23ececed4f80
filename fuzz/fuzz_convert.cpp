// ConvertXFile on arbitrary X-files.
//
// No crash, no hang, no buffer of the support library left behind, and the
// X-file unchanged. The Y file is either unfinished (shorter than a tag, or
// its leading tag's aux is 0) or finished and consistent: the leading tag
// counts the bytes after it, the head has its type-5, type-6 and data tags in
// place, the data tag announces exactly the samples that follow, and the
// header record holds "YFILE" and the largest, smallest and mean of those
// samples.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "convert.h"
#include "dorvine.h"
#include "kelvast.h"

namespace {

constexpr size_t kRecordOffset = 32;
constexpr size_t kFormatTagOffset = 96;
constexpr size_t kDataTagOffset = 144;
constexpr size_t kSamplesOffset = 160;

void Silence(uint32_t, uint32_t, const char*, int, int32_t, const char*, const char*) {}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh directory for the X-file and Y file, removed at exit.
class WorkDirectory {
 public:
  WorkDirectory() {
    path_ = (std::filesystem::temp_directory_path() / "qfuzz-XXXXXX").string();
    if (mkdtemp(path_.data()) == nullptr) std::abort();
  }
  ~WorkDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void CheckTag(const std::vector<uint8_t>& y, size_t offset, uint16_t type, uint32_t length) {
  if (y[offset] != kTagSignature0 || y[offset + 1] != kTagSignature1 ||
      LoadLE16(&y[offset + 2]) != type || LoadLE32(&y[offset + 4]) != length) {
    std::abort();
  }
}

void CheckYFile(const std::vector<uint8_t>& y) {
  if (y.size() < kTagSize) return;  // emptied or cut short by an early failure
  const uint32_t aux = LoadLE32(&y[8]);
  if (aux == 0) return;  // unfinished conversion
  if (y.size() < kSamplesOffset || y.size() != static_cast<size_t>(aux) + kTagSize ||
      (y.size() - kSamplesOffset) % 4 != 0) {
    std::abort();
  }
  CheckTag(y, 0, kTagTypeLeading, 0);
  CheckTag(y, kTagSize, kTagTypeHeaderRecord, kYHeaderRecordSize);
  CheckTag(y, kFormatTagOffset, kTagTypeDataFormat, kYDataFormatSize);
  const auto sampleBytes = static_cast<uint32_t>(y.size() - kSamplesOffset);
  CheckTag(y, kDataTagOffset, kTagTypeSamples, sampleBytes);
  YDataFormat format;
  YDataFormatDecode(&y[kFormatTagOffset + kTagSize], &format);
  if (format.encoding != kEncodingInt32 || format.byteOrder != 'I') std::abort();

  YHeaderRecord record;
  YHeaderDecode(&y[kRecordOffset], &record);
  if (std::memcmp(record.fileType, "YFILE", sizeof record.fileType) != 0) std::abort();
  if (record.sampleCount != sampleBytes / 4) std::abort();
  int32_t largest = INT32_MIN;
  int32_t smallest = INT32_MAX;
  double sum = 0.0;
  for (size_t at = kSamplesOffset; at < y.size(); at += 4) {
    const auto sample = static_cast<int32_t>(LoadLE32(&y[at]));
    if (sample > largest) largest = sample;
    if (sample < smallest) smallest = sample;
    sum += sample;
  }
  const int32_t mean =
      record.sampleCount == 0 ? 0 : static_cast<int32_t>(sum / record.sampleCount);
  if (record.largest != largest || record.smallest != smallest || record.mean != mean) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    LibStartup(0, 0, 0);
    LogSetSink(Silence);
    return true;
  }();
  (void)started;
  static const WorkDirectory work;
  const std::string xpath = work.path() + "/X0001";
  const std::string ypath = work.path() + "/Y0001";
  std::remove(ypath.c_str());
  {
    std::ofstream out(xpath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ConvertXFile(xpath.c_str(), ypath.c_str());
  if (MemBytesInUse() != 0) std::abort();
  const std::vector<uint8_t> after = ReadAll(xpath);
  if (after.size() != size || (size != 0 && std::memcmp(after.data(), data, size) != 0)) {
    std::abort();
  }
  CheckYFile(ReadAll(ypath));
  return 0;
}
