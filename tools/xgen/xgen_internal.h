// Helpers shared inside the xgen library: byte order, SEED time and rate.
#ifndef XGEN_INTERNAL_H
#define XGEN_INTERNAL_H

#include <cstdint>

// Multi-byte values in either byte order.
inline void XgenStore16(uint8_t* p, uint16_t v, bool bigEndian) {
  p[bigEndian ? 0 : 1] = static_cast<uint8_t>(v >> 8);
  p[bigEndian ? 1 : 0] = static_cast<uint8_t>(v);
}
inline void XgenStore32(uint8_t* p, uint32_t v, bool bigEndian) {
  for (int i = 0; i < 4; ++i) p[bigEndian ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t XgenLoad16(const uint8_t* p, bool bigEndian) {
  return bigEndian ? static_cast<uint16_t>((p[0] << 8) | p[1])
                   : static_cast<uint16_t>((p[1] << 8) | p[0]);
}
inline uint32_t XgenLoad32(const uint8_t* p, bool bigEndian) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(p[bigEndian ? 3 - i : i]) << (8 * i);
  return v;
}

// A SEED BTIME: year, day of year (1-366), time of day, 1/10000 s.
struct XgenBtime {
  uint16_t year = 1970;
  uint16_t day = 1;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  uint16_t fraction = 0;
};

// ns since the epoch -> BTIME (rounded down to 100 us) and back.
XgenBtime XgenSplitTime(int64_t ns);
int64_t XgenJoinTime(const XgenBtime& time);

// Sample rate <-> SEED rate factor and multiplier. Rates that no pair
// gives exactly get the nearest pair found.
void XgenRateToFactors(double rate, int16_t* factor, int16_t* multiplier);
double XgenRateFromFactors(int16_t factor, int16_t multiplier);

#endif  // XGEN_INTERNAL_H
