// The conversion's two streams, opened so that the tag walks, rewinds and
// small reads and writes of a conversion cost as few system calls as they
// can. Every operation on them behaves as on a stream from fopen: the same
// bytes land at the same offsets at the same flushes, and failures show at
// the same calls.
#ifndef CONVERT_STREAMS_H
#define CONVERT_STREAMS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

// Opens the X-file at `path` for reading, as fopen(path, "rb") would (null
// when that fails). A regular file that fits `image` is read into it whole
// with one call and the stream reads from memory: its seeks and small
// reads cost no system call. Any other file gets an ordinary stream with
// `streamBuffer` as its buffer. `image` and `streamBuffer` must stay
// untouched until the stream is closed.
FILE* ConvertOpenX(const char* path, std::span<uint8_t> image, std::span<char> streamBuffer);

// Opens the Y file at `path` as fopen(path, "w+b") would: created if need
// be, emptied, for writing and reading; null when that fails. The stream
// keeps its position itself and reads and writes at it with pread and
// pwrite, so that its seeks cost no system call. `streamBuffer` is its
// buffer and must stay untouched until the stream is closed; closing it
// closes the file and reports a failure to do so as fclose does.
FILE* ConvertOpenY(const char* path, std::span<char> streamBuffer);

#endif  // CONVERT_STREAMS_H
