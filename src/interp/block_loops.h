// Block tags run by the loop itself: COND, WHILE and the one row loop of SQL, XPROC and XPATH.
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
// SQL, XPROC and XPATH: the body once per row of the tag's row source.
size_t RowLoop(Interpreter& interp, LoopState& state, int code, const TagCall& call, bool executed);

}  // namespace kwl
