// A buffer that cannot be obtained ends the program with exit code 1 after
// both files are closed; the Y file keeps its head and data tag.
#include <gtest/gtest.h>

#include <string>

#include "convert.h"
#include "convert_test_support.h"
#include "kelvast.h"
#include "test_files.h"

namespace {

TEST(ConvertExitDeathTest, AllocationFailureEndsTheProgram) {
  struct Row {
    uint32_t memoryBudget;  // bytes MemAllocHugeMem may hand out at one time
    const char* message;
  };
  const Row rows[] = {
      {4095, "FATAL ERROR: MemAllocHugeMem failed for XBlock"},
      {4096 + 16383, "FATAL ERROR: MemAllocHugeMem failed for 4096 longs"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    testfs::TempDir dir;
    const std::string xpath = dir / "X1";
    const std::string ypath = dir / "Y1";
    const std::vector<int32_t> samples = {1, 2, 3};
    convtest::WriteXFile(xpath, 3, 'I', convtest::Blocks(samples, false));
    const std::vector<uint8_t> xbytes = testfs::ReadFile(xpath);

    EXPECT_EXIT(
        {
          LibStartup(row.memoryBudget, 0, 1);
          ConvertXFile(xpath.c_str(), ypath.c_str());
        },
        ::testing::ExitedWithCode(1), row.message);

    const convtest::YFile y = convtest::ReadYFile(ypath);
    convtest::ExpectUnfinished(y, {});
    EXPECT_EQ(y.dataTag.length, 12u);
    EXPECT_EQ(testfs::ReadFile(xpath), xbytes);
  }
}

}  // namespace
