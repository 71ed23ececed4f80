// Test signals and Steim-1 records for the decoder benchmarks.
#ifndef STEIM_BENCH_SIGNALS_H
#define STEIM_BENCH_SIGNALS_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Band-limited noise (a resonance near 2 Hz at 100 samples/s) with a standard
// deviation of about `amplitude` counts.
std::vector<int32_t> BenchNoise(size_t count, double amplitude, uint64_t seed);
// The same noise with earthquakes: decaying oscillations of 10^3 to 10^6
// counts every 20000 samples on average.
std::vector<int32_t> BenchNoiseWithEvents(size_t count, uint64_t seed);
// Uniformly random 32-bit values: every difference needs 32 bits.
std::vector<int32_t> BenchFullRange(size_t count, uint64_t seed);

// The signal packed into consecutive 4096-byte blocks by SteimEncodeBlock.
std::vector<uint8_t> BenchEncode(const std::vector<int32_t>& signal, bool bigEndian);

#endif  // STEIM_BENCH_SIGNALS_H
