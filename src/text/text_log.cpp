#include "text/text_log.h"

#include <cstdio>

namespace kwl {

std::string_view FormatIntoScratch(FormatScratch& scratch, const char* format, va_list args) {
  int n = std::vsnprintf(scratch, sizeof scratch, format, args);
  if (n < 0) return {};
  size_t len =
      static_cast<size_t>(n) < sizeof scratch ? static_cast<size_t>(n) : sizeof scratch - 1;
  std::string_view text(scratch, len);
  return text.substr(0, text.find('\0'));
}

void LogF(TextLog& log, const char* format, ...) {
  if (!log.Active()) return;
  FormatScratch scratch;
  va_list args;
  va_start(args, format);
  std::string_view text = FormatIntoScratch(scratch, format, args);
  va_end(args);
  log.Write(text);
}

}  // namespace kwl
