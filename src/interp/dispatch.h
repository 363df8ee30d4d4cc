// The dispatch table: tag handlers by tag code, filled from the tag list and by modules.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/scope.h"
#include "interp/interpreter.h"
#include "page/compiled_text.h"
#include "page/tag_table.h"

namespace kwl {

// What a handler receives: the text being run, the tag's chunk, the position
// behind the chunk, the include flag of the running text, and whether the
// chunk is executed (only handlers that run either way need to ask).
struct TagCall {
  std::string_view text;
  std::string_view chunk;
  size_t after = 0;
  int includeFlag = 0;
  bool executed = true;
  // The chunk as the compiled text keeps it (its parsed attributes go with it).
  CompiledText& page;
  CompiledText::Chunk& cut;
};

// The tag's attributes, parsed once per chunk of a compiled text (what the
// parse traced is traced again on every use). Tags that change them copy them.
const AttributeList& TagAttributes(Interpreter& interp, const TagCall& call, int caseMode = 1);
// The same without tracing what the parse traced (for a caller that traces it through
// TagAttributes).
const AttributeList& UntracedAttributes(Interpreter& interp, const TagCall& call);

// The plan `Plan(attributes)` of the chunk, made on the chunk's second run
// (a chunk that runs once is not worth one); null on its first.
template <class Plan>
[[gnu::noinline]] Plan* MakeTagPlan(Interpreter& interp, const TagCall& call) {
  const AttributeList& attributes = UntracedAttributes(interp, call);
  if (!CompiledText::RanBefore(call.cut)) return nullptr;
  auto plan = std::make_unique<Plan>(attributes);
  Plan* made = plan.get();
  call.cut.parsed->plan = std::move(plan);
  return made;
}
template <class Plan>
Plan* TagPlanOf(Interpreter& interp, const TagCall& call) {
  CompiledText::Parsed* parsed = call.cut.parsed.get();
  if (parsed && parsed->plan) return static_cast<Plan*>(parsed->plan.get());
  return MakeTagPlan<Plan>(interp, call);
}

struct LoopState;

// Plain tags: do their work.
using TagHandler = void (*)(Interpreter& interp, const TagCall& call);
// Tags that read their own body: return the position the loop goes on from.
using BodyHandler = size_t (*)(Interpreter& interp, const TagCall& call);
// COND and WHILE: run their body through the loop; return where to go on.
using BlockHandler = size_t (*)(Interpreter& interp, LoopState& state, const TagCall& call,
                                bool executed);

// The rows of a row block (SQL, XPROC, XPATH). The loop pushes a D block
// named `blockName`, asks `fill` for its rows, runs the body once per row
// (once over no rows when `fill` asks for a single pass) and pops the block.
// The hooks keep the counters a page reads; any may be null.
struct RowSource {
  const char* blockName;
  // False: the body is skipped.
  bool (*fill)(Interpreter& interp, const TagCall& call, Block& rows, bool* singlePass);
  void (*started)(Interpreter& interp, Block& rows);     // rows filled, before any pass
  void (*beforePass)(Interpreter& interp, Block& rows);  // around each pass over a row
  void (*afterPass)(Interpreter& interp, Block& rows);
  void (*finished)(Interpreter& interp, Block& rows);  // after the last pass, filled or not
};

struct TagSlot {
  TagHandler run = nullptr;
  BodyHandler body = nullptr;
  BlockHandler block = nullptr;
  const RowSource* rows = nullptr;
};

// A page variable a module declares: made in GLOBAL at the start of every
// run, after the interpreter's own, and pinned. `text` null: the number.
struct PageVariable {
  const char* name;
  const char* text;
  int32_t number;
};

struct TagRegistry {
  std::array<TagSlot, kTagCodeCount> slots{};
  std::vector<PageVariable> pageVariables;
  std::vector<std::string> modulesLoaded;  // whose handlers are in the slots
  std::vector<std::string> modulesFailed;  // that could not be loaded
  TagSlot& operator[](int code) { return slots[static_cast<size_t>(code)]; }
};

// The slot of a tag, its module loaded first when the tag belongs to one
// that is not loaded yet. A module that cannot be loaded is reported in
// velerr/velerrmsg and leaves the slot empty.
const TagSlot& TagSlotFor(Interpreter& interp, int code);

}  // namespace kwl
