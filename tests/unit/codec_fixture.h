// Test fixture for codec units: a process with a GLOBAL block, page variables and a captured trace.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/process.h"
#include "core/scope.h"
#include "core/trace.h"
#include "interp/dispatch.h"
#include "interp/interpreter.h"

namespace kwl {

class CodecPage {
 public:
  CodecPage() : interp(proc, tags) {
    proc.out = open_memstream(&buffer_, &size_);
    proc.debugOwned = VarNew("veldebug");
    proc.debug = proc.debugOwned.get();
    VarSetInt(*proc.debug, kTraceText);
    BlockPush(proc.stack, BlockNew(proc.stack, "GLOBAL", kBlockGlobal));
    Scope& g = BlockTop(proc.stack)->vars;
    interp.global = &g;
    interp.err = ScopeSetInt(g, "velerr", 0);
    interp.errmsg = ScopeSet(g, "velerrmsg", "");
    interp.null = ScopeSet(g, "velnull", "");
    interp.charset = ScopeSet(g, "velcharset", "iso-8859-1");
  }
  ~CodecPage() {
    std::fclose(proc.out);
    std::free(buffer_);
  }
  CodecPage(const CodecPage&) = delete;
  CodecPage& operator=(const CodecPage&) = delete;

  void SetCharset(const char* name) { VarSet(*interp.charset, name); }
  int Err() { return VarInt(*interp.err); }
  std::string ErrMsg() { return VarText(*interp.errmsg); }
  // What the trace wrote since the last call.
  std::string TakeTrace() {
    std::fflush(proc.out);
    std::string text(buffer_ + taken_, size_ - taken_);
    taken_ = size_;
    return text;
  }

  Process proc;
  TagRegistry tags;
  Interpreter interp;

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  size_t taken_ = 0;
};

}  // namespace kwl
