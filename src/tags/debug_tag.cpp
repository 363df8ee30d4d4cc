// <DEBUG>: SUFFIX, MODE, PRINTPARAM and PRINT, handled in that order.

#include <string>

#include "core/trace.h"
#include "interp/dispatch.h"
#include "interp/substitute.h"
#include "page/attributes.h"
#include "text/ascii.h"

namespace kwl {

namespace {

constexpr size_t kMaxSuffix = 32;

struct ModeWord {
  const char* word;
  int level;
};

constexpr ModeWord kModes[] = {{"normal", kTraceFile}, {"file", kTraceFile}, {"html", kTraceHtml},
                               {"text", kTraceText},   {"auto", kTraceAuto}, {"off", kTraceOff}};

bool Value(Interpreter& interp, AttributeList& attributes, const char* name, std::string* value) {
  Variable* attribute = FindAttribute(attributes, name);
  if (!attribute) return false;
  *value = Substituted(interp, VarText(*attribute));
  return true;
}

void SetMode(Interpreter& interp, const std::string& word) {
  for (const ModeWord& mode : kModes) {
    if (AsciiEqualsNoCase(word, mode.word)) {
      SetTraceLevel(interp.proc, mode.level);
      return;
    }
  }
  ReportError(interp, 1, "ERROR: MODE unknown in tag DEBUG");
}

// The first `count` variables of GLOBAL, in the order they were made.
void PrintParameters(Interpreter& interp, long count) {
  Process& proc = interp.proc;
  Trace(proc, "PARAM\n-----%ld-----\n ", count);
  long printed = 0;
  for (; printed < count; ++printed) {
    Variable* var = interp.global->Nth(static_cast<size_t>(printed));
    if (!var) break;
    const std::string& value = VarText(*var);
    Trace(proc, "%s (%ld) = %.2000s\n ", var->name.c_str(), static_cast<long>(value.size()),
          value.c_str());
  }
  Trace(proc, "-----%ld-----\n", printed);
}

}  // namespace

void DebugTag(Interpreter& interp, const TagCall& call) {
  AttributeList attributes = TagAttributes(interp, call);
  std::string value;
  if (Value(interp, attributes, "SUFFIX", &value) && value.size() < kMaxSuffix) {
    TraceSetSuffix(interp.proc, value);
  }
  if (Value(interp, attributes, "MODE", &value)) SetMode(interp, value);
  if (Value(interp, attributes, "PRINTPARAM", &value)) {
    long count = ParseDecimal(value);
    if (count > 0) PrintParameters(interp, count);
  }
  if (Value(interp, attributes, "PRINT", &value)) TraceWrite(interp.proc, value);
}

}  // namespace kwl
