#include "interp/run_text.h"

#include <optional>

#include "core/trace.h"
#include "interp/block_loops.h"
#include "interp/control_tags.h"
#include "interp/dispatch.h"
#include "interp/output.h"
#include "interp/substitute.h"
#include "page/scanner.h"

namespace kwl {

namespace {

bool ExecutedIn(int mode, bool condition) {
  switch (mode) {
    case kModeTop:
    case kModeSqlRow:
    case kModeXprocRow:
    case kModeXpathRow:
      return true;
    case kModeCond:
    case kModeWhile:
      return condition;
    default:
      return false;
  }
}

// An end tag closes the block of its own kind; anywhere else it is fatal.
void EndTag(Interpreter& interp, LoopState& state, const TagInfo& info) {
  if (state.mode == info.runMode || state.mode == info.skipMode) {
    state.ended = true;
  } else {
    FatalError(interp, std::string("ERROR: Found </") + info.name + "> with no <" + info.name +
                           "> ! Exit...");
  }
}

void ElseChunk(Interpreter& interp, LoopState& state, const TagCall& call) {
  if (state.mode == kModeCond) {
    if (state.condition) {
      state.mode = kModeCondDone;
    } else if (!interp.abortCode) {
      ElseTag(interp, call, &state.condition);
    }
  } else if (state.mode != kModeCondDone) {
    FatalError(interp, "ERROR: Found <ELSE> with no <COND> ! Exit...");
  }
}

// Runs one chunk by its tag's kind; returns the position to go on from.
size_t Dispatch(Interpreter& interp, LoopState& state, int code, const TagCall& call) {
  const TagInfo& info = TagInfoOf(code);
  bool executed = call.executed;
  // The interpreter's own tags need no module.
  auto SlotOf = [&](Interpreter& interp, int code) -> const TagSlot& {
    return info.module ? TagSlotFor(interp, code) : interp.tags[code];
  };
  switch (info.kind) {
    case TagKind::RowBlock:
      return RowLoop(interp, state, code, call, executed);
    case TagKind::Block:
      if (BlockHandler handler = SlotOf(interp, code).block)
        return handler(interp, state, call, executed);
      break;
    case TagKind::End:
      EndTag(interp, state, info);
      break;
    case TagKind::Else:
      ElseChunk(interp, state, call);
      break;
    case TagKind::Deprecated:
      ReportError(interp, 2, "ERROR: DO NOT USE THIS TAG SINCE v3.4");
      break;
    case TagKind::Always:
    case TagKind::Plain:
      if (!executed && info.kind == TagKind::Plain) break;
      if (TagHandler handler = SlotOf(interp, code).run) handler(interp, call);
      break;
    case TagKind::AlwaysBody:
    case TagKind::Body:
      if (!executed && info.kind == TagKind::Body) break;
      if (BodyHandler handler = SlotOf(interp, code).body) return handler(interp, call);
      break;
    case TagKind::Ignored:
      break;
    case TagKind::Text:
      if (executed) WriteSubstituted(interp, call.chunk);
      break;
  }
  return call.after;
}

}  // namespace

void WriteSubstituted(Interpreter& interp, std::string_view chunk) {
  if (interp.abortCode) return;
  if (chunk.find('$') == std::string_view::npos) {
    WriteOutput(interp, chunk);
    return;
  }
  std::string out;
  Substitute(interp, chunk, out);
  WriteOutput(interp, out);
}

namespace {

// The loop of one RunText call over its compiled text.
size_t RunChunks(Interpreter& interp, CompiledText& compiled, LoopState& state, size_t pos) {
  Process& proc = interp.proc;
  std::string_view text = state.text;
  while (pos < text.size() && !state.ended) {
    bool executed = ExecutedIn(state.mode, state.condition);
    CompiledText::Chunk& cut = compiled.At(pos);
    proc.lines.back() += cut.newlines;
    if (cut.tag && TraceActive(proc)) TraceTag(proc, *cut.tag, executed);
    if (interp.abortCode) executed = false;
    TagCall call{
        text, text.substr(pos, cut.end - pos), cut.end, state.includeFlag, executed, compiled, cut};
    pos = Dispatch(interp, state, cut.code, call);
  }
  return pos;
}

// A loop's body, a COND's branches: the text of the enclosing run, whose
// compiled form is already running. Any other text is compiled as it runs.
size_t RunCompiledOrOwn(Interpreter& interp, LoopState& state, size_t pos) {
  CompiledText* outerText = interp.running;
  if (outerText && outerText->Covers(state.text)) return RunChunks(interp, *outerText, state, pos);
  CompiledText own(CompiledText::ViewOf{}, state.text);
  interp.running = &own;
  pos = RunChunks(interp, own, state, pos);
  interp.running = outerText;
  return pos;
}

}  // namespace

size_t RunText(Interpreter& interp, std::string_view text, size_t pos, int mode, bool condition,
               int includeFlag) {
  Process& proc = interp.proc;
  if (proc.nesting >= kMaxNesting) {
    FatalError(interp, "ERROR: Too many nested levels ! Exit...");
    return kTextEnded;
  }
  ++proc.nesting;
  LoopState state{text, mode, condition, includeFlag, false};
  if (mode == kModeTop) {
    // A text run from its top belongs to its caller and may be gone after the
    // run, its memory reused by another text: searches in it go with it.
    EndTagSearches outerSearches = interp.endTagSearches;
    pos = RunCompiledOrOwn(interp, state, pos);
    interp.endTagSearches = outerSearches;
  } else {
    pos = RunCompiledOrOwn(interp, state, pos);
  }
  --proc.nesting;
  // A block closed by the text's last chunk has still met its end tag: only
  // a text that ran out without one reports kTextEnded.
  if (!state.ended) pos = kTextEnded;
  if (!state.ended && mode != kModeTop) ReportError(interp, 1, kNoEndTag);
  return pos;
}

size_t RunCompiled(Interpreter& interp, CompiledText& compiled, int includeFlag) {
  CompiledText* outerText = interp.running;
  interp.running = &compiled;
  size_t pos = RunText(interp, compiled.text(), 0, kModeTop, false, includeFlag);
  interp.running = outerText;
  return pos;
}

}  // namespace kwl
