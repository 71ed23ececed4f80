#include "options.h"

namespace {

constexpr char kInputHelp[] =
    "\n"
    "-i ..........Input pathname of the compressed data files.\n"
    "\n"
    "             UNIX version:\n"
    "                 e.g. -i \"/home/qet/xdata/*\"\n"
    "\n"
    "             OS/2 version:\n"
    "                 e.g. -i D:\\KWBOS2\\XDATA\\*\n"
    "\n"
    "             Pathname can contain wildcards.\n"
    "\n"
    "             The default is:\n"
    "                 xdata\\X*.\n";

constexpr char kOutputHelp[] =
    "\n"
    "-o ..........Output path of the uncompressed data files.\n"
    "\n"
    "             UNIX version:\n"
    "                 e.g. -o /home/qet/ydata/\n"
    "\n"
    "             OS/2 version:\n"
    "                 e.g. -o D:\\VRO\\YDATA\\\n"
    "\n"
    "             The default is:\n"
    "                 ydata\\.\n";

static_assert(sizeof kInputHelp - 1 == 306);
static_assert(sizeof kOutputHelp - 1 == 250);

}  // namespace

// Each option is a switch row followed by its parameter row.
CmdOption OptionTable[kOptionRows] = {
    {0, 1, 'i', 0, 0, 200, 2, "%hd", "Input", "0", nullptr, 0},
    {1, 0, 'i', 0, 0, 200, 6, "%s", "X-FilePathname", "xdata\\X*", nullptr, 0},
    {0, 1, 'o', 0, 0, 201, 2, "%hd", "Output", "0", nullptr, 0},
    {1, 0, 'o', 0, 0, 201, 6, "%s", "OutputPath", "ydata\\", nullptr, 0},
};

// Rows before the end row stand in ascending code order from 200, so the row
// of code c stands at position c - 200.
const CmdHelpEntry HelpTable[kHelpRows] = {
    {200, kInputHelp},
    {201, kOutputHelp},
    {0, "\nEnd of table"},
};
