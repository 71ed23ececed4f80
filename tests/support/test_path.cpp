// Path texts and the wildcard search.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kelvast.h"
#include "test_files.h"

namespace {

TEST(PathTest, CopyTurnsBackslashesIntoSlashesAndRefusesOverlongTexts) {
  char buffer[kPathBufferSize];
  EXPECT_EQ(PathCopy(buffer, "ydata\\sub\\"), 0);
  EXPECT_STREQ(buffer, "ydata/sub/");

  const std::string longest(kPathMaxLength, 'a');
  EXPECT_EQ(PathCopy(buffer, longest.c_str()), 0);
  EXPECT_EQ(std::string(buffer), longest);

  const std::string tooLong(kPathMaxLength + 1, 'a');
  EXPECT_NE(PathCopy(buffer, tooLong.c_str()), 0);
  EXPECT_STREQ(buffer, "");
}

TEST(PathTest, SeparatorAtTheEnd) {
  EXPECT_NE(PathEndsWithSeparator("ydata\\"), 0);
  EXPECT_NE(PathEndsWithSeparator("ydata/"), 0);
  EXPECT_EQ(PathEndsWithSeparator("ydata"), 0);
  EXPECT_EQ(PathEndsWithSeparator(""), 0);

  char buffer[kPathBufferSize] = "ydata";
  EXPECT_EQ(PathAppendSeparator(buffer), 0);
  EXPECT_STREQ(buffer, "ydata/");

  // The separator must fit with the NUL: 258 characters take one, 259 do not.
  std::string text(kPathMaxLength - 1, 'd');
  PathCopy(buffer, text.c_str());
  EXPECT_EQ(PathAppendSeparator(buffer), 0);
  EXPECT_EQ(std::strlen(buffer), kPathMaxLength);
  EXPECT_NE(PathAppendSeparator(buffer), 0);
  EXPECT_EQ(std::strlen(buffer), kPathMaxLength);
}

TEST(PathTest, FileNamePartAfterEitherSeparator) {
  struct Case {
    const char* path;
    const char* name;
  };
  const Case cases[] = {
      {"xdata/X0001", "X0001"}, {"xdata\\X0001", "X0001"}, {"a\\b/c", "c"},
      {"X0001", "X0001"},       {"dir/", ""},
  };
  for (const Case& c : cases) {
    char destination[kPathBufferSize];
    PathGetFileName(destination, c.path);
    EXPECT_STREQ(destination, c.name) << c.path;
    EXPECT_STREQ(PathFileNamePart(c.path), c.name) << c.path;
  }
}

class FindTest : public ::testing::Test {
 protected:
  std::vector<std::string> FindAll(const std::string& pattern) {
    std::vector<std::string> found;
    int32_t handle = 0;
    char buffer[kPathBufferSize];
    while (FileFindNext(&handle, pattern.c_str(), buffer, 0) != 0) found.emplace_back(buffer);
    EXPECT_EQ(handle, 0) << "search state released after the last match";
    return found;
  }
  void Touch(const std::string& relative) {
    std::filesystem::create_directories((dir_.path() / relative).parent_path());
    testfs::WriteText(dir_ / relative, "x");
  }
  testfs::TempDir dir_;
};

TEST_F(FindTest, SortedRegularFilesOnly) {
  Touch("xdata/X0003");
  Touch("xdata/X0001");
  Touch("xdata/X0002");
  Touch("xdata/Z0001");
  std::filesystem::create_directories(dir_.path() / "xdata/Xdir");
  std::filesystem::create_symlink("Xloop", dir_.path() / "xdata/Xloop");  // loops onto itself
  std::filesystem::create_symlink("X0001", dir_.path() / "xdata/Xlink");  // a link to a file counts

  const std::string base = dir_.path().string();
  EXPECT_EQ(FindAll(base + "/xdata/X*"),
            (std::vector<std::string>{base + "/xdata/X0001", base + "/xdata/X0002",
                                      base + "/xdata/X0003", base + "/xdata/Xlink"}));
}

TEST_F(FindTest, BackslashesAndWildcardsInDirectoryParts) {
  Touch("a1/X1");
  Touch("a2/X2");
  Touch("b1/X3");
  const std::string base = dir_.path().string();
  EXPECT_EQ(FindAll(base + "\\a?\\X*"),
            (std::vector<std::string>{base + "/a1/X1", base + "/a2/X2"}));
  EXPECT_EQ(FindAll(base + "/[ab]1/X[13]"),
            (std::vector<std::string>{base + "/a1/X1", base + "/b1/X3"}));
}

TEST_F(FindTest, NoMatchAndSnapshotTakenAtFirstCall) {
  EXPECT_TRUE(FindAll(dir_ / "nothing*").empty());

  Touch("X1");
  int32_t handle = 0;
  char buffer[kPathBufferSize];
  ASSERT_NE(FileFindNext(&handle, (dir_ / "X*").c_str(), buffer, 0), 0);
  Touch("X2");  // created during the search: not delivered
  EXPECT_EQ(FileFindNext(&handle, (dir_ / "X*").c_str(), buffer, 0), 0);
}

TEST_F(FindTest, OverlongMatchIsSkipped) {
  // Build a path of more than 259 characters from nested directories.
  std::string relative;
  while (dir_.path().string().size() + relative.size() < 300) relative += std::string(50, 'd') + "/";
  Touch(relative + "X1");
  Touch("X2");
  const std::string base = dir_.path().string();
  testing::internal::CaptureStderr();
  const auto found = FindAll(base + "/*X*");
  const auto deep = FindAll(base + "/" + relative + "X*");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(found, std::vector<std::string>{base + "/X2"});
  EXPECT_TRUE(deep.empty());
  EXPECT_NE(err.find("X1"), std::string::npos) << err;
}

}  // namespace
