// convert: turns one X-file into one Y file.
#ifndef CONVERT_H
#define CONVERT_H

#include <cstdint>

// Converts the X-file at `xpath` into a Y file at `ypath`. Reports every
// outcome through LogMessage and returns, except when a buffer cannot be
// obtained: then it closes both files and ends the program with exit code 1.
void ConvertXFile(const char* xpath, const char* ypath);

// Counts over every ConvertXFile call of the run: files that became complete
// Y files; files skipped, that is every call that ended with a warning or
// fatal message of its own (the Y file, if any, is then unfinished or, after
// a failed close, possibly incomplete); and the samples of the complete Y
// files.
struct ConvertTotals {
  uint32_t converted;
  uint32_t skipped;
  uint64_t samplesWritten;
};
ConvertTotals ConvertGetTotals(void);

#endif  // CONVERT_H
