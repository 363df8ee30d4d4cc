#include "host/page_runner.h"

#include <cstdio>
#include <new>

#include "core/memory_limit.h"
#include "core/modules.h"
#include "core/trace.h"
#include "interp/current_file.h"
#include "interp/run_text.h"
#include "page/page_cache.h"
#include "text/header_text.h"

namespace kwl {

namespace {

// The interpreter keeps pointers to these variables: pages may change them
// but never remove them.
Variable* Pinned(Variable* var) {
  var->pinned = true;
  return var;
}
Variable* SetText(Scope& scope, const char* name, std::string_view text) {
  return Pinned(ScopeSet(scope, name, text));
}
Variable* SetInt(Scope& scope, const char* name, int32_t value) {
  return Pinned(ScopeSetInt(scope, name, value));
}

bool ReadPageFile(const std::string& path, std::string* text) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
  std::fclose(file);
  return true;
}

// The run held more memory than it may: it ends here as after a structure
// error, and the session it was changing is left as it was loaded.
void StopForMemory(Interpreter& interp) {
  size_t limit = gMemory.allowance;
  MemorySetLimit(0);  // what the report and the end of the run need
  char message[96];
  std::snprintf(message, sizeof message, "ERROR: Memory limit of %zu bytes exceeded ! Exit...",
                limit);
  if (limit == 0) std::snprintf(message, sizeof message, "ERROR: Out of memory ! Exit...");
  FatalError(interp, message);
  interp.sessionChanged = false;
}

}  // namespace

void CreatePageVariables(Interpreter& interp) {
  Scope& g = *interp.global;
  interp.null = SetText(g, "velnull", "");
  interp.err = SetInt(g, "velerr", 0);
  interp.errmsg = SetText(g, "velerrmsg", "");
  std::string version = std::string(kVersionText) + " " + kSystemName + " MySQL";
  interp.version = SetText(g, "velversion", version);
  interp.delcomment = SetInt(g, "veldelcomment", 1);
  interp.output = SetInt(g, "veloutput", 1);
  interp.looplimit = SetInt(g, "vellooplimit", 500000);
  interp.startprint = SetInt(g, "velstartprint", 0);
  interp.floatprecision = SetInt(g, "velfloatprecision", 2);
  interp.dateformat = SetInt(g, "veldateformat", 1);
  interp.currentfile = SetText(g, "velcurrentfile", "");
  interp.currentdir = SetText(g, "velcurrentdir", "");
  interp.charset = SetText(g, "velcharset", "iso-8859-1");
  SetCurrentFile(interp);
  for (const PageVariable& declared : interp.tags.pageVariables) {
    if (declared.text) {
      SetText(g, declared.name, declared.text);
    } else {
      SetInt(g, declared.name, declared.number);
    }
  }
}

void SetCurrentFile(Interpreter& interp) {
  SetCurrentFileVariables(interp);
}

bool LoadAndRunPage(Interpreter& interp, const std::string& pagePath, std::string_view startError) {
  // A page file unchanged since an earlier run of the process is not read again.
  SharedText compiled = interp.pages.CompileFile(interp.proc, pagePath);
  std::string text;
  if (!compiled && !ReadPageFile(pagePath, &text)) {
    // The path may come from the request (path information): it never ends the line.
    std::fprintf(interp.proc.out, "Impossible d'ouvrir le fichier: %s\n",
                 WithoutLineBreaks(pagePath).c_str());
    return false;
  }
  CreatePageVariables(interp);
  ReportError(interp, 0, "");
  if (!startError.empty()) ReportError(interp, 1, startError);
  interp.abortCode = 0;
  try {
    if (!compiled) compiled = interp.pages.Compile(std::move(text));
    RunCompiled(interp, *compiled, 0);
  } catch (const std::bad_alloc&) {
    StopForMemory(interp);
  }
  return true;
}

bool RunPage(Process& proc, TagRegistry& tags, PageCache& pages, const std::string& pagePath,
             std::string_view startError) {
  if (!proc.sources.empty()) proc.sources.front() = pagePath;
  Block* global = BlockTopOfKind(proc.stack, kBlockGlobal);
  if (!global) return false;
  Block* session = BlockTopOfKind(proc.stack, kBlockSession);
  Interpreter interp(proc, tags, pages);
  interp.global = &global->vars;
  interp.session = session ? &session->vars : nullptr;
  LoadAndRunPage(interp, pagePath, startError);
  ModulesRunEnd(proc, interp);
  return interp.sessionChanged;
}

}  // namespace kwl
