// Command-line parsing against an option table, usage text and help list.
#include <cstring>

#include "kelvast.h"
#include "kelvast_internal.h"

namespace {

uint32_t g_result = kCmdOk;

const uint32_t* Fail(uint32_t code) {
  g_result = code;
  return &g_result;
}

// One line on stderr that says what was wrong; stdout first, so that the
// banner stays ahead of it.
void Complain(const char* what, const char* argument, const char* advice) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s '%s'%s\n", KelvastState().programName, what, argument, advice);
}

// The parameter row of option `letter`, or null.
CmdOption* FindParameterRow(CmdOption* table, int rows, int letter) {
  for (int i = 0; i < rows; ++i) {
    if (table[i].isParameter == 1 && table[i].switchLetter == letter) return &table[i];
  }
  return nullptr;
}

void MarkSwitchRow(CmdOption* table, int rows, int letter) {
  for (int i = 0; i < rows; ++i) {
    if (table[i].isSwitch == 1 && table[i].switchLetter == letter) table[i].value = "1";
  }
}

// "-h TOPIC": TOPIC is an option letter, with or without its dash.
const uint32_t* HelpOn(CmdOption* table, int rows, const char* topic) {
  const char* letter = topic[0] == '-' ? topic + 1 : topic;
  CmdOption* row = letter[0] != '\0' && letter[1] == '\0'
                       ? FindParameterRow(table, rows, static_cast<unsigned char>(letter[0]))
                       : nullptr;
  if (row == nullptr) {
    Complain("no help for unknown option", topic, " (the options are -i and -o)");
    return Fail(kCmdUnknownHelp);
  }
  return Fail(static_cast<uint32_t>(row->helpCode));
}

}  // namespace

const uint32_t* CmdParseCmdLine(int argc, char** argv, CmdOption* table, int rows) {
  for (int i = 0; i < rows; ++i) table[i].value = table[i].defaultText;

  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-?") == 0) return Fail(kCmdUsage);
    if (std::strcmp(arg, "--usage") == 0) return Fail(kCmdUsageLong);
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      return i + 1 < argc ? HelpOn(table, rows, argv[i + 1]) : Fail(kCmdHelp);
    }
    if (arg[0] == '-' && arg[1] == 'h' && FindParameterRow(table, rows, 'h') == nullptr) {
      return HelpOn(table, rows, arg + 2);
    }
    if (arg[0] != '-') {
      Complain("unexpected argument", arg,
               ": quote the input pattern, e.g. -i \"xdata/X*\", so that the shell does not "
               "expand it");
      return Fail(kCmdStrayArgument);
    }
    CmdOption* row = arg[1] != '\0' && arg[1] != '-'
                         ? FindParameterRow(table, rows, static_cast<unsigned char>(arg[1]))
                         : nullptr;
    if (row == nullptr) {
      Complain("unknown option", arg, " (-? shows the usage)");
      return Fail(kCmdUnknownOption);
    }
    const char* value = arg + 2;
    if (*value == '\0') {
      if (i + 1 >= argc) {
        Complain("missing value after option", arg, "");
        return Fail(kCmdMissingValue);
      }
      value = argv[++i];
    }
    row->value = value;
    MarkSwitchRow(table, rows, row->switchLetter);
  }
  return nullptr;
}

void CmdPrintUsage(FILE* out, const CmdOption* table, int rows, const char* programPath) {
  std::fprintf(out, "Usage: %s", programPath);
  for (int i = 0; i < rows; ++i) {
    const CmdOption& row = table[i];
    if (row.isParameter == 1) std::fprintf(out, " [-%c %s]", row.switchLetter, row.name);
  }
  std::fprintf(out, "\n\n");
  for (int i = 0; i < rows; ++i) {
    const CmdOption& row = table[i];
    if (row.isParameter == 1) {
      std::fprintf(out, "  -%c %-16s default: %s\n", row.switchLetter, row.name,
                   row.defaultText);
    }
  }
  std::fprintf(out,
               "\n  -?                  this usage text\n"
               "  -h, --help          help on every option\n"
               "  -h LETTER           help on one option (for example -h i)\n");
}

void CmdPrintHelp(FILE* out, const CmdHelpEntry* table, size_t tableBytes) {
  const size_t rows = tableBytes / sizeof(CmdHelpEntry);
  for (size_t i = 0; i < rows; ++i) {
    std::fprintf(out, "%s\n", table[i].text);
    if (table[i].code == 0) break;
  }
}
