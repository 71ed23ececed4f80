// ConvertXFile on arbitrary X-files: no crash, the X-file is left unchanged,
// and the Y file is either complete and consistent with its own tags or
// marked unfinished (leading tag aux 0).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "convert.h"
#include "kelvast.h"

namespace {

void Silence(uint32_t, uint32_t, const char*, int, int32_t, const char*, const char*) {}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::string& WorkDirectory() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "qfuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] { std::filesystem::remove_all(WorkDirectory()); });
    return pattern;
  }();
  return dir;
}

void CheckYFile(const std::vector<uint8_t>& y) {
  if (y.size() < kTagSize) return;  // emptied or cut short by an early failure
  const uint32_t aux = LoadLE32(&y[8]);
  if (aux == 0) return;  // unfinished conversion
  // Finished: the leading tag counts the bytes after it, the record says
  // "YFILE" and the data tag announces exactly the samples that follow.
  if (y.size() != static_cast<size_t>(aux) + kTagSize || y.size() < 160) std::abort();
  if (LoadLE16(&y[2]) != 0 || LoadLE16(&y[18]) != 5 || LoadLE16(&y[146]) != 7) std::abort();
  if (std::memcmp(&y[32 + 48], "YFILE", 6) != 0) std::abort();
  if (LoadLE32(&y[148]) != y.size() - 160) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    LibStartup(0, 0, 0);
    LogSetSink(Silence);
    return true;
  }();
  (void)started;
  const std::string xpath = WorkDirectory() + "/X0001";
  const std::string ypath = WorkDirectory() + "/Y0001";
  {
    std::ofstream out(xpath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ConvertXFile(xpath.c_str(), ypath.c_str());
  const std::vector<uint8_t> after = ReadAll(xpath);
  if (after.size() != size || (size != 0 && std::memcmp(after.data(), data, size) != 0)) {
    std::abort();
  }
  CheckYFile(ReadAll(ypath));
  return 0;
}
