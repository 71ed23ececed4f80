// Wildcard file search over a sorted snapshot of regular files.
#include <glob.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kelvast.h"

namespace {

struct Search {
  std::vector<std::string> matches;
  // Device and inode of every regular file the pattern matched, so that a
  // path can be recognised as one of them whatever its text.
  std::set<std::pair<dev_t, ino_t>> files;
  size_t next = 0;
};

std::map<int32_t, Search> g_searches;
int32_t g_lastHandle = 0;

bool IsRegularFile(const char* path, struct stat* info) {
  return stat(path, info) == 0 && S_ISREG(info->st_mode);
}

Search TakeSnapshot(const char* pattern) {
  Search search;
  std::string native(pattern);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  glob_t found{};
  if (glob(native.c_str(), 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc; ++i) {
      const char* path = found.gl_pathv[i];
      struct stat info {};
      if (!IsRegularFile(path, &info)) continue;  // directories, link loops, devices
      search.files.emplace(info.st_dev, info.st_ino);
      if (std::strlen(path) > kPathMaxLength) {
        if (MessageMask & kMsgWarning) {
          const int32_t status = 0;
          LogMessage(0, 0, 0, kMsgWarning, 0, __FILE__, __LINE__, &status,
                     "WARNING: path longer than %zu characters, file skipped: %s",
                     kPathMaxLength, path);
        }
        continue;
      }
      search.matches.emplace_back(path);
    }
  }
  globfree(&found);
  return search;
}

}  // namespace

int FileFindNext(int32_t* handle, const char* pattern, char* buffer, int /*flags*/) {
  if (*handle == 0) {
    do {
      g_lastHandle = g_lastHandle == INT32_MAX ? 1 : g_lastHandle + 1;
    } while (g_searches.count(g_lastHandle) != 0);
    g_searches[g_lastHandle] = TakeSnapshot(pattern);
    *handle = g_lastHandle;
  }
  auto it = g_searches.find(*handle);
  if (it == g_searches.end()) return 0;
  Search& search = it->second;
  if (search.next >= search.matches.size()) {
    g_searches.erase(it);
    *handle = 0;
    return 0;
  }
  const std::string& path = search.matches[search.next++];
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return 1;
}

int FileFindIsMatch(int32_t handle, const char* path) {
  const auto it = g_searches.find(handle);
  struct stat info {};
  if (handle == 0 || it == g_searches.end() || stat(path, &info) != 0) return 0;
  return it->second.files.count({info.st_dev, info.st_ino}) != 0 ? 1 : 0;
}
