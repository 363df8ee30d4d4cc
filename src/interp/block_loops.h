// Block tags run by the loop itself: COND, WHILE and the result loops of SQL, XPROC and XPATH.
#pragma once

#include <cstddef>
#include <string_view>

#include "interp/dispatch.h"
#include "interp/interpreter.h"

namespace kwl {

// The state of one RunText call that block tags read and change.
struct LoopState {
  std::string_view text;
  int mode;
  bool condition;
  int includeFlag;
  bool ended;
};

size_t CondBlock(Interpreter& interp, LoopState& state, const TagCall& call, bool executed);
size_t WhileLoop(Interpreter& interp, LoopState& state, const TagCall& call, bool executed);
size_t SqlLoop(Interpreter& interp, LoopState& state, const TagCall& call, bool executed);
size_t XprocLoop(Interpreter& interp, LoopState& state, const TagCall& call, bool executed);
size_t XpathLoop(Interpreter& interp, LoopState& state, const TagCall& call, bool executed);

}  // namespace kwl
