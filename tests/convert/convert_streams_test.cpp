// The conversion's streams answer every call as streams from fopen do: the
// same results, flags and bytes in the file, also when writes fall short.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "convert_streams.h"
#include "kelvast.h"
#include "test_files.h"

namespace {

// One call on a stream.
struct Op {
  enum Kind { kWrite, kRead, kSeek, kTell, kSize, kFlush } kind;
  long value = 0;  // bytes to write or read, or the seek offset
  int whence = SEEK_SET;
};

// Appends " <letter><value>" to the transcript.
void Note(std::string* log, char letter, long long value) {
  *log += ' ';
  *log += letter;
  *log += std::to_string(value);
}

// Runs `ops` on `file` and closes it; returns a transcript of every result:
// return values, the bytes read, and the error and end-of-file flags.
std::string RunOps(FILE* file, const std::vector<Op>& ops) {
  std::string log;
  std::vector<unsigned char> data;
  unsigned char next = 1;
  for (const Op& op : ops) {
    switch (op.kind) {
      case Op::kWrite: {
        data.assign(static_cast<size_t>(op.value), 0);
        for (unsigned char& b : data) b = next++;
        Note(&log, 'w', std::fwrite(data.data(), 1, data.size(), file));
        break;
      }
      case Op::kRead: {
        data.assign(static_cast<size_t>(op.value), 0);
        const size_t got = std::fread(data.data(), 1, data.size(), file);
        Note(&log, 'r', got);
        uint64_t hash = 14695981039346656037u;  // FNV-1a of the bytes read
        for (size_t i = 0; i < got; ++i) hash = (hash ^ data[i]) * 1099511628211u;
        Note(&log, '#', static_cast<long long>(hash >> 1));
        break;
      }
      case Op::kSeek:
        Note(&log, 's', fseeko(file, op.value, op.whence));
        break;
      case Op::kTell:
        Note(&log, 't', FileTell64(file));
        break;
      case Op::kSize:
        Note(&log, 'z', FileSize64(file));
        break;
      case Op::kFlush:
        Note(&log, 'f', std::fflush(file));
        break;
    }
    Note(&log, 'e', std::ferror(file) != 0);
    Note(&log, 'f', std::feof(file) != 0);
    log += '\n';
  }
  Note(&log, 'c', std::fclose(file));
  return log;
}

using Script = std::vector<Op>;
const Op W(long n) { return {Op::kWrite, n}; }
const Op R(long n) { return {Op::kRead, n}; }
const Op S(long offset, int whence = SEEK_SET) { return {Op::kSeek, offset, whence}; }
const Op kTell{Op::kTell};
const Op kSize{Op::kSize};
const Op kFlush{Op::kFlush};

// What a conversion does to its Y file, and the corners around it.
const std::vector<Script> kYScripts = {
    {W(144), kTell, S(0), W(16), S(0), kSize, R(50), kTell, S(-10, SEEK_CUR), W(20), kTell},
    {W(16), W(80), W(3 * 4096 + 7), S(0), W(16), S(0), kSize, R(16), R(16), S(-16, SEEK_CUR),
     W(80), S(0, SEEK_END), kTell, R(1), kTell},
    {W(1 << 20), W((1 << 20) + 5), W(3), S(4093), R(9000), kTell, W(2)},
    {S(10000), W(5), S(0), R(10010), kTell},
    {W(10), S(-11, SEEK_CUR), kTell, W(1), S(-1, SEEK_SET), kTell, R(3), kFlush, kSize},
    {R(5), W(5), S(0), R(5)},
    {},
};

std::string RunY(const std::string& path, const Script& ops, bool ours) {
  static char buffer[4096];
  FILE* file = ours ? ConvertOpenY(path.c_str(), buffer) : std::fopen(path.c_str(), "w+b");
  if (file == nullptr) return "open failed";
  if (!ours) std::setvbuf(file, buffer, _IOFBF, sizeof buffer);
  return RunOps(file, ops);
}

TEST(ConvertStreams, YStreamActsAsAFileStream) {
  testfs::TempDir dir;
  for (size_t i = 0; i < kYScripts.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "script " << i);
    testfs::WriteText(dir / "ref", "old contents are emptied");
    testfs::WriteText(dir / "our", "old contents are emptied");
    EXPECT_EQ(RunY(dir / "our", kYScripts[i], true), RunY(dir / "ref", kYScripts[i], false));
    EXPECT_EQ(testfs::ReadFile(dir / "our"), testfs::ReadFile(dir / "ref"));
  }
  EXPECT_EQ(ConvertOpenY((dir / "missing/Y").c_str(), {}), nullptr);
}

// A file-size limit makes writes fall short part way, as a full disk does:
// both streams fail at the same calls and leave the same bytes.
TEST(ConvertStreams, YStreamFailsWhereAFileStreamFails) {
  const std::vector<Script> scripts = {
      {W(4000), W(4000), W(4000), kFlush, S(0), W(16), kTell},
      {W(100), W(20000), kTell, S(0), R(20000)},
      {W(9999), S(0), W(16), S(0, SEEK_END), W(1), W(1), kFlush},
  };
  testfs::TempDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The limit holds for this process only.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{10000, 10000};
    setrlimit(RLIMIT_FSIZE, &limit);
    for (size_t i = 0; i < scripts.size(); ++i) {
      const std::string n = std::to_string(i);
      const std::string ours = RunY(dir / ("our" + n), scripts[i], true);
      const std::string ref = RunY(dir / ("ref" + n), scripts[i], false);
      std::signal(SIGXFSZ, SIG_IGN);
      testfs::WriteText(dir / ("our" + n + ".log"), ours);
      testfs::WriteText(dir / ("ref" + n + ".log"), ref);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (size_t i = 0; i < scripts.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "script " << i);
    const std::string n = std::to_string(i);
    const std::string ours = testfs::ReadText(dir / ("our" + n + ".log"));
    EXPECT_EQ(ours, testfs::ReadText(dir / ("ref" + n + ".log")));
    EXPECT_NE(ours.find(" e1 "), std::string::npos) << "the limit was not reached:\n" << ours;
    EXPECT_EQ(testfs::ReadFile(dir / ("our" + n)), testfs::ReadFile(dir / ("ref" + n)));
  }
}

// What the conversion does to its X-file: the header walk, rewinds, tag
// searches and block reads, to the end.
const Script kXScript = {R(16), kSize, kTell, S(0), R(160), S(16, SEEK_CUR), R(16), kTell,
                         S(160), R(4096), R(4096), kTell, S(0, SEEK_END), kTell, R(1), kSize};

TEST(ConvertStreams, XStreamReadsAsAFileStream) {
  testfs::TempDir dir;
  // Read whole into the image (up to its size) or as a stream (beyond it).
  const size_t sizes[] = {0, 1, 160, 4256, 8192, 8193, 100000};
  std::vector<uint8_t> image(8192);
  for (const size_t size : sizes) {
    SCOPED_TRACE(testing::Message() << size << " bytes");
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 5);
    testfs::WriteFile(dir / "X", bytes);
    char ourBuffer[4096];
    char refBuffer[4096];
    FILE* ours = ConvertOpenX((dir / "X").c_str(), image, ourBuffer);
    FILE* ref = std::fopen((dir / "X").c_str(), "rb");
    ASSERT_NE(ours, nullptr);
    ASSERT_NE(ref, nullptr);
    std::setvbuf(ref, refBuffer, _IOFBF, sizeof refBuffer);
    EXPECT_EQ(RunOps(ours, kXScript), RunOps(ref, kXScript));
  }
  EXPECT_EQ(ConvertOpenX((dir / "missing").c_str(), image, {}), nullptr);
}

}  // namespace
