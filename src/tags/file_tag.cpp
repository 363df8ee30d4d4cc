// <FILE>: one operation per tag, chosen by the first operation attribute present.
#include "core/trace.h"
#include "interp/dispatch.h"
#include "interp/output.h"
#include "interp/substitute.h"
#include "tags/file_ops.h"

namespace kwl {

namespace {

struct Operation {
  const char* attribute;
  void (*run)(FileCall& call);
};

constexpr Operation kOperations[] = {
    {"OPEN", FileOpen}, {"CLOSE", FileClose}, {"DELETE", FileDelete},
    {"READ", FileRead}, {"WRITE", FileWrite}, {"EXIST", FileExist},
};

}  // namespace

void FileTag(Interpreter& interp, const TagCall& tag) {
  AttributeList attributes = TagAttributes(interp, tag);
  ReportError(interp, 0, "");
  for (const Operation& operation : kOperations) {
    Variable* attribute = FindAttribute(attributes, operation.attribute);
    if (!attribute) continue;
    FileCall call{interp, attributes, Substituted(interp, VarText(*attribute)), tag.includeFlag};
    operation.run(call);
    return;
  }
  ReportError(interp, 1, "ERROR: Can't do tag FILE");
}

bool FileAttribute(FileCall& call, std::string_view name, std::string* value) {
  Variable* attribute = FindAttribute(call.attributes, name);
  if (!attribute) return false;
  *value = Substituted(call.interp, VarText(*attribute));
  return true;
}

Scope& CurrentScope(Interpreter& interp) {
  if (Block* block = BlockTopNotOfKind(interp.stack, kBlockData)) return block->vars;
  return *interp.global;
}

int32_t HandleOf(Interpreter& interp, std::string_view name) {
  std::string value;
  if (!ResolveName(interp, name, false, value)) return 0;
  return ParseDecimal(value);
}

std::FILE* StreamOf(Interpreter& interp, std::string_view name, int32_t* handleOut) {
  int32_t handle = HandleOf(interp, name);
  if (handleOut) *handleOut = handle;
  std::FILE* stream = interp.proc.files.Find(handle);
  if (!stream) {
    TRACE(interp.proc, "No open file for handle %d\n", handle);
    ReportError(interp, 1, "ERROR: No open file for this handle in tag FILE");
  }
  return stream;
}

void WriteStandardOutput(Interpreter& interp, std::string_view text) {
  if (interp.capture || interp.outputFile) {
    WriteOutput(interp, text);
  } else {
    std::fwrite(text.data(), 1, text.size(), interp.proc.out);
  }
}

}  // namespace kwl
