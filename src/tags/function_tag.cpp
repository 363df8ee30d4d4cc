// <FUNCTION>: definitions with their defaults, and calls in a block of their own.

#include <algorithm>
#include <string>

#include "core/trace.h"
#include "interp/dispatch.h"
#include "interp/end_tag.h"
#include "interp/run_text.h"
#include "interp/substitute.h"
#include "page/attributes.h"
#include "page/page_cache.h"
#include "text/ascii.h"

namespace kwl {

namespace {

constexpr std::string_view kEndTag = "</FUNCTION";
constexpr size_t kLongValue = 2000;
// Levels kept free for the blocks of the innermost body, so that endless
// recursion stops at a call, where the message can name the function.
constexpr int kBodyLevels = 10;

void TraceValue(Process& proc, const char* what, const Variable& var, size_t writtenLength) {
  if (!TraceActive(proc)) return;
  const char* value = var.text.c_str();
  if (writtenLength > kLongValue) {
    Trace(proc, "FUNCTION %s %s = %.1000s...\n", what, var.name.c_str(), value);
  } else {
    Trace(proc, "FUNCTION %s %s = %s\n", what, var.name.c_str(), value);
  }
}

size_t Define(Interpreter& interp, const TagCall& call, const std::string& name) {
  Variable* body = ScopeFind(interp.functionBodies, name);
  if (!body) {
    body = ScopeSet(interp.functionBodies, name, "");
    // Defaults are what the definition's references gave when it ran.
    ScopeSet(interp.functionDeclarations, name, Substituted(interp, call.chunk));
    Trace(interp.proc, "Define function %s\n", name.c_str());
  } else {
    Trace(interp.proc, "WARNING: Multiple definition of %s\n", name.c_str());
  }
  size_t end = FindEndTag(interp, call.text, call.after, kEndTag);
  if (end == std::string_view::npos) return call.after;
  VarSet(*body, call.text.substr(call.after, end - call.after));
  size_t next = std::min(end + kEndTag.size() + 1, call.text.size());
  // The loop never sees the body, so its lines are counted here.
  interp.proc.lines.back() += std::count(call.text.begin() + static_cast<long>(call.after),
                                         call.text.begin() + static_cast<long>(next), '\n');
  return next;
}

void AddParameters(Interpreter& interp, AttributeList& attributes, const std::string& name,
                   Scope& scope) {
  for (Variable& attribute : attributes) {
    bool isExec = AsciiEqualsNoCase(attribute.name, "EXEC");
    Variable* parameter = ScopeAdd(scope, VarNew(isExec ? "exec" : attribute.name));
    VarSet(*parameter, isExec ? name : Substituted(interp, VarText(attribute)));
    TraceValue(interp.proc, "PARAM", *parameter, VarLength(attribute));
  }
}

void AddDefaults(Interpreter& interp, const std::string& name, Scope& scope) {
  Variable* declaration = ScopeFind(interp.functionDeclarations, name);
  if (!declaration) return;
  AttributeList defaults = ParseAttributes(interp.proc, VarText(*declaration), 0);
  for (Variable& attribute : defaults) {
    if (AsciiEqualsNoCase(attribute.name, "NAME") || ScopeFind(scope, attribute.name)) continue;
    Variable* parameter = ScopeAdd(scope, VarNew(attribute.name));
    VarSet(*parameter, VarRawText(attribute));
    TraceValue(interp.proc, "DEFAULT", *parameter, VarLength(attribute));
  }
}

void Call(Interpreter& interp, AttributeList& attributes, const std::string& name) {
  Process& proc = interp.proc;
  Variable* body = ScopeFind(interp.functionBodies, name);
  if (!body) {
    ReportError(interp, 2, "ERROR: No FUNCTION exist with that name !");
    return;
  }
  Trace(proc, "Exec %s\n", name.c_str());
  if (proc.nesting + kBodyLevels >= kMaxNesting) {
    FatalError(interp, "ERROR: Too many nested FUNCTION calls (" + name + ") ! Exit...");
    return;
  }
  auto block = BlockNew(interp.stack, name, kBlockFunction);
  AddParameters(interp, attributes, name, block->vars);
  AddDefaults(interp, name, block->vars);
  // The body may redefine its own function while it runs: the compiled text
  // is its own copy.
  SharedText text = interp.pages.CompileCopy(VarRawText(*body));
  size_t depth = interp.stack.blocks.size();
  BlockPush(interp.stack, std::move(block));
  long line = proc.lines.back();
  RunCompiled(interp, *text, 0);
  proc.lines.back() = line;
  // Blocks the body left open (an unclosed <SCOPE>) go with the call's own.
  while (interp.stack.blocks.size() > depth) interp.stack.blocks.pop_back();
}

// Functions are kept as variables, whose names are cut at 63 characters.
std::string FunctionName(Interpreter& interp, Variable& attribute) {
  std::string name = Substituted(interp, VarText(attribute));
  if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
  return name;
}

}  // namespace

size_t FunctionTag(Interpreter& interp, const TagCall& call) {
  AttributeList attributes = TagAttributes(interp, call, 0);
  ReportError(interp, 0, "");
  if (Variable* name = FindAttribute(attributes, "NAME")) {
    return Define(interp, call, FunctionName(interp, *name));
  }
  if (Variable* exec = FindAttribute(attributes, "EXEC")) {
    Call(interp, attributes, FunctionName(interp, *exec));
  } else {
    ReportError(interp, 1, "ERROR: No NAME or EXEC defined in tag FUNCTION");
  }
  return call.after;
}

}  // namespace kwl
