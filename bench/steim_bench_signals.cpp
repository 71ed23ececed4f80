#include "steim_bench_signals.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "steim.h"

namespace {

int32_t Clamp(double v) {
  if (v > 2147483647.0) return 2147483647;
  if (v < -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(std::lround(v));
}

std::vector<double> Resonance(size_t count, double amplitude, std::mt19937_64& rng) {
  std::normal_distribution<double> white(0.0, 1.0);
  const double r = 0.98;
  const double theta = 2.0 * std::numbers::pi * 0.02;
  const double a1 = 2.0 * r * std::cos(theta);
  const double a2 = -r * r;
  std::vector<double> y(count);
  double y1 = 0.0, y2 = 0.0, sumSquares = 0.0;
  for (size_t i = 0; i < count; ++i) {
    const double v = a1 * y1 + a2 * y2 + white(rng);
    y2 = y1;
    y1 = v;
    y[i] = v;
    sumSquares += v * v;
  }
  const double scale = amplitude / std::sqrt(sumSquares / static_cast<double>(count));
  for (double& v : y) v = v * scale + 3.0 * white(rng);  // plus a little broadband noise
  return y;
}

}  // namespace

std::vector<int32_t> BenchNoise(size_t count, double amplitude, uint64_t seed) {
  std::mt19937_64 rng(seed);
  const std::vector<double> y = Resonance(count, amplitude, rng);
  std::vector<int32_t> out(count);
  for (size_t i = 0; i < count; ++i) out[i] = Clamp(y[i]);
  return out;
}

std::vector<int32_t> BenchNoiseWithEvents(size_t count, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<double> y = Resonance(count, 300.0, rng);
  std::exponential_distribution<double> gap(1.0 / 20000.0);
  std::uniform_real_distribution<double> logAmplitude(3.0, 6.0);
  std::uniform_real_distribution<double> frequency(0.01, 0.08);
  for (double t = gap(rng); t < static_cast<double>(count); t += gap(rng)) {
    const auto start = static_cast<size_t>(t);
    const double amplitude = std::pow(10.0, logAmplitude(rng));
    const double omega = 2.0 * std::numbers::pi * frequency(rng);
    const double decay = 1.0 / 1500.0;
    for (size_t i = start; i < count && i < start + 12000; ++i) {
      const double s = static_cast<double>(i - start);
      const double rise = std::min(1.0, s / 50.0);
      y[i] += amplitude * rise * std::exp(-s * decay) * std::sin(omega * s);
    }
  }
  std::vector<int32_t> out(count);
  for (size_t i = 0; i < count; ++i) out[i] = Clamp(y[i]);
  return out;
}

std::vector<int32_t> BenchFullRange(size_t count, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<int32_t> out(count);
  for (auto& v : out) v = static_cast<int32_t>(static_cast<uint32_t>(rng()));
  return out;
}

std::vector<uint8_t> BenchEncode(const std::vector<int32_t>& signal, bool bigEndian) {
  std::vector<uint8_t> blocks;
  size_t done = 0;
  int32_t previous = 0;
  while (done < signal.size()) {
    blocks.resize(blocks.size() + kXBlockSize);
    uint8_t* block = blocks.data() + blocks.size() - kXBlockSize;
    const auto left = static_cast<uint32_t>(std::min<size_t>(signal.size() - done, 65535));
    const uint32_t packed = SteimEncodeBlock(block, signal.data() + done, left, previous, bigEndian ? 1 : 0);
    done += packed;
    previous = signal[done - 1];
  }
  return blocks;
}
