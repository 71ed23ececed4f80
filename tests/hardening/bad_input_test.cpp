// Bad input through the quorvale program: one batch per case, made of two good
// X-files (one in each byte order) and the bad entry. Every case must end with
// exit code 0 and the expected messages, convert the good X-files exactly,
// leave the bad one's Y file in the expected state and every X-file unchanged.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "hardening_support.h"
#include "steim.h"
#include "test_files.h"
#include "xgen.h"

namespace {

namespace fs = std::filesystem;
using hardening::Good;
using hardening::YState;
using Bytes = std::vector<uint8_t>;
using Samples = std::vector<int32_t>;

// The base of most bad files: 2400 samples in three XBlocks of 800, with
// 8-, 16- and 32-bit differences.
constexpr uint32_t kPerBlock = 800;
const Samples kBase = XgenMakeSignal(XgenSignal::kEvents, 3 * kPerBlock, 2);
constexpr size_t kBlock0 = hardening::kBodyOffset;
constexpr size_t BlockAt(size_t index) { return kBlock0 + kXBlockSize * index; }

Bytes Base(char order) { return hardening::MakeXFile(kBase, order, kPerBlock); }

// A file long enough to be read ahead by a second thread, in several turns
// of its ring: 300 XBlocks of 40 samples.
constexpr uint32_t kLongPerBlock = 40;
constexpr uint32_t kLongBlocks = 300;
const Samples kLong = XgenMakeSignal(XgenSignal::kNoise, kLongBlocks * kLongPerBlock, 4);
Bytes Long(char order) { return hardening::MakeXFile(kLong, order, kLongPerBlock); }

Samples Part(const Samples& s, size_t from, size_t to) {
  return Samples(s.begin() + static_cast<long>(from), s.begin() + static_cast<long>(to));
}
Samples Join(std::initializer_list<Samples> parts) {
  Samples all;
  for (const Samples& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
const Samples kFirstTwo = Part(kBase, 0, 2 * kPerBlock);
const Samples kNone;

Bytes Cut(Bytes x, size_t size) {
  x.resize(size);
  return x;
}
Bytes Flip(Bytes x, size_t offset, uint8_t bits) {
  x[offset] ^= bits;
  return x;
}
Bytes SetCount(Bytes x, uint32_t count) {
  StoreLE32(&x[hardening::kCountOffset], count);
  return x;
}
Bytes SetBlockCount(Bytes x, size_t block, uint16_t count, char order) {
  XgenSetBlockCount(std::span(x).subspan(kBlock0), block, count, order == 'M');
  return x;
}
// The least significant bit of X0, the first sample of a block.
Bytes FlipX0(Bytes x, char order, size_t block = 0) {
  return Flip(std::move(x), BlockAt(block) + kSteimX0Offset + (order == 'M' ? 3 : 0), 1);
}
Bytes SetAnnounced(Bytes x, uint32_t blocks) {
  StoreLE32(&x[152], blocks);
  return x;
}
// kLong with the samples of XBlock `block` (0-based) moved as X0 ^ 1 moves them.
Samples LongX0Flipped(size_t block) {
  Samples s = kLong;
  const int32_t x0 = kLong[block * kLongPerBlock];
  for (size_t i = 0; i < kLongPerBlock; ++i) s[block * kLongPerBlock + i] += (x0 ^ 1) - x0;
  return s;
}
Bytes FillBlock(Bytes x, size_t block, uint32_t seed) {
  std::mt19937 random(seed);
  for (size_t i = 0; i < kXBlockSize; ++i) {
    x[BlockAt(block) + i] = seed == 0 ? 0 : static_cast<uint8_t>(random());
  }
  return x;
}
Bytes Random(size_t size) {
  std::mt19937 random(5);
  Bytes bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// A well-formed XBlock of `value` repeated 3772 times whose control word also
// gives words 1 and 2 of frame 1 (X0 and Xn) code 1, so it yields 3780
// samples: X0's four bytes, then Xn's, as 8-bit differences, then the rest.
Bytes FullestBlock(uint16_t count) {
  Bytes x = hardening::MakeXFile(Samples(kSteimMaxEncoded, 9), 'I');
  uint8_t* control = &x[BlockAt(0) + 64];
  StoreLE32(control, LoadLE32(control) | 0x14000000u);
  x = SetBlockCount(std::move(x), 0, count, 'I');
  return SetCount(std::move(x), count);
}
Samples FullestSamples() {
  Samples s(4, 18);
  s.resize(kSteimMaxSamples, 27);
  return s;
}

const std::string kHeadRefused = "WARNING: Reading Y file Header failed on x/Xbad, file skipped";
std::string ReadFailed(int block) {
  return "WARNING: Reading XBlock data failed on x/Xbad, file skipped (x/Xbad, XBlock " +
         std::to_string(block) + ")";
}
std::string CountWarning(unsigned decoded, unsigned header, int block) {
  return "Steim block contains " + std::to_string(decoded) + " samples not correct " +
         std::to_string(header) + " (x/Xbad, XBlock " + std::to_string(block) + ")";
}
std::string FinalWarning(int32_t running, int32_t xn, int block) {
  return "Steim block calculated final value " + std::to_string(running) + " not correct " +
         std::to_string(xn) + " (x/Xbad, XBlock " + std::to_string(block) + ")";
}

// What a case puts into the X directory besides the two good files.
struct Batch {
  fs::path x;
  std::vector<Good> good;
  Bytes bad;  // the bytes written to x/Xbad
};

struct Case {
  const char* name;
  std::function<void(Batch&)> make;
  std::vector<std::string> messages;  // each on standard error; none: standard error empty
  YState y;                           // of Ybad; kAbsent when there is no x/Xbad
  std::optional<Samples> ysamples;    // what Ybad holds, where it is known
};

// A case whose bad entry is the X-file `bytes`.
std::function<void(Batch&)> Bad(std::function<Bytes()> bytes) {
  return [bytes](Batch& batch) {
    batch.bad = bytes();
    testfs::WriteFile((batch.x / "Xbad").string(), batch.bad);
  };
}

const Case kCases[] = {
    // Cut at every structural boundary.
    {"cut inside the leading tag", Bad([] { return Cut(Base('I'), 8); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"cut inside the type-5 tag", Bad([] { return Cut(Base('I'), 20); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"cut inside the header record", Bad([] { return Cut(Base('I'), 60); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"cut inside the type-6 tag", Bad([] { return Cut(Base('I'), 100); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"cut inside the data-format record", Bad([] { return Cut(Base('I'), 130); }),
     {kHeadRefused}, YState::kEmpty, {}},
    {"cut inside the type-23 tag", Bad([] { return Cut(Base('I'), 150); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"cut after the type-23 tag", Bad([] { return Cut(Base('I'), 160); }), {ReadFailed(1)},
     YState::kUnfinished, kNone},
    {"cut inside the first XBlock", Bad([] { return Cut(Base('M'), BlockAt(0) + 2000); }),
     {ReadFailed(1)}, YState::kUnfinished, kNone},
    {"cut inside the last XBlock, little-endian", Bad([] { return Cut(Base('I'), BlockAt(2) + 1); }),
     {ReadFailed(3)}, YState::kUnfinished, kFirstTwo},
    {"cut inside the last XBlock, big-endian", Bad([] { return Cut(Base('M'), BlockAt(3) - 1); }),
     {ReadFailed(3)}, YState::kUnfinished, kFirstTwo},

    // Flipped bits in tags and the header record.
    {"leading tag signature", Bad([] { return Flip(Base('I'), 0, 0x01); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"leading tag type", Bad([] { return Flip(Base('I'), 2, 0x01); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"leading tag length", Bad([] { return Flip(Base('I'), 5, 0x01); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"type-5 tag type", Bad([] { return Flip(Base('I'), 18, 0x01); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"type-5 tag length", Bad([] { return Flip(Base('I'), 20, 0x01); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"type-6 tag signature", Bad([] { return Flip(Base('I'), 97, 0x20); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"type-6 tag length", Bad([] { return Flip(Base('I'), 103, 0x80); }),
     {kHeadRefused}, YState::kEmpty, {}},
    {"type-23 tag type", Bad([] { return Flip(Base('I'), 146, 0x01); }), {kHeadRefused},
     YState::kEmpty, {}},
    {"type-23 tag length is not read", Bad([] { return Flip(Base('I'), 149, 0x10); }), {},
     YState::kFinished, kBase},
    {"type-23 tag aux is carried to the data tag", Bad([] { return Flip(Base('M'), 152, 0x40); }),
     {}, YState::kFinished, kBase},
    {"type-23 tag aux 1, fewer than the XBlocks that follow",
     Bad([] { return Flip(Base('I'), 152, 0x02); }), {}, YState::kFinished, kBase},
    {"type-23 tag aux 0", Bad([] { return Flip(Base('M'), 152, 0x03); }), {}, YState::kFinished,
     kBase},
    {"station code in the header record", Bad([] { return Flip(Base('I'), 34, 0x01); }), {},
     YState::kFinished, kBase},
    {"sample count one more", Bad([] { return Flip(Base('I'), 64, 0x01); }), {ReadFailed(4)},
     YState::kUnfinished, kBase},
    {"sample count 32 less: the last block overshoots",
     Bad([] { return Flip(Base('I'), 64, 0x20); }), {ReadFailed(4)}, YState::kUnfinished, kBase},
    {"sample count 2^31 more", Bad([] { return Flip(Base('M'), 67, 0x80); }), {ReadFailed(4)},
     YState::kUnfinished, kBase},
    {"encoding no longer Steim-1", Bad([] { return Flip(Base('I'), 112, 0x02); }),
     {kHeadRefused}, YState::kEmpty, {}},
    {"byte-order code I becomes H: blocks read reversed",
     Bad([] { return Flip(Base('I'), 128, 0x01); }),
     {"(x/Xbad, XBlock 1)", ReadFailed(4)}, YState::kUnfinished, {}},

    // Flipped bits in XBlock headers.
    {"block count one more, little-endian",
     Bad([] { return SetBlockCount(Base('I'), 1, kPerBlock + 1, 'I'); }),
     {CountWarning(kPerBlock, kPerBlock + 1, 2), ReadFailed(4)}, YState::kUnfinished,
     Join({kFirstTwo, {0}, Part(kBase, 2 * kPerBlock, 3 * kPerBlock)})},
    {"block count one more, big-endian",
     Bad([] { return SetBlockCount(Base('M'), 1, kPerBlock + 1, 'M'); }),
     {CountWarning(kPerBlock, kPerBlock + 1, 2), ReadFailed(4)}, YState::kUnfinished,
     Join({kFirstTwo, {0}, Part(kBase, 2 * kPerBlock, 3 * kPerBlock)})},
    {"block count 256 less: decoding stops early",
     Bad([] { return SetBlockCount(Base('M'), 1, kPerBlock ^ 0x100, 'M'); }),
     {FinalWarning(kBase[kPerBlock + (kPerBlock ^ 0x100) - 1], kBase[2 * kPerBlock - 1], 2),
      ReadFailed(4)},
     YState::kUnfinished,
     Join({Part(kBase, 0, kPerBlock + (kPerBlock ^ 0x100)),
           Part(kBase, 2 * kPerBlock, 3 * kPerBlock)})},
    {"first sample X0 off by one",
     Bad([] { return FlipX0(Base('I'), 'I'); }),
     {FinalWarning(kBase[kPerBlock - 1] + ((kBase[0] ^ 1) - kBase[0]), kBase[kPerBlock - 1], 1)},
     YState::kFinished,
     [] {
       Samples s = kBase;
       for (size_t i = 0; i < kPerBlock; ++i) s[i] += (kBase[0] ^ 1) - kBase[0];
       return s;
     }()},
    {"first sample X0 off by one, big-endian",
     Bad([] { return FlipX0(Base('M'), 'M'); }),
     {FinalWarning(kBase[kPerBlock - 1] + ((kBase[0] ^ 1) - kBase[0]), kBase[kPerBlock - 1], 1)},
     YState::kFinished,
     [] {
       Samples s = kBase;
       for (size_t i = 0; i < kPerBlock; ++i) s[i] += (kBase[0] ^ 1) - kBase[0];
       return s;
     }()},
    {"SEED header bytes are not read", Bad([] { return Flip(Base('I'), BlockAt(0) + 2, 0x01); }),
     {}, YState::kFinished, kBase},
    {"bits 31-30 of a control word are ignored",
     Bad([] { return Flip(Base('M'), BlockAt(2) + 64, 0xC0); }), {}, YState::kFinished, kBase},

    // Zero-filled and random XBlocks.
    {"zero-filled XBlock", Bad([] { return FillBlock(Base('I'), 1, 0); }), {ReadFailed(4)},
     YState::kUnfinished, Join({Part(kBase, 0, kPerBlock), Part(kBase, 2 * kPerBlock, 3 * kPerBlock)})},
    {"zero-filled XBlock, big-endian", Bad([] { return FillBlock(Base('M'), 0, 0); }),
     {ReadFailed(4)}, YState::kUnfinished, Part(kBase, kPerBlock, 3 * kPerBlock)},
    {"random XBlock", Bad([] { return FillBlock(Base('I'), 1, 1); }),
     {"(x/Xbad, XBlock 2)", ReadFailed(4)}, YState::kUnfinished, {}},
    {"random XBlock, big-endian", Bad([] { return FillBlock(Base('M'), 2, 2); }),
     {"(x/Xbad, XBlock 3)", ReadFailed(4)}, YState::kUnfinished, {}},

    // Sample counts.
    {"sample count 0 although XBlocks follow", Bad([] { return SetCount(Base('I'), 0); }), {},
     YState::kFinished, kNone},
    {"one sample", Bad([] { return hardening::MakeXFile({-7}, 'M'); }), {}, YState::kFinished,
     Samples{-7}},
    {"3772 samples: one full well-formed block",
     Bad([] { return hardening::MakeXFile(Samples(3772, -3), 'I'); }), {}, YState::kFinished,
     Samples(3772, -3)},
    {"3773 samples: two blocks",
     Bad([] { return hardening::MakeXFile(Samples(3773, 11), 'M'); }), {}, YState::kFinished,
     Samples(3773, 11)},
    {"3780 samples: X0 and Xn decoded as differences", Bad([] { return FullestBlock(3780); }),
     {FinalWarning(27, 9, 1)}, YState::kFinished, FullestSamples()},
    {"3781 samples claimed by a block that holds 3780", Bad([] { return FullestBlock(3781); }),
     {CountWarning(3780, 3781, 1), FinalWarning(27, 9, 1)}, YState::kFinished,
     Join({FullestSamples(), {0}})},
    {"65535 samples claimed by a block that holds 800",
     Bad([] {
       return SetCount(SetBlockCount(Base('M'), 0, 65535, 'M'), 65535 + 2 * kPerBlock);
     }),
     {CountWarning(kPerBlock, 65535, 1)}, YState::kFinished,
     Join({Part(kBase, 0, kPerBlock), Samples(65535 - kPerBlock, 0),
           Part(kBase, kPerBlock, 3 * kPerBlock)})},
    {"sample count 2^32-1", Bad([] { return SetCount(Base('I'), UINT32_MAX); }), {ReadFailed(4)},
     YState::kUnfinished, kBase},
    {"overshooting last block", Bad([] { return SetCount(Base('M'), 2000); }), {ReadFailed(4)},
     YState::kUnfinished, kBase},

    // Long files, read ahead: the same end, messages and samples.
    {"long file, cut inside XBlock 290",
     Bad([] { return Cut(Long('M'), BlockAt(289) + 100); }), {ReadFailed(290)},
     YState::kUnfinished, Part(kLong, 0, 289 * kLongPerBlock)},
    {"long file announcing far more XBlocks than follow",
     Bad([] { return SetCount(SetAnnounced(Long('I'), 100000), kLongBlocks * kLongPerBlock + 1); }),
     {ReadFailed(kLongBlocks + 1)}, YState::kUnfinished, kLong},
    {"long file announcing fewer XBlocks than follow",
     Bad([] { return SetAnnounced(Long('M'), 70); }), {}, YState::kFinished, kLong},
    {"long file, X0 off by one in XBlocks 70 and 251",
     Bad([] { return FlipX0(FlipX0(Long('I'), 'I', 250), 'I', 69); }),
     {FinalWarning(kLong[70 * kLongPerBlock - 1] + ((kLong[69 * kLongPerBlock] ^ 1) -
                                                    kLong[69 * kLongPerBlock]),
                   kLong[70 * kLongPerBlock - 1], 70),
      FinalWarning(kLong[251 * kLongPerBlock - 1] + ((kLong[250 * kLongPerBlock] ^ 1) -
                                                     kLong[250 * kLongPerBlock]),
                   kLong[251 * kLongPerBlock - 1], 251)},
     YState::kFinished,
     [] {
       Samples s = LongX0Flipped(250);
       const Samples first = LongX0Flipped(69);
       std::copy(first.begin() + 69 * kLongPerBlock, first.begin() + 70 * kLongPerBlock,
                 s.begin() + 69 * kLongPerBlock);
       return s;
     }()},

    // Not X-files at all.
    {"garbage", Bad([] { return Random(5000); }), {kHeadRefused}, YState::kEmpty, {}},
    {"empty file", Bad([] { return Bytes{}; }), {kHeadRefused}, YState::kEmpty, {}},

    // Entries that are not regular files are passed over without a word.
    {"a directory", [](Batch& b) { fs::create_directory(b.x / "Xdir"); }, {}, YState::kAbsent, {}},
    {"symbolic link loops and a dangling link",
     [](Batch& b) {
       fs::create_symlink("Xloop", b.x / "Xloop");
       fs::create_symlink("Xping", b.x / "Xpong");
       fs::create_symlink("Xpong", b.x / "Xping");
       fs::create_symlink(".", b.x / "Xhere");
       fs::create_symlink("missing", b.x / "Xdangling");
     },
     {}, YState::kAbsent, {}},
    {"a named pipe", [](Batch& b) { ASSERT_EQ(mkfifo((b.x / "Xfifo").c_str(), 0600), 0); }, {},
     YState::kAbsent, {}},
    {"a pattern matching thousands of files",
     [](Batch& b) {
       for (int i = 0; i < 3000; ++i) {
         char name[16];
         std::snprintf(name, sizeof name, "X%04d", i);
         const Samples samples{i * 7 - 5000};
         testfs::WriteFile((b.x / name).string(),
                           hardening::MakeXFile(samples, i % 2 == 0 ? 'I' : 'M'));
         b.good.push_back({name, samples});
       }
     },
     {}, YState::kAbsent, {}},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class BadInput : public testing::TestWithParam<Case> {};

TEST_P(BadInput, BatchGoesOn) {
  const Case& c = GetParam();
  testfs::TempDir dir;
  Batch batch{dir.path() / "x", {}, {}};
  fs::create_directory(batch.x);
  fs::create_directory(dir.path() / "y");
  batch.good = {{"X00good", XgenMakeSignal(XgenSignal::kFullRange, 5000, 3)},
                {"Xzzgood", XgenMakeSignal(XgenSignal::kNoise, 4000, 4)}};
  testfs::WriteFile((batch.x / "X00good").string(), hardening::MakeXFile(batch.good[0].samples, 'I'));
  testfs::WriteFile((batch.x / "Xzzgood").string(), hardening::MakeXFile(batch.good[1].samples, 'M'));
  c.make(batch);
  const auto before = hardening::Snapshot(batch.x);

  const testfs::RunResult run =
      testfs::RunProgram(QUORVALE_BIN, {"-i", "x/X*", "-o", "y"}, dir.path().string());

  EXPECT_EQ(run.exitCode, 0);
  if (c.messages.empty()) {
    EXPECT_EQ(run.err, "");
  }
  for (const std::string& message : c.messages) {
    EXPECT_NE(run.err.find(message), std::string::npos) << message << "\nnot in:\n" << run.err;
  }
  unsigned long long samples = 0;
  for (const Good& g : batch.good) {
    hardening::ExpectY((dir.path() / "y" / hardening::YName(g.name)).string(), YState::kFinished,
                       before.at(g.name), g.samples);
    samples += g.samples.size();
  }
  hardening::ExpectY((dir.path() / "y/Ybad").string(), c.y, batch.bad, c.ysamples);
  EXPECT_EQ(hardening::Snapshot(batch.x), before);

  const bool badFinished = c.y == YState::kFinished;
  if (badFinished) samples += c.ysamples->size();
  const std::string totals =
      "Done: " + std::to_string(batch.good.size() + (badFinished ? 1 : 0)) +
      " X-files converted, " +
      std::to_string(c.y == YState::kAbsent || badFinished ? 0 : 1) + " skipped, " +
      std::to_string(samples) + " samples written";
  EXPECT_NE(run.out.find(totals), std::string::npos) << totals << "\nnot in:\n" << run.out;
  // Nothing but the Y files of the batch lands in the output directory.
  size_t outputs = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path() / "y")) ++outputs;
  EXPECT_EQ(outputs, batch.good.size() + (c.y == YState::kAbsent ? 0 : 1));
}

std::string CaseName(const testing::TestParamInfo<Case>& info) {
  std::string name;
  for (const char* p = info.param.name; *p != '\0'; ++p) {
    name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  }
  return std::to_string(info.index) + "_" + name;
}

INSTANTIATE_TEST_SUITE_P(Matrix, BadInput, testing::ValuesIn(kCases), CaseName);

}  // namespace
