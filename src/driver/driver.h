// quorvale's run driver: banner, start-up, command line, settings echo and
// the search that hands every match to ConvertXFile.
#ifndef QUORVALE_DRIVER_H
#define QUORVALE_DRIVER_H

#include <cstdint>

inline constexpr const char* kProgramName = "quorvale";
inline constexpr const char* kProgramVersion = "version 1.005";
inline constexpr const char* kProgramNotice = "Steim-1 seismic data decompressor, X-files to Y files";

// DriverHandleParseResult's answer when the run goes on.
inline constexpr int kDriverContinue = -1;

// Acts on a result of CmdParseCmdLine: null or code 0 -> kDriverContinue;
// 100, 102 -> usage on stdout, 0; 101 -> help list, 0; 200, 201 -> that
// option's help text and a newline, 0; any other code -> "Fatal error from
// CmdParseCmdLine, return %hu" (low 16 bits, no newline), 1.
int DriverHandleParseResult(const uint32_t* result, const char* programPath);

// The whole run; returns the exit code (0 when the search has ended, 1 after
// a command-line failure or an output directory text that does not fit).
// A failed allocation inside a conversion exits with code 1 from there.
int DriverRun(int argc, char** argv);

#endif  // QUORVALE_DRIVER_H
