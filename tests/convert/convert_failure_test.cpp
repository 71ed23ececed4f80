// Every way a conversion can fail, in-process: the message (text, class,
// severity, status word, context), the Y file's state, and that buffers and
// files are released. Failures of seeks, tag and header-library calls,
// writes and the final close are injected through the conversion's seam.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert.h"
#include "convert_seam.h"
#include "convert_test_support.h"
#include "kelvast.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// The seam: fail call number `nth` of kind `call` with result `code`.
// ---------------------------------------------------------------------------

struct FaultPlan {
  ConvertSeamCall call = kSeamCallKinds;  // none
  int nth = 0;
  uint32_t code = 0;
};
FaultPlan g_plan;
int g_calls[kSeamCallKinds] = {};

// The code a failing tag operation returns: above 32767, so that a status
// word that took it as a signed 16-bit value would show a negative number.
constexpr uint32_t kTagFailure = 0xFFFE;

}  // namespace

uint32_t ConvertSeamFail(ConvertSeamCall call) {
  const int number = ++g_calls[call];
  return call == g_plan.call && number == g_plan.nth ? g_plan.code : 0;
}

namespace {

struct Message {
  uint32_t messageClass;
  uint32_t severity;
  int32_t status;
  std::string text;
  std::string context;
};
std::vector<Message> g_messages;

void Capture(uint32_t messageClass, uint32_t severity, const char*, int, int32_t status,
             const char* text, const char* context) {
  g_messages.push_back({messageClass, severity, status, text, context});
}

size_t OpenDescriptors() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

std::string Expand(std::string text, const std::string& x, const std::string& y) {
  for (size_t at; (at = text.find("{x}")) != std::string::npos;) text.replace(at, 3, x);
  for (size_t at; (at = text.find("{y}")) != std::string::npos;) text.replace(at, 3, y);
  return text;
}

const std::vector<int32_t> kFirst = {10, -20, 30, 2147483647, -2147483647 - 1, 0};
const std::vector<int32_t> kSecond = {4, 5, 6, 7};

class ConvertFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    LibStartup(0, 0, 0);
    LogSetSink(Capture);
    g_messages.clear();
    g_plan = FaultPlan{};
    for (int& calls : g_calls) calls = 0;
    std::vector<uint8_t> blocks = convtest::Blocks(kFirst, false);
    const std::vector<uint8_t> second = convtest::Blocks(kSecond, false);
    blocks.insert(blocks.end(), second.begin(), second.end());
    convtest::WriteXFile(xpath_, static_cast<uint32_t>(kFirst.size() + kSecond.size()), 'I',
                         blocks);
    xbytes_ = testfs::ReadFile(xpath_);
    descriptors_ = OpenDescriptors();
    totals_ = ConvertGetTotals();
  }
  void TearDown() override {
    LogSetSink(nullptr);
    EXPECT_EQ(MemBytesInUse(), 0u) << "a buffer was not released";
    EXPECT_EQ(OpenDescriptors(), descriptors_) << "a file was not closed";
    EXPECT_EQ(testfs::ReadFile(xpath_), xbytes_) << "the X-file changed";
  }

  // The messages other than progress.
  std::vector<Message> Failures() const {
    std::vector<Message> found;
    for (const Message& m : g_messages) {
      if (m.messageClass != kMsgProgress) found.push_back(m);
    }
    return found;
  }

  void ExpectCounted(uint32_t converted, uint32_t skipped) const {
    const ConvertTotals now = ConvertGetTotals();
    EXPECT_EQ(now.converted - totals_.converted, converted);
    EXPECT_EQ(now.skipped - totals_.skipped, skipped);
  }

  testfs::TempDir dir_;
  const std::string xpath_ = dir_ / "X1";
  const std::string ypath_ = dir_ / "Y1";
  std::vector<uint8_t> xbytes_;
  size_t descriptors_ = 0;
  ConvertTotals totals_{};
};

TEST_F(ConvertFailure, NoFailureSendsTheThreeProgressMessages) {
  ConvertXFile(xpath_.c_str(), ypath_.c_str());
  ASSERT_EQ(g_messages.size(), 3u);
  const std::string texts[] = {
      "Reading Y file header from X-file " + xpath_,
      "Writting Y file header " + ypath_,
      "Decompressing XBlock data and writing decoded data to Y file " + ypath_,
  };
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(g_messages[i].text, texts[i]);
    EXPECT_EQ(g_messages[i].messageClass, kMsgProgress);
    EXPECT_EQ(g_messages[i].severity, 0u);
    EXPECT_EQ(g_messages[i].status, 0);
    EXPECT_EQ(g_messages[i].context, "");
  }
  convtest::ExpectFinished(convtest::ReadYFile(ypath_), xbytes_,
                           convtest::Concat({kFirst, kSecond}));
  ExpectCounted(1, 0);
  EXPECT_EQ(ConvertGetTotals().samplesWritten - totals_.samplesWritten, 10u);
}

// What a failure leaves in the Y file.
enum class YState {
  kEmpty,         // created or emptied, nothing written
  kHead,          // the head that YFileWriteHeader wrote
  kDataTag,       // head and data tag
  kFirstBlock,    // ... and the first block's samples
  kAllSamples,    // ... and every sample; leading tag and record still the head's
  kLeadingFinal,  // the leading tag completed, the record not yet rewritten
  kComplete,      // everything written
};

struct FailureRow {
  const char* name;
  ConvertSeamCall call;
  int nth;
  uint32_t code;
  uint32_t messageClass;
  uint32_t severity;
  const char* text;  // {x}: X-file path, {y}: Y file path
  int32_t status;
  const char* context;  // {x}: X-file path
  YState state;
};

const FailureRow kFailureRows[] = {
    {"header read", kSeamReadHeader, 1, 9, kMsgWarning, 0,
     "WARNING: Reading Y file Header failed on {x}, file skipped", 0, "", YState::kEmpty},
    {"header write", kSeamWriteHeader, 1, 9, kMsgWarning, 0,
     "WARNING: Writting Y file header failed on {y}, file skipped", 0, "", YState::kEmpty},
    {"X-file rewind", kSeamSeek, 1, 1, kMsgWarning, 0, "WARNING: Seeking Y file back failed ", -1,
     "", YState::kHead},
    {"type-23 search", kSeamGetTag, 1, kTagFailure, kMsgFatal, 1000,
     "FATAL ERROR: TagGetTag failed from {x}", 65534, "", YState::kHead},
    {"data tag write", kSeamWriteTag, 1, kTagFailure, kMsgWarning, 0,
     "WARNING: Writing tag failed ", 65534, "", YState::kHead},
    {"first block's samples", kSeamWriteSamples, 1, 1, kMsgWarning, 0,
     "WARNING: Writting Y file data failed on {y}, file skipped", 0, "{x}, XBlock 1",
     YState::kDataTag},
    {"second block's samples", kSeamWriteSamples, 2, 1, kMsgWarning, 0,
     "WARNING: Writting Y file data failed on {y}, file skipped", 0, "{x}, XBlock 2",
     YState::kFirstBlock},
    {"Y rewind for the leading tag", kSeamSeek, 2, 1, kMsgWarning, 0,
     "WARNING: Seeking Y file back failed ", -1, "", YState::kAllSamples},
    {"leading tag write", kSeamWriteTag, 2, kTagFailure, kMsgWarning, 0,
     "WARNING: Writing tag failed ", 65534, "", YState::kAllSamples},
    {"Y rewind for the record", kSeamSeek, 3, 1, kMsgWarning, 0,
     "WARNING: Seeking Y file back failed ", -1, "", YState::kLeadingFinal},
    {"type-5 search", kSeamGetTag, 2, kTagFailure, kMsgFatal, 1000,
     "FATAL ERROR: TagGetTag failed from {y}", 65534, "", YState::kLeadingFinal},
    {"seek back to the type-5 tag", kSeamSeek, 4, 1, kMsgWarning, 0,
     "WARNING: Seeking Y file back failed ", -1, "", YState::kLeadingFinal},
    {"record write", kSeamWriteRecord, 1, kTagFailure, kMsgFatal, 1000,
     "FATAL ERROR: TagWriteRecord failed from {y}", 65534, "", YState::kLeadingFinal},
    {"close of the Y file (a full disk)", kSeamCloseY, 1, 1, kMsgWarning, 0,
     "WARNING: Closing Y file failed on {y}, file may be incomplete", 0, "", YState::kComplete},
};

void ExpectState(YState state, const std::string& ypath, const std::vector<uint8_t>& xbytes) {
  const convtest::YFile y = convtest::ReadYFile(ypath);
  const std::vector<int32_t> all = convtest::Concat({kFirst, kSecond});
  switch (state) {
    case YState::kEmpty:
      EXPECT_TRUE(y.bytes.empty());
      break;
    case YState::kHead:
      EXPECT_EQ(y.bytes.size(), convtest::kDataTagOffset);
      EXPECT_EQ(y.leading.aux, 0u);
      EXPECT_STREQ(y.record.fileType, "XFILE");
      break;
    case YState::kDataTag:
      convtest::ExpectUnfinished(y, {});
      break;
    case YState::kFirstBlock:
      convtest::ExpectUnfinished(y, kFirst);
      break;
    case YState::kAllSamples:
      convtest::ExpectUnfinished(y, all);
      break;
    case YState::kLeadingFinal:
      EXPECT_EQ(y.leading.aux, y.bytes.size() - kTagSize);
      EXPECT_STREQ(y.record.fileType, "XFILE");
      EXPECT_EQ(y.record.mean, 0);
      EXPECT_EQ(y.samples, all);
      break;
    case YState::kComplete:
      convtest::ExpectFinished(y, xbytes, all);
      break;
  }
}

TEST_F(ConvertFailure, EachFailureSendsItsMessageAndLeavesItsState) {
  for (const FailureRow& row : kFailureRows) {
    SCOPED_TRACE(row.name);
    g_messages.clear();
    g_plan = FaultPlan{row.call, row.nth, row.code};
    for (int& calls : g_calls) calls = 0;
    const ConvertTotals before = ConvertGetTotals();

    ConvertXFile(xpath_.c_str(), ypath_.c_str());

    const std::vector<Message> failures = Failures();
    ASSERT_EQ(failures.size(), 1u);
    const Message& m = failures[0];
    EXPECT_EQ(m.text, Expand(row.text, xpath_, ypath_));
    EXPECT_EQ(m.messageClass, row.messageClass);
    EXPECT_EQ(m.severity, row.severity);
    EXPECT_EQ(m.status, row.status);
    EXPECT_EQ(m.context, Expand(row.context, xpath_, ypath_));
    EXPECT_EQ(g_messages.back().text, m.text) << "a message followed the failure";
    ExpectState(row.state, ypath_, xbytes_);
    EXPECT_EQ(ConvertGetTotals().skipped - before.skipped, 1u);
    EXPECT_EQ(ConvertGetTotals().converted, before.converted);
    EXPECT_EQ(MemBytesInUse(), 0u);
  }
}

// A missing X-file: message 1 only, and an existing Y file is not touched.
TEST_F(ConvertFailure, MissingXFileLeavesTheYFileAlone) {
  testfs::WriteText(ypath_, "an earlier Y file");
  const std::string missing = dir_ / "X404";
  ConvertXFile(missing.c_str(), ypath_.c_str());
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].text, "FATAL ERROR: XFileOpen failed on " + missing);
  EXPECT_EQ(g_messages[0].messageClass, kMsgWarning);
  EXPECT_EQ(g_messages[0].severity, 0u);
  EXPECT_EQ(testfs::ReadText(ypath_), "an earlier Y file");
  ExpectCounted(0, 1);
}

// An X-file whose head cannot be read: an existing Y file is emptied and left
// so; a Y file in a missing directory: message 2, nothing created.
TEST_F(ConvertFailure, UnreadableHeadAndUncreatableYFile) {
  const std::string garbage = dir_ / "X2";
  testfs::WriteText(garbage, "not a tagged file at all");
  testfs::WriteText(ypath_, "an earlier Y file");
  ConvertXFile(garbage.c_str(), ypath_.c_str());
  ASSERT_EQ(Failures().size(), 1u);
  EXPECT_EQ(Failures()[0].text,
            "WARNING: Reading Y file Header failed on " + garbage + ", file skipped");
  EXPECT_EQ(fs::file_size(ypath_), 0u);

  g_messages.clear();
  const std::string nowhere = dir_ / "missing/Y1";
  ConvertXFile(xpath_.c_str(), nowhere.c_str());
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].text, "FATAL ERROR: YFileOpen failed on " + nowhere);
  EXPECT_EQ(g_messages[0].messageClass, kMsgWarning);
  EXPECT_FALSE(fs::exists(dir_.path() / "missing"));
  ExpectCounted(0, 2);
}

// A full disk, for real: writes to /dev/full fail. Samples of a small file
// are still buffered when the Y file is rewound, so the rewind fails; a file
// whose samples pass the first MiB fails while they are written, at the block
// that completes that MiB.
TEST_F(ConvertFailure, FullDiskFailsTheWriteThatReachesIt) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string big = dir_ / "X3";
  std::vector<int32_t> samples(300000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int32_t>(i % 1000);
  convtest::WriteXFile(big, static_cast<uint32_t>(samples.size()), 'I',
                       convtest::Blocks(samples, false, 3000));
  struct Row {
    std::string xpath;
    std::string text;
    int32_t status;
    std::string context;
  };
  const Row rows[] = {
      {xpath_, "WARNING: Seeking Y file back failed ", -1, ""},
      // (1 MiB - 160 bytes) / 4 bytes per sample fill 87.4 blocks of 3000.
      {big, "WARNING: Writting Y file data failed on /dev/full, file skipped", 0,
       big + ", XBlock 88"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.xpath);
    g_messages.clear();
    ConvertXFile(row.xpath.c_str(), "/dev/full");
    const std::vector<Message> failures = Failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].text, row.text);
    EXPECT_EQ(failures[0].status, row.status);
    EXPECT_EQ(failures[0].context, row.context);
  }
  ExpectCounted(0, 2);
}

// The same file by another path is refused before the Y file is opened.
TEST_F(ConvertFailure, SelfOverwriteIsRefused) {
  const std::string other = (dir_.path() / "." / "X1").string();
  ConvertXFile(xpath_.c_str(), other.c_str());
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].text, "WARNING: Y file " + other + " is the X-file itself, file skipped");
  EXPECT_EQ(g_messages[0].messageClass, kMsgWarning);
  ExpectCounted(0, 1);
}

}  // namespace
