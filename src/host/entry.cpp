#include "host/entry.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>

#include "core/memory_limit.h"
#include "core/modules.h"
#include "core/trace.h"
#include "host/config.h"
#include "host/page_runner.h"
#include "host/register_tags.h"
#include "interp/dispatch.h"
#include "page/page_cache.h"
#include "tags/cell_format.h"
#include "web/info_page.h"
#include "web/page_choice.h"
#include "web/request.h"
#include "web/sessions.h"

namespace kwl {

namespace {

// Pages nest blocks, includes and function calls; the loop recurses for
// each, so the interpreter runs on a stack large enough for its nesting limit.
constexpr size_t kInterpreterStack = size_t{512} << 20;

Scope& GlobalScope(Process& proc) {
  return BlockTopOfKind(proc.stack, kBlockGlobal)->vars;
}
Scope* SessionScope(Process& proc) {
  Block* session = BlockTopOfKind(proc.stack, kBlockSession);
  return session ? &session->vars : nullptr;
}

// Adds a start-up variable to GLOBAL; a request parameter of the same name never shadows it.
void AddStandalone(Scope& global, VariablePtr var) {
  if (!var) return;
  std::string name = var->name;
  while (global.Remove(name)) {
  }
  var->pinned = true;
  global.Add(std::move(var));
}

void StartUp(Process& proc, VariablePtr& sessionId) {
  auto config = BlockNew(proc.stack, "CONFIG", kBlockConfig);
  ReadConfigFile(config->vars);
  int32_t level = 0;
  ScopeGetInt(config->vars, "veldebug", &level);
  size_t memoryLimit = kDefaultMemoryLimit;
  if (Variable* configured = config->vars.Find("velmemorylimit")) {
    ParseMemoryLimit(VarText(*configured), &memoryLimit);
  }
  int32_t locations = 0;
  proc.errorLocations = ScopeGetInt(config->vars, "velerrorlocation", &locations) && locations != 0;
  BlockPush(proc.stack, std::move(config));
  sessionId = VarNew("velsessionid");
  BlockPush(proc.stack, BlockNew(proc.stack, "SESSION", kBlockSession));
  BlockPush(proc.stack, BlockNew(proc.stack, "GLOBAL", kBlockGlobal));
  proc.debugOwned = VarNew("veldebug");
  VarSetInt(*proc.debugOwned, level);
  proc.debug = proc.debugOwned.get();
  proc.lines.assign(1, 1);
  proc.cellText = CellText;
  if (const char* ctype = Env(proc, "LC_CTYPE")) std::setlocale(LC_CTYPE, ctype);
  Trace(proc, "QMInit\n");
  EngineSeedRandom(*proc.engine,
                   static_cast<uint64_t>(std::time(nullptr)) + static_cast<uint64_t>(getpid()));
  MemorySetLimit(memoryLimit);
}

// The trace of a run is named after its path information.
void OpenRunTrace(Process& proc) {
  TraceSetPage(proc, proc.pathInfo);
  if (TraceLevel(proc) != kTraceFile) return;
  Trace(proc, "KWL Version %s %s/%s\n", kVersionText, kSystemName,
        DatabaseSystemText(proc).c_str());
}

void ReadOneCharacter(Process& proc) {
  (void)std::getc(proc.request->body);
}

void CommandLineMode(Process& proc, TagRegistry& tags, PageCache& pages, int argc, char** argv,
                     VariablePtr sessionId) {
  proc.pagePath = argv[1];
  proc.pathInfo = argv[1];
  OpenRunTrace(proc);
  Scope& global = GlobalScope(proc);
  if (argc > 2) {
    Trace(proc, "CMD=%s\n", argv[2]);
    ParseQueryString(proc, argv[2], global, SessionScope(proc));
  }
  AddStandalone(global, std::move(proc.debugOwned));
  AddStandalone(global, std::move(sessionId));
  RunPage(proc, tags, pages, proc.pagePath);
  std::fflush(proc.out);
  ReadOneCharacter(proc);
}

// Runs the page the request asks for, or answers it otherwise; returns
// whether a page changed the session.
bool AnswerRequest(Process& proc, TagRegistry& tags, PageCache& pages, int code) {
  switch (code) {
    case kRequestDecoded: {
      std::string page = proc.pagePath;
      if (page.empty() && !PageParameterPath(proc, PageParameter(GlobalScope(proc)), &page)) {
        Trace(proc, "Page refused\n");
        return false;
      }
      return RunPage(proc, tags, pages, page);
    }
    case kRequestNoData:
      if (!proc.pagePath.empty()) return RunPage(proc, tags, pages, proc.pagePath);
      WriteInfoHtml(proc);
      break;
    case kRequestBadContentType:
      Trace(proc, "Post method sans form.<BR>\n");
      break;
    case kRequestBadMethod:
      Trace(proc, "Request method inconnue.<BR>\n");
      break;
    case kRequestNoMethod:
      WriteInfoText(proc);
      std::fflush(proc.out);
      ReadOneCharacter(proc);
      Trace(proc, "Variables d'environnement non definies\n");
      break;
    default:
      break;
  }
  return false;
}

void CgiMode(Process& proc, TagRegistry& tags, PageCache& pages, VariablePtr sessionId) {
  ChooseCgiPage(proc);
  OpenRunTrace(proc);
  int32_t timeout = 0;
  ScopeGetInt(BlockTopOfKind(proc.stack, kBlockConfig)->vars, "velsessiontimeout", &timeout);
  SessionStore store;
  store.timeoutMinutes = timeout > 0 ? timeout : kDefaultSessionTimeout;
  auto timeoutVar = VarNew("velsessiontimeout");
  VarSetInt(*timeoutVar, store.timeoutMinutes);
  Scope* session = SessionScope(proc);
  Variable& id = *sessionId;  // lives on in GLOBAL
  SessionLock lock;           // held until the end of the run
  if (session && Env(proc, "REQUEST_METHOD")) lock = SessionLoad(proc, store, id, *session);
  Scope& global = GlobalScope(proc);
  int code;
  try {
    code = CgiDecodeRequest(proc, global, session, proc.request->body);
  } catch (const std::bad_alloc&) {
    Trace(proc, "\nMemory error \n");
    code = kRequestReadError;
  }
  AddStandalone(global, std::move(proc.debugOwned));
  AddStandalone(global, std::move(timeoutVar));
  AddStandalone(global, std::move(sessionId));
  bool changed = AnswerRequest(proc, tags, pages, code);
  if (session && changed) SessionSave(proc, store, id, *session, lock);
}

// KWL_DIR, set by the web server's configuration, is the working directory:
// kwl.conf, kwlsession/ and kwldebug/ live there, out of the web tree, while
// the server starts the program in the page's own directory.
bool EnterWorkingDirectory(const Request& request) {
  const char* dir = request.Env("KWL_DIR");
  if (!dir || !*dir || chdir(dir) == 0) return true;
  std::fprintf(stderr, "kwl: cannot enter KWL_DIR %s\n", dir);
  return false;
}

int RunProgram(int argc, char** argv) {
  Request& request = ProcessRequest();
  if (!EnterWorkingDirectory(request)) return 1;
  Process proc;
  proc.request = &request;
  proc.out = request.out;
  TagRegistry tags;
  RegisterAllTags(tags);
  PageCache pages;
  VariablePtr sessionId;
  StartUp(proc, sessionId);
  // Under a web server the request never chooses the page through arguments.
  if (argc > 1 && !request.Env("GATEWAY_INTERFACE")) {
    CommandLineMode(proc, tags, pages, argc, argv, std::move(sessionId));
  } else {
    CgiMode(proc, tags, pages, std::move(sessionId));
  }
  TraceClose(proc);
  ModulesEnd(proc);
  std::fflush(proc.out);
  return 0;
}

struct ProgramArgs {
  int argc;
  char** argv;
  int status;
};

void* ProgramThread(void* raw) {
  auto* args = static_cast<ProgramArgs*>(raw);
  try {
    args->status = RunProgram(args->argc, args->argv);
  } catch (const std::bad_alloc&) {
    std::fflush(ProcessRequest().out);
    std::fputs("kwl: out of memory\n", stderr);
    args->status = 1;
  }
  return nullptr;
}

}  // namespace

int Main(int argc, char** argv) {
  ProgramArgs args{argc, argv, 0};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kInterpreterStack);
  pthread_t thread;
  if (pthread_create(&thread, &attr, ProgramThread, &args) != 0) {
    ProgramThread(&args);
  } else {
    pthread_join(thread, nullptr);
  }
  pthread_attr_destroy(&attr);
  return args.status;
}

}  // namespace kwl
