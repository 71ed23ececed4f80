// XBlocks read from the X-file by a second thread while the conversion
// decodes and writes the ones before them. Reading a quarter of a megabyte
// from the page cache costs about as much as decoding it, so the two overlap
// on a machine with more than one core. The reads are the ones the
// conversion would make itself, in the same order and sizes; the X-file is
// only read, so reading ahead changes nothing anyone can see.
#ifndef CONVERT_READ_AHEAD_H
#define CONVERT_READ_AHEAD_H

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <thread>

// Reads the next XBlocks of `file` into `chunk` with one fread: as many as
// the chunk holds (`chunkBlocks`), or as are still `*announced` if fewer,
// but at least one (a file may hold more than it announces). Returns how
// many whole XBlocks it got and takes them off `*announced`.
uint32_t ConvertReadChunk(FILE* file, uint8_t* chunk, uint32_t chunkBlocks, uint32_t* announced);

// A ring of `chunks` chunks of `chunkBlocks` XBlocks each, in `area`. The
// thread fills each chunk with one fread, until a read returns no block (end
// of file, a short last block or a read error); the conversion takes the
// chunks in turn.
class ConvertReadAhead {
 public:
  // Starts reading `file` from where it stands; `announced` is the number of
  // XBlocks the file says follow. Null when no thread can be started (the
  // caller then reads for itself). The file is the thread's until the
  // object is destroyed.
  static std::unique_ptr<ConvertReadAhead> Start(FILE* file, uint8_t* area, uint32_t chunkBlocks,
                                                 uint32_t chunks, uint32_t announced);

  ConvertReadAhead(const ConvertReadAhead&) = delete;
  ConvertReadAhead& operator=(const ConvertReadAhead&) = delete;
  // Stops reading (a read in progress ends first) and ends the thread.
  ~ConvertReadAhead();

  // Gives back the chunk handed out before, if any, and waits for the next:
  // sets `*blocks` to its first XBlock and returns how many it holds; 0
  // once a read has returned none.
  uint32_t Next(const uint8_t** blocks);

 private:
  ConvertReadAhead() = default;
  void Run();

  FILE* file_ = nullptr;
  uint8_t* area_ = nullptr;
  uint32_t chunkBlocks_ = 0;
  uint32_t chunks_ = 0;
  uint32_t announced_ = 0;  // the thread's: XBlocks announced and not yet read
  static constexpr uint32_t kMaxChunks = 8;
  uint32_t held_[kMaxChunks] = {};  // XBlocks in each chunk, set before it is filled
  // The count of chunks filled, which the thread advances and the caller
  // waits on; the thread wakes the caller only when it sleeps on the count.
  struct FilledCount {
    static constexpr uint32_t kNoTarget = 0xFFFFFFFF;
    std::atomic<uint32_t> value{0};
    std::atomic<uint32_t> target{kNoTarget};  // the value awaited while asleep
    void Advance();
    // Returns once the count has reached `wanted` (counts wrap).
    void AwaitAtLeast(uint32_t wanted);
  };
  FilledCount filled_;
  std::atomic<uint32_t> returned_{0};  // chunks given back so far (the caller counts)
  std::atomic<bool> stop_{false};
  bool holding_ = false;  // the caller holds chunk number returned_
  bool ended_ = false;    // the caller has seen an empty chunk
  std::thread thread_;
};

#endif  // CONVERT_READ_AHEAD_H
