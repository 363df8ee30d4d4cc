#include "interp/interpreter.h"

#include "core/trace.h"

namespace kwl {

void ReportError(Interpreter& interp, int level, std::string_view message) {
  if (interp.err) VarSetInt(*interp.err, level);
  if (interp.errmsg) VarSet(*interp.errmsg, message);
  if (level != 0) ++interp.faults;
  if ((level == 1 || level == 2) && TraceLevel(interp.proc) == kTraceAuto) {
    SetTraceLevel(interp.proc, kTraceFile);
  }
  if (!interp.proc.errorLocations || interp.proc.sources.empty()) {
    TRACE(interp.proc, "KWLERR=%d %.*s\n", level, static_cast<int>(message.size()), message.data());
  } else {
    TRACE(interp.proc, "KWLERR=%d %.*s [%s:%ld]\n", level, static_cast<int>(message.size()),
          message.data(), interp.proc.sources.back().c_str(), CurrentLine(interp.proc));
  }
}

void FatalError(Interpreter& interp, std::string_view message) {
  ReportError(interp, 1, message);
  interp.abortCode = kAbortFatal;
}

}  // namespace kwl
