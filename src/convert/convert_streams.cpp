#include "convert_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace {

// The Y file behind its stream: the descriptor and the stream's position in
// the file, which this side keeps.
struct YCookie {
  int fd;
  off64_t position;
};

// Writes everything or stops at the first failure, as a stream's own writes
// do; returns how much was written. The stream marks itself failed when
// that is less than asked.
ssize_t YWrite(void* cookie, const char* data, size_t size) {
  auto* y = static_cast<YCookie*>(cookie);
  size_t done = 0;
  while (done < size) {
    const ssize_t written = pwrite(y->fd, data + done, size - done, y->position);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<size_t>(written);
    y->position += written;
  }
  return static_cast<ssize_t>(done);
}

ssize_t YRead(void* cookie, char* data, size_t size) {
  auto* y = static_cast<YCookie*>(cookie);
  ssize_t got;
  do {
    got = pread(y->fd, data, size, y->position);
  } while (got < 0 && errno == EINTR);
  if (got > 0) y->position += got;
  return got;
}

// Moves `position` as lseek would move a file offset, `size` being the end.
int SeekLikeAFile(off64_t* position, off64_t size, off64_t* offset, int whence) {
  off64_t base = 0;
  if (whence == SEEK_CUR) {
    base = *position;
  } else if (whence == SEEK_END) {
    base = size;
  } else if (whence != SEEK_SET) {
    errno = EINVAL;
    return -1;
  }
  // Both are file offsets, so the sum cannot overflow; a negative result is
  // refused as lseek refuses it.
  if (*offset < 0 && base + *offset < 0) {
    errno = EINVAL;
    return -1;
  }
  *position = base + *offset;
  *offset = *position;
  return 0;
}

int YSeek(void* cookie, off64_t* offset, int whence) {
  auto* y = static_cast<YCookie*>(cookie);
  off64_t size = 0;
  if (whence == SEEK_END) {
    struct stat info {};
    if (fstat(y->fd, &info) != 0) return -1;
    size = info.st_size;
  }
  return SeekLikeAFile(&y->position, size, offset, whence);
}

int YClose(void* cookie) {
  auto* y = static_cast<YCookie*>(cookie);
  const int result = close(y->fd);
  delete y;
  return result;
}

// An X-file read whole into memory, read through its stream as the file
// would be: reads stop at its end, seeks may go past it.
struct XCookie {
  const uint8_t* bytes;
  off64_t size;
  off64_t position;
};

ssize_t XRead(void* cookie, char* data, size_t size) {
  auto* x = static_cast<XCookie*>(cookie);
  const off64_t left = x->position < x->size ? x->size - x->position : 0;
  const size_t count = static_cast<uint64_t>(left) < size ? static_cast<size_t>(left) : size;
  if (count == 0) return 0;
  std::memcpy(data, x->bytes + x->position, count);
  x->position += static_cast<off64_t>(count);
  return static_cast<ssize_t>(count);
}

int XSeek(void* cookie, off64_t* offset, int whence) {
  auto* x = static_cast<XCookie*>(cookie);
  return SeekLikeAFile(&x->position, x->size, offset, whence);
}

int XClose(void* cookie) {
  delete static_cast<XCookie*>(cookie);
  return 0;
}

// An ordinary stream on `fd`, read from the start.
FILE* StreamOnDescriptor(int fd, std::span<char> streamBuffer) {
  FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    close(fd);
    return nullptr;
  }
  std::setvbuf(file, streamBuffer.data(), _IOFBF, streamBuffer.size());
  return file;
}

}  // namespace

FILE* ConvertOpenX(const char* path, std::span<uint8_t> image, std::span<char> streamBuffer) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
      static_cast<uint64_t>(info.st_size) > image.size()) {
    return StreamOnDescriptor(fd, streamBuffer);
  }
  const auto size = static_cast<size_t>(info.st_size);
  ssize_t got;
  do {
    got = read(fd, image.data(), size);
  } while (got < 0 && errno == EINTR);
  FILE* file = nullptr;
  if (got == static_cast<ssize_t>(size)) {
    auto* x = new (std::nothrow) XCookie{image.data(), static_cast<off64_t>(size), 0};
    if (x != nullptr) {
      file = fopencookie(x, "r", cookie_io_functions_t{XRead, nullptr, XSeek, XClose});
      if (file == nullptr) delete x;
    }
  }
  if (file == nullptr) {
    // Not read whole (the file changed, or a read failed): read it as a
    // stream from the start, where a failure shows where it would anyway.
    if (lseek(fd, 0, SEEK_SET) != 0) {
      close(fd);
      return nullptr;
    }
    return StreamOnDescriptor(fd, streamBuffer);
  }
  close(fd);
  std::setvbuf(file, streamBuffer.data(), _IOFBF, streamBuffer.size());
  return file;
}

FILE* ConvertOpenY(const char* path, std::span<char> streamBuffer) {
  auto* y = new (std::nothrow) YCookie{-1, 0};
  if (y == nullptr) return nullptr;
  y->fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (y->fd < 0) {
    delete y;
    return nullptr;
  }
  const cookie_io_functions_t functions{YRead, YWrite, YSeek, YClose};
  FILE* file = fopencookie(y, "w+", functions);
  if (file == nullptr) {
    YClose(y);
    return nullptr;
  }
  std::setvbuf(file, streamBuffer.data(), _IOFBF, streamBuffer.size());
  return file;
}
