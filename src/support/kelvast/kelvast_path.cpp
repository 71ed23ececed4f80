// Path texts in fixed 260-byte buffers. Both '/' and '\' separate, so that
// texts written for either convention work; copies use '/'.
#include <cstring>

#include "kelvast.h"

namespace {
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
}  // namespace

int PathCopy(char* buffer, const char* text) {
  const size_t length = std::strlen(text);
  if (length > kPathMaxLength) {
    buffer[0] = '\0';
    return 1;
  }
  for (size_t i = 0; i < length; ++i) buffer[i] = text[i] == '\\' ? '/' : text[i];
  buffer[length] = '\0';
  return 0;
}

int PathEndsWithSeparator(const char* text) {
  const size_t length = std::strlen(text);
  return length > 0 && IsSeparator(text[length - 1]) ? 1 : 0;
}

int PathAppendSeparator(char* buffer) {
  const size_t length = strnlen(buffer, kPathBufferSize);
  if (length + 1 > kPathMaxLength) return 1;
  buffer[length] = '/';
  buffer[length + 1] = '\0';
  return 0;
}

const char* PathFileNamePart(const char* path) {
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (IsSeparator(*p)) name = p + 1;
  }
  return name;
}

void PathGetFileName(char* destination, const char* path) {
  const char* name = PathFileNamePart(path);
  std::memmove(destination, name, std::strlen(name) + 1);
}
