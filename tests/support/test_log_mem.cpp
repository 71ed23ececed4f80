// Message lines, message context and the memory bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kelvast.h"

namespace {

std::string CaptureBoth(void (*action)(), std::string* err) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  action();
  *err = testing::internal::GetCapturedStderr();
  return testing::internal::GetCapturedStdout();
}

TEST(LogTest, LineLayoutByClass) {
  LibStartup(0, 0, 1);
  LibSetProgram(3, "quorvale");
  std::string err;
  const std::string out = CaptureBoth(
      [] {
        int32_t status = 0;
        LogMessage(0, 0, 0, kMsgProgress, 0, "/src/driver/driver.cpp", 10, &status, "%s\n",
                   "notice");
        status = 3;
        LogMessage(0, 0, 0, kMsgFatal, 1000, "/src/convert/convert.cpp", 42, &status,
                   "FATAL ERROR: TagGetTag failed from %s", "xdata/X1");
        LogSetContext("xdata/X2", "XBlock", 7);
        status = 0;
        LogMessage(0, 0, 0, kMsgWarning, 0, "steim_decode.cpp", 5, &status,
                   "Steim block contains %hu samples not correct %hu", 1, 2);
        LogClearContext();
      },
      &err);
  EXPECT_EQ(out, "notice\n");
  EXPECT_EQ(err,
            "quorvale: FATAL ERROR: TagGetTag failed from xdata/X1 [convert.cpp:42, status 3, "
            "severity 1000]\n"
            "quorvale: Steim block contains 1 samples not correct 2 (xdata/X2, XBlock 7) "
            "[steim_decode.cpp:5]\n");
}

TEST(LogTest, MaskedClassesAreDropped) {
  LibStartup(0, 0, 1);
  const uint32_t saved = MessageMask;
  MessageMask = kMsgFatal;
  std::string err;
  const std::string out = CaptureBoth(
      [] {
        LogMessage(0, 0, 0, kMsgProgress, 0, "a.cpp", 1, nullptr, "progress");
        LogMessage(0, 0, 0, kMsgWarning, 0, "a.cpp", 2, nullptr, "warning");
      },
      &err);
  MessageMask = saved;
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
}

TEST(MemTest, BoundsFromStartup) {
  LibStartup(10000, 5000, 1);
  const size_t before = MemBytesInUse();
  void* a = MemAllocHugeMem(4096, __LINE__, __FILE__);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 64, 0u);
  EXPECT_EQ(MemAllocHugeMem(5001, __LINE__, __FILE__), nullptr) << "larger than one block may be";
  void* b = MemAllocHugeMem(4096, __LINE__, __FILE__);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(MemAllocHugeMem(4096, __LINE__, __FILE__), nullptr) << "budget used up";
  MemFreeHugeMem(a);
  void* c = MemAllocHugeMem(4096, __LINE__, __FILE__);
  EXPECT_NE(c, nullptr) << "a released block returns to the budget";
  MemFreeHugeMem(b);
  MemFreeHugeMem(c);
  MemFreeHugeMem(nullptr);
  EXPECT_EQ(MemBytesInUse(), before);
  LibStartup(0, 0, 1);
}

TEST(SwapTest, ReversesBytes) {
  uint16_t us = 0x1234;
  SwapUShort(&us);
  EXPECT_EQ(us, 0x3412);
  int16_t s = static_cast<int16_t>(0xFF01);
  SwapShort(&s);
  EXPECT_EQ(s, 0x01FF);
  uint32_t ul = 0x12345678u;
  SwapULong(&ul);
  EXPECT_EQ(ul, 0x78563412u);
  int32_t l = static_cast<int32_t>(0x80000001u);
  SwapLong(&l);
  EXPECT_EQ(l, 0x01000080);
}

}  // namespace
