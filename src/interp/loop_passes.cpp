#include "interp/loop_passes.h"

#include <memory>
#include <string>
#include <utility>

#include "core/trace.h"
#include "interp/control_tags.h"
#include "interp/dispatch.h"
#include "interp/output.h"
#include "interp/run_text.h"
#include "interp/text_plan.h"

namespace kwl {

namespace {

// A text chunk run again: its literal pieces and plain references cut once.
struct TextChunkPlan final : TagPlan {
  explicit TextChunkPlan(std::string_view chunk) : text(chunk) {}
  bool Run(Interpreter& interp) override {
    if (text.Literal()) {
      WriteOutput(interp, text.text());
      return true;
    }
    scratch.clear();
    text.AppendTo(interp, scratch);
    WriteOutput(interp, scratch);
    // A page kept by a persistent worker keeps its plans: no large buffer with them.
    if (scratch.capacity() > 4096) std::string().swap(scratch);
    return true;
  }
  TextPlan text;
  std::string scratch;
};

// The plan of a text chunk, made on its second run.
TagPlan* TextPlanOf(CompiledText::Chunk& cut, std::string_view chunk) {
  if (cut.parsed && cut.parsed->plan) return cut.parsed->plan.get();
  if (!CompiledText::RanBefore(cut)) return nullptr;
  cut.parsed->plan = std::make_unique<TextChunkPlan>(chunk);
  return cut.parsed->plan.get();
}

}  // namespace

inline bool LoopPasses::Stopped() {
  return interp_.abortCode || TraceActive(interp_.proc);
}

std::vector<CompiledText::BodyStep>* LoopPasses::Straight() {
  CompiledText* compiled = interp_.running;
  if (!compiled || !compiled->Covers(text_) || interp_.proc.nesting >= kMaxNesting) return nullptr;
  std::vector<CompiledText::BodyStep>& body = compiled->StraightBody(opening_, mode_);
  return body.empty() ? nullptr : &body;
}

size_t LoopPasses::Run() {
  Process& proc = interp_.proc;
  // What the long way does differently from a straight pass: a traced chunk,
  // an aborted run. Handlers change either (a SET of veldebug, an error);
  // plans and text never do.
  if ((!body_ && !(body_ = Straight())) || Stopped())
    return RunText(interp_, text_, opening_.end, mode_, true, includeFlag_);
  ++proc.nesting;
  const long firstLine = proc.lines.back();
  const bool planned = !interp_.escapeValues;
  CompiledText::BodyStep* step = body_->data();
  CompiledText::BodyStep* const last = step + body_->size() - 1;  // the end tag
  int depth = 0;  // COND blocks open, each a nesting level as in RunText
  while (step != last) {
    if (step->flow != CompiledText::Flow::kNext) {
      size_t result = 0;
      if (!(step = Branch(step, firstLine, depth, &result))) return result;
    } else if ((planned && step->plan && step->plan->Run(interp_)) || RunStep(*step, firstLine)) {
      ++step;
    } else {
      return GoOnLongWay(step->cut->end, depth, true);
    }
  }
  proc.lines.back() = firstLine + last->lines;
  --proc.nesting;
  return last->cut->end;
}

CompiledText::BodyStep* LoopPasses::Branch(CompiledText::BodyStep* step, long firstLine, int& depth,
                                           size_t* result) {
  using Flow = CompiledText::Flow;
  CompiledText::BodyStep* const steps = body_->data();
  switch (step->flow) {
    case Flow::kCond: {
      bool flag = false;
      if (!Decide(*step, firstLine, &flag, true)) {
        *result = GoOnLongWay(step->cut->end, depth, true);
        return nullptr;
      }
      const bool full = interp_.proc.nesting >= kMaxNesting;
      ++depth;
      ++interp_.proc.nesting;
      if (full || Stopped()) {
        *result = GoOnLongWay(step->cut->end, depth, flag);
        return nullptr;
      }
      // A branch not taken: the ELSEs after it decide in turn.
      while (!flag) {
        step = steps + step->next;
        if (step->flow != Flow::kElse) return step;
        Decide(*step, firstLine, &flag, false);
        if (Stopped()) {
          *result = GoOnLongWay(step->cut->end, depth, flag);
          return nullptr;
        }
      }
      return step + 1;
    }
    case Flow::kElse:  // the branch before it ran
      return steps + step->end;
    default:  // the block's end
      --depth;
      --interp_.proc.nesting;
      return step + 1;
  }
}

TagCall LoopPasses::CallAt(CompiledText::BodyStep& step, long firstLine) {
  CompiledText::Chunk& cut = *step.cut;
  interp_.proc.lines.back() = firstLine + step.lines;
  std::string_view chunk = text_.substr(cut.begin, cut.end - cut.begin);
  return TagCall{text_, chunk, cut.end, includeFlag_, true, *interp_.running, cut};
}

bool LoopPasses::Decide(CompiledText::BodyStep& step, long firstLine, bool* flag, bool opening) {
  TagCall call = CallAt(step, firstLine);
  return opening ? CondTag(interp_, call, flag) : ElseTag(interp_, call, flag);
}

size_t LoopPasses::GoOnLongWay(size_t pos, int depth, bool condition) {
  Process& proc = interp_.proc;
  // The open COND blocks from the innermost, then the pass, as nested RunText
  // calls would have gone on; a level whose text ran out reports at each
  // level around it.
  for (; depth > 0; --depth, condition = true) {
    --proc.nesting;
    if (pos != kTextEnded) {
      pos = RunText(interp_, text_, pos, kModeCond, condition, includeFlag_);
    } else {
      ReportError(interp_, 1, kNoEndTag);
    }
  }
  --proc.nesting;
  if (pos != kTextEnded) return RunText(interp_, text_, pos, mode_, true, includeFlag_);
  ReportError(interp_, 1, kNoEndTag);
  return kTextEnded;
}

bool LoopPasses::RunStep(CompiledText::BodyStep& step, long firstLine) {
  CompiledText::Chunk& cut = *step.cut;
  TagCall call = CallAt(step, firstLine);
  const TagInfo& info = TagInfoOf(cut.code);
  if (info.kind == TagKind::Text) {
    WriteSubstituted(interp_, call.chunk);
    step.plan = TextPlanOf(cut, call.chunk);
    return true;
  }
  const TagSlot& slot = info.module ? TagSlotFor(interp_, cut.code) : interp_.tags[cut.code];
  if (slot.run) slot.run(interp_, call);
  if (!step.plan && cut.parsed) step.plan = cut.parsed->plan.get();
  return !Stopped();
}

}  // namespace kwl
