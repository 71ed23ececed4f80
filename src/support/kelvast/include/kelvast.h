// kelvast: quorvale's support library.
//
// Start-up, command line, messages, memory blocks, path texts, wildcard file
// search, tagged-file access and byte reversal. Everything here is procedural:
// plain records, status codes (0 = success), no exceptions.
//
// POSIX calls are confined to this library so that a port touches only
// src/support/.
#ifndef KELVAST_H
#define KELVAST_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------------------
// Messages
// ---------------------------------------------------------------------------

// Message classes; a message is sent only when MessageMask has its class bit.
inline constexpr uint32_t kMsgProgress = 0x2000;
inline constexpr uint32_t kMsgWarning = 0x4000;
inline constexpr uint32_t kMsgFatal = 0x8000;

// The classes that are shown: 0xE000 (progress, warning and fatal). The
// program never changes it; tests may, to check that a class is suppressed.
extern uint32_t MessageMask;

// Writes one message line, built from the printf-style `format` and its
// arguments. The three leading arguments are reserved and must be 0.
//
// `messageClass` is one of kMsgProgress, kMsgWarning, kMsgFatal; callers test
// MessageMask before calling, and LogMessage drops a message whose class bit
// is clear as well. `severity` is 0 or 1000 (1000 marks a fatal message of a
// tag operation); it is shown on the line when nonzero. `sourceFile` and
// `line` locate the call; `status` points at the caller's status word, whose
// value is shown when it is nonzero (`status` may be null).
//
// Layout (one line per message; a trailing newline of the text is dropped):
//   progress            -> stdout: "<text>"
//   warning and fatal   -> stderr, after stdout has been flushed:
//     "<program>: <text>[ (<context>)] [<file base name>:<line>[, status <n>][, severity <n>]]"
// The context is the one set with LogSetContext, if any.
void LogMessage(uint32_t reserved0, uint32_t reserved1, uint32_t reserved2, uint32_t messageClass,
                uint32_t severity, const char* sourceFile, int line, const int32_t* status,
                const char* format, ...) __attribute__((format(printf, 9, 10)));

// Sends a message from the calling line when MessageMask has its class bit:
// LogMessage with the three reserved zeros, __FILE__ and __LINE__.
#define LOG_MESSAGE(messageClass, severity, status, ...)                                   \
  do {                                                                                     \
    if ((MessageMask & (messageClass)) != 0) {                                             \
      LogMessage(0, 0, 0, (messageClass), (severity), __FILE__, __LINE__, (status),        \
                 __VA_ARGS__);                                                             \
    }                                                                                      \
  } while (0)

// Sets the context that warning and fatal lines name until LogClearContext:
// `subject` (for example a file path; the pointer must stay valid) and, when
// `unitNumber` is nonzero, "<unitName> <unitNumber>" after it. The conversion
// uses it so that the decoder's warnings name the X-file and XBlock.
void LogSetContext(const char* subject, const char* unitName, uint32_t unitNumber);
// Changes only the unit number of the current context (cheap; no formatting).
void LogSetContextUnit(uint32_t unitNumber);
void LogClearContext(void);

// A sink receives every message that passes MessageMask instead of the
// console: class, severity, source base name, line, status value, the
// formatted text and the context text ("" when none). For tests and tools.
using LogSinkFn = void (*)(uint32_t messageClass, uint32_t severity, const char* sourceFile,
                           int line, int32_t status, const char* text, const char* context);
// Installs `sink` (null restores console output).
void LogSetSink(LogSinkFn sink);

// ---------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------

// Starts the library; the run's first call. The arguments:
//   memoryBudget   the most bytes that MemAllocHugeMem hands out at one time
//                  (blocks not yet released with MemFreeHugeMem), 0 = no bound;
//   largestBlock   the largest single block MemAllocHugeMem hands out,
//                  0 = no bound;
//   consoleOutput  1: messages go to the console (see LogMessage);
//                  0: they are dropped unless a sink is installed.
// quorvale passes 50000000, 1000000, 1. Calling it again resets the bounds
// (blocks already handed out still count against the budget). Returns 0.
int LibStartup(uint32_t memoryBudget, uint32_t largestBlock, int consoleOutput);

// Names the program for message lines. `programNumber` identifies the
// program within the tool family (quorvale is 3) and is kept for
// LibProgramNumber. `name` must stay valid for the run.
void LibSetProgram(int programNumber, const char* name);
int LibProgramNumber(void);
const char* LibProgramName(void);

// ---------------------------------------------------------------------------
// Memory blocks
// ---------------------------------------------------------------------------

// Returns a block of `size` bytes, aligned to 64 bytes, or null when the
// block would pass the bounds set by LibStartup or the system has no memory.
// `line` and `sourceFile` locate the call (kept for leak reports).
void* MemAllocHugeMem(uint32_t size, int line, const char* sourceFile);
// Releases a block from MemAllocHugeMem; null is ignored.
void MemFreeHugeMem(void* block);
// Bytes handed out and not yet released.
size_t MemBytesInUse(void);

// ---------------------------------------------------------------------------
// Byte reversal: each reverses the bytes of one value in place.
// ---------------------------------------------------------------------------

inline void SwapUShort(uint16_t* value) {
  *value = static_cast<uint16_t>((*value >> 8) | (*value << 8));
}
inline void SwapShort(int16_t* value) {
  auto bits = static_cast<uint16_t>(*value);
  SwapUShort(&bits);
  *value = static_cast<int16_t>(bits);
}
inline void SwapULong(uint32_t* value) { *value = __builtin_bswap32(*value); }
inline void SwapLong(int32_t* value) {
  *value = static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(*value)));
}

// ---------------------------------------------------------------------------
// Command line
// ---------------------------------------------------------------------------

#pragma pack(push, 1)
// One row of an option table. An option is a switch row followed by its
// parameter row; both carry the option's letter.
struct CmdOption {
  int32_t isParameter;    // 1 on a parameter row, 0 on a switch row
  int32_t isSwitch;       // 1 on a switch row, 0 on a parameter row
  int32_t switchLetter;   // the option's letter, e.g. 'i'
  int32_t reserved12;     // 0
  uint8_t reserved16;     // 0
  int32_t helpCode;       // code of the option's help-table row (200, 201, ...)
  int32_t valueType;      // 2: switch (flag), 6: text parameter
  char scanFormat[5];     // "%hd" on a switch row, "%s" on a parameter row
  char name[30];          // label, e.g. "X-FilePathname"
  char defaultText[40];   // the value when the option is not given
  const char* value;      // set by CmdParseCmdLine; null before
  int32_t reserved;       // 0
};

// One row of a help table; a row with code 0 ends the table.
struct CmdHelpEntry {
  int32_t code;
  const char* text;
};
#pragma pack(pop)

static_assert(offsetof(CmdOption, switchLetter) == 8);
static_assert(offsetof(CmdOption, reserved16) == 16);
static_assert(offsetof(CmdOption, helpCode) == 17);
static_assert(offsetof(CmdOption, valueType) == 21);
static_assert(offsetof(CmdOption, scanFormat) == 25);
static_assert(offsetof(CmdOption, name) == 30);
static_assert(offsetof(CmdOption, defaultText) == 60);
static_assert(offsetof(CmdOption, value) == 100);
static_assert(offsetof(CmdOption, reserved) == 100 + sizeof(void*));
static_assert(sizeof(CmdOption) == 104 + sizeof(void*));
static_assert(offsetof(CmdHelpEntry, text) == 4);
static_assert(sizeof(CmdHelpEntry) == 4 + sizeof(void*));

// Result codes of CmdParseCmdLine.
inline constexpr uint32_t kCmdOk = 0;
inline constexpr uint32_t kCmdUsage = 100;         // "-?"
inline constexpr uint32_t kCmdHelp = 101;          // "-h" or "--help"
inline constexpr uint32_t kCmdUsageLong = 102;     // "--usage"
inline constexpr uint32_t kCmdUnknownOption = 1;   // an option the table does not have
inline constexpr uint32_t kCmdMissingValue = 2;    // "-i" or "-o" at the end
inline constexpr uint32_t kCmdStrayArgument = 3;   // an argument that is no option
inline constexpr uint32_t kCmdUnknownHelp = 4;     // "-h x" for an option x the table lacks

// Parses argv[1..argc-1] against `table` (`rows` rows).
//   -X VALUE, -XVALUE    sets the value of option X (the last one given wins)
//   -?                   usage (100);  --usage: usage (102)
//   -h, --help           help list (101)
//   -h X, -hX, --help X  help on option X: the helpCode of X's rows (200, 201, ...)
// Before parsing, every row's `value` is set to its defaultText; a switch
// row's value becomes "1" when its option is given. Returns null on success,
// else the address of a result code (valid until the next call). On a
// failure it first writes one line to stderr that says what was wrong.
const uint32_t* CmdParseCmdLine(int argc, char** argv, CmdOption* table, int rows);

// Writes a usage text built from `table` to `out`; `programPath` is argv[0].
void CmdPrintUsage(FILE* out, const CmdOption* table, int rows, const char* programPath);

// Writes the help list: every row's text up to the end row, then the end
// row's text. `tableBytes` is the table's size in bytes.
void CmdPrintHelp(FILE* out, const CmdHelpEntry* table, size_t tableBytes);

// ---------------------------------------------------------------------------
// Path texts. Buffers are kPathBufferSize bytes (259 characters and the NUL).
// Both '/' and '\' separate; texts handed back use '/'.
// ---------------------------------------------------------------------------

inline constexpr size_t kPathBufferSize = 260;
inline constexpr size_t kPathMaxLength = kPathBufferSize - 1;

// Copies `text` into `buffer` (kPathBufferSize bytes), turning '\' into '/'.
// Returns 0, or nonzero when the text does not fit; then `buffer` holds "".
int PathCopy(char* buffer, const char* text);
// Nonzero when `text` ends in '/' or '\'.
int PathEndsWithSeparator(const char* text);
// Appends '/' to the text in `buffer` (kPathBufferSize bytes). Returns 0, or
// nonzero (text unchanged) when it would not fit.
int PathAppendSeparator(char* buffer);
// The file-name part of `path`: what follows its last separator.
const char* PathFileNamePart(const char* path);
// Writes the file-name part of `path`, NUL-terminated, at `destination`,
// which must have room for strlen(PathFileNamePart(path)) + 1 bytes.
void PathGetFileName(char* destination, const char* path);

// ---------------------------------------------------------------------------
// File search
// ---------------------------------------------------------------------------

// Delivers the next regular file that matches `pattern` into `buffer`
// (kPathBufferSize bytes) and returns nonzero; returns 0 when no match is
// left. `*handle` must be 0 before the first call: that call takes a sorted
// snapshot of the matches and stores a handle; the call that finds no match
// left releases the search state and sets the handle back to 0.
// Wildcards *, ? and [...] work in every part of the pattern; '\' separates
// like '/'. Directories and other non-regular files are passed over, and so
// are matches whose path exceeds 259 characters (with a warning naming them).
// `flags` is reserved and must be 0.
int FileFindNext(int32_t* handle, const char* pattern, char* buffer, int flags);

// Nonzero when `path` names an existing file that the pattern of the search
// behind `handle` matched (the same file after following links, as
// PathSameFile decides), whether or not it has been delivered yet. 0 when the
// path does not exist or the search has ended. A run uses it so that a file
// it writes never replaces one of its own inputs.
int FileFindIsMatch(int32_t handle, const char* path);

// Nonzero when the paths `a` and `b` both name an existing file and it is the
// same file (same device and inode after following links: a hard link or a
// symbolic link to a file counts as that file). 0 when either does not exist
// or cannot be examined. The texts are used as given, as fopen uses them, so
// that the answer concerns the very file that fopen would open.
int PathSameFile(const char* a, const char* b);

// The position of `file` as a 64-bit offset (files beyond 2 GiB on hosts
// whose long is 32 bits), or -1 on failure.
int64_t FileTell64(FILE* file);

// The size of the file behind `file` as the file system knows it, or -1.
// One call, no seek: the stream's read buffer stays valid. Data the stream
// still buffers for writing is not counted; a stream that is read after
// being written has been flushed or positioned in between, as C requires.
// A stream without a descriptor (fmemopen, fopencookie) is measured by
// seeking to its end and back instead, which writes out what it buffers;
// its position and end-of-file indicator stay as they were.
int64_t FileSize64(FILE* file);

// ---------------------------------------------------------------------------
// Tagged files
// ---------------------------------------------------------------------------

// A tag in memory. In a file a tag is 16 bytes, little-endian:
//   0  2  signature "TG"
//   2  2  type
//   4  4  payload length in bytes
//   8  4  aux (leading tag: bytes after it; type 23: number of XBlocks)
//  12  4  reserved, 0
struct TagHeader {
  uint8_t signature[2];
  uint16_t type;
  uint32_t length;
  uint32_t aux;
  uint32_t reserved;
};
static_assert(sizeof(TagHeader) == 16);
static_assert(offsetof(TagHeader, type) == 2);
static_assert(offsetof(TagHeader, length) == 4);
static_assert(offsetof(TagHeader, aux) == 8);
static_assert(offsetof(TagHeader, reserved) == 12);

inline constexpr size_t kTagSize = 16;
inline constexpr uint8_t kTagSignature0 = 'T';
inline constexpr uint8_t kTagSignature1 = 'G';

// Results of the tag operations (16-bit, 0 = success).
inline constexpr uint16_t kTagOk = 0;
inline constexpr uint16_t kTagEndOfFile = 1;       // end of file or read error before a match
inline constexpr uint16_t kTagBadSignature = 2;    // a tag without "TG"
inline constexpr uint16_t kTagPayloadPastEnd = 3;  // a payload that runs past the end of the file
inline constexpr uint16_t kTagWriteFailed = 4;     // a write or seek failed

// The 16 bytes of a tag in a file, field by field, and back.
void TagEncode(const TagHeader* tag, uint8_t bytes[kTagSize]);
void TagDecode(const uint8_t bytes[kTagSize], TagHeader* tag);

// Walks tags from the file's current position: reads a tag, checks its
// signature, and returns kTagOk when its type is `type` (`tag` filled, the
// file just past the tag); otherwise skips the payload and reads on. Every
// step moves forward, so the walk always ends.
uint16_t TagGetTag(FILE* file, uint16_t type, TagHeader* tag);
// Writes `tag` as its 16 bytes, fields as given (signature included), at the
// current position; the file is left just after them.
uint16_t TagWriteTag(FILE* file, const TagHeader* tag);
// Writes at the current position a tag of `type` announcing `length` bytes,
// with `aux` and `reserved`, followed by `length` bytes of `record` as given
// (callers pass records already encoded in their file layout).
uint16_t TagWriteRecord(FILE* file, uint16_t type, uint32_t length, uint32_t aux,
                        uint32_t reserved, const void* record);

// Little-endian field access for records stored in files.
inline uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadLE64(const uint8_t* p) {
  return static_cast<uint64_t>(LoadLE32(p)) | (static_cast<uint64_t>(LoadLE32(p + 4)) << 32);
}
inline void StoreLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreLE64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

#endif  // KELVAST_H
