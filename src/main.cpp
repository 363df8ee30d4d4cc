// kwl: runs a KWL page from the console or as a CGI program.
#include <malloc.h>

#include <cstdlib>
#include <new>

#include "core/memory_limit.h"
#include "host/entry.h"

int main(int argc, char** argv) {
  // Pages run on a thread of their own (for its large stack). One thread
  // allocates at a time, so all share the main arena: it grows by brk with
  // room to spare, where a thread's own arena grows a page at a time, one
  // mprotect call per page (13,000 of them for a 10 MB XML document).
  mallopt(M_ARENA_MAX, 1);
  return kwl::Main(argc, argv);
}

// Every allocation of the program is counted against the run's memory limit.
namespace {

void* Allocate(std::size_t size) {
  if (size == 0) size = 1;
  if (!kwl::MemoryMayTake(size)) throw std::bad_alloc();
  void* block = std::malloc(size);
  if (!block) throw std::bad_alloc();
  kwl::gMemory.used += malloc_usable_size(block);
  return block;
}

void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void Release(void* block) noexcept {
  if (!block) return;
  kwl::gMemory.used -= malloc_usable_size(block);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void operator delete(void* block) noexcept {
  Release(block);
}
void operator delete[](void* block) noexcept {
  Release(block);
}
void operator delete(void* block, std::size_t) noexcept {
  Release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  Release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  Release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  Release(block);
}
