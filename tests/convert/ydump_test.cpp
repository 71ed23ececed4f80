// ydump: what it shows, and what --verify finds in good, unfinished and
// damaged Y files (made by the quorvale program from xgen X-files).
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert_test_support.h"
#include "test_files.h"
#include "xgen.h"
#include "ydump_time.h"

namespace {

namespace fs = std::filesystem;

TEST(YdumpTime, IsoTexts) {
  struct Row {
    int64_t ns;
    const char* text;
  };
  const Row rows[] = {
      {0, "1970-01-01T00:00:00.000Z"},
      {-1, "1969-12-31T23:59:59.999999999Z"},
      {1709251199250000000, "2024-02-29T23:59:59.250Z"},
      {951782400000001000, "2000-02-29T00:00:00.000001Z"},
      {-3153599999995000000, "1870-01-25T00:00:00.005Z"},
      {INT64_MIN, "1677-09-21T00:12:43.145224192Z"},
      {INT64_MAX, "2262-04-11T23:47:16.854775807Z"},
  };
  for (const Row& row : rows) EXPECT_EQ(YdumpIsoTime(row.ns), row.text) << row.ns;
  EXPECT_EQ(YdumpSampleTime(1000, 100.0, 3), 1000 + 30000000);
  EXPECT_EQ(YdumpSampleTime(0, 3.0, 1), 333333333);
  EXPECT_EQ(YdumpSampleTime(5, 0.0, 7), 5);  // a rate that gives no time
}

class Ydump : public ::testing::Test {
 protected:
  // A finished Y file (Y1) and one left by a conversion that failed on a cut
  // X-file (Y2), made once for the suite.
  static void SetUpTestSuite() {
    dir_ = new testfs::TempDir;
    fs::create_directory(dir_->path() / "x");
    fs::create_directory(dir_->path() / "y");
    samples_ = XgenMakeSignal(XgenSignal::kEvents, 5000, 3);
    std::string error;
    ASSERT_TRUE(XgenWriteSamples((*dir_ / "x/X1").c_str(), samples_, XgenStation{}, 'M', &error));
    ASSERT_TRUE(XgenWriteSamples((*dir_ / "x/X2").c_str(), samples_, XgenStation{}, 'I', &error));
    fs::resize_file(*dir_ / "x/X2", fs::file_size(*dir_ / "x/X2") - 10);
    const testfs::RunResult run =
        testfs::RunProgram(QUORVALE_BIN, {"-i", "x/X*", "-o", "y"}, dir_->path().string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    good_ = testfs::ReadFile(*dir_ / "y/Y1");
  }
  static void TearDownTestSuite() { delete dir_; }

  static testfs::RunResult Ydump_(const std::vector<std::string>& args) {
    return testfs::RunProgram(YDUMP_BIN, args, dir_->path().string());
  }

  static testfs::TempDir* dir_;
  static std::vector<int32_t> samples_;
  static std::vector<uint8_t> good_;
};

testfs::TempDir* Ydump::dir_ = nullptr;
std::vector<int32_t> Ydump::samples_;
std::vector<uint8_t> Ydump::good_;

TEST_F(Ydump, ShowsTagsAndHeaderRecord) {
  const testfs::RunResult good = Ydump_({"y/Y1"});
  EXPECT_EQ(good.exitCode, 0) << good.err;
  for (const char* line :
       {"y/Y1: Y file, 20160 bytes", "tag at 0: type 0 (leading), length 0, aux 20144",
        "tag at 144: type 7 (samples), length 20000", "network       XX", "station       XGEN",
        "location      00", "channel       HHZ", "start time    2024-01-01T00:00:00.000Z",
        "sample rate   100", "sample count  5000", "file type     YFILE",
        "data format   encoding 2 (int32 samples), byte order 'I'", "state         finished"}) {
    EXPECT_NE(good.out.find(line), std::string::npos) << line << "\n" << good.out;
  }
  const testfs::RunResult unfinished = Ydump_({"y/Y2"});
  EXPECT_EQ(unfinished.exitCode, 0);
  EXPECT_NE(unfinished.out.find("state         unfinished"), std::string::npos);
  const testfs::RunResult xfile = Ydump_({"x/X1"});
  EXPECT_EQ(xfile.exitCode, 0);
  EXPECT_NE(xfile.out.find("X-file"), std::string::npos);
  EXPECT_NE(xfile.out.find("byte order 'M'"), std::string::npos);
}

TEST_F(Ydump, PrintsSamplesWithAndWithoutTimes) {
  const testfs::RunResult plain = Ydump_({"--samples", "y/Y1"});
  EXPECT_EQ(plain.exitCode, 0);
  std::string expected;
  for (int32_t s : samples_) expected += std::to_string(s) + "\n";
  EXPECT_EQ(plain.out, expected);

  const testfs::RunResult timed = Ydump_({"--samples", "--time", "y/Y1"});
  EXPECT_EQ(timed.exitCode, 0);
  const std::string head = "2024-01-01T00:00:00.000Z\t" + std::to_string(samples_[0]) +
                           "\n2024-01-01T00:00:00.010Z\t" + std::to_string(samples_[1]) + "\n";
  EXPECT_EQ(timed.out.substr(0, head.size()), head);
  EXPECT_NE(timed.out.find("2024-01-01T00:00:49.990Z\t" + std::to_string(samples_.back())),
            std::string::npos);
}

// --verify on the good file, the unfinished one, and damaged copies.
TEST_F(Ydump, VerifyNamesWhatDoesNotHold) {
  using Bytes = std::vector<uint8_t>;
  struct Row {
    const char* name;
    std::function<void(Bytes&)> damage;  // applied to a copy of the good file
    int exitCode;
    const char* finding;  // in standard output (exit 0) or standard error
  };
  const Row rows[] = {
      {"good", [](Bytes&) {}, 0, "verified: 5000 samples"},
      {"a sample changed",
       [](Bytes& b) { StoreLE32(&b[convtest::kSamplesOffset + 8], 0x7FFFFFFF); }, 3,
       "the header record's largest sample is"},
      {"the mean changed", [](Bytes& b) { b[convtest::kRecordOffset + 36] ^= 1; }, 3,
       "the header record's mean is"},
      {"the last sample cut off", [](Bytes& b) { b.resize(b.size() - 4); }, 3,
       "the file holds 4999 samples, the header record says 5000"},
      {"half a sample cut off", [](Bytes& b) { b.resize(b.size() - 2); }, 3,
       "is not a whole number of samples"},
      {"bytes appended",
       [](Bytes& b) {
         b.push_back(0);
         b.push_back(0);
         b.push_back(0);
         b.push_back(0);
       },
       3, "the leading tag says 20144 bytes follow it, the file has 20148"},
      {"the data tag's signature broken", [](Bytes& b) { b[convtest::kDataTagOffset] = 'X'; }, 3,
       "no tag at offset 144: the bytes there are 58 47, not \"TG\""},
      {"the data tag's length changed", [](Bytes& b) { b[convtest::kDataTagOffset + 4] ^= 4; }, 3,
       "the data tag announces"},
      {"cut inside the header record", [](Bytes& b) { b.resize(60); }, 3,
       "the type-5 tag at offset 16 announces 64 bytes, but only 28 follow it"},
      {"cut inside a tag", [](Bytes& b) { b.resize(100); }, 3, "4 stray bytes at offset 96"},
      {"empty", [](Bytes& b) { b.clear(); }, 3, "the file ends without a data tag"},
      {"not finished", [](Bytes& b) { b = testfs::ReadFile(*dir_ / "y/Y2"); }, 3,
       "unfinished: the leading tag was never completed"},
      {"an X-file", [](Bytes& b) { b = testfs::ReadFile(*dir_ / "x/X1"); }, 3,
       "an X-file, not a Y file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes bytes = good_;
    row.damage(bytes);
    testfs::WriteFile(*dir_ / "check", bytes);
    const testfs::RunResult run = Ydump_({"--verify", "check"});
    EXPECT_EQ(run.exitCode, row.exitCode);
    const std::string& where = row.exitCode == 0 ? run.out : run.err;
    EXPECT_NE(where.find(row.finding), std::string::npos) << run.out << run.err;
    // Showing a damaged file never fails worse than with exit code 2.
    const testfs::RunResult shown = Ydump_({"check"});
    EXPECT_LE(shown.exitCode, 2) << shown.err;
  }
}

TEST_F(Ydump, CommandLineAndUnreadableFiles) {
  struct Row {
    std::vector<std::string> args;
    int exitCode;
    const char* finding;  // in standard error, or standard output for exit 0
  };
  const Row rows[] = {
      {{}, 1, "no file given"},
      {{"--bogus", "y/Y1"}, 1, "unknown option --bogus"},
      {{"--help"}, 0, "Usage: ydump"},
      {{"--verify", "y/missing"}, 2, "y/missing: no such file"},
      {{"y"}, 2, "not a regular file"},
      {{"--samples", "x/X1"}, 2, "not a Y file"},
      {{"--verify", "y/Y1", "y/Y2"}, 3, "y/Y2: unfinished"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    const testfs::RunResult run = Ydump_(row.args);
    EXPECT_EQ(run.exitCode, row.exitCode);
    const std::string& where = row.exitCode == 0 ? run.out : run.err;
    EXPECT_NE(where.find(row.finding), std::string::npos) << run.out << run.err;
  }
}

}  // namespace
