// FILE WRITE: text, a model file filled in, or the output of a page, to a file or standard output.

#include <string>

#include "core/paths.h"
#include "core/trace.h"
#include "interp/current_file.h"
#include "interp/run_text.h"
#include "interp/substitute.h"
#include "page/page_cache.h"
#include "tags/file_ops.h"

namespace kwl {

namespace {

// Where a WRITE goes: an open file by its handle, or standard output.
struct Sink {
  int32_t handle = 0;
  std::FILE* file = nullptr;
};

void WriteBytes(Interpreter& interp, const Sink& sink, std::string_view bytes) {
  if (!sink.file) {
    WriteStandardOutput(interp, bytes);
  } else if (std::fwrite(bytes.data(), 1, bytes.size(), sink.file) != bytes.size()) {
    // A file opened for reading, or a full disk: the page must not think it was written.
    ReportError(interp, 1, "ERROR: Can't write to file in tag WRITE");
    return;
  }
  TRACE(interp.proc, "WRITE: %d bytes\n", static_cast<int>(bytes.size()));
}

void WriteModel(FileCall& call, const Sink& sink, const std::string& model) {
  Interpreter& interp = call.interp;
  std::string path = ResolvePath(interp.proc, model);
  TRACE(interp.proc, "MODEL file = %s\n", path.c_str());
  std::string text;
  if (!LoadWholeFile(interp.proc, path, &text)) {
    ReportError(interp, 2, "ERROR: Can't open model file.");
    return;
  }
  WriteBytes(interp, sink, Substituted(interp, text));
}

// Runs a page as INCLUDE does, its output sent to the sink for the time of the run.
void WritePage(FileCall& call, const Sink& sink, const std::string& page) {
  Interpreter& interp = call.interp;
  Process& proc = interp.proc;
  std::string path = ResolvePath(proc, page);
  SharedText compiled = interp.pages.CompileFile(proc, path);
  if (!compiled) {
    TRACE(proc, "Can't open file: %s\n", path.c_str());
    ReportError(interp, 2, "ERROR: Can't open KWL file.");
    return;
  }
  Variable* savedCapture = interp.capture;
  std::FILE* savedFile = interp.outputFile;
  std::string savedPage = proc.pagePath;
  // Standard output while nothing is redirected is the response itself.
  if (sink.file || (!savedCapture && !savedFile)) {
    interp.capture = nullptr;
    interp.outputFile = sink.file ? sink.file : proc.out;
  }
  proc.files.Hold(sink.handle);
  proc.pagePath = path;
  SetCurrentFileVariables(interp);
  SourcePush(proc, path);
  RunCompiled(interp, *compiled, call.includeFlag);
  SourcePop(proc);
  proc.pagePath = savedPage;
  SetCurrentFileVariables(interp);
  proc.files.Release(sink.handle);
  interp.capture = savedCapture;
  interp.outputFile = savedFile;
}

}  // namespace

void FileWrite(FileCall& call) {
  Interpreter& interp = call.interp;
  Sink sink;
  if (call.value.empty()) {
    ReportError(interp, 0, "WARNING: No file defined. Using standard output.");
  } else {
    if (!(sink.file = StreamOf(interp, call.value, &sink.handle))) return;
  }
  std::string value;
  if (FileAttribute(call, "CONTENT", &value)) {
    WriteBytes(interp, sink, value);
  } else if (FileAttribute(call, "MODEL", &value)) {
    WriteModel(call, sink, value);
  } else if (FileAttribute(call, "KWL", &value)) {
    WritePage(call, sink, value);
  } else {
    ReportError(interp, 1, "ERROR: No CONTENT, MODEL or KWL defined in tag WRITE.");
  }
}

}  // namespace kwl
