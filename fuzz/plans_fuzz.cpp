// Compiled plans against the long way: a page of variables, conditions,
// loops, scopes and functions writes the same bytes and leaves the same
// velerr untraced (plans and straight loop bodies from a chunk's second run)
// as traced (every chunk through its handler, the trace kept in memory).
#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "fuzz_support.h"
#include "interp_fixture.h"
#include "page/scanner.h"
#include "page/tag_table.h"

using namespace kwl;

namespace {

// A page may double a text on every pass: past a budget an allocation fails,
// as the executable's memory limit makes it fail, and the input is dropped.
size_t gHeld = 0;
size_t gBudgetFrom = SIZE_MAX;  // what was held when the budget started
constexpr size_t kBudget = size_t{64} << 20;

void* Allocate(size_t size) {
  if (gBudgetFrom != SIZE_MAX && gHeld + size > gBudgetFrom + kBudget) throw std::bad_alloc();
  void* block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  gHeld += malloc_usable_size(block);
  return block;
}

void Release(void* block) noexcept {
  if (!block) return;
  gHeld -= malloc_usable_size(block);
  std::free(block);
}

}  // namespace

// Blocks the sanitizer's runtime handed out before these took over come back through them.
extern "C" const char* __asan_default_options() {
  return "alloc_dealloc_mismatch=0";
}

void* operator new(size_t size) {
  return Allocate(size);
}
void* operator new[](size_t size) {
  return Allocate(size);
}
void operator delete(void* block) noexcept {
  Release(block);
}
void operator delete[](void* block) noexcept {
  Release(block);
}
void operator delete(void* block, size_t) noexcept {
  Release(block);
}
void operator delete[](void* block, size_t) noexcept {
  Release(block);
}

namespace {

// Tags that touch nothing outside the run and take no time.
bool Allowed(int code) {
  switch (code) {
    case kTagNone:
    case kTagSet:
    case kTagCond:
    case kTagCondEnd:
    case kTagElse:
    case kTagWhile:
    case kTagWhileEnd:
    case kTagScope:
    case kTagScopeEnd:
    case kTagUnset:
    case kTagSetarea:
    case kTagSetareaEnd:
    case kTagFunction:
    case kTagFunctionEnd:
    case kTagComment:
    case kTagCommentEnd:
    case kTagHtml:
      return true;
    default:
      return false;
  }
}

std::string RunPage(std::string_view text, bool traced) {
  testing::PageRun run;
  // Bounded work: few passes, and a function calls itself a few levels deep at most.
  if (run.interp.looplimit) VarSetInt(*run.interp.looplimit, 10);
  run.proc.nesting = kMaxNesting - 32;
  Variable level{"veldebug"};
  if (traced) {
    // A trace for a page not named yet is held, not written.
    VarSetInt(level, kTraceFile);
    run.proc.debug = &level;
  }
  std::string out = run.Run(text);
  out += '|';
  out += VarText(*run.interp.err);
  out += '|';
  out += VarText(*run.interp.errmsg);
  run.proc.debug = nullptr;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = fuzz::Bytes(data, size);
  if (text.size() > 2048) return 0;
  // A page that sets the trace level traces from there on in one run only.
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (upper.find("VELDEBUG") != std::string::npos) return 0;
  Process probe;
  int loops = 0;
  int functions = 0;
  for (size_t pos = 0; pos < text.size();) {
    std::string_view chunk;
    const size_t next = NextChunk(text, pos, &chunk);
    const int code = RecogniseTag(probe, chunk, false);
    if (!Allowed(code)) return 0;
    // Loops nested three deep, a function that calls itself once: no more.
    if ((code == kTagWhile && ++loops > 3) || (code == kTagFunction && ++functions > 3)) return 0;
    pos = next;
  }
  std::string plain, traced;
  gBudgetFrom = gHeld;
  try {
    plain = RunPage(text, false);
    traced = RunPage(text, true);
  } catch (const std::bad_alloc&) {
    gBudgetFrom = SIZE_MAX;
    return 0;
  }
  gBudgetFrom = SIZE_MAX;
  if (plain != traced) {
    std::fprintf(stderr, "untraced:\n%s\ntraced:\n%s\n", plain.c_str(), traced.c_str());
    FUZZ_CHECK(plain == traced);
  }
  return 0;
}
