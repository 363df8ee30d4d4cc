#include "interp/builtin_tags.h"

#include <algorithm>
#include <cstring>

#include "core/trace.h"
#include "interp/output.h"
#include "interp/run_text.h"
#include "interp/substitute.h"
#include "page/scanner.h"

namespace kwl {

namespace {

bool KeepComments(Interpreter& interp) {
  return interp.delcomment && VarInt(*interp.delcomment) == 0;
}

void CountLines(Interpreter& interp, std::string_view text) {
  interp.proc.lines.back() += std::count(text.begin(), text.end(), '\n');
}

}  // namespace

namespace {

// The Content-type header once, then the chunk.
void StartResponse(Interpreter& interp, std::string_view chunk, const char* traceLine,
                   const char* header) {
  std::string out;
  Substitute(interp, chunk, out);
  if (ResponseNotStarted(interp)) {
    Trace(interp.proc, "%s", traceLine);
    WriteHeader(interp, header);
    VarSetInt(*interp.startprint, 1);
  }
  WriteOutput(interp, out);
}

}  // namespace

void HtmlTag(Interpreter& interp, const TagCall& call) {
  StartResponse(interp, call.chunk, "HTML -> Content-type: text/html\n\n",
                "Content-type: text/html\n\n");
}

void XmlTag(Interpreter& interp, const TagCall& call) {
  StartResponse(interp, call.chunk, "XML -> Content-type: text/html\n\n",
                "Content-type: text/xml\n\n");
}

void HeadTag(Interpreter& interp, const TagCall& call) {
  WriteSubstituted(interp, call.chunk);
  WriteOutput(interp, "\n<meta name=\"generator\" content=\"KWL Technologies v3.8rc6\">");
}

size_t CommentTag(Interpreter& interp, const TagCall& call) {
  bool executed = call.executed;
  TRACE(interp.proc, "Comment : %.*s\n", static_cast<int>(call.chunk.size()), call.chunk.data());
  if (executed && KeepComments(interp)) WriteOutput(interp, call.chunk);
  if (call.chunk.find("-->") != std::string_view::npos) return call.after;
  return SkipComment(interp, call.text, call.after, executed);
}

// Comments nest; tags and references inside them are neither run nor substituted.
// Only an executed comment is copied out (when comments are kept). Nesting
// is counted rather than recursed, so no page can exhaust the stack.
size_t SkipComment(Interpreter& interp, std::string_view text, size_t pos, bool executed) {
  Trace(interp.proc, "Start comment\n");
  bool keep = executed && KeepComments(interp);
  int depth = 1;
  while (pos < text.size()) {
    size_t stop = text.find_first_of("<-", pos);
    if (stop == std::string_view::npos) stop = text.size();
    std::string_view plain = text.substr(pos, stop - pos);
    CountLines(interp, plain);
    if (keep) WriteOutput(interp, plain);
    pos = stop;
    if (pos >= text.size()) break;
    std::string_view rest = text.substr(pos);
    size_t step = 1;
    if (rest.substr(0, 4) == "<!--") {
      step = 4;
      ++depth;
      Trace(interp.proc, "Start comment\n");
    } else if (rest.substr(0, 3) == "-->") {
      step = 3;
      --depth;
    }
    if (keep) WriteOutput(interp, rest.substr(0, step));
    pos += step;
    if (step == 3) {
      Trace(interp.proc, "\nEnd comment\n");
      if (depth == 0) return pos;
    }
  }
  for (; depth > 0; --depth) Trace(interp.proc, "\nEnd comment\n");
  return pos;
}

void AuthTag(Interpreter& interp, const TagCall&) {
  if (interp.abortCode) return;
  WriteHeader(interp,
              "Status: 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Acces restreint\"\r\n");
}

size_t NoparseTag(Interpreter& interp, const TagCall& call) {
  size_t pos = call.after;
  while (pos < call.text.size()) {
    std::string_view chunk;
    size_t after = NextChunk(call.text, pos, &chunk);
    CountLines(interp, chunk);
    if (chunk[0] == '<' && RecogniseTag(interp.proc, chunk, true) == kTagNoparseEnd) return after;
    WriteOutput(interp, chunk);
    pos = after;
  }
  return pos;
}

void ScopeEndTag(Interpreter& interp, const TagCall&) {
  Block* top = BlockTop(interp.stack);
  if (top && top->kind == kBlockLocal) {
    interp.stack.blocks.pop_back();
  } else {
    FatalError(interp, "ERROR: Found </SCOPE> with no <SCOPE> ! Exit...");
  }
}

}  // namespace kwl
