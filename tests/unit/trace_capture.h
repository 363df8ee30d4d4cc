// Test helper: sends the trace of a PageRun to its captured output, and reads that output.
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

}  // namespace kwl::testing
