#include "interp/block_loops.h"

#include <memory>

#include "core/trace.h"
#include "interp/run_text.h"
#include "page/scanner.h"

namespace kwl {

namespace {

size_t RunBody(Interpreter& interp, const LoopState& state, size_t pos, int mode, bool condition = false) {
  return RunText(interp, state.text, pos, mode, condition, state.includeFlag);
}

// While a loop runs, its text is cut into chunks once: the passes reuse the
// cuts. A loop inside a loop over the same text uses the outer one's.
class RepeatedText {
 public:
  RepeatedText(Interpreter& interp, std::string_view text)
      : interp_(interp), outer_(interp.chunks) {
    if (!outer_ || !outer_->Covers(text)) {
      map_ = std::make_unique<ChunkMap>(text);
      interp.chunks = map_.get();
    }
  }
  ~RepeatedText() { interp_.chunks = outer_; }
  RepeatedText(const RepeatedText&) = delete;
  RepeatedText& operator=(const RepeatedText&) = delete;

 private:
  Interpreter& interp_;
  ChunkMap* outer_;
  std::unique_ptr<ChunkMap> map_;
};

void SetGlobalInt(Interpreter& interp, std::string_view name, int64_t value) {
  if (interp.global) ScopeSetInt(*interp.global, name, static_cast<int32_t>(value));
}

// Runs the body once per row of `block`, each pass counting lines from the same place.
template <class EachRow>
size_t RunRows(Interpreter& interp, const LoopState& state, size_t start, Block& block, int mode,
               EachRow eachRow) {
  long line = interp.proc.lines.back();
  size_t pos = start;
  int64_t rows = DARowCount(block.rows);
  RepeatedText repeated(interp, state.text);
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
  CondHandler handler = TagSlotFor(interp, kTagCond).cond;
  if (handler && handler(interp, call, &flag)) return RunBody(interp, state, call.after, kModeCond, flag);
  return call.after;
}

size_t WhileLoop(Interpreter& interp, LoopState& state, const TagCall& call, bool executed) {
  if (!executed) return RunBody(interp, state, call.after, kModeWhileSkip);
  CondHandler handler = TagSlotFor(interp, kTagWhile).cond;
  long line = interp.proc.lines.back();
  int32_t limit = interp.looplimit ? VarInt(*interp.looplimit) : 500000;
  size_t pos = call.after;
  bool ran = false;
  bool flag = false;
  RepeatedText repeated(interp, state.text);
  for (int32_t passes = 0;;) {
    if (!handler || !handler(interp, call, &flag) || !flag) {
      if (!ran) pos = RunBody(interp, state, call.after, kModeWhileSkip);
      break;
    }
    interp.proc.lines.back() = line;
    pos = RunBody(interp, state, call.after, kModeWhile, true);
    ran = true;
    // A body without </WHILE> ran to the end of the text: running it again would repeat the page.
    if (pos == kTextEnded || ++passes >= limit || interp.abortCode) break;
  }
  return pos;
}

size_t SqlLoop(Interpreter& interp, LoopState& state, const TagCall& call, bool executed) {
  if (!executed) return RunBody(interp, state, call.after, kModeSqlSkip);
  size_t pushed = BlockPush(interp.stack, BlockNew(interp.stack, "SQL", kBlockData));
  Block& block = *interp.stack.blocks[pushed - 1];
  bool singlePass = false;
  RowSource source = TagSlotFor(interp, kTagSql).rows;
  size_t pos;
  if (!source || !source(interp, call, block, &singlePass)) {
    pos = RunBody(interp, state, call.after, kModeSqlSkip);
  } else {
    if (interp.sqlquerycount) VarSetInt(*interp.sqlquerycount, 1);
    if (interp.sqlnumrow) VarSetInt(*interp.sqlnumrow, block.currentRow + 1);
    ScopeSetInt(block.vars, "sqlnumrow", 1);
    ScopeSetInt(block.vars, "sqlcolcount", DAColumnCount(block.rows));
    if (DARowCount(block.rows) > 0) {
      pos = RunRows(interp, state, call.after, block, kModeSqlRow, [&](size_t start, int mode) {
        size_t next = RunBody(interp, state, start, mode);
        if (interp.sqlnumrow) VarSetInt(*interp.sqlnumrow, block.currentRow + 2);
        ScopeSetInt(block.vars, "sqlnumrow", block.currentRow + 2);
        return next;
      });
    } else {
      pos = RunBody(interp, state, call.after, singlePass ? kModeSqlRow : kModeSqlSkip);
    }
  }
  BlockPop(interp.stack, pushed);
  return pos;
}

size_t XprocLoop(Interpreter& interp, LoopState& state, const TagCall& call, bool executed) {
  if (!executed) return RunBody(interp, state, call.after, kModeXprocSkip);
  size_t pushed = BlockPush(interp.stack, BlockNew(interp.stack, "XML", kBlockData));
  Block& block = *interp.stack.blocks[pushed - 1];
  bool unused = false;
  RowSource source = TagSlotFor(interp, kTagXproc).rows;
  size_t pos;
  if (!source || !source(interp, call, block, &unused)) {
    pos = RunBody(interp, state, call.after, kModeXprocSkip);
  } else {
    int64_t rows = DARowCount(block.rows);
    SetGlobalInt(interp, "xprocrowcount", rows);
    SetGlobalInt(interp, "xproccolcount", DAColumnCount(block.rows));
    ScopeSetInt(block.vars, "xprocnumrow", block.currentRow + 1);
    if (rows == 0) {
      pos = RunBody(interp, state, call.after, kModeXprocSkip);
    } else {
      pos = RunRows(interp, state, call.after, block, kModeXprocRow, [&](size_t start, int mode) {
        TRACE(interp.proc, "Level %d row = %d/%d\n", interp.proc.nesting, block.currentRow,
              static_cast<int>(rows));
        size_t next = RunBody(interp, state, start, mode);
        ScopeSetInt(block.vars, "xprocnumrow", block.currentRow + 2);
        return next;
      });
    }
  }
  BlockPop(interp.stack, pushed);
  return pos;
}

size_t XpathLoop(Interpreter& interp, LoopState& state, const TagCall& call, bool executed) {
  if (!executed) return RunBody(interp, state, call.after, kModeXpathSkip);
  size_t pushed = BlockPush(interp.stack, BlockNew(interp.stack, "XML2", kBlockData));
  Block& block = *interp.stack.blocks[pushed - 1];
  const TagSlot& slot = TagSlotFor(interp, kTagXpath);
  bool unused = false;
  bool ok = slot.rows && slot.rows(interp, call, block, &unused);
  size_t pos;
  if (ok && interp.err && VarInt(*interp.err) == 0) {
    int64_t rows = DARowCount(block.rows);
    SetGlobalInt(interp, "xpathrowcount", rows);
    SetGlobalInt(interp, "xpathcolcount", DAColumnCount(block.rows));
    SetGlobalInt(interp, "xpathnumrow", block.currentRow + 1);
    if (rows == 0) {
      pos = RunBody(interp, state, call.after, kModeXpathSkip);
    } else {
      pos = RunRows(interp, state, call.after, block, kModeXpathRow, [&](size_t start, int mode) {
        size_t attrs = BlockPush(interp.stack, BlockNew(interp.stack, "XML2attr", kBlockData));
        if (slot.rowAttributes) slot.rowAttributes(interp, block, *interp.stack.blocks[attrs - 1]);
        size_t next = RunBody(interp, state, start, mode);
        SetGlobalInt(interp, "xpathnumrow", block.currentRow + 2);
        BlockPop(interp.stack, attrs);
        return next;
      });
    }
  } else {
    pos = RunBody(interp, state, call.after, kModeXpathSkip);
  }
  if (ok && slot.rowRelease) slot.rowRelease(interp, block);
  BlockPop(interp.stack, pushed);
  return pos;
}

}  // namespace kwl
