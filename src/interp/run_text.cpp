#include "interp/run_text.h"

#include <algorithm>

#include "core/trace.h"
#include "interp/block_loops.h"
#include "interp/builtin_tags.h"
#include "interp/dispatch.h"
#include "interp/output.h"
#include "page/scanner.h"
#include "interp/substitute.h"

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
void EndTag(Interpreter& interp, LoopState& state, int first, int second, const char* message) {
  if (state.mode == first || state.mode == second) {
    state.ended = true;
  } else {
    FatalError(interp, message);
  }
}

void ElseTag(Interpreter& interp, LoopState& state, const TagCall& call) {
  if (state.mode == kModeCond) {
    if (state.condition) {
      state.mode = kModeCondDone;
    } else if (!interp.abortCode) {
      CondHandler handler = TagSlotFor(interp, kTagElse).cond;
      if (handler) handler(interp, call, &state.condition);
      else state.condition = true;
    }
  } else if (state.mode != kModeCondDone) {
    FatalError(interp, "ERROR: Found <ELSE> with no <COND> ! Exit...");
  }
}

void PlainTag(Interpreter& interp, int code, const TagCall& call, bool executed) {
  if (!executed) return;
  if (TagHandler handler = TagSlotFor(interp, code).run) handler(interp, call);
}

// Runs one chunk; returns the position to go on from.
size_t Dispatch(Interpreter& interp, LoopState& state, int code, const TagCall& call, bool executed) {
  switch (code) {
    case kTagSql: return SqlLoop(interp, state, call, executed);
    case kTagSqlEnd: EndTag(interp, state, kModeSqlRow, kModeSqlSkip, "ERROR: Found </SQL> with no <SQL> ! Exit..."); break;
    case kTagCond: return CondBlock(interp, state, call, executed);
    case kTagElse: ElseTag(interp, state, call); break;
    case kTagCondEnd: EndTag(interp, state, kModeCond, kModeCondDone, "ERROR: Found </COND> with no <COND> ! Exit..."); break;
    case kTagWhile: return WhileLoop(interp, state, call, executed);
    case kTagWhileEnd: EndTag(interp, state, kModeWhile, kModeWhileSkip, "ERROR: Found </WHILE> with no <WHILE> ! Exit..."); break;
    case kTagXproc: return XprocLoop(interp, state, call, executed);
    case kTagXprocEnd: EndTag(interp, state, kModeXprocRow, kModeXprocSkip, "ERROR: Found </XPROC> with no <XPROC> ! Exit..."); break;
    case kTagXpath: return XpathLoop(interp, state, call, executed);
    case kTagXpathEnd: EndTag(interp, state, kModeXpathRow, kModeXpathSkip, "ERROR: Found </XPATH> with no <XPATH> ! Exit..."); break;
    case kTagHtml: if (executed) HtmlTag(interp, call.chunk, "HTML -> Content-type: text/html\n\n", "Content-type: text/html\n\n"); break;
    case kTagXml: if (executed) HtmlTag(interp, call.chunk, "XML -> Content-type: text/html\n\n", "Content-type: text/xml\n\n"); break;
    case kTagHead: if (executed) HeadTag(interp, call.chunk); break;
    case kTagComment: return CommentTag(interp, call, executed);
    case kTagCommentEnd: break;
    case kTagAuth: AuthTag(interp); break;
    case kTagOpen: case kTagRead: case kTagClose: case kTagWrite: case kTagDelete:
      ReportError(interp, 2, "ERROR: DO NOT USE THIS TAG SINCE v3.4");
      break;
    case kTagNoparse: if (executed) return NoparseTag(interp, call); break;
    case kTagScopeEnd: if (executed) ScopeEndTag(interp); break;
    case kTagFunction: case kTagSetarea:
      if (!executed) break;
      if (BodyHandler handler = TagSlotFor(interp, code).body) return handler(interp, call);
      break;
    case kTagInclude: case kTagSet: case kTagMail: case kTagConnect: case kTagCookie: case kTagGet:
    case kTagCreate: case kTagSystem: case kTagHttp: case kTagWait: case kTagPdf: case kTagFile:
    case kTagPict: case kTagScope: case kTagDebug: case kTagUnset:
      PlainTag(interp, code, call, executed);
      break;
    default:
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

size_t RunText(Interpreter& interp, std::string_view text, size_t pos, int mode, bool condition,
               int includeFlag) {
  Process& proc = interp.proc;
  if (proc.nesting >= kMaxNesting) {
    FatalError(interp, "ERROR: Too many nested levels ! Exit...");
    return kTextEnded;
  }
  ++proc.nesting;
  // A text run from its top belongs to its caller and may be gone after the
  // run, its memory reused by another text: searches in it go with it.
  EndTagSearches outerSearches = interp.endTagSearches;
  LoopState state{text, mode, condition, includeFlag, false};
  ChunkMap* chunks = interp.chunks && interp.chunks->Covers(text) ? interp.chunks : nullptr;
  while (pos < text.size() && !state.ended) {
    bool executed = ExecutedIn(state.mode, state.condition);
    std::string_view chunk;
    size_t after;
    int code;
    if (chunks && !TraceActive(proc)) {
      const ChunkMap::Chunk& cut = chunks->At(pos);
      after = cut.end;
      chunk = text.substr(pos, after - pos);
      proc.lines.back() += cut.newlines;
      code = cut.code;
    } else {
      after = NextChunk(text, pos, &chunk);
      proc.lines.back() += std::count(chunk.begin(), chunk.end(), '\n');
      code = chunk[0] == '<' ? RecogniseTag(proc, chunk, executed) : kTagNone;
    }
    if (interp.abortCode) executed = false;
    pos = Dispatch(interp, state, code, TagCall{text, chunk, after, includeFlag}, executed);
  }
  --proc.nesting;
  if (mode == kModeTop) interp.endTagSearches = outerSearches;
  // A block closed by the text's last chunk has still met its end tag: only
  // a text that ran out without one reports kTextEnded.
  if (!state.ended) pos = kTextEnded;
  if (!state.ended && mode != kModeTop) ReportError(interp, 1, "ERROR: Begin tag with no end tag !");
  return pos;
}

}  // namespace kwl
