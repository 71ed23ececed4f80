#include "convert_read_ahead.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <chrono>
#include <new>
#include <system_error>

#include "steim.h"

namespace {

// Tells the processor that this is a wait loop.
inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

// The conversion spins this many rounds before it sleeps on the count of
// chunks filled: the next chunk is often a few microseconds away, and a
// wake-up costs a system call on both sides.
constexpr int kSpinRounds = 1024;

// How long the reading thread pauses while the ring is full: a fraction of
// the time the conversion takes to use up a chunk.
constexpr std::chrono::microseconds kRingFullPause{50};

}  // namespace

uint32_t ConvertReadChunk(FILE* file, uint8_t* chunk, uint32_t chunkBlocks, uint32_t* announced) {
  uint32_t wanted = chunkBlocks;
  if (*announced < wanted) wanted = *announced > 0 ? *announced : 1;
  const auto held = static_cast<uint32_t>(std::fread(chunk, kXBlockSize, wanted, file));
  *announced -= held < *announced ? held : *announced;
  return held;
}

void ConvertReadAhead::FilledCount::Advance() {
  const uint32_t now = value.fetch_add(1) + 1;
  const uint32_t awaited = target.load();
  // The waiter stores its target before it checks the count, this side
  // counts before it loads the target: one of the two sees the other.
  if (awaited != kNoTarget && now - awaited < (uint32_t{1} << 31)) value.notify_all();
}

void ConvertReadAhead::FilledCount::AwaitAtLeast(uint32_t wanted) {
  const auto reached = [&] { return value.load() - wanted < (uint32_t{1} << 31); };
  for (int spin = 0; spin < kSpinRounds; ++spin) {
    if (reached()) return;
    CpuRelax();
  }
  target.store(wanted);
  for (;;) {
    const uint32_t seen = value.load();
    if (reached()) break;
    value.wait(seen);
  }
  target.store(kNoTarget);
}

std::unique_ptr<ConvertReadAhead> ConvertReadAhead::Start(FILE* file, uint8_t* area,
                                                          uint32_t chunkBlocks, uint32_t chunks,
                                                          uint32_t announced) {
  if (chunks < 2 || chunks > kMaxChunks || chunkBlocks == 0) return nullptr;
  std::unique_ptr<ConvertReadAhead> ahead(new (std::nothrow) ConvertReadAhead);
  if (ahead == nullptr) return nullptr;
  ahead->file_ = file;
  ahead->area_ = area;
  ahead->chunkBlocks_ = chunkBlocks;
  ahead->chunks_ = chunks;
  ahead->announced_ = announced;
  try {
    ahead->thread_ = std::thread(&ConvertReadAhead::Run, ahead.get());
  } catch (const std::system_error&) {
    return nullptr;
  }
  return ahead;
}

ConvertReadAhead::~ConvertReadAhead() {
  stop_.store(true);
  thread_.join();
}

void ConvertReadAhead::Run() {
  for (uint32_t chunk = 0;; ++chunk) {
    // A chunk's slot is free once the chunk read `chunks_` before it has
    // been given back. While the ring is full the thread looks again after
    // a pause rather than be woken: a wake-up would cost the decoding
    // thread a system call for every chunk, and the ring holds enough to
    // keep it busy in between.
    while (chunk - returned_.load() >= chunks_) {
      if (stop_.load()) return;
      std::this_thread::sleep_for(kRingFullPause);
    }
    if (stop_.load()) return;
    const uint32_t slot = chunk % chunks_;
    const uint32_t held = ConvertReadChunk(file_, area_ + size_t{slot} * chunkBlocks_ * kXBlockSize,
                                           chunkBlocks_, &announced_);
    held_[slot] = held;
    filled_.Advance();
    if (held == 0) return;
  }
}

uint32_t ConvertReadAhead::Next(const uint8_t** blocks) {
  *blocks = nullptr;
  if (ended_) return 0;
  if (holding_) returned_.fetch_add(1);
  const uint32_t chunk = returned_.load();
  filled_.AwaitAtLeast(chunk + 1);
  holding_ = true;
  const uint32_t slot = chunk % chunks_;
  const uint32_t held = held_[slot];
  if (held == 0) {
    ended_ = true;
    return 0;
  }
  *blocks = area_ + size_t{slot} * chunkBlocks_ * kXBlockSize;
  return held;
}
