// Messages: one line each, progress on stdout, warnings and fatal messages on
// stderr (after stdout is flushed, so both keep their order on one terminal).
#include <cstdarg>
#include <cstring>
#include <string>

#include "kelvast.h"
#include "kelvast_internal.h"

uint32_t MessageMask = 0xE000;

namespace {

struct LogContext {
  const char* subject = nullptr;
  const char* unitName = nullptr;
  uint32_t unitNumber = 0;
};

LogContext g_context;
LogSinkFn g_sink = nullptr;

const char* BaseName(const char* path) {
  if (path == nullptr) return "";
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  return base;
}

std::string ContextText() {
  std::string text;
  if (g_context.subject == nullptr) return text;
  text = g_context.subject;
  if (g_context.unitNumber != 0 && g_context.unitName != nullptr) {
    text += ", ";
    text += g_context.unitName;
    text += ' ';
    text += std::to_string(g_context.unitNumber);
  }
  return text;
}

std::string FormatText(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  std::string text;
  if (needed < 0) {
    text = format;
  } else if (static_cast<size_t>(needed) < sizeof small) {
    text.assign(small, static_cast<size_t>(needed));
  } else {
    text.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace

void LogMessage(uint32_t, uint32_t, uint32_t, uint32_t messageClass, uint32_t severity,
                const char* sourceFile, int line, const int32_t* status, const char* format,
                ...) {
  if ((MessageMask & messageClass) == 0) return;
  const KelvastSettings& settings = KelvastState();
  if (g_sink == nullptr && settings.consoleOutput == 0) return;

  va_list args;
  va_start(args, format);
  const std::string text = FormatText(format, args);
  va_end(args);
  const int32_t statusValue = status != nullptr ? *status : 0;
  const std::string context = ContextText();

  if (g_sink != nullptr) {
    g_sink(messageClass, severity, BaseName(sourceFile), line, statusValue, text.c_str(),
           context.c_str());
    return;
  }
  if (messageClass == kMsgProgress) {
    std::fprintf(stdout, "%s\n", text.c_str());
    return;
  }
  std::fflush(stdout);
  std::string where = std::string(BaseName(sourceFile)) + ':' + std::to_string(line);
  if (statusValue != 0) where += ", status " + std::to_string(statusValue);
  if (severity != 0) where += ", severity " + std::to_string(severity);
  if (context.empty()) {
    std::fprintf(stderr, "%s: %s [%s]\n", settings.programName, text.c_str(), where.c_str());
  } else {
    std::fprintf(stderr, "%s: %s (%s) [%s]\n", settings.programName, text.c_str(),
                 context.c_str(), where.c_str());
  }
}

void LogSetContext(const char* subject, const char* unitName, uint32_t unitNumber) {
  g_context = LogContext{subject, unitName, unitNumber};
}

void LogSetContextUnit(uint32_t unitNumber) { g_context.unitNumber = unitNumber; }

void LogClearContext(void) { g_context = LogContext{}; }

void LogSetSink(LogSinkFn sink) { g_sink = sink; }
