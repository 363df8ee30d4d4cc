#include "host/fastcgi.h"

#include <fcgiapp.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "core/memory_limit.h"
#include "host/fcgi_stream.h"
#include "host/serve.h"

namespace kwl {

namespace {

constexpr int kDefaultTimeLimit = 60;                       // seconds (veltimelimit)
constexpr size_t kDefaultWorkerMemory = size_t{512} << 20;  // resident bytes (velworkermemory)
constexpr int kExitGivenUp = 3;  // a worker that gave a request up: it said why
constexpr long kWatchIntervalNs = 100'000'000;

volatile sig_atomic_t gStopServing = 0;

int64_t NowNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// --- the worker ---------------------------------------------------------------

// What the watchdog (the worker's first thread) watches in the thread that serves.
struct Watch {
  std::atomic<int64_t> started{0};  // 0: waiting for a request
  std::atomic<int> timeLimit{kDefaultTimeLimit};
  std::atomic<size_t> memoryBound{kDefaultWorkerMemory};
  std::atomic<bool> done{false};
  std::atomic<int> reason{0};
};
Watch gWatch;
// SIGTERM asks the worker to finish the request it serves, if any, and end.
volatile sig_atomic_t gDrain = 0;
char gWhat[512];  // the request's script, for the lines written when it is given up
enum Reason { kTime = 1, kMemory = 2 };

// The worker's resident memory. The file stays open for the worker's life
// (first opened by the worker itself, so it describes the worker).
size_t ResidentBytes() {
  static const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[128];
  ssize_t n = pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return 0;
  text[n] = '\0';
  unsigned long size = 0;
  unsigned long resident = 0;
  if (std::sscanf(text, "%lu %lu", &size, &resident) != 2) return 0;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Appends `text` to `line` within its `size`; safe in a signal handler.
void Append(char* line, size_t size, const char* text) {
  size_t at = std::strlen(line);
  while (*text && at + 1 < size) line[at++] = *text++;
  line[at] = '\0';
}

void GiveUp(const char* why) {
  char line[700] = "kwl: ";
  Append(line, sizeof line, gWhat);
  Append(line, sizeof line, why);
  AnswerGivenUp(line);
}

// Sent by the watchdog to the serving thread: the request took too long or
// the worker grew too large. The request ends with a 500 and so does the worker.
void OnStop(int) {
  if (gWatch.started == 0) return;  // it ended meanwhile
  GiveUp(gWatch.reason == kTime ? ": time limit exceeded (veltimelimit), request stopped\n"
                                : ": worker memory bound exceeded (velworkermemory), "
                                  "request stopped\n");
  _exit(kExitGivenUp);
}

void OnDrain(int) {
  gDrain = 1;
  FCGX_ShutdownPending();  // a wait for the next connection ends
}

void OnCrash(int signal) {
  if (gWatch.started != 0) GiveUp(": the worker crashed while serving it\n");
  // The handler was reset: the signal now ends the worker, as the supervisor sees.
  raise(signal);
}

void Handle(int signal, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// The serving thread's stack may be what overflowed: crash handlers run on their own.
alignas(16) char gCrashStack[1 << 16];

void InstallCrashHandlers() {
  stack_t stack{};
  stack.ss_sp = gCrashStack;
  stack.ss_size = sizeof gCrashStack;
  sigaltstack(&stack, nullptr);
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    Handle(signal, OnCrash, SA_ONSTACK | SA_RESETHAND | SA_NODEFER);
  }
  Handle(SIGUSR2, OnStop, SA_ONSTACK);
}

void RememberScript(const Request& request) {
  const char* script = request.Env("SCRIPT_NAME");
  if (!script || !*script) script = request.Env("SCRIPT_FILENAME");
  std::snprintf(gWhat, sizeof gWhat, "%s", script ? script : "(no script)");
  for (char* c = gWhat; *c; ++c) {
    if (static_cast<unsigned char>(*c) < 0x20) *c = '?';
  }
}

// TZ, from the request or kwl.conf, reaches the C library's local time as
// under CGI; without one the worker's own applies.
class TimeZone {
 public:
  TimeZone() {
    const char* own = std::getenv("TZ");
    hasOwn_ = own != nullptr;
    if (own) own_ = own;
  }
  void Apply(const Request& request) {
    const char* wanted = request.Env("TZ");
    if (!wanted && hasOwn_) wanted = own_.c_str();
    const char* now = std::getenv("TZ");
    if ((!wanted && !now) || (wanted && now && std::strcmp(wanted, now) == 0)) return;
    if (wanted) {
      setenv("TZ", wanted, 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool hasOwn_ = false;
  std::string own_;
};

int ConfigInt(const Scope& config, const char* name, int fallback) {
  int32_t value = 0;
  return ScopeGetInt(config, name, &value) ? value : fallback;
}

size_t ConfigBytes(const Scope& config, const char* name, size_t fallback) {
  Variable* var = config.Find(name);
  size_t bytes = fallback;
  if (var && !ParseMemoryLimit(VarText(*var), &bytes)) return fallback;
  return bytes;
}

struct WorkerSetup {
  int listenFd;
  long maxRequests;
  int homeFd;  // the working directory of requests that name none
};

// KWL_DIR, from the server's parameters, is the request's working directory.
bool EnterRequestDirectory(const WorkerSetup& setup, const Request& request) {
  const char* dir = request.Env("KWL_DIR");
  if (dir && *dir) {
    if (chdir(dir) == 0) return true;
    std::fprintf(stderr, "kwl: cannot enter KWL_DIR %s\n", dir);
    return false;
  }
  return fchdir(setup.homeFd) == 0;
}

// The server's parameters, less the role the library adds: what a CGI run
// of the same request would find in its environment.
void FillRequest(Request& request, char** params) {
  request.ClearEnv();
  for (char** param = params; param && *param; ++param) {
    const char* equals = std::strchr(*param, '=');
    if (!equals) continue;
    std::string_view name(*param, static_cast<size_t>(equals - *param));
    if (name != "FCGI_ROLE") request.SetEnv(name, equals + 1);
  }
}

long BodyLength(const Request& request) {
  const char* length = request.Env("CONTENT_LENGTH");
  return length && *length ? std::strtol(length, nullptr, 10) : 0;
}

void Serve(Host& host, const WorkerSetup& setup, FCGX_Request& raw) {
  Request request;
  FillRequest(request, raw.envp);
  RememberScript(request);
  std::FILE* out = OpenResponse(raw.out);
  std::FILE* body = OpenRequestBody(raw.in);
  gConnection.sent = 0;
  gConnection.requestId = raw.requestId;
  gConnection.fd = raw.ipcFd;
  gWatch.timeLimit = kDefaultTimeLimit;
  gWatch.memoryBound = kDefaultWorkerMemory;
  gWatch.started = NowNs();
  if (out && body && EnterRequestDirectory(setup, request)) {
    request.out = out;
    request.body = body;
    char* argv[] = {nullptr};
    try {
      ServeRequest(host, request, 1, argv);
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "kwl: %s: out of memory\n", gWhat);
    }
  } else {
    FCGX_PutS("Status: 500 Internal Server Error\r\n\r\n", raw.out);
  }
  gConnection.closing = true;
  if (out) std::fclose(out);
  if (body) std::fclose(body);
  gConnection.closing = false;
  // Once the body has been read to its end the server sends nothing more:
  // the connection is closed at once rather than after waiting for the
  // server to close its side (closing on unread bytes could reset it). An
  // empty body's end comes with the parameters; a server that never sends
  // it meets the time limit.
  if (FCGX_HasSeenEOF(raw.in) == EOF || (BodyLength(request) == 0 && FCGX_GetChar(raw.in) == EOF))
    raw.detached = 1;
  gWatch.started = 0;
  gConnection.fd = -1;
  FCGX_Finish_r(&raw);
}

// The serving thread: accepts and answers requests until the worker is to
// be replaced (its request count, its memory) or accepting fails.
int ServeRequests(const WorkerSetup& setup) {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGUSR2);
  pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
  InstallCrashHandlers();
  Host host;
  host.persistent = true;
  host.engine.persistent = true;
  TimeZone zone;
  host.configured = [&zone](Process& proc, const Scope& config) {
    int limit = ConfigInt(config, "veltimelimit", kDefaultTimeLimit);
    gWatch.timeLimit = limit > 0 ? limit : 0;
    gWatch.memoryBound = ConfigBytes(config, "velworkermemory", kDefaultWorkerMemory);
    zone.Apply(*proc.request);
  };
  FCGX_Request raw;
  FCGX_InitRequest(&raw, setup.listenFd, 0);
  int status = 0;
  // SIGTERM is taken only while the worker waits for a connection: it ends
  // that wait, and it never interrupts what a request is reading or writing.
  sigset_t drain;
  sigemptyset(&drain);
  sigaddset(&drain, SIGTERM);
  for (long served = 0; setup.maxRequests == 0 || served < setup.maxRequests; ++served) {
    pthread_sigmask(SIG_UNBLOCK, &drain, nullptr);
    int accepted = gDrain ? -1 : FCGX_Accept_r(&raw);
    pthread_sigmask(SIG_BLOCK, &drain, nullptr);
    if (accepted < 0) {
      status = gDrain ? 0 : 1;
      break;
    }
    Serve(host, setup, raw);
    size_t bound = gWatch.memoryBound;
    if (bound != 0 && ResidentBytes() > bound) {
      std::fprintf(stderr, "kwl: worker %d holds more than velworkermemory: replaced\n",
                   static_cast<int>(getpid()));
      break;
    }
  }
  HostEnd(host);
  return status;
}

struct ServingThread {
  const WorkerSetup* setup;
  int status;
};

void* ServingMain(void* raw) {
  auto* thread = static_cast<ServingThread*>(raw);
  try {
    thread->status = ServeRequests(*thread->setup);
  } catch (const std::bad_alloc&) {
    std::fputs("kwl: worker out of memory\n", stderr);
    thread->status = 1;
  }
  // The crash stack is static storage: a thread that ends must not leave it
  // to be unmapped as if it had been mapped for the thread.
  stack_t off{};
  off.ss_flags = SS_DISABLE;
  sigaltstack(&off, nullptr);
  gWatch.done = true;
  return nullptr;
}

// The worker's first thread watches the serving one: a request past its
// time limit, or a worker past its memory bound, is stopped there.
void WatchServing(pthread_t serving) {
  while (!gWatch.done) {
    timespec pause{0, kWatchIntervalNs};
    nanosleep(&pause, nullptr);
    int64_t started = gWatch.started;
    // A stop asked for just before the serving thread began to wait for a
    // connection would leave it waiting: ask again while it waits.
    if (gDrain && started == 0) pthread_kill(serving, SIGTERM);
    if (started == 0) continue;
    int limit = gWatch.timeLimit;
    size_t bound = gWatch.memoryBound;
    if (limit > 0 && NowNs() - started > int64_t{limit} * 1'000'000'000) {
      gWatch.reason = kTime;
    } else if (bound != 0 && ResidentBytes() > bound) {
      gWatch.reason = kMemory;
    } else {
      continue;
    }
    pthread_kill(serving, SIGUSR2);
    // The handler ends the worker; should the request have ended just
    // before, the next one is watched afresh.
    nanosleep(&pause, nullptr);
  }
}

int RunWorker(const WorkerSetup& setup) {
  // Only the serving thread takes the stop signals.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGUSR2);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  ServingThread thread{&setup, 0};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kInterpreterStack);
  pthread_t serving;
  int failed = pthread_create(&serving, &attr, ServingMain, &thread);
  pthread_attr_destroy(&attr);
  if (failed) {
    std::fputs("kwl: cannot start the serving thread\n", stderr);
    return 1;
  }
  WatchServing(serving);
  pthread_join(serving, nullptr);
  return thread.status;
}

// --- the supervisor -------------------------------------------------------------

void OnStopServing(int) {
  gStopServing = 1;
}

// A Unix socket path, unix:PATH, or [HOST]:PORT.
int OpenListener(const std::string& address, std::string* socketPath) {
  std::string where = address.starts_with("unix:") ? address.substr(5) : address;
  bool tcp = where.find('/') == std::string::npos && where.find(':') != std::string::npos;
  if (!tcp) {
    struct stat info;
    // A socket left by an earlier server is in the way; any other file is not ours.
    if (lstat(where.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) unlink(where.c_str());
    *socketPath = where;
  }
  int fd = FCGX_OpenSocket(where.c_str(), 1024);
  if (fd < 0) return -1;
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  return fd;
}

// Standard input is the listening socket: the worker's own is then /dev/null,
// so that no command a page starts reads from or holds the socket.
int TakeStandardInput() {
  int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) return -1;
  int null = open("/dev/null", O_RDONLY);
  if (null >= 0) {
    dup2(null, STDIN_FILENO);
    if (null != STDIN_FILENO) close(null);
  }
  return fd;
}

struct Slot {
  pid_t pid = 0;
  int64_t started = 0;
};

pid_t StartWorker(const WorkerSetup& setup) {
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid != 0) return pid;
  // The worker ends with its supervisor.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(0);
  for (int signal : {SIGINT, SIGHUP}) Handle(signal, SIG_DFL, 0);
  Handle(SIGTERM, OnDrain, 0);   // without SA_RESTART: a wait for a connection ends
  if (gStopServing) gDrain = 1;  // asked before the handler was in place
  // A client that went away must not end the worker.
  Handle(SIGPIPE, SIG_IGN, 0);
  std::fflush(stderr);
  _exit(RunWorker(setup));
}

void Report(pid_t pid, int status) {
  if (WIFSIGNALED(status)) {
    std::fprintf(stderr, "kwl: worker %d ended by signal %d: replaced\n", static_cast<int>(pid),
                 WTERMSIG(status));
  } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != kExitGivenUp) {
    std::fprintf(stderr, "kwl: worker %d exited with status %d\n", static_cast<int>(pid),
                 WEXITSTATUS(status));
  }
}

void Supervise(const WorkerSetup& setup, std::vector<Slot>& slots) {
  for (Slot& slot : slots) {
    slot.pid = StartWorker(setup);
    slot.started = NowNs();
  }
  while (!gStopServing) {
    int status;
    pid_t pid = waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      break;
    }
    Report(pid, status);
    for (Slot& slot : slots) {
      if (slot.pid != pid) continue;
      slot.pid = 0;
      // A worker that cannot even start is not restarted in a tight loop.
      bool failed = !(WIFEXITED(status) && WEXITSTATUS(status) == 0) &&
                    NowNs() - slot.started < 1'000'000'000;
      if (failed) {
        timespec pause{1, 0};
        nanosleep(&pause, nullptr);
      }
      if (gStopServing) break;
      slot.pid = StartWorker(setup);
      slot.started = NowNs();
    }
  }
}

void StopWorkers(std::vector<Slot>& slots) {
  for (Slot& slot : slots) {
    if (slot.pid > 0) kill(slot.pid, SIGTERM);
  }
  for (Slot& slot : slots) {
    if (slot.pid > 0) waitpid(slot.pid, nullptr, 0);
  }
}

}  // namespace

int RunFastCgi(const Options& options) {
  if (FCGX_Init() != 0) {
    std::fputs("kwl: FastCGI library did not start\n", stderr);
    return 1;
  }
  std::string socketPath;
  int listenFd =
      options.address.empty() ? TakeStandardInput() : OpenListener(options.address, &socketPath);
  if (listenFd < 0) {
    std::fprintf(stderr, "kwl: cannot listen on %s: %s\n",
                 options.address.empty() ? "standard input" : options.address.c_str(),
                 std::strerror(errno));
    return 1;
  }
  // KWL_DIR in the program's own environment is the home of requests that name none.
  const char* dir = std::getenv("KWL_DIR");
  if (dir && *dir && chdir(dir) != 0) {
    std::fprintf(stderr, "kwl: cannot enter KWL_DIR %s\n", dir);
    return 1;
  }
  WorkerSetup setup{listenFd, options.maxRequests, open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (setup.homeFd < 0) {
    std::perror("kwl: working directory");
    return 1;
  }
  long cores = sysconf(_SC_NPROCESSORS_ONLN);
  int count = options.workers > 0 ? options.workers : (cores > 0 ? static_cast<int>(cores) : 1);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) Handle(signal, OnStopServing, 0);
  std::vector<Slot> slots(static_cast<size_t>(count));
  Supervise(setup, slots);
  StopWorkers(slots);
  if (!socketPath.empty()) unlink(socketPath.c_str());
  return 0;
}

}  // namespace kwl
