// The run driver: the parse-result table in-process, the run through the
// quorvale binary.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver.h"
#include "kelvast.h"
#include "test_files.h"

namespace {

const std::string kBanner =
    "quorvale version 1.005 Steim-1 seismic data decompressor, X-files to Y files\n";

const std::string kInputHelp =
    "\n-i ..........Input pathname of the compressed data files.\n\n"
    "             UNIX version:\n"
    "                 e.g. -i \"/home/qet/xdata/*\"\n\n"
    "             OS/2 version:\n"
    "                 e.g. -i D:\\KWBOS2\\XDATA\\*\n\n"
    "             Pathname can contain wildcards.\n\n"
    "             The default is:\n"
    "                 xdata\\X*.\n";

const std::string kOutputHelp =
    "\n-o ..........Output path of the uncompressed data files.\n\n"
    "             UNIX version:\n"
    "                 e.g. -o /home/qet/ydata/\n\n"
    "             OS/2 version:\n"
    "                 e.g. -o D:\\VRO\\YDATA\\\n\n"
    "             The default is:\n"
    "                 ydata\\.\n";

struct Handled {
  int exitCode;
  std::string out;
};

Handled Handle(const uint32_t* result) {
  testing::internal::CaptureStdout();
  const int code = DriverHandleParseResult(result, "quorvale");
  std::fflush(stdout);
  return {code, testing::internal::GetCapturedStdout()};
}

TEST(DriverParseResultTest, EveryRowOfTheTable) {
  EXPECT_EQ(Handle(nullptr).exitCode, kDriverContinue);
  const uint32_t zero = 0;
  EXPECT_EQ(Handle(&zero).exitCode, kDriverContinue);
  EXPECT_EQ(Handle(&zero).out, "");

  for (uint32_t usage : {100u, 102u}) {
    const Handled h = Handle(&usage);
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_EQ(h.out.rfind("Usage: quorvale", 0), 0u) << h.out;
  }
  const uint32_t help = 101;
  const Handled list = Handle(&help);
  EXPECT_EQ(list.exitCode, 0);
  EXPECT_EQ(list.out, kInputHelp + "\n" + kOutputHelp + "\n" + "\nEnd of table\n");

  ASSERT_EQ(kInputHelp.size(), 306u);
  ASSERT_EQ(kOutputHelp.size(), 250u);
  const uint32_t helpI = 200;
  const uint32_t helpO = 201;
  EXPECT_EQ(Handle(&helpI).out, kInputHelp + "\n");
  EXPECT_EQ(Handle(&helpI).exitCode, 0);
  EXPECT_EQ(Handle(&helpO).out, kOutputHelp + "\n");
  EXPECT_EQ(Handle(&helpO).exitCode, 0);

  struct Failure {
    uint32_t code;
    const char* printed;
  };
  std::vector<Failure> failures = {{202, "202"},     {203, "203"},          {60000, "60000"},
                                   {65536 + 200, "200"}, {65536 + 201, "201"}, {4294967295u, "65535"}};
  for (uint32_t code = 1; code <= 199; ++code) {
    if (code != 100 && code != 101 && code != 102) {
      failures.push_back({code, nullptr});
    }
  }
  for (const Failure& f : failures) {
    const Handled h = Handle(&f.code);
    const std::string number = f.printed != nullptr ? f.printed : std::to_string(f.code);
    EXPECT_EQ(h.exitCode, 1) << f.code;
    EXPECT_EQ(h.out, "Fatal error from CmdParseCmdLine, return " + number) << f.code;
  }
}

TEST(DriverRunTest, ProgressMessagesFollowTheMask) {
  testfs::TempDir dir;
  const std::string pattern = dir / "nothing*";
  std::vector<std::string> args = {"quorvale", "-i", pattern};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());

  const uint32_t saved = MessageMask;
  MessageMask = kMsgWarning | kMsgFatal;
  testing::internal::CaptureStdout();
  const int code = DriverRun(static_cast<int>(argv.size()), argv.data());
  std::fflush(stdout);
  const std::string out = testing::internal::GetCapturedStdout();
  MessageMask = saved;
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out, kBanner);
}

class DriverBinaryTest : public ::testing::Test {
 protected:
  testfs::RunResult Run(const std::vector<std::string>& args) {
    return testfs::RunProgram(QUORVALE_PROGRAM, args, dir_.path().string());
  }
  void Touch(const std::string& relative) {
    std::filesystem::create_directories((dir_.path() / relative).parent_path());
    testfs::WriteText(dir_ / relative, "not an X-file");
  }
  testfs::TempDir dir_;
};

TEST_F(DriverBinaryTest, DefaultsWithNoMatch) {
  const testfs::RunResult r = Run({});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kBanner +
                       "quorvale version 1.005\n"
                       "Steim-1 seismic data decompressor, X-files to Y files\n"
                       "X-FilePathname = xdata\\X*\n"
                       "OutputPath = ydata\\\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(DriverBinaryTest, BannerComesFirstAlsoForRequestsAndFailures) {
  const testfs::RunResult helpI = Run({"-h", "i"});
  EXPECT_EQ(helpI.exitCode, 0);
  EXPECT_EQ(helpI.out, kBanner + kInputHelp + "\n");

  const testfs::RunResult stray = Run({"xdata/X1", "xdata/X2"});
  EXPECT_EQ(stray.exitCode, 1);
  EXPECT_EQ(stray.out, kBanner + "Fatal error from CmdParseCmdLine, return 3");
  EXPECT_NE(stray.err.find("quote"), std::string::npos) << stray.err;

  const testfs::RunResult usage = Run({"-?"});
  EXPECT_EQ(usage.exitCode, 0);
  EXPECT_EQ(usage.out.rfind(kBanner + "Usage: ", 0), 0u) << usage.out;
}

TEST_F(DriverBinaryTest, EchoesGivenValuesAndNamesYFiles) {
  Touch("in/abc");
  Touch("in/Y1");
  Touch("in/sub/X9");  // in a directory the pattern does not reach
  std::filesystem::create_directories(dir_.path() / "in/adir");
  std::filesystem::create_directories(dir_.path() / "out");

  for (const std::string& outDir : {std::string("out"), std::string("out/"), std::string("out\\")}) {
    const testfs::RunResult r = Run({"-i", "in\\*", "-o" + outDir});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("X-FilePathname = in\\*\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("OutputPath = " + outDir + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Decompressing in/Y1 into out/Y1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Decompressing in/abc into out/Ybc\n"), std::string::npos) << r.out;
    EXPECT_LT(r.out.find("in/Y1 into"), r.out.find("in/abc into")) << "sorted by name";
    EXPECT_EQ(r.out.find("adir"), std::string::npos) << "directories are no matches";
    EXPECT_EQ(r.out.find("X9"), std::string::npos);
    EXPECT_NE(r.out.find("Done: "), std::string::npos) << r.out;
  }
}

TEST_F(DriverBinaryTest, WildcardsInDirectoryParts) {
  Touch("d1/X1");
  Touch("d2/X2");
  std::filesystem::create_directories(dir_.path() / "out");
  const testfs::RunResult r = Run({"-i", "d?/X*", "-o", "out"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("Decompressing d1/X1 into out/Y1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Decompressing d2/X2 into out/Y2\n"), std::string::npos) << r.out;
}

TEST_F(DriverBinaryTest, OverlongTextsAreRefused) {
  const std::string longDir(kPathMaxLength, 'o');  // no room left for the separator
  const testfs::RunResult dirTooLong = Run({"-o", longDir});
  EXPECT_EQ(dirTooLong.exitCode, 1);
  EXPECT_NE(dirTooLong.err.find("output directory"), std::string::npos) << dirTooLong.err;
  EXPECT_EQ(dirTooLong.out.find("Decompressing"), std::string::npos);

  // A directory text that fits, but leaves no room for the file name.
  Touch("X_long_name");
  const std::string nearlyFull(kPathMaxLength - 5, 'o');
  const testfs::RunResult yTooLong = Run({"-i", "X*", "-o", nearlyFull + "/"});
  EXPECT_EQ(yTooLong.exitCode, 0);
  EXPECT_NE(yTooLong.err.find("X_long_name"), std::string::npos) << yTooLong.err;
  EXPECT_EQ(yTooLong.out.find("Decompressing"), std::string::npos);
}

}  // namespace
