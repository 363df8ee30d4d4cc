// Test helpers: a PageRun whose trace goes to its captured output, read piece by piece.
#pragma once

#include <cstdio>
#include <string>

#include "interp_fixture.h"

namespace kwl::testing {

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
