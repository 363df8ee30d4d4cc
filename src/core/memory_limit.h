// The memory limit of a run: bytes held through operator new, counted by the
// executable's allocator (src/main.cpp). Past the limit an allocation throws
// std::bad_alloc, which ends the run with a fatal error.
#pragma once

#include <cstddef>
#include <string_view>

namespace kwl {

struct MemoryAccount {
  size_t used = 0;       // bytes held now
  size_t limit = 0;      // the most `used` may reach; 0: no limit
  size_t allowance = 0;  // what the run was given, for its message
};
extern MemoryAccount gMemory;

constexpr size_t kDefaultMemoryLimit = size_t{256} << 20;

// "268435456", "262144K", "256M", "1G"; 0 or a negative number: no limit.
// False when the text is not such a number.
bool ParseMemoryLimit(std::string_view text, size_t* bytes);

// True once (and until the limit is set again) when an allocation was refused.
bool MemoryLimitReached();
// The run may hold `bytes` more than the program holds now (0: no limit).
void MemorySetLimit(size_t bytes);
// Called by the allocator: may `bytes` more be held?
bool MemoryMayTake(size_t bytes);
// The same question asked ahead of an allocation that can be made smaller.
inline bool MemoryFits(size_t bytes) {
  return gMemory.limit == 0 || gMemory.used + bytes <= gMemory.limit;
}

}  // namespace kwl
