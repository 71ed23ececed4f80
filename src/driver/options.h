// The option table and help table of quorvale's command line.
#ifndef QUORVALE_OPTIONS_H
#define QUORVALE_OPTIONS_H

#include "kelvast.h"

inline constexpr int kOptionRows = 4;
inline constexpr int kInputRow = 1;    // parameter row of -i
inline constexpr int kOutputRow = 3;   // parameter row of -o
inline constexpr int kHelpRows = 3;

extern CmdOption OptionTable[kOptionRows];
extern const CmdHelpEntry HelpTable[kHelpRows];

static_assert(sizeof(CmdOption) * kOptionRows == 4 * (104 + sizeof(void*)));
static_assert(sizeof(CmdHelpEntry) * kHelpRows == 3 * (4 + sizeof(void*)));

#endif  // QUORVALE_OPTIONS_H
