// File identity and 64-bit positions (POSIX).
//
// Large-file offsets even where long and off_t are 32 bits by default; this
// must come before any system header.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>

#include "kelvast.h"

int PathSameFile(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return 0;
  struct stat first {};
  struct stat second {};
  // `b` first: callers pass the path that is more often missing (a Y file
  // yet to be made) second, which then costs one call.
  if (stat(b, &second) != 0 || stat(a, &first) != 0) return 0;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino ? 1 : 0;
}

int64_t FileSize64(FILE* file) {
  const int descriptor = fileno(file);
  if (descriptor >= 0) {
    struct stat info {};
    if (fstat(descriptor, &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
  }
  // A stream of the program's own (in memory, or with its own functions):
  // its end, found by seeking there and back.
  // The seeks clear the end-of-file indicator; a read at the end sets it
  // again, so the stream answers feof as before.
  const bool atEnd = feof(file) != 0;
  const off_t here = ftello(file);
  if (here < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
  const off_t end = ftello(file);
  if (fseeko(file, here, SEEK_SET) != 0) return -1;
  if (atEnd && here == end) (void)fgetc(file);
  return end < 0 ? -1 : static_cast<int64_t>(end);
}

int64_t FileTell64(FILE* file) {
  const off_t position = ftello(file);
  return position < 0 ? -1 : static_cast<int64_t>(position);
}
