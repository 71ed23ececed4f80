#include "driver.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "convert.h"
#include "kelvast.h"
#include "options.h"

namespace {

// Every message of the driver carries this status word; it stays 0.
const int32_t g_status = 0;

}  // namespace

int DriverHandleParseResult(const uint32_t* result, const char* programPath) {
  if (result == nullptr || *result == kCmdOk) return kDriverContinue;
  const uint32_t code = *result;
  if (code == kCmdUsage || code == kCmdUsageLong) {
    CmdPrintUsage(stdout, OptionTable, kOptionRows, programPath);
    return 0;
  }
  if (code == kCmdHelp) {
    CmdPrintHelp(stdout, HelpTable, sizeof HelpTable);
    return 0;
  }
  if (code >= 200) {
    // The row of a code stands at position code - 200; the end row never matches.
    const uint32_t position = code - 200;
    if (position < kHelpRows - 1 && static_cast<uint32_t>(HelpTable[position].code) == code) {
      std::printf("%s\n", HelpTable[position].text);
      return 0;
    }
  }
  std::printf("Fatal error from CmdParseCmdLine, return %hu", static_cast<unsigned short>(code));
  return 1;
}

int DriverRun(int argc, char** argv) {
  char xpath[kPathBufferSize] = {};
  char directory[kPathBufferSize];
  char ypath[kPathBufferSize];

  std::printf("%s %s %s\n", kProgramName, kProgramVersion, kProgramNotice);
  LibStartup(50000000, 1000000, 1);
  LibSetProgram(3, kProgramName);

  const uint32_t* result = CmdParseCmdLine(argc, argv, OptionTable, kOptionRows);
  const int action = DriverHandleParseResult(result, argc > 0 ? argv[0] : kProgramName);
  if (action != kDriverContinue) return action;

  const CmdOption& input = OptionTable[kInputRow];
  const CmdOption& output = OptionTable[kOutputRow];
  const char* pattern = input.value;
  const char* outputDirectory = output.value;
  LOG_MESSAGE(kMsgProgress, 0, &g_status, "%s %s", kProgramName, kProgramVersion);
  LOG_MESSAGE(kMsgProgress, 0, &g_status, "%s\n", kProgramNotice);
  LOG_MESSAGE(kMsgProgress, 0, &g_status, "%s = %s", input.name, pattern);
  LOG_MESSAGE(kMsgProgress, 0, &g_status, "%s = %s", output.name, outputDirectory);

  // The directory text always ends in a separator; a text that does not fit
  // its buffer ends the run before anything is converted.
  if (PathCopy(directory, outputDirectory) != 0 ||
      (PathEndsWithSeparator(directory) == 0 && PathAppendSeparator(directory) != 0)) {
    LOG_MESSAGE(kMsgFatal, 0, &g_status,
                "FATAL ERROR: output directory longer than %zu characters with its separator: %s",
                kPathMaxLength, outputDirectory);
    return 1;
  }
  const auto directoryLength = static_cast<uint16_t>(std::strlen(directory));

  int32_t handle = 0;
  uint32_t matches = 0;
  uint32_t refused = 0;
  std::unordered_set<std::string> yNames;  // Y file names handed to ConvertXFile
  while (FileFindNext(&handle, pattern, xpath, 0) != 0) {
    ++matches;
    const char* name = PathFileNamePart(xpath);
    const size_t nameLength = std::strlen(name);
    if (nameLength == 0 || directoryLength + nameLength > kPathMaxLength) {
      ++refused;
      LOG_MESSAGE(kMsgWarning, 0, &g_status,
                  "WARNING: Y path for %s would be longer than %zu characters, file skipped",
                  xpath, kPathMaxLength);
      continue;
    }
    std::memcpy(ypath, directory, directoryLength + 1u);
    PathGetFileName(ypath + directoryLength, xpath);
    ypath[directoryLength] = 'Y';
    // A Y file must not replace an input of this run (another match, under
    // whatever name; the match itself is ConvertXFile's to refuse), nor a Y
    // file that an earlier match produced: Y names drop the X-file's
    // directory and first character, so different matches can share one.
    if (FileFindIsMatch(handle, ypath) != 0 && PathSameFile(xpath, ypath) == 0) {
      ++refused;
      LOG_MESSAGE(kMsgWarning, 0, &g_status,
                  "WARNING: Y file %s would replace an X-file of this run, %s skipped", ypath,
                  xpath);
      continue;
    }
    if (!yNames.insert(ypath + directoryLength).second) {
      ++refused;
      LOG_MESSAGE(kMsgWarning, 0, &g_status,
                  "WARNING: Y file %s belongs to another X-file of this run, %s skipped", ypath,
                  xpath);
      continue;
    }
    LOG_MESSAGE(kMsgProgress, 0, &g_status, "Decompressing %s into %s", xpath, ypath);
    ConvertXFile(xpath, ypath);
  }

  if (matches != 0 && (MessageMask & kMsgProgress)) {
    const ConvertTotals totals = ConvertGetTotals();
    LogMessage(0, 0, 0, kMsgProgress, 0, __FILE__, __LINE__, &g_status,
               "Done: %lu X-files converted, %lu skipped, %llu samples written",
               static_cast<unsigned long>(totals.converted),
               static_cast<unsigned long>(totals.skipped + refused),
               static_cast<unsigned long long>(totals.samplesWritten));
  }
  return 0;
}
