// The command-line parser against a two-option table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kelvast.h"

namespace {

struct Parsed {
  const uint32_t* result;
  std::string input;
  std::string output;
  std::string err;
};

Parsed Parse(std::vector<std::string> args) {
  static CmdOption table[4] = {
      {0, 1, 'i', 0, 0, 200, 2, "%hd", "Input", "0", nullptr, 0},
      {1, 0, 'i', 0, 0, 200, 6, "%s", "X-FilePathname", "xdata\\X*", nullptr, 0},
      {0, 1, 'o', 0, 0, 201, 2, "%hd", "Output", "0", nullptr, 0},
      {1, 0, 'o', 0, 0, 201, 6, "%s", "OutputPath", "ydata\\", nullptr, 0},
  };
  static std::vector<std::string> storage;
  storage = std::move(args);
  storage.insert(storage.begin(), "quorvale");
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  testing::internal::CaptureStderr();
  Parsed parsed;
  parsed.result = CmdParseCmdLine(static_cast<int>(argv.size()), argv.data(), table, 4);
  parsed.err = testing::internal::GetCapturedStderr();
  parsed.input = table[1].value != nullptr ? table[1].value : "(null)";
  parsed.output = table[3].value != nullptr ? table[3].value : "(null)";
  return parsed;
}

uint32_t Code(const Parsed& p) { return p.result == nullptr ? 0 : *p.result; }

TEST(CmdTest, ValuesDefaultsAndLastOccurrence) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string output;
  };
  const Case cases[] = {
      {{}, "xdata\\X*", "ydata\\"},
      {{"-i", "in/X*"}, "in/X*", "ydata\\"},
      {{"-iin/X*", "-oout"}, "in/X*", "out"},
      {{"-o", "a", "-o", "b"}, "xdata\\X*", "b"},
      {{"-i", "-weird"}, "-weird", "ydata\\"},
  };
  for (const Case& c : cases) {
    const Parsed p = Parse(c.args);
    EXPECT_EQ(p.result, nullptr);
    EXPECT_EQ(p.input, c.input);
    EXPECT_EQ(p.output, c.output);
    EXPECT_EQ(p.err, "");
  }
}

TEST(CmdTest, RequestsAndFailures) {
  struct Case {
    std::vector<std::string> args;
    uint32_t code;
    const char* complaint;  // part of the stderr line, "" for none
  };
  const Case cases[] = {
      {{"-?"}, kCmdUsage, ""},
      {{"--usage"}, kCmdUsageLong, ""},
      {{"-h"}, kCmdHelp, ""},
      {{"--help"}, kCmdHelp, ""},
      {{"-h", "i"}, 200, ""},
      {{"-hi"}, 200, ""},
      {{"-h", "-o"}, 201, ""},
      {{"--help", "o"}, 201, ""},
      {{"-h", "x"}, kCmdUnknownHelp, "x"},
      {{"-x"}, kCmdUnknownOption, "-x"},
      {{"--verbose"}, kCmdUnknownOption, "--verbose"},
      {{"-i"}, kCmdMissingValue, "-i"},
      {{"-i", "xdata/X1", "xdata/X2"}, kCmdStrayArgument, "quote"},
  };
  for (const Case& c : cases) {
    const Parsed p = Parse(c.args);
    EXPECT_EQ(Code(p), c.code) << c.args[0];
    if (c.complaint[0] == '\0') {
      EXPECT_EQ(p.err, "");
    } else {
      EXPECT_NE(p.err.find(c.complaint), std::string::npos) << p.err;
      EXPECT_EQ(p.err.back(), '\n');
      EXPECT_EQ(p.err.find('\n'), p.err.size() - 1) << "one line";
    }
  }
}

}  // namespace
