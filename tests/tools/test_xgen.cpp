// xgen: X-files from synthetic signals, raw samples and SEED data records,
// read back through the header library, the tag walk and the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "dorvine.h"
#include "kelvast.h"
#include "steim.h"
#include "test_files.h"
#include "xgen.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What an X-file holds, read the way the conversion reads it.
struct XContents {
  YHeaderRecord record{};
  YDataFormat format{};
  TagHeader leading{};
  TagHeader xblocksTag{};
  Bytes blocks;                  // the bytes after the type-23 tag
  std::vector<int32_t> samples;  // decoded, block after block
};

::testing::AssertionResult ReadXFile(const std::string& path, XContents* out) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return ::testing::AssertionFailure() << "cannot open " << path;
  YFileHeader header{};
  const uint16_t read = XFileReadYHeader(file, path.c_str(), &header, 4, 0, 0);
  if (read != kXHeaderOk) {
    std::fclose(file);
    return ::testing::AssertionFailure() << "XFileReadYHeader: " << XFileReadResultText(read);
  }
  out->record = *header.record;
  out->format = *header.format;
  std::rewind(file);
  uint8_t leading[kTagSize];
  if (std::fread(leading, 1, kTagSize, file) != kTagSize) {
    std::fclose(file);
    return ::testing::AssertionFailure() << "no leading tag";
  }
  out->leading.type = LoadLE16(leading + 2);
  out->leading.length = LoadLE32(leading + 4);
  out->leading.aux = LoadLE32(leading + 8);
  std::rewind(file);
  if (TagGetTag(file, kTagTypeXBlocks, &out->xblocksTag) != kTagOk) {
    std::fclose(file);
    return ::testing::AssertionFailure() << "no type-23 tag";
  }
  uint8_t block[kXBlockSize];
  while (std::fread(block, 1, sizeof block, file) == sizeof block) {
    out->blocks.insert(out->blocks.end(), block, block + sizeof block);
  }
  std::fclose(file);

  const int swap = out->format.byteOrder != 'I' ? 1 : 0;
  std::vector<int32_t> decoded(kSteimMaxSamples);
  for (size_t i = 0; i < out->blocks.size() / kXBlockSize; ++i) {
    const uint16_t n = SteimDecodeBlock(decoded.data(), out->blocks.data() + i * kXBlockSize, swap);
    if (n > decoded.size()) return ::testing::AssertionFailure() << "block " << i << " too full";
    out->samples.insert(out->samples.end(), decoded.begin(), decoded.begin() + n);
  }
  return ::testing::AssertionSuccess();
}

std::string Text(const char* field, size_t width) {
  return std::string(field, strnlen(field, width));
}

Bytes RawBytes(const std::vector<int32_t>& samples) {
  Bytes bytes(samples.size() * 4);
  for (size_t i = 0; i < samples.size(); ++i) {
    StoreLE32(bytes.data() + 4 * i, static_cast<uint32_t>(samples[i]));
  }
  return bytes;
}

class XgenTest : public ::testing::Test {
 protected:
  testfs::RunResult Run(const std::vector<std::string>& args) {
    return testfs::RunProgram(XGEN_PATH, args, dir_.path().string());
  }
  testfs::TempDir dir_;
};

// Every signal kind in both byte orders: samples -> X-file -> same samples,
// with the head and tags the conversion relies on.
TEST_F(XgenTest, SignalsRoundTripInBothByteOrders) {
  XgenStation station;
  station.network = "GE";
  station.station = "ABCDE";
  station.location = "";
  station.channel = "BHN";
  station.startTimeNs = 1600000000123456789;
  station.sampleRate = 20.0;
  for (XgenSignal signal : {XgenSignal::kNoise, XgenSignal::kEvents, XgenSignal::kFullRange,
                            XgenSignal::kConstant, XgenSignal::kSteps}) {
    for (char order : {'I', 'M'}) {
      SCOPED_TRACE(std::string(XgenSignalName(signal)) + " " + order);
      const std::vector<int32_t> samples = XgenMakeSignal(signal, 9000, 7);
      ASSERT_EQ(samples.size(), 9000u);
      const std::string path = dir_ / "X0001";
      std::string error;
      ASSERT_TRUE(XgenWriteSamples(path.c_str(), samples, station, order, &error)) << error;

      XContents x;
      ASSERT_TRUE(ReadXFile(path, &x));
      EXPECT_EQ(x.samples, samples);
      EXPECT_EQ(x.record.sampleCount, 9000u);
      EXPECT_EQ(Text(x.record.network, 2), "GE");
      EXPECT_EQ(Text(x.record.station, 5), "ABCDE");
      EXPECT_EQ(Text(x.record.location, 2), "");
      EXPECT_EQ(Text(x.record.channel, 3), "BHN");
      EXPECT_EQ(int64_t{x.record.startTimeNs}, station.startTimeNs);
      EXPECT_EQ(double{x.record.sampleRate}, 20.0);
      EXPECT_STREQ(x.record.fileType, "XFILE");
      EXPECT_EQ(x.record.formatVersion, 1);
      EXPECT_EQ(x.format.byteOrder, order);
      const auto size = std::filesystem::file_size(path);
      EXPECT_EQ(x.leading.aux, size - 16);
      EXPECT_EQ(x.xblocksTag.aux * kXBlockSize, x.blocks.size());
      EXPECT_EQ(x.xblocksTag.length, x.blocks.size());
      EXPECT_EQ(XgenSumBlockCounts(x.blocks, order == 'M'), 9000u);
    }
  }
}

TEST(XgenSignalTest, SignalsAreDeterministicAndShapedAsNamed) {
  EXPECT_EQ(XgenMakeSignal(XgenSignal::kNoise, 1000, 3), XgenMakeSignal(XgenSignal::kNoise, 1000, 3));
  EXPECT_NE(XgenMakeSignal(XgenSignal::kNoise, 1000, 3), XgenMakeSignal(XgenSignal::kNoise, 1000, 4));
  const std::vector<int32_t> full = XgenMakeSignal(XgenSignal::kFullRange, 10, 1);
  EXPECT_EQ(full[0], std::numeric_limits<int32_t>::min());
  EXPECT_EQ(full[1], std::numeric_limits<int32_t>::max());
  EXPECT_EQ(XgenMakeSignal(XgenSignal::kConstant, 3, 0xFFFFFFFF),
            std::vector<int32_t>(3, -1));
  // Events reach past 16-bit differences; noise stays small.
  int64_t largestStep = 0;
  const std::vector<int32_t> events = XgenMakeSignal(XgenSignal::kEvents, 20000, 1);
  for (size_t i = 1; i < events.size(); ++i) {
    largestStep = std::max<int64_t>(largestStep, std::abs(int64_t{events[i]} - events[i - 1]));
  }
  EXPECT_GT(largestStep, 32767);
}

// A block may be told to report another count than it holds; the header's
// count is what the decoder returns.
TEST_F(XgenTest, BlocksCanBeLimitedAndTheirCountsChanged) {
  const std::vector<int32_t> samples = XgenMakeSignal(XgenSignal::kSteps, 250, 1);
  Bytes blocks;
  std::string error;
  ASSERT_TRUE(XgenEncodeBlocks(samples, XgenStation{}, true, &blocks, &error, 100)) << error;
  ASSERT_EQ(XgenBlockTotal(blocks), 3u);
  EXPECT_EQ(XgenBlockCount(blocks, 2, true), 50);
  XgenSetBlockCount(blocks, 1, 150, true);
  EXPECT_EQ(XgenBlockCount(blocks, 1, true), 150);
  const std::string path = dir_ / "X0002";
  ASSERT_TRUE(XgenWriteXFile(path.c_str(), XgenMakeRecord(XgenStation{}, 300), 'M', blocks,
                             &error))
      << error;
  XContents x;
  ASSERT_TRUE(ReadXFile(path, &x));
  EXPECT_EQ(x.record.sampleCount, 300u);
  EXPECT_EQ(x.samples.size(), 300u);  // 100 + 150 (reported) + 50
  EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + 100, x.samples.begin()));
}

TEST_F(XgenTest, RawSamplesRoundTripThroughTheTool) {
  const std::vector<int32_t> samples = XgenMakeSignal(XgenSignal::kFullRange, 5000, 9);
  testfs::WriteFile(dir_ / "raw.bin", RawBytes(samples));
  for (const char* order : {"I", "M"}) {
    SCOPED_TRACE(order);
    const testfs::RunResult run = Run({"--from-raw", "raw.bin", "--order", order, "--station",
                                       "RAW", "--start=2020-02-29T23:59:59.5Z", "--rate", "0.5",
                                       "X0003"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    XContents x;
    ASSERT_TRUE(ReadXFile(dir_ / "X0003", &x));
    EXPECT_EQ(x.samples, samples);
    EXPECT_EQ(x.format.byteOrder, order[0]);
    EXPECT_EQ(Text(x.record.station, 5), "RAW");
    EXPECT_EQ(double{x.record.sampleRate}, 0.5);
    int64_t start = 0;
    ASSERT_TRUE(XgenParseTime("2020-02-29T23:59:59.5", &start));
    EXPECT_EQ(int64_t{x.record.startTimeNs}, start);
  }
}

TEST_F(XgenTest, SyntheticSignalThroughTheTool) {
  const testfs::RunResult run =
      Run({"--signal", "events", "--samples", "12345", "--seed", "5", "X0004"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("12345 samples"), std::string::npos);
  XContents x;
  ASSERT_TRUE(ReadXFile(dir_ / "X0004", &x));
  EXPECT_EQ(x.samples, XgenMakeSignal(XgenSignal::kEvents, 12345, 5));
  EXPECT_EQ(x.format.byteOrder, 'I');
}

// SEED records are wrapped byte for byte; the header record comes from the
// first record.
TEST_F(XgenTest, SeedRecordsAreWrappedAsTheyAre) {
  XgenStation station;
  station.network = "IU";
  station.station = "ANMO";
  station.location = "10";
  station.channel = "LHZ";
  ASSERT_TRUE(XgenParseTime("2023-05-06T07:08:09.1234", &station.startTimeNs));
  const std::vector<int32_t> samples = XgenMakeSignal(XgenSignal::kEvents, 8000, 2);
  for (const double rate : {1.0, 20.5, 0.1}) {
    for (const bool big : {false, true}) {
      SCOPED_TRACE(std::to_string(rate) + (big ? " big" : " little"));
      station.sampleRate = rate;
      Bytes records;
      std::string error;
      ASSERT_TRUE(XgenEncodeBlocks(samples, station, big, &records, &error)) << error;
      testfs::WriteFile(dir_ / "records.mseed", records);
      const testfs::RunResult run = Run({"--from-records", "records.mseed", "X0005"});
      ASSERT_EQ(run.exitCode, 0) << run.err;

      XContents x;
      ASSERT_TRUE(ReadXFile(dir_ / "X0005", &x));
      EXPECT_EQ(x.blocks, records);
      EXPECT_EQ(x.samples, samples);
      EXPECT_EQ(x.record.sampleCount, 8000u);
      EXPECT_EQ(x.format.byteOrder, big ? 'M' : 'I');
      EXPECT_EQ(Text(x.record.network, 2), "IU");
      EXPECT_EQ(Text(x.record.station, 5), "ANMO");
      EXPECT_EQ(Text(x.record.location, 2), "10");
      EXPECT_EQ(Text(x.record.channel, 3), "LHZ");
      EXPECT_EQ(int64_t{x.record.startTimeNs}, station.startTimeNs);
      EXPECT_DOUBLE_EQ(double{x.record.sampleRate}, rate);
    }
  }
}

// The first record's time correction counts unless its activity flags say it
// is applied; blockette 1001 adds microseconds.
TEST(XgenRecordsTest, StartTimeTakesCorrectionAndMicroseconds) {
  XgenStation station;
  station.startTimeNs = 1000000000000000000;  // 2001-09-09T01:46:40
  Bytes records;
  std::string error;
  ASSERT_TRUE(XgenEncodeBlocks(XgenMakeSignal(XgenSignal::kNoise, 100, 1), station, true,
                               &records, &error));
  const struct {
    const char* name;
    uint8_t flags;
    int32_t correction;  // 1/10000 s
    int8_t microseconds;
    int64_t offsetNs;
  } cases[] = {{"correction not applied", 0x00, -25000, 0, -2500000000},
               {"correction applied", 0x02, -25000, 0, 0},
               {"blockette 1001", 0x00, 0, -7, -7000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes changed = records;
    changed[36] = c.flags;
    const auto correction = static_cast<uint32_t>(c.correction);
    for (int i = 0; i < 4; ++i) changed[40 + i] = static_cast<uint8_t>(correction >> (24 - 8 * i));
    if (c.microseconds != 0) {
      changed[39] = 2;
      changed[51] = 56;  // blockette 1000's next: 1001 at 56
      const uint8_t b1001[8] = {0x03, 0xE9, 0, 0, 0, static_cast<uint8_t>(c.microseconds), 0, 0};
      std::memcpy(&changed[56], b1001, 8);
    }
    XgenRecordInfo info;
    ASSERT_TRUE(XgenInspectRecords(changed, &info, &error)) << error;
    EXPECT_EQ(info.station.startTimeNs, station.startTimeNs + c.offsetNs);
  }
}

TEST_F(XgenTest, InputItCannotUseEndsWithExitCode2) {
  XgenStation station;
  Bytes good;
  std::string error;
  ASSERT_TRUE(XgenEncodeBlocks(XgenMakeSignal(XgenSignal::kNoise, 5000, 1), station, false,
                               &good, &error));
  auto changed = [&](size_t offset, uint8_t value) {
    Bytes bytes = good;
    bytes[offset] = value;
    return bytes;
  };
  Bytes random(8192);
  for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<uint8_t>(i * 37 + 11);
  const struct {
    const char* name;
    const char* option;
    Bytes input;
    const char* says;
  } cases[] = {
      {"records of 512 bytes", "--from-records", Bytes(good.begin(), good.begin() + 4096 + 512),
       "4096-byte records"},
      {"Steim-2 records", "--from-records", changed(52, 11), "is not Steim-1"},
      {"record length 512 in blockette 1000", "--from-records", changed(54, 9), "not 4096"},
      {"no blockette 1000", "--from-records", changed(46, 0), "no blockette 1000"},
      {"data at offset 48", "--from-records", changed(44, 48), "not 64"},
      {"not a data record", "--from-records", changed(6, 'V'), "not a data record"},
      {"second record in the other byte order", "--from-records", changed(4096 + 20, 0x07),
       "record 2"},
      {"random bytes", "--from-records", random, "no plausible start time"},
      {"empty records file", "--from-records", {}, "not a whole number"},
      {"raw of 7 bytes", "--from-raw", Bytes(7, 1), "not a whole number of 4-byte samples"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testfs::WriteFile(dir_ / "input", c.input);
    const testfs::RunResult run = Run({c.option, "input", "X0006"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "X0006"));
  }
  for (const char* option : {"--from-records", "--from-raw"}) {
    const testfs::RunResult run = Run({option, "missing-file", "X0006"});
    EXPECT_EQ(run.exitCode, 2) << option;
    EXPECT_NE(run.err.find("missing-file"), std::string::npos) << run.err;
  }
}

TEST_F(XgenTest, CommandLineErrorsEndWithExitCode1) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--bogus", "X"},
      {"--order", "Q", "X"},
      {"--station", "TOOLONG", "X"},
      {"--rate", "0", "X"},
      {"--rate", "fast", "X"},
      {"--start", "2023-02-29T00:00:00", "X"},
      {"--samples", "-5", "X"},
      {"--signal", "sine", "X"},
      {"--signal", "noise", "--from-raw", "r", "X"},
      {"--from-records", "r", "--order", "M", "X"},
      {"X", "Y"},
      {"--samples"},
  };
  for (const std::vector<std::string>& args : cases) {
    const testfs::RunResult run = Run(args);
    EXPECT_EQ(run.exitCode, 1) << ::testing::PrintToString(args);
    EXPECT_NE(run.err.find("xgen: "), std::string::npos);
  }
  const testfs::RunResult help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("Usage: xgen [OPTIONS] OUTPUT"), std::string::npos);
}

TEST_F(XgenTest, UnwritableOutputEndsWithExitCode3) {
  const testfs::RunResult run = Run({"no-such-dir/X0007"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.err.find("no-such-dir/X0007"), std::string::npos);
}

TEST(XgenTimeTest, ParsesUtcTimes) {
  const struct {
    const char* text;
    bool ok;
    int64_t ns;
  } cases[] = {
      {"1970-01-01T00:00:00Z", true, 0},
      {"1969-12-31T23:59:59.999999999", true, -1},
      {"2024-02-29 12:34:56.789", true, 1709210096789000000},
      {"2000-03-01T00:00:00", true, 951868800000000000},
      {"2023-02-29T00:00:00", false, 0},
      {"2023-01-01T24:00:00", false, 0},
      {"2023-01-01", false, 0},
      {"2023-01-01T00:00:00.", false, 0},
      {"2023-01-01T00:00:00.1234567890", false, 0},
      {"2023-01-01T00:00:00+01", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int64_t ns = 42;
    EXPECT_EQ(XgenParseTime(c.text, &ns), c.ok);
    if (c.ok) {
      EXPECT_EQ(ns, c.ns);
    }
  }
}

}  // namespace
