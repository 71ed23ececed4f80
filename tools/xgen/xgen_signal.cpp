// Synthetic sample series. Integer arithmetic only, so that a seed gives
// the same samples on every host and compiler.
#include <cstdint>
#include <limits>

#include "xgen.h"

namespace {

// splitmix64: small, fast and well mixed; enough for test signals.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [-range, range].
  int64_t Uniform(int64_t range) {
    return static_cast<int64_t>(Next() % static_cast<uint64_t>(2 * range + 1)) - range;
  }
  // Roughly normal, spread about `scale`: sum of four uniforms.
  int64_t Bell(int64_t scale) {
    int64_t sum = 0;
    for (int i = 0; i < 4; ++i) sum += Uniform(scale);
    return sum / 2;
  }
};

int32_t Clamp(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Correlated noise: a leaky integrator of bell-shaped steps.
struct Noise {
  int64_t level = 0;
  int64_t Next(Random& random, int64_t step) {
    level = level - level / 16 + random.Bell(step);
    return level;
  }
};

void MakeNoise(std::vector<int32_t>& out, uint32_t count, Random& random) {
  Noise noise;
  for (uint32_t i = 0; i < count; ++i) out.push_back(Clamp(noise.Next(random, 120)));
}

// Quiet noise with decaying oscillations. An oscillation is a rotation of
// (x, y) in 16.16 fixed point, damped a little each sample.
void MakeEvents(std::vector<int32_t>& out, uint32_t count, Random& random) {
  Noise noise;
  int64_t x = 0, y = 0;  // oscillator state, 16.16 fixed point
  int64_t c = 0, s = 0;  // cos and sin of the step angle, 16.16
  int64_t nextEvent = 500 + static_cast<int64_t>(random.Next() % 2000);
  for (uint32_t i = 0; i < count; ++i) {
    if (static_cast<int64_t>(i) == nextEvent) {
      const int64_t amplitude = 10000 + static_cast<int64_t>(random.Next() % 4000000);
      x = amplitude << 16;
      y = 0;
      // Angle between about 0.05 and 0.8 rad: cos and sin by short series.
      const int64_t a = 3277 + static_cast<int64_t>(random.Next() % 49152);  // 16.16
      const int64_t a2 = (a * a) >> 16;
      c = 65536 - a2 / 2 + ((a2 * a2) >> 16) / 24;
      s = a - ((a2 * a) >> 16) / 6;
      nextEvent = i + 2000 + static_cast<int64_t>(random.Next() % 6000);
    }
    const int64_t nx = (x * c - y * s) >> 16;
    const int64_t ny = (x * s + y * c) >> 16;
    x = nx - nx / 128;  // damping
    y = ny - ny / 128;
    out.push_back(Clamp(noise.Next(random, 40) + (x >> 16)));
  }
}

void MakeFullRange(std::vector<int32_t>& out, uint32_t count, Random& random) {
  static constexpr int32_t kStart[] = {std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max(), 0, -1};
  for (uint32_t i = 0; i < count; ++i) {
    if (i < 4) {
      out.push_back(kStart[i]);
    } else {
      out.push_back(static_cast<int32_t>(static_cast<uint32_t>(random.Next() >> 32)));
    }
  }
}

void MakeSteps(std::vector<int32_t>& out, uint32_t count, Random& random) {
  int64_t level = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (i % 1000 == 0 && i != 0) level = Clamp(level + random.Uniform(int64_t{1} << 20));
    out.push_back(static_cast<int32_t>(level));
  }
}

struct SignalName {
  XgenSignal signal;
  const char* name;
};
constexpr SignalName kSignalNames[] = {{XgenSignal::kNoise, "noise"},
                                       {XgenSignal::kEvents, "events"},
                                       {XgenSignal::kFullRange, "fullrange"},
                                       {XgenSignal::kConstant, "constant"},
                                       {XgenSignal::kSteps, "steps"}};

}  // namespace

bool XgenSignalFromName(std::string_view name, XgenSignal* signal) {
  for (const SignalName& entry : kSignalNames) {
    if (name == entry.name) {
      *signal = entry.signal;
      return true;
    }
  }
  return false;
}

const char* XgenSignalName(XgenSignal signal) {
  for (const SignalName& entry : kSignalNames) {
    if (entry.signal == signal) return entry.name;
  }
  return "?";
}

std::vector<int32_t> XgenMakeSignal(XgenSignal signal, uint32_t count, uint64_t seed) {
  std::vector<int32_t> out;
  out.reserve(count);
  Random random{seed};
  switch (signal) {
    case XgenSignal::kNoise: MakeNoise(out, count, random); break;
    case XgenSignal::kEvents: MakeEvents(out, count, random); break;
    case XgenSignal::kFullRange: MakeFullRange(out, count, random); break;
    case XgenSignal::kConstant:
      out.assign(count, static_cast<int32_t>(static_cast<uint32_t>(seed)));
      break;
    case XgenSignal::kSteps: MakeSteps(out, count, random); break;
  }
  return out;
}
