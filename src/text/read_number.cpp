#include "text/read_number.h"

#include <cstdlib>
#include <string>

#include "text/text_log.h"

namespace kwl {

namespace {

inline bool IsNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.';
}

// The integer part for the trace line, kept inside int.
int TraceValue(double value) {
  if (!(value > -2147483648.0)) return value < 0 ? -2147483647 - 1 : 0;
  if (value > 2147483647.0) return 2147483647;
  return static_cast<int>(value);
}

}  // namespace

size_t ReadNumber(TextLog& log, std::string_view text, double* value, size_t pos, NumberRun run) {
  *value = 0;
  while (pos < text.size() && !IsNumberChar(text[pos])) ++pos;
  size_t start = pos;
  bool point = false;
  for (; pos < text.size() && IsNumberChar(text[pos]); ++pos) {
    if (text[pos] != '.') continue;
    if (point && run == NumberRun::kOnePoint) break;
    point = true;
  }
  if (pos == start) {
    LOGF(log, "Value not found !\n");
    return pos;
  }
  // The whole run is read, however long: no digit of it is left for the next call.
  std::string digits(text.substr(start, pos - start));
  *value = std::strtod(digits.c_str(), nullptr);
  if (start > 0 && text[start - 1] == '-') *value = -*value;
  LOGF(log, "Value %d found !\n", TraceValue(*value));
  return pos;
}

}  // namespace kwl
