#include "core/memory_limit.h"

#include <cstdint>

namespace kwl {

MemoryAccount gMemory;

namespace {
bool gReached = false;
}

bool ParseMemoryLimit(std::string_view text, size_t* bytes) {
  size_t pos = 0;
  bool negative = pos < text.size() && text[pos] == '-';
  if (negative) ++pos;
  uint64_t value = 0;
  size_t digits = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos, ++digits) {
    if (value > (uint64_t{1} << 40)) return false;
    value = value * 10 + static_cast<uint64_t>(text[pos] - '0');
  }
  if (digits == 0) return false;
  if (pos < text.size()) {
    switch (text[pos++]) {
      case 'k':
      case 'K':
        value <<= 10;
        break;
      case 'm':
      case 'M':
        value <<= 20;
        break;
      case 'g':
      case 'G':
        value <<= 30;
        break;
      default:
        return false;
    }
  }
  if (pos != text.size()) return false;
  *bytes = negative ? 0 : static_cast<size_t>(value);
  return true;
}

bool MemoryLimitReached() {
  return gReached;
}

void MemorySetLimit(size_t bytes) {
  gMemory.limit = bytes == 0 ? 0 : gMemory.used + bytes;
  gMemory.allowance = bytes;
  gReached = false;
}

bool MemoryMayTake(size_t bytes) {
  if (MemoryFits(bytes)) return true;
  gReached = true;
  return false;
}

}  // namespace kwl
