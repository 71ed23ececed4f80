// CmdParseCmdLine on arbitrary argument vectors (arguments separated by NUL
// bytes in the input), and the driver's handling of its result.
//
// No crash; the result is success or one of the parser's documented codes;
// after a success both settings are NUL-terminated texts; the driver goes on
// exactly after a success, answers usage and help requests with exit code 0
// and every failure with exit code 1. (Run with -close_fd_mask=3: the
// parser and the driver print.)
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver.h"
#include "kelvast.h"
#include "options.h"

namespace {

// The exit code the driver must give for a parse result code.
int ExpectedAction(uint32_t code) {
  switch (code) {
    case kCmdOk: return kDriverContinue;
    case kCmdUsage: case kCmdHelp: case kCmdUsageLong: case 200: case 201: return 0;
    case kCmdUnknownOption: case kCmdMissingValue: case kCmdStrayArgument: case kCmdUnknownHelp:
      return 1;
    default: std::abort();  // a code the parser does not document
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args{"quorvale"};
  std::string current;
  for (size_t i = 0; i < size && args.size() < 64; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty()) args.push_back(current);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const uint32_t* result =
      CmdParseCmdLine(static_cast<int>(args.size()), argv.data(), OptionTable, kOptionRows);
  const uint32_t code = result == nullptr ? kCmdOk : *result;
  if (code == kCmdOk) {
    if (OptionTable[kInputRow].value == nullptr || OptionTable[kOutputRow].value == nullptr) {
      std::abort();
    }
    volatile size_t length = std::strlen(OptionTable[kInputRow].value) +
                             std::strlen(OptionTable[kOutputRow].value);
    (void)length;
  }
  if (DriverHandleParseResult(result, argv[0]) != ExpectedAction(code)) std::abort();
  return 0;
}
