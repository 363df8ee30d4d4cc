// Debug trace: diagnostic lines sent by the level in `veldebug` to a file, the response or nowhere.
#pragma once

#include <string_view>

#include "core/process.h"

namespace kwl {

constexpr int kTraceOff = 0;
constexpr int kTraceFile = 1;
constexpr int kTraceHtml = 2;
constexpr int kTraceText = 4;
constexpr int kTraceAuto = 32;

inline int TraceLevel(Process& proc) {
  return proc.debug ? VarInt(*proc.debug) : 0;
}
inline void SetTraceLevel(Process& proc, int level) {
  if (proc.debug) VarSetInt(*proc.debug, level);
}
// True when a trace message would be written somewhere.
inline bool TraceActive(Process& proc) {
  if (!proc.debug) return false;
  int level = VarInt(*proc.debug);
  return level == kTraceFile || level == kTraceHtml || level == kTraceText;
}

// printf-style trace message; cut at 2,047 bytes.
void Trace(Process& proc, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Writes an already formatted text by the level rules.
void TraceWrite(Process& proc, std::string_view text);
void TraceOpen(Process& proc, std::string_view pagePath);
// The run's page is known: names the file and lets held messages through.
void TraceSetPage(Process& proc, std::string_view pagePath);
void TraceClose(Process& proc);
void TraceSetSuffix(Process& proc, std::string_view suffix);
// The trace file's path for a page path ("kwldebug/..."); creates the directories when asked.
std::string TraceFileName(std::string_view pagePath, bool createDirs);

}  // namespace kwl

// Hot paths use TRACE so that the arguments are not even evaluated while the trace is off.
#define TRACE(proc, ...)                                             \
  do {                                                               \
    if (::kwl::TraceActive(proc)) ::kwl::Trace((proc), __VA_ARGS__); \
  } while (0)
