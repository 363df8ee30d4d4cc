// <SYSTEM>: runs a command line through the shell, its output captured or sent with the page's.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

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

// Starts the shell on the command with the request's environment (not the
// process's: a persistent server answers many requests) and default signal
// dispositions; its standard output is `outFd`, or the program's own when -1.
pid_t StartShell(Interpreter& interp, const std::string& command, int outFd) {
  std::vector<std::string> environment = interp.proc.request->Environment();
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outFd >= 0) posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  // The command gets standard input, output and error only: never a request's
  // connection, a session file or a database socket of the server.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigfillset(&defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string shell = "sh";
  std::string option = "-c";
  std::string line = command;
  char* argv[] = {shell.data(), option.data(), line.data(), nullptr};
  pid_t pid;
  int failed = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

int WaitFor(pid_t pid) {
  int status;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

// Runs the command with its output read through a pipe; every byte is kept.
template <typename Consume>
int RunPiped(Interpreter& interp, const std::string& command, Consume consume) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return kCannotRun;
  pid_t pid = StartShell(interp, command, ends[1]);
  close(ends[1]);
  if (pid < 0) {
    close(ends[0]);
    return kCannotRun;
  }
  TRACE(interp.proc, "POPEN %s\n", command.c_str());
  char block[4096];
  ssize_t n;
  while ((n = read(ends[0], block, sizeof block)) != 0) {
    if (n > 0) {
      consume(std::string_view(block, static_cast<size_t>(n)));
    } else if (errno != EINTR) {
      break;
    }
  }
  close(ends[0]);
  return ExitCode(WaitFor(pid));
}

int RunCaptured(Interpreter& interp, const std::string& command, Scope& scope,
                const std::string& name) {
  std::string output;
  int code = RunPiped(interp, command, [&](std::string_view bytes) { output.append(bytes); });
  // A command that could not start leaves the variable as it was.
  if (code != kCannotRun && !name.empty()) VarSet(*ScopeGetOrCreate(scope, name), output);
  return code;
}

// The command writes straight into the response when that is the program's
// standard output; otherwise (a capture, a file, a FastCGI stream) its
// output follows the page's through the program.
int RunDirect(Interpreter& interp, const std::string& command) {
  if (interp.capture || interp.outputFile || interp.proc.out != stdout) {
    return RunPiped(interp, command,
                    [&](std::string_view bytes) { WriteStandardOutput(interp, bytes); });
  }
  pid_t pid = StartShell(interp, command, -1);
  return pid < 0 ? kCannotRun : ExitCode(WaitFor(pid));
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
