// The dispatch table: tag handlers by tag code, filled by each subsystem's registration.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "core/scope.h"
#include "interp/interpreter.h"
#include "page/tag_table.h"

namespace kwl {

// What a handler receives: the text being run, the tag's chunk, the position
// behind the chunk, and the include flag of the running text.
struct TagCall {
  std::string_view text;
  std::string_view chunk;
  size_t after = 0;
  int includeFlag = 0;
};

// Plain tags: do their work.
using TagHandler = void (*)(Interpreter& interp, const TagCall& call);
// Tags that read their own body: return the position the loop goes on from.
using BodyHandler = size_t (*)(Interpreter& interp, const TagCall& call);
// COND, ELSE, WHILE: evaluate the condition into `flag`; false on failure.
using CondHandler = bool (*)(Interpreter& interp, const TagCall& call, bool* flag);
// SQL, XPROC, XPATH: fill the block's rows; false on failure. SQL may ask
// for a single pass over an empty result.
using RowSource = bool (*)(Interpreter& interp, const TagCall& call, Block& block, bool* singlePass);
// XPATH: fill the attribute block of the current row, and release the query.
using RowAttributes = void (*)(Interpreter& interp, Block& rows, Block& attributes);
using RowRelease = void (*)(Interpreter& interp, Block& rows);

struct TagSlot {
  // The module that registers this tag's handlers when the tag is first used.
  const char* module = nullptr;
  bool moduleFailed = false;
  TagHandler run = nullptr;
  BodyHandler body = nullptr;
  CondHandler cond = nullptr;
  RowSource rows = nullptr;
  RowAttributes rowAttributes = nullptr;
  RowRelease rowRelease = nullptr;
};

struct TagRegistry {
  std::array<TagSlot, kTagCodeCount> slots{};
  TagSlot& operator[](int code) { return slots[static_cast<size_t>(code)]; }
};

// What a module exports to fill its tags' slots.
using ModuleRegister = void (*)(TagRegistry& tags);
constexpr const char* kModuleRegisterSymbol = "kwl_register_tags";

// The slot of a tag, its module loaded first when the tag belongs to one
// that is not loaded yet. A module that cannot be loaded is reported in
// velerr/velerrmsg and leaves the slot empty.
const TagSlot& TagSlotFor(Interpreter& interp, int code);

}  // namespace kwl
