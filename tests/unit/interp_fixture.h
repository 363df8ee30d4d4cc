// A page run in a test: Process, Interpreter with the page variables, and captured output;
// a traced run writes its trace lines into that output.
#pragma once

#include <cstdio>
#include <string>

#include "core/scope.h"
#include "host/page_runner.h"
#include "host/register_tags.h"
#include "interp/dispatch.h"
#include "interp/interpreter.h"
#include "interp/run_text.h"

namespace kwl::testing {

struct PageRun {
  Engine engine;
  Process proc;
  TagRegistry tags;
  PageCache pages;
  Interpreter interp{proc, tags, pages};
  char* buffer = nullptr;
  size_t size = 0;

  PageRun() {
    proc.engine = &engine;
    RegisterAllTags(tags);
    BlockPush(proc.stack, BlockNew(proc.stack, "CONFIG", kBlockConfig));
    BlockPush(proc.stack, BlockNew(proc.stack, "SESSION", kBlockSession));
    BlockPush(proc.stack, BlockNew(proc.stack, "GLOBAL", kBlockGlobal));
    interp.global = &BlockTopOfKind(proc.stack, kBlockGlobal)->vars;
    interp.session = &BlockTopOfKind(proc.stack, kBlockSession)->vars;
    proc.out = open_memstream(&buffer, &size);
    CreatePageVariables(interp);
    VarSetInt(*interp.startprint, 1);
  }
  ~PageRun() {
    std::fclose(proc.out);
    std::free(buffer);
  }
  void Set(const char* name, std::string_view value) { ScopeSet(*interp.global, name, value); }
  std::string Run(std::string_view text) {
    RunText(interp, text, 0, kModeTop, false, 0);
    std::fflush(proc.out);
    return std::string(buffer, size);
  }
};

// Trace level 4 writes trace lines to the run's standard output.
inline void EnableTrace(PageRun& run) {
  run.proc.debugOwned = VarNew("veldebug");
  run.proc.debug = run.proc.debugOwned.get();
  VarSetInt(*run.proc.debug, 4);
}

inline std::string Output(PageRun& run) {
  std::fflush(run.proc.out);
  return std::string(run.buffer, run.size);
}

// A traced run for the codec units.
struct TracedRun : PageRun {
  size_t taken = 0;
  TracedRun() { EnableTrace(*this); }
  void SetCharset(const char* name) { VarSet(*interp.charset, name); }
  int Err() { return VarInt(*interp.err); }
  std::string ErrMsg() { return VarText(*interp.errmsg); }
  // What the trace wrote since the last call.
  std::string TakeTrace() {
    std::string text = Output(*this).substr(taken);
    taken = size;
    return text;
  }
};

}  // namespace kwl::testing
