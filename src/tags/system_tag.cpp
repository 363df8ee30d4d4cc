// <SYSTEM>: runs a command line through the shell, its output captured or sent with the page's.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/trace.h"
#include "interp/dispatch.h"
#include "interp/substitute.h"
#include "interp/target_scope.h"
#include "page/attributes.h"
#include "tags/file_ops.h"

namespace kwl {

namespace {

constexpr int kCannotRun = -1;

// The exit status as a page sees it; a command killed by a signal gives
// 128 + the signal, as the shell reports it.
int ExitCode(int status) {
  if (status == -1) return kCannotRun;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return status;
}

// Runs the command with its output read through a pipe; every byte is kept.
template <typename Consume>
int RunPiped(Interpreter& interp, const std::string& command, Consume consume) {
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return kCannotRun;
  TRACE(interp.proc, "POPEN %s\n", command.c_str());
  char block[4096];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, pipe)) > 0) consume(std::string_view(block, n));
  return ExitCode(pclose(pipe));
}

int RunCaptured(Interpreter& interp, const std::string& command, Scope& scope,
                const std::string& name) {
  std::string output;
  int code = RunPiped(interp, command, [&](std::string_view bytes) { output.append(bytes); });
  // A command that could not start leaves the variable as it was.
  if (code != kCannotRun && !name.empty()) VarSet(*ScopeGetOrCreate(scope, name), output);
  return code;
}

// The command writes straight into the response, unless the page's output
// goes elsewhere (a capture, a file), where the command's output follows it.
int RunDirect(Interpreter& interp, const std::string& command) {
  if (interp.capture || interp.outputFile) {
    return RunPiped(interp, command,
                    [&](std::string_view bytes) { WriteStandardOutput(interp, bytes); });
  }
  return ExitCode(std::system(command.c_str()));
}

}  // namespace

void SystemTag(Interpreter& interp, const TagCall& call) {
  ReportError(interp, 0, "");
  AttributeList attributes = TagAttributes(interp, call);
  Variable* exec = FindAttribute(attributes, "EXEC");
  if (!exec) {
    ReportError(interp, 1, "ERROR: Missing field EXEC in SYSTEM tag");
    return;
  }
  std::string command = Substituted(interp, VarText(*exec));
  // What the page wrote so far must come before what the command writes.
  std::fflush(interp.proc.out);
  if (command.find('\0') != std::string::npos) {
    ReportError(interp, 2, "ERROR: Can't exec command");
    return;
  }
  Variable* nameAttribute = nullptr;
  Scope* scope = TargetScope(interp, attributes, &nameAttribute);
  int code = scope ? RunCaptured(interp, command, *scope, VarText(*nameAttribute))
                   : RunDirect(interp, command);
  if (code == kCannotRun) {
    ReportError(interp, 2, "ERROR: Can't exec command");
    return;
  }
  ReportError(interp, code, "SYSTEM EXEC RESULT");
}

}  // namespace kwl
