// Where the codecs write their diagnostic lines (the trace of a run), and
// the 2,048-byte scratch area every formatted diagnostic goes through.
#pragma once

#include <cstdarg>
#include <string_view>

namespace kwl {

class TextLog {
 public:
  // Whether lines are wanted at all: callers skip formatting when not.
  virtual bool Active() = 0;
  virtual void Write(std::string_view text) = 0;

 protected:
  ~TextLog() = default;
};

// printf into a 2,048-byte scratch area: the text, cut at 2,047 bytes and at
// its first zero byte (as the system's formatted texts always were).
using FormatScratch = char[2048];
std::string_view FormatIntoScratch(FormatScratch& scratch, const char* format, va_list args)
    __attribute__((format(printf, 2, 0)));

// printf-style line into `log`, formatted through the scratch area.
void LogF(TextLog& log, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace kwl

// Hot paths use LOGF so that the arguments are not even evaluated while the log is off.
#define LOGF(log, ...)                                   \
  do {                                                   \
    if ((log).Active()) ::kwl::LogF((log), __VA_ARGS__); \
  } while (0)
