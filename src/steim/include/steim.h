// steim: the Steim-1 block codec.
//
// An XBlock is 4096 bytes: a 64-byte block header and 63 frames of 64 bytes.
// Each frame is 16 words of 4 bytes; word 0 is the control word, whose bits
// 31-2w and 30-2w hold the 2-bit code of data word w (1..15):
//   0  no data
//   1  four signed 8-bit differences (bytes 0, 1, 2, 3 of the word)
//   2  two signed 16-bit differences (bytes 0-1, then bytes 2-3)
//   3  one signed 32-bit difference
// Byte offsets in the block: 30 the block sample count (unsigned 16-bit),
// 68 X0 (frame 1 word 1: the first sample), 72 Xn (frame 1 word 2: the value
// the last sample must have). Every multi-byte value is stored in the data's
// byte order; 8-bit differences are never reordered.
#ifndef STEIM_H
#define STEIM_H

#include <cstddef>
#include <cstdint>

inline constexpr size_t kXBlockSize = 4096;
inline constexpr size_t kSteimMaxSamples = 3780;      // 63 frames x 15 words x 4
inline constexpr size_t kSteimMaxEncoded = 3772;      // well-formed: data from frame 1 word 3 on
inline constexpr size_t kSteimCountOffset = 30;       // block sample count, 16-bit
inline constexpr size_t kSteimX0Offset = 68;          // frame 1 word 1
inline constexpr size_t kSteimXnOffset = 72;          // frame 1 word 2

// Decodes one XBlock into `samples` and returns the block sample count of its
// header (offset 30), which can exceed what the block actually holds.
//
// `samples` must have room for kSteimMaxSamples values; `xblock` points at
// 4096 readable bytes and is never written. `swapFlag` nonzero means every
// 16- and 32-bit value of the block (count, X0, Xn, control words, 16- and
// 32-bit differences) is stored in the byte order opposite to the host's.
//
// The running value starts at X0. Frames 1..63 are walked in order and each
// data word's differences are taken by its code (bits 31-30 of a control word
// are ignored; words 1 and 2 of frame 1 are read by their codes like any other
// word). Every difference taken adds 1 to the decoded count, is added to the
// running value modulo 2^32 and the running value is stored as the next
// sample; the first difference of frame 1 word 3 (the link to the previous
// block) is counted and stored but never added, whatever the word's code.
// Decoding stops as soon as the decoded count reaches the block sample count,
// also in the middle of a word, or after frame 63.
//
// Exactly the decoded count of elements (at most 3780) is written at the start
// of `samples`; every later element is left as it was. Then two checks, in
// this order, each reported as a warning through LogMessage when MessageMask
// has kMsgWarning:
//   decoded count != block sample count:
//     "Steim block contains %hu samples not correct %hu" (decoded, header)
//   running value != Xn (the running value is X0 when nothing was decoded):
//     "Steim block calculated final value %ld not correct %ld" (running, Xn)
// Neither changes the samples or the result. The function keeps no state
// between calls and allocates nothing. The fastest kernel the processor
// supports is chosen on the first call; every kernel gives the same samples.
uint16_t SteimDecodeBlock(int32_t* samples, const void* xblock, int swapFlag);

// SteimDecodeBlock that also stores the decoded count, the number of elements
// it wrote at the start of `samples` (at most kSteimMaxSamples and never more
// than the result), in `*decoded`. Same samples, messages and result.
uint16_t SteimDecodeBlockCounted(int32_t* samples, const void* xblock, int swapFlag,
                                 uint32_t* decoded);

// Packs the first samples of `samples[0..count)` into one well-formed XBlock
// at `xblock` (4096 bytes) and returns how many it packed: min(count, what
// fits), at most kSteimMaxEncoded (3772, when every difference fits 8 bits).
//
// Header bytes 0-63 are left as the caller gave them except the block sample
// count at offset 30. Frame 1 words 1 and 2 hold X0 (the first packed sample)
// and Xn (the last) with code 0; the differences start at frame 1 word 3, the
// first of them linking to `previous` (the last sample of the previous block,
// 0 for the first block). Each data word takes the smallest code that holds
// the next differences whole: four 8-bit, else two 16-bit, else one 32-bit;
// words are never partly filled, and unused words and frames are zero.
// Differences are taken modulo 2^32, so any int32 sequence round-trips.
// With count 0 the block holds no sample and X0 = Xn = `previous`.
// `bigEndian` nonzero stores every multi-byte value big-endian, else
// little-endian, whatever the host.
uint32_t SteimEncodeBlock(void* xblock, const int32_t* samples, uint32_t count, int32_t previous,
                          int bigEndian);

#endif  // STEIM_H
