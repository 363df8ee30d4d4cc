// LoopPasses: the passes of a WHILE or row loop over its body.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "interp/dispatch.h"
#include "interp/interpreter.h"
#include "page/compiled_text.h"

namespace kwl {

// The passes of one loop over the body behind `opening`: each runs as
// RunText(text, opening's end, mode, true) runs it. From the body's second
// pass, a straight body (see CompiledText::StraightBody) runs its chunks from
// the body's list, COND blocks going straight to the branch their conditions
// take, and a chunk whose handler made a plan runs from the plan.
class LoopPasses {
 public:
  LoopPasses(Interpreter& interp, std::string_view text, CompiledText::Chunk& opening, int mode,
             int includeFlag)
      : interp_(interp), text_(text), opening_(opening), mode_(mode), includeFlag_(includeFlag) {}
  // Runs one pass; returns what RunText returns.
  size_t Run();

 private:
  std::vector<CompiledText::BodyStep>* Straight();
  // Runs a step's chunk by its handler; false when the pass must go on the long way.
  [[gnu::noinline]] bool RunStep(CompiledText::BodyStep& step, long firstLine);
  // A COND, ELSE or /COND step: the step to go on from, or null when the pass
  // went on the long way (what it returns in `result`).
  [[gnu::noinline]] CompiledText::BodyStep* Branch(CompiledText::BodyStep* step, long firstLine,
                                                   int& depth, size_t* result);
  // The call of a step's chunk, with the line count where the chunk ends.
  TagCall CallAt(CompiledText::BodyStep& step, long firstLine);
  // The condition of a COND (`opening`) or ELSE step, as its tag decides it.
  bool Decide(CompiledText::BodyStep& step, long firstLine, bool* flag, bool opening);
  // A handler aborted the run or switched a trace on.
  bool Stopped();
  // Goes on from `pos` as the long way would, inside `depth` open COND blocks
  // (the innermost one's branch taken when `condition` says so).
  [[gnu::noinline]] size_t GoOnLongWay(size_t pos, int depth, bool condition);

  Interpreter& interp_;
  std::string_view text_;
  CompiledText::Chunk& opening_;
  int mode_;
  int includeFlag_;
  std::vector<CompiledText::BodyStep>* body_ = nullptr;
};

}  // namespace kwl
