// Helpers of the hardening tests: a batch of X-files whose samples are known,
// the checks that every Y file must pass, and a snapshot of the X-files to
// prove that a run left them unchanged.
#ifndef HARDENING_SUPPORT_H
#define HARDENING_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dorvine.h"
#include "kelvast.h"
#include "test_files.h"
#include "xgen.h"

namespace hardening {

namespace fs = std::filesystem;

// Offsets shared by X-files and Y files.
inline constexpr size_t kRecordOffset = 32;
inline constexpr size_t kCountOffset = kRecordOffset + 32;  // record's sample count
inline constexpr size_t kFourthTagOffset = 144;             // type-23 tag / data tag
inline constexpr size_t kBodyOffset = 160;                  // XBlocks / samples

// The state a run leaves a Y file in.
enum class YState {
  kAbsent,      // never created
  kEmpty,       // created, nothing written (the X-file's head was refused)
  kUnfinished,  // head, data tag and samples; leading tag aux 0, record not "YFILE"
  kNotFinished, // anything but a finished file (a write failed somewhere)
  kFinished,    // complete and consistent
};

// An X-file that must come out exactly.
struct Good {
  std::string name;  // file name in the batch's X directory
  std::vector<int32_t> samples;
};

inline std::vector<uint8_t> MakeXFile(const std::vector<int32_t>& samples, char order,
                                      uint32_t perBlock = 0) {
  testfs::TempDir dir;
  const std::string path = dir / "X";
  std::string error;
  EXPECT_TRUE(XgenWriteSamples(path.c_str(), samples, XgenStation{}, order, &error, perBlock))
      << error;
  return testfs::ReadFile(path);
}

// Every regular file below `dir` with its bytes.
inline std::map<std::string, std::vector<uint8_t>> Snapshot(const fs::path& dir) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_symlink() || !entry.is_regular_file()) continue;
    files[entry.path().filename().string()] = testfs::ReadFile(entry.path().string());
  }
  return files;
}

// Checks the Y file at `ypath` against `state`. `xbytes` is the X-file it came
// from; `samples`, when given, are the samples the Y file must hold.
inline void ExpectY(const std::string& ypath, YState state, const std::vector<uint8_t>& xbytes,
                    const std::optional<std::vector<int32_t>>& samples) {
  SCOPED_TRACE(ypath);
  if (state == YState::kAbsent) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(ypath)));
    return;
  }
  ASSERT_TRUE(fs::exists(ypath));
  const std::vector<uint8_t> y = testfs::ReadFile(ypath);
  if (state == YState::kEmpty) {
    EXPECT_EQ(y.size(), 0u);
    return;
  }
  const bool finished = y.size() >= kTagSize && LoadLE32(&y[8]) != 0;
  if (state == YState::kNotFinished) {
    EXPECT_FALSE(finished) << "a failed conversion must not leave a finished Y file";
    return;
  }
  ASSERT_GE(y.size(), kBodyOffset);
  ASSERT_GE(xbytes.size(), kBodyOffset);
  ASSERT_EQ((y.size() - kBodyOffset) % 4, 0u);
  std::vector<int32_t> got;
  for (size_t at = kBodyOffset; at < y.size(); at += 4) {
    got.push_back(static_cast<int32_t>(LoadLE32(&y[at])));
  }
  if (samples) {
    EXPECT_EQ(got, *samples);
  }

  // The data tag announces 4 x the X-file's sample count and keeps the aux
  // (XBlock count) of its type-23 tag.
  const uint32_t count = LoadLE32(&xbytes[kCountOffset]);
  EXPECT_EQ(LoadLE16(&y[kFourthTagOffset + 2]), kTagTypeSamples);
  EXPECT_EQ(LoadLE32(&y[kFourthTagOffset + 4]), 4u * count);
  EXPECT_EQ(LoadLE32(&y[kFourthTagOffset + 8]), LoadLE32(&xbytes[kFourthTagOffset + 8]));
  // Bytes 0-31 of the header record are the X-file's.
  EXPECT_TRUE(std::equal(&y[kRecordOffset], &y[kRecordOffset + 32], &xbytes[kRecordOffset]));

  YHeaderRecord record{};
  YHeaderDecode(&y[kRecordOffset], &record);
  if (state == YState::kUnfinished) {
    EXPECT_EQ(LoadLE32(&y[8]), 0u);
    EXPECT_STRNE(record.fileType, "YFILE");
    return;
  }
  EXPECT_EQ(LoadLE16(&y[2]), kTagTypeLeading);
  EXPECT_EQ(LoadLE32(&y[8]), y.size() - kTagSize);
  EXPECT_STREQ(record.fileType, "YFILE");
  int32_t largest = INT32_MIN;
  int32_t smallest = INT32_MAX;
  double sum = 0.0;
  for (int32_t s : got) {
    largest = s > largest ? s : largest;
    smallest = s < smallest ? s : smallest;
    sum += s;
  }
  EXPECT_EQ(record.largest, largest);
  EXPECT_EQ(record.smallest, smallest);
  EXPECT_EQ(record.mean, count == 0 ? 0 : static_cast<int32_t>(sum / count));
}

// A shell prefix for testfs::RunProgram that runs the program with a file-size
// limit of `blocks` x 512 bytes and SIGXFSZ ignored, so that a write past the
// limit fails with an error as on a full disk. The limit holds for every
// regular file the program writes, the captured standard output and error
// included; so those pass through cat, which runs without the limit, and the
// program's exit status comes back on a descriptor of its own.
inline std::string FileSizeLimit(unsigned blocks) {
  std::string prefix = "limited() { exec 4>&1 6>&2; status=$( { { { (trap '' XFSZ; ulimit -f ";
  prefix += std::to_string(blocks);
  prefix +=
      "; exec \"$@\"); echo $? >&3; } | cat >&4; } 2>&1 | cat >&6; } 3>&1 ); "
      "return \"$status\"; }; limited";
  return prefix;
}

// The Y file name of an X-file name: its first character replaced by 'Y'.
inline std::string YName(const std::string& xname) {
  std::string name = xname;  // built in place: GCC 12 warns falsely on "Y" + std::string
  if (!name.empty()) name[0] = 'Y';
  return name;
}

}  // namespace hardening

#endif  // HARDENING_SUPPORT_H
