// Samples -> XBlocks: a SEED fixed header and blockette 1000 per block,
// Steim-1 frames from the encoder.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "steim.h"
#include "xgen.h"
#include "xgen_internal.h"

namespace {

// Copies `code` into `field`, padded with spaces as SEED headers are.
void PutCode(uint8_t* field, size_t width, const std::string& code) {
  std::memset(field, ' ', width);
  std::memcpy(field, code.data(), std::min(width, code.size()));
}

void WriteFixedHeader(uint8_t* block, const XgenStation& station, uint32_t sequence,
                      int64_t startNs, bool bigEndian) {
  char number[8];
  std::snprintf(number, sizeof number, "%06u", static_cast<unsigned>(sequence % 1000000));
  std::memcpy(block + 0, number, 6);
  block[6] = 'D';
  block[7] = ' ';
  PutCode(block + 8, 5, station.station);
  PutCode(block + 13, 2, station.location);
  PutCode(block + 15, 3, station.channel);
  PutCode(block + 18, 2, station.network);
  const XgenBtime time = XgenSplitTime(startNs);
  XgenStore16(block + 20, time.year, bigEndian);
  XgenStore16(block + 22, time.day, bigEndian);
  block[24] = time.hour;
  block[25] = time.minute;
  block[26] = time.second;
  block[27] = 0;
  XgenStore16(block + 28, time.fraction, bigEndian);
  // 30: sample count, set by the encoder.
  int16_t factor = 0, multiplier = 0;
  XgenRateToFactors(station.sampleRate, &factor, &multiplier);
  XgenStore16(block + 32, static_cast<uint16_t>(factor), bigEndian);
  XgenStore16(block + 34, static_cast<uint16_t>(multiplier), bigEndian);
  block[36] = 0;  // activity, I/O and quality flags
  block[37] = 0;
  block[38] = 0;
  block[39] = 1;  // one blockette
  XgenStore32(block + 40, 0, bigEndian);   // time correction
  XgenStore16(block + 44, 64, bigEndian);  // data begin at 64
  XgenStore16(block + 46, 48, bigEndian);  // first blockette at 48
  XgenStore16(block + 48, 1000, bigEndian);
  XgenStore16(block + 50, 0, bigEndian);  // no next blockette
  block[52] = 10;                         // Steim-1
  block[53] = bigEndian ? 1 : 0;          // word order
  block[54] = 12;                         // 2^12 = 4096 bytes
  block[55] = 0;
}

}  // namespace

bool XgenCheckStation(const XgenStation& station, std::string* error) {
  struct Code {
    const std::string& text;
    size_t width;
    const char* name;
  };
  const Code codes[] = {{station.network, 2, "network"},
                        {station.station, 5, "station"},
                        {station.location, 2, "location"},
                        {station.channel, 3, "channel"}};
  for (const Code& code : codes) {
    bool printable = true;
    for (char c : code.text) printable = printable && c > ' ' && c < 127;
    if (code.text.size() > code.width || !printable) {
      if (error) {
        *error = std::string(code.name) + " code \"" + code.text + "\" must be at most " +
                 std::to_string(code.width) + " printable ASCII characters";
      }
      return false;
    }
  }
  if (!(station.sampleRate > 0) || !std::isfinite(station.sampleRate)) {
    if (error) *error = "sample rate must be a positive number";
    return false;
  }
  return true;
}

bool XgenEncodeBlocks(std::span<const int32_t> samples, const XgenStation& station,
                      bool bigEndian, std::vector<uint8_t>* blocks, std::string* error,
                      uint32_t maxPerBlock) {
  if (!XgenCheckStation(station, error)) return false;
  const double nsPerSample = 1e9 / station.sampleRate;
  size_t done = 0;
  int32_t previous = 0;
  uint32_t sequence = 1;
  while (done < samples.size()) {
    const size_t base = blocks->size();
    blocks->resize(base + kXgenBlockSize, 0);
    uint8_t* block = blocks->data() + base;
    const auto offsetNs = static_cast<int64_t>(std::llround(static_cast<double>(done) * nsPerSample));
    WriteFixedHeader(block, station, sequence, station.startTimeNs + offsetNs, bigEndian);
    size_t want = samples.size() - done;
    if (maxPerBlock != 0) want = std::min<size_t>(want, maxPerBlock);
    want = std::min<size_t>(want, kSteimMaxSamples);
    const uint32_t packed = SteimEncodeBlock(block, samples.data() + done,
                                             static_cast<uint32_t>(want), previous,
                                             bigEndian ? 1 : 0);
    if (packed == 0 || packed > want) {
      blocks->resize(base);
      if (error) *error = "the Steim-1 encoder packed no samples";
      return false;
    }
    done += packed;
    previous = samples[done - 1];
    sequence = sequence % 999999 + 1;
  }
  return true;
}

uint16_t XgenBlockCount(std::span<const uint8_t> blocks, size_t index, bool bigEndian) {
  return XgenLoad16(blocks.data() + index * kXgenBlockSize + 30, bigEndian);
}

void XgenSetBlockCount(std::span<uint8_t> blocks, size_t index, uint16_t count, bool bigEndian) {
  XgenStore16(blocks.data() + index * kXgenBlockSize + 30, count, bigEndian);
}

uint64_t XgenSumBlockCounts(std::span<const uint8_t> blocks, bool bigEndian) {
  uint64_t sum = 0;
  for (size_t i = 0; i < XgenBlockTotal(blocks); ++i) sum += XgenBlockCount(blocks, i, bigEndian);
  return sum;
}
