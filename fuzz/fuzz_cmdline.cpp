// CmdParseCmdLine on arbitrary argument vectors (NUL-separated in the input):
// no crash; after a success both settings are NUL-terminated texts.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelvast.h"
#include "options.h"

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
  if (result == nullptr || *result == kCmdOk) {
    if (OptionTable[kInputRow].value == nullptr || OptionTable[kOutputRow].value == nullptr) {
      std::abort();
    }
    volatile size_t length = std::strlen(OptionTable[kInputRow].value) +
                             std::strlen(OptionTable[kOutputRow].value);
    (void)length;
  }
  return 0;
}
