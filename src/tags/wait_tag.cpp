// <WAIT>: suspends the run for a number of seconds.
#include <time.h>

#include <cerrno>
#include <string>

#include "core/trace.h"
#include "interp/dispatch.h"
#include "interp/substitute.h"
#include "page/attributes.h"

namespace kwl {

namespace {

// A request must not hang its server's worker: longer waits are cut to this.
constexpr int32_t kMaxWaitSeconds = 60;

void Sleep(int32_t seconds) {
  timespec left{seconds, 0};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace

void WaitTag(Interpreter& interp, const TagCall& call) {
  AttributeList attributes = TagAttributes(interp, call);
  Variable* value = FindAttribute(attributes, "VALUE");
  if (!value) {
    ReportError(interp, 1, "ERROR: Missing field VALUE in WAIT tag");
    return;
  }
  int32_t seconds = ParseDecimal(Substituted(interp, VarText(*value)));
  if (seconds <= 0) return;
  if (seconds > kMaxWaitSeconds) {
    TRACE(interp.proc, "WAIT %d s cut to %d s\n", seconds, kMaxWaitSeconds);
    seconds = kMaxWaitSeconds;
  }
  Sleep(seconds);
}

}  // namespace kwl
