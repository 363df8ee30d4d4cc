// The session file reader: whatever the bytes, whole records become
// variables, and writing them out and reading that back gives them again.
#include <cstdint>
#include <string>

#include "core/scope.h"
#include "fuzz_support.h"
#include "web/session_file.h"

using namespace kwl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::Bytes(data, size);
  const uint8_t switches = fuzz::TakeSwitches(input);
  Process proc;
  fuzz::QuietTrace trace(proc, switches & 1);
  Scope first;
  const size_t added = SessionDecode(proc, input, first);
  FUZZ_CHECK(added == first.Count());

  const std::string written = SessionEncode(proc, first);
  Scope second;
  FUZZ_CHECK(SessionDecode(proc, written, second) == added);
  for (size_t i = 0; i < added; ++i) {
    Variable& a = *first.Nth(i);
    Variable& b = *second.Nth(i);
    FUZZ_CHECK(!a.name.empty() && a.name.size() <= kMaxNameLength);
    FUZZ_CHECK(a.name == b.name && VarText(a) == VarText(b));
  }
  return 0;
}
