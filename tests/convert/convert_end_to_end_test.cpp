// The conversion end to end: X-files made with xgen, converted by the quorvale
// program, the Y files read back byte by byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert_test_support.h"
#include "test_files.h"
#include "xgen.h"
#include "ydump_file.h"

namespace {

namespace fs = std::filesystem;
using convtest::Blocks;
using convtest::Concat;
using convtest::ReadYFile;
using convtest::WriteXFile;

testfs::RunResult Convert(const testfs::TempDir& dir, const std::string& pattern,
                          const std::string& output) {
  return testfs::RunProgram(QUORVALE_BIN, {"-i", pattern, "-o", output}, dir.path().string());
}

std::string Totals(unsigned converted, unsigned skipped, unsigned long long samples) {
  return "Done: " + std::to_string(converted) + " X-files converted, " + std::to_string(skipped) +
         " skipped, " + std::to_string(samples) + " samples written";
}

std::vector<int32_t> Ramp(int32_t first, size_t count) {
  std::vector<int32_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = first + static_cast<int32_t>(i % 97) * 3;
  return samples;
}

// Every sample of a batch of X-files in three byte-order codes, among them
// one that is neither I nor M, comes back unchanged; an old, longer Y file
// is replaced, not overwritten in part; the X-files are not touched.
TEST(ConvertEndToEnd, BatchRoundTripInEveryByteOrder) {
  testfs::TempDir dir;
  fs::create_directory(dir.path() / "x");
  fs::create_directory(dir.path() / "y");
  struct Source {
    std::string name;
    XgenSignal signal;
    uint32_t count;
    char order;
    std::vector<int32_t> samples;
    std::vector<uint8_t> xbytes;
  };
  std::vector<Source> sources = {
      {"X01", XgenSignal::kFullRange, 9000, 'I', {}, {}},
      {"X02", XgenSignal::kFullRange, 9000, 'M', {}, {}},
      {"X03", XgenSignal::kEvents, 20000, 'I', {}, {}},
      {"X04", XgenSignal::kEvents, 20000, 'M', {}, {}},
      {"X05", XgenSignal::kNoise, 5000, 'Q', {}, {}},  // any code but I means big-endian
      {"X06", XgenSignal::kSteps, 1, 'M', {}, {}},
  };
  unsigned long long total = 0;
  for (Source& s : sources) {
    s.samples = XgenMakeSignal(s.signal, s.count, 7);
    std::string error;
    const std::string path = dir / ("x/" + s.name);
    ASSERT_TRUE(XgenWriteSamples(path.c_str(), s.samples, XgenStation{}, s.order, &error)) << error;
    s.xbytes = testfs::ReadFile(path);
    total += s.count;
  }
  testfs::WriteFile(dir / "y/Y01", std::vector<uint8_t>(1 << 20, 0xAB));

  const testfs::RunResult run = Convert(dir, "x/X*", "y");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find(Totals(6, 0, total)), std::string::npos) << run.out;
  for (const Source& s : sources) {
    SCOPED_TRACE(s.name);
    convtest::ExpectFinished(ReadYFile(dir / ("y/Y" + s.name.substr(1))), s.xbytes, s.samples);
    EXPECT_EQ(testfs::ReadFile(dir / ("x/" + s.name)), s.xbytes);
  }
}

// One X-file's layout and what the Y file must then hold.
struct Layout {
  uint32_t count = 0;             // sample count of the header record
  std::vector<uint8_t> blocks;    // XBlocks
  size_t cutBytes = 0;            // bytes cut off the end of the X-file
  std::vector<int32_t> ysamples;  // the samples the Y file must hold
  uint32_t announced = 0;         // nonzero: XBlocks the type-23 tag claims instead
};

struct EdgeCase {
  const char* name;
  std::function<Layout(bool bigEndian)> make;
  bool finished;        // complete Y file, or left after a failed read
  const char* warning;  // text that standard error must hold; null: no warning at all
};

std::vector<uint8_t> JoinBlocks(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::vector<int32_t> kA = Ramp(-1000, 300);
const std::vector<int32_t> kB = Ramp(5, 200);

const EdgeCase kEdgeCases[] = {
    {"count 0 reads no XBlock",
     [](bool be) {
       return Layout{0, Blocks(kA, be), 0, {}};
     },
     true, nullptr},
    {"a block of 0 samples adds nothing and the next is read",
     [](bool be) {
       std::vector<uint8_t> blocks =
           JoinBlocks({Blocks(kA, be), Blocks({5, 9}, be), Blocks(kB, be)});
       XgenSetBlockCount(blocks, 1, 0, be);
       return Layout{500, blocks, 0, Concat({kA, kB})};
     },
     true, "Steim block calculated final value 5 not correct 9"},
    {"XBlocks beyond the count are not read",
     [](bool be) {
       std::vector<uint8_t> blocks = JoinBlocks({Blocks(kA, be), Blocks(kB, be), Blocks(kA, be)});
       XgenSetBlockCount(blocks, 2, 5000, be);  // would be reported if it were read
       return Layout{500, blocks, 0, Concat({kA, kB})};
     },
     true, nullptr},
    {"a last block cut short ends the file",
     [](bool be) {
       return Layout{500, JoinBlocks({Blocks(kA, be), Blocks(kB, be)}), 1000, kA};
     },
     false, "WARNING: Reading XBlock data failed on x/X1, file skipped"},
    {"XBlocks that end before the count",
     [](bool be) {
       return Layout{700, JoinBlocks({Blocks(kA, be), Blocks(kB, be)}), 0, Concat({kA, kB})};
     },
     false, "WARNING: Reading XBlock data failed on x/X1, file skipped (x/X1, XBlock 3)"},
    {"an overshooting block is written whole, then reading goes on until it fails",
     [](bool be) {
       return Layout{400, JoinBlocks({Blocks(kA, be), Blocks(kB, be)}), 0, Concat({kA, kB})};
     },
     false, "WARNING: Reading XBlock data failed on x/X1, file skipped (x/X1, XBlock 3)"},
    {"samples a block claims but does not hold are zeros, not an earlier block's",
     [](bool be) {
       const std::vector<int32_t> first = Ramp(1000000, 3000);
       std::vector<uint8_t> blocks = JoinBlocks({Blocks(first, be, 3000), Blocks(kB, be)});
       EXPECT_EQ(XgenBlockTotal(blocks), 2u);
       XgenSetBlockCount(blocks, 1, 250, be);
       return Layout{3250, blocks, 0, Concat({first, kB, std::vector<int32_t>(50, 0)})};
     },
     true, "Steim block contains 200 samples not correct 250"},
    {"a block that claims more samples than the sample buffer holds",
     [](bool be) {
       std::vector<uint8_t> blocks = JoinBlocks({Blocks(kA, be), Blocks(kB, be)});
       XgenSetBlockCount(blocks, 1, 65535, be);
       return Layout{300 + 65535, blocks, 0, Concat({kA, kB, std::vector<int32_t>(65335, 0)})};
     },
     true, "Steim block contains 200 samples not correct 65535 (x/X1, XBlock 2)"},
    // Files of many blocks pass the boundaries of the conversion's bulk reads
    // and writes, also with a block whose zeros span several of them.
    {"many blocks, one of them claiming 65535 samples",
     [](bool be) {
       const std::vector<int32_t> all = Ramp(-7000, 300000);
       std::vector<uint8_t> blocks = Blocks(all, be, 3000);
       XgenSetBlockCount(blocks, 86, 65535, be);  // its zeros pass the Y file's first MiB
       const auto mid = all.begin() + 261000;
       const std::vector<int32_t> zeros(62535, 0);
       return Layout{300000 - 3000 + 65535, blocks, 0,
                     Concat({{all.begin(), mid}, zeros, {mid, all.end()}})};
     },
     true, "Steim block contains 3000 samples not correct 65535 (x/X1, XBlock 87)"},
    {"many blocks, cut short far into the file",
     [](bool be) {
       const std::vector<int32_t> all = Ramp(123, 300000);
       return Layout{300000, Blocks(all, be, 3000), 30 * 4096 + 1000,
                     {all.begin(), all.begin() + 69 * 3000}};
     },
     false, "WARNING: Reading XBlock data failed on x/X1, file skipped (x/X1, XBlock 70)"},
    {"a type-23 tag that announces fewer XBlocks than follow",
     [](bool be) {
       const std::vector<int32_t> all = Ramp(40, 30000);
       return Layout{30000, Blocks(all, be, 3000), 0, all, 1};
     },
     true, nullptr},
};

class ConvertEdgeCase : public ::testing::TestWithParam<std::tuple<size_t, bool>> {};

TEST_P(ConvertEdgeCase, YFileAndMessages) {
  const EdgeCase& edge = kEdgeCases[std::get<0>(GetParam())];
  const bool bigEndian = std::get<1>(GetParam());
  SCOPED_TRACE(edge.name);
  testfs::TempDir dir;
  fs::create_directory(dir.path() / "x");
  fs::create_directory(dir.path() / "y");
  const Layout layout = edge.make(bigEndian);
  const std::string xpath = dir / "x/X1";
  WriteXFile(xpath, layout.count, bigEndian ? 'M' : 'I', layout.blocks);
  if (layout.cutBytes != 0) fs::resize_file(xpath, fs::file_size(xpath) - layout.cutBytes);
  if (layout.announced != 0) {
    std::vector<uint8_t> bytes = testfs::ReadFile(xpath);
    StoreLE32(&bytes[convtest::kDataTagOffset + 4], layout.announced * 4096);
    StoreLE32(&bytes[convtest::kDataTagOffset + 8], layout.announced);
    testfs::WriteFile(xpath, bytes);
  }
  const std::vector<uint8_t> xbytes = testfs::ReadFile(xpath);

  const testfs::RunResult run = Convert(dir, "x/X*", "y");
  EXPECT_EQ(run.exitCode, 0);
  if (edge.warning == nullptr) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(edge.warning), std::string::npos) << run.err;
  }
  const convtest::YFile y = ReadYFile(dir / "y/Y1");
  if (edge.finished) {
    convtest::ExpectFinished(y, xbytes, layout.ysamples);
    EXPECT_NE(run.out.find(Totals(1, 0, layout.ysamples.size())), std::string::npos) << run.out;
  } else {
    convtest::ExpectUnfinished(y, layout.ysamples);
    EXPECT_NE(run.out.find(Totals(0, 1, 0)), std::string::npos) << run.out;
  }
  EXPECT_EQ(testfs::ReadFile(xpath), xbytes);
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, ConvertEdgeCase,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(kEdgeCases)),
                                            ::testing::Bool()));

// The statistics in the header record: signed comparisons, the mean
// truncated toward zero.
TEST(ConvertEndToEnd, StatisticsOfTheHeaderRecord) {
  struct Row {
    std::vector<int32_t> samples;
    int32_t mean, largest, smallest;
  };
  const Row rows[] = {
      {{-3, -4}, -3, -3, -4},
      {{3, 4}, 3, 4, 3},
      {{7}, 7, 7, 7},
      {{-1, 1}, 0, 1, -1},
      {{INT32_MIN, INT32_MAX}, 0, INT32_MAX, INT32_MIN},
      {{INT32_MAX, INT32_MAX, INT32_MAX}, INT32_MAX, INT32_MAX, INT32_MAX},
      {{INT32_MIN, INT32_MIN}, INT32_MIN, INT32_MIN, INT32_MIN},
  };
  testfs::TempDir dir;
  fs::create_directory(dir.path() / "x");
  fs::create_directory(dir.path() / "y");
  for (size_t i = 0; i < std::size(rows); ++i) {
    std::string error;
    const std::string path = dir / ("x/X" + std::to_string(i));
    ASSERT_TRUE(XgenWriteSamples(path.c_str(), rows[i].samples, XgenStation{}, 'I', &error));
  }
  const testfs::RunResult run = Convert(dir, "x/X*", "y");
  EXPECT_EQ(run.err, "");
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    const convtest::YFile y = ReadYFile(dir / ("y/Y" + std::to_string(i)));
    EXPECT_EQ(y.samples, rows[i].samples);
    EXPECT_EQ(y.record.mean, rows[i].mean);
    EXPECT_EQ(y.record.largest, rows[i].largest);
    EXPECT_EQ(y.record.smallest, rows[i].smallest);
  }
}

// A Y file that cannot be created: message 2 for each file, nothing created,
// the run goes on to its end.
TEST(ConvertEndToEnd, MissingOutputDirectory) {
  testfs::TempDir dir;
  fs::create_directory(dir.path() / "x");
  std::string error;
  for (const char* name : {"x/X1", "x/X2"}) {
    ASSERT_TRUE(XgenWriteSamples((dir / name).c_str(), kA, XgenStation{}, 'I', &error));
  }
  const std::vector<uint8_t> before = testfs::ReadFile(dir / "x/X1");
  const testfs::RunResult run = Convert(dir, "x/X*", "missing/");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.err.find("FATAL ERROR: YFileOpen failed on missing/Y1"), std::string::npos);
  EXPECT_NE(run.err.find("FATAL ERROR: YFileOpen failed on missing/Y2"), std::string::npos);
  EXPECT_NE(run.out.find(Totals(0, 2, 0)), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
  EXPECT_EQ(testfs::ReadFile(dir / "x/X1"), before);
}

// A Y path that leads to the X-file itself is refused before anything is
// opened for writing; the X-file stays as it was and the batch goes on.
TEST(ConvertEndToEnd, NeverOverwritesTheXFile) {
  struct Row {
    const char* name;
    const char* xname;                             // the X-file, in directory d
    std::function<void(const fs::path&)> prepare;  // sets up directory o
    const char* output;
  };
  const Row rows[] = {
      {"output directory is the input directory", "d/Yabc", [](const fs::path&) {}, "d"},
      {"Y path is a symbolic link to the X-file", "d/X1",
       [](const fs::path& root) { fs::create_symlink(root / "d/X1", root / "o/Y1"); }, "o"},
      {"Y path is a hard link to the X-file", "d/X1",
       [](const fs::path& root) { fs::create_hard_link(root / "d/X1", root / "o/Y1"); }, "o"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testfs::TempDir dir;
    fs::create_directory(dir.path() / "d");
    fs::create_directory(dir.path() / "o");
    std::string error;
    ASSERT_TRUE(XgenWriteSamples((dir / row.xname).c_str(), kA, XgenStation{}, 'I', &error));
    ASSERT_TRUE(XgenWriteSamples((dir / "d/X2").c_str(), kB, XgenStation{}, 'I', &error));
    row.prepare(dir.path());
    const std::vector<uint8_t> before = testfs::ReadFile(dir / row.xname);

    const testfs::RunResult run = Convert(dir, "d/[XY]*", row.output);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("is the X-file itself, file skipped"), std::string::npos) << run.err;
    EXPECT_EQ(testfs::ReadFile(dir / row.xname), before);
    EXPECT_EQ(ReadYFile(dir / (std::string(row.output) + "/Y2")).samples, kB);
    EXPECT_NE(run.out.find(Totals(1, 1, kB.size())), std::string::npos) << run.out;
  }
}

// The README's command on the shipped example X-files: every Y file passes
// the checks of ydump --verify.
TEST(ConvertEndToEnd, ShippedExamplesWithTheReadmeCommand) {
  const fs::path examples = fs::path(QUORVALE_SOURCE_DIR) / "examples/xdata";
  testfs::TempDir dir;
  fs::create_directory(dir.path() / "xdata");
  fs::create_directory(dir.path() / "ydata");
  size_t copied = 0;
  for (const auto& entry : fs::directory_iterator(examples)) {
    if (!entry.is_regular_file() || entry.path().filename().string().rfind('X', 0) != 0) continue;
    fs::copy_file(entry.path(), dir.path() / "xdata" / entry.path().filename());
    ++copied;
  }
  if (copied == 0) GTEST_SKIP() << "no example X-files in " << examples;

  const testfs::RunResult run = testfs::RunProgram(QUORVALE_BIN, {}, dir.path().string());
  EXPECT_EQ(run.exitCode, 0);
  const std::string done = "Done: " + std::to_string(copied) + " X-files converted, 0 skipped";
  EXPECT_NE(run.out.find(done), std::string::npos) << run.out;
  for (const auto& entry : fs::directory_iterator(dir.path() / "xdata")) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    EXPECT_EQ(testfs::ReadFile(entry.path().string()),
              testfs::ReadFile((examples / name).string()));
    std::string yname = name;
    yname[0] = 'Y';
    YdumpFile yfile;
    std::string error;
    ASSERT_TRUE(YdumpInspect((dir.path() / "ydata" / yname).string(), &yfile, &error)) << error;
    YdumpStats stats;
    std::vector<std::string> failures;
    EXPECT_TRUE(YdumpVerify(yfile, &stats, &failures)) << ::testing::PrintToString(failures);
  }
}

}  // namespace
