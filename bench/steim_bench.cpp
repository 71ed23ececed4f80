// Steim-1 decoding throughput (samples per second) of every kernel, of the
// dispatching SteimDecodeBlock and, when installed, of libmseed 2's decoder,
// on the same 4096-byte records in both byte orders.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelvast.h"
#include "steim.h"
#include "steim_bench_signals.h"
#include "steim_kernels.h"

#ifdef QUORVALE_HAVE_LIBMSEED2
// Exported by libmseed 2 but not declared in its public header.
extern "C" int msr_decode_steim1(int32_t* input, int inputlength, int samplecount, int32_t* output,
                                 int outputlength, char* srcname, int swapflag);
#endif

namespace {

constexpr size_t kBlocks = 64;  // 256 KiB of records per data set: stays in L2

struct Records {
  std::vector<uint8_t> blocks;  // kBlocks records
  std::vector<int32_t> signal;  // what they hold
  bool bigEndian = false;
  size_t samples = 0;
};

Records MakeRecords(const std::vector<int32_t>& signal, bool bigEndian) {
  Records r;
  r.bigEndian = bigEndian;
  std::vector<uint8_t> all = BenchEncode(signal, bigEndian);
  if (all.size() < kBlocks * kXBlockSize) {
    std::fprintf(stderr, "signal too short for %zu blocks\n", kBlocks);
    std::exit(1);
  }
  r.blocks.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(kBlocks * kXBlockSize));
  for (size_t b = 0; b < kBlocks; ++b) {
    const uint8_t* count = r.blocks.data() + b * kXBlockSize + kSteimCountOffset;
    r.samples += static_cast<size_t>(bigEndian ? (count[0] << 8 | count[1]) : (count[0] | count[1] << 8));
  }
  r.signal.assign(signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(r.samples));
  return r;
}

using DecodeFn = uint32_t (*)(int32_t* out, const uint8_t* block, int swap, const void* context);

uint32_t DecodeWithKernel(int32_t* out, const uint8_t* block, int swap, const void* context) {
  return SteimDecodeBlockWith(*static_cast<const SteimKernel*>(context), out, block, swap);
}

uint32_t DecodeDispatched(int32_t* out, const uint8_t* block, int swap, const void*) {
  return SteimDecodeBlock(out, block, swap);
}

#ifdef QUORVALE_HAVE_LIBMSEED2
uint32_t DecodeLibmseed(int32_t* out, const uint8_t* block, int swap, const void*) {
  uint16_t count;
  std::memcpy(&count, block + kSteimCountOffset, sizeof count);
  if (swap != 0) SwapUShort(&count);
  char source[] = "bench";
  const int n = msr_decode_steim1(reinterpret_cast<int32_t*>(const_cast<uint8_t*>(block + 64)),
                                  static_cast<int>(kXBlockSize - 64), count, out,
                                  static_cast<int>(kSteimMaxSamples * sizeof(int32_t)), source,
                                  swap);
  return n < 0 ? 0 : static_cast<uint32_t>(n);
}
#endif

// Decodes every record once and compares with the signal, so that a
// benchmark never times a decoder that gets the samples wrong.
void Verify(const char* name, const Records& r, DecodeFn fn, const void* context) {
  std::vector<int32_t> out(4096);
  size_t at = 0;
  for (size_t b = 0; b < kBlocks; ++b) {
    const uint32_t n = fn(out.data(), r.blocks.data() + b * kXBlockSize, r.bigEndian ? 1 : 0, context);
    if (at + n > r.signal.size() || std::memcmp(out.data(), r.signal.data() + at, n * 4) != 0) {
      std::fprintf(stderr, "%s decodes block %zu wrongly\n", name, b);
      std::exit(1);
    }
    at += n;
  }
  if (at != r.samples) {
    std::fprintf(stderr, "%s decodes %zu of %zu samples\n", name, at, r.samples);
    std::exit(1);
  }
}

void Run(benchmark::State& state, const Records* r, DecodeFn fn, const void* context) {
  alignas(64) static int32_t out[4096];
  const int swap = r->bigEndian ? 1 : 0;
  for (auto _ : state) {
    for (size_t b = 0; b < kBlocks; ++b) {
      benchmark::DoNotOptimize(fn(out, r->blocks.data() + b * kXBlockSize, swap, context));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(r->samples));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBlocks * kXBlockSize));
  state.counters["samples_per_block"] = static_cast<double>(r->samples) / kBlocks;
}

}  // namespace

int main(int argc, char** argv) {
  // The records are well formed; a warning would mean a broken decoder.
  LibStartup(0, 0, 1);

  constexpr size_t kSignal = kBlocks * 3780 + 4096;
  struct Signal {
    const char* name;
    std::vector<int32_t> samples;
  };
  static std::vector<Signal> signals;
  signals.push_back({"noise", BenchNoise(kSignal, 300.0, 1)});
  signals.push_back({"events", BenchNoiseWithEvents(kSignal, 2)});
  signals.push_back({"fullrange", BenchFullRange(kSignal, 3)});

  static std::vector<Records> records;
  records.reserve(signals.size() * 2);
  for (const Signal& s : signals) {
    for (const bool bigEndian : {false, true}) records.push_back(MakeRecords(s.samples, bigEndian));
  }

  struct Decoder {
    std::string name;
    DecodeFn fn;
    const void* context;
  };
  std::vector<Decoder> decoders;
  for (const SteimKernel& k : SteimKernels()) {
    if (k.supported()) decoders.push_back({k.name, DecodeWithKernel, &k});
  }
  decoders.push_back({std::string("SteimDecodeBlock(") + SteimActiveKernel().name + ")",
                      DecodeDispatched, nullptr});
#ifdef QUORVALE_HAVE_LIBMSEED2
  decoders.push_back({"libmseed2", DecodeLibmseed, nullptr});
#endif

  size_t index = 0;
  for (const Signal& s : signals) {
    for (const bool bigEndian : {false, true}) {
      const Records* r = &records[index++];
      for (const Decoder& d : decoders) {
        const std::string name = std::string("decode/") + s.name + (bigEndian ? "/be/" : "/le/") + d.name;
        Verify(name.c_str(), *r, d.fn, d.context);
        benchmark::RegisterBenchmark(name.c_str(), Run, r, d.fn, d.context);
      }
    }
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
