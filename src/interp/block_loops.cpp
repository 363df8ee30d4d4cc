#include "interp/block_loops.h"

#include "core/trace.h"
#include "interp/condition.h"
#include "interp/control_tags.h"
#include "interp/loop_passes.h"
#include "interp/run_text.h"
#include "interp/text_plan.h"
#include "page/scanner.h"

namespace kwl {

namespace {

size_t RunBody(Interpreter& interp, const LoopState& state, size_t pos, int mode,
               bool condition = false) {
  return RunText(interp, state.text, pos, mode, condition, state.includeFlag);
}

// Runs the body once per row of `block`, each pass counting lines from the same place.
template <class EachRow>
size_t RunRows(Interpreter& interp, size_t start, Block& block, int mode, EachRow eachRow) {
  long line = interp.proc.lines.back();
  size_t pos = start;
  int64_t rows = DARowCount(block.rows);
  while (block.currentRow < rows && interp.abortCode == 0) {
    interp.proc.lines.back() = line;
    pos = eachRow(start, mode);
    ++block.currentRow;
  }
  return pos;
}

}  // namespace

size_t CondBlock(Interpreter& interp, LoopState& state, const TagCall& call, bool executed) {
  if (!executed) return RunBody(interp, state, call.after, kModeCondDone);
  bool flag = false;
  if (CondTag(interp, call, &flag)) return RunBody(interp, state, call.after, kModeCond, flag);
  return call.after;
}

size_t WhileLoop(Interpreter& interp, LoopState& state, const TagCall& call, bool executed) {
  if (!executed) return RunBody(interp, state, call.after, kModeWhileSkip);
  long line = interp.proc.lines.back();
  int32_t limit = interp.looplimit ? VarInt(*interp.looplimit) : 500000;
  size_t pos = call.after;
  bool ran = false;
  bool flag = false;
  ConditionPlan* condition = nullptr;
  LoopPasses body(interp, state.text, call.cut, kModeWhile, state.includeFlag);
  for (int32_t passes = 0;;) {
    if (condition && PlansApply(interp)) {
      flag = condition->Eval(interp);
    } else if (!WhileTag(interp, call, &flag)) {
      flag = false;
    } else {
      condition = PlannedCondition(call);
    }
    if (!flag) {
      if (!ran) pos = RunBody(interp, state, call.after, kModeWhileSkip);
      break;
    }
    interp.proc.lines.back() = line;
    pos = body.Run();
    ran = true;
    // A body without </WHILE> ran to the end of the text: running it again would repeat the page.
    if (pos == kTextEnded || ++passes >= limit || interp.abortCode) break;
  }
  return pos;
}

size_t RowLoop(Interpreter& interp, LoopState& state, int code, const TagCall& call,
               bool executed) {
  const TagInfo& info = TagInfoOf(code);
  if (!executed) return RunBody(interp, state, call.after, info.skipMode);
  const RowSource* source = TagSlotFor(interp, code).rows;
  if (!source) return RunBody(interp, state, call.after, info.skipMode);
  size_t pushed = BlockPush(interp.stack, BlockNew(interp.stack, source->blockName, kBlockData));
  Block& block = *interp.stack.blocks[pushed - 1];
  bool singlePass = false;
  size_t pos;
  if (!source->fill(interp, call, block, &singlePass)) {
    pos = RunBody(interp, state, call.after, info.skipMode);
  } else {
    if (source->started) source->started(interp, block);
    if (DARowCount(block.rows) > 0) {
      LoopPasses body(interp, state.text, call.cut, info.runMode, state.includeFlag);
      pos = RunRows(interp, call.after, block, info.runMode, [&](size_t, int) {
        if (source->beforePass) source->beforePass(interp, block);
        size_t next = body.Run();
        if (source->afterPass) source->afterPass(interp, block);
        return next;
      });
    } else {
      pos = RunBody(interp, state, call.after, singlePass ? info.runMode : info.skipMode);
    }
  }
  if (source->finished) source->finished(interp, block);
  BlockPop(interp.stack, pushed);
  return pos;
}

}  // namespace kwl
