#include "host/serve.h"

#include <pthread.h>
#include <sys/random.h>
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
#include "host/page_runner.h"
#include "host/register_tags.h"
#include "tags/cell_format.h"
#include "web/info_page.h"
#include "web/page_choice.h"
#include "web/request.h"
#include "web/session_store.h"
#include "web/sessions.h"

namespace kwl {

namespace {

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

// A CGI process answers one request: the time and its process id make its
// seed. A persistent worker answers many within one second, and session ids
// come from this generator, so each request also takes bits from the system.
uint64_t RandomSeed(const Host& host) {
  uint64_t seed = static_cast<uint64_t>(std::time(nullptr));
  if (!host.persistent) return seed + static_cast<uint64_t>(getpid());
  uint64_t extra = 0;
  if (getrandom(&extra, sizeof extra, GRND_NONBLOCK) != sizeof extra) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    extra = static_cast<uint64_t>(now.tv_nsec) * 0x9e3779b97f4a7c15ULL;
  }
  return seed ^ extra;
}

void StartUp(Host& host, Process& proc, VariablePtr& sessionId, SessionSettings* sessions) {
  auto config = BlockNew(proc.stack, "CONFIG", kBlockConfig);
  host.config.Apply(config->vars, *proc.request);
  int32_t timeout = 0;
  ScopeGetInt(config->vars, "velsessiontimeout", &timeout);
  *sessions = TakeSessionSettings(config->vars, timeout > 0 ? timeout : kDefaultSessionTimeout);
  int32_t level = 0;
  ScopeGetInt(config->vars, "veldebug", &level);
  size_t memoryLimit = kDefaultMemoryLimit;
  if (Variable* configured = config->vars.Find("velmemorylimit")) {
    ParseMemoryLimit(VarText(*configured), &memoryLimit);
  }
  int32_t locations = 0;
  proc.errorLocations = ScopeGetInt(config->vars, "velerrorlocation", &locations) && locations != 0;
  if (host.configured) host.configured(proc, config->vars);
  BlockPush(proc.stack, std::move(config));
  sessionId = VarNew("velsessionid");
  BlockPush(proc.stack, BlockNew(proc.stack, "SESSION", kBlockSession));
  BlockPush(proc.stack, BlockNew(proc.stack, "GLOBAL", kBlockGlobal));
  proc.debugOwned = VarNew("veldebug");
  VarSetInt(*proc.debugOwned, level);
  proc.debug = proc.debugOwned.get();
  proc.lines.assign(1, 1);
  proc.cellText = CellText;
  // A worker's locale is the one of the request before unless set again.
  if (const char* ctype = Env(proc, "LC_CTYPE")) {
    std::setlocale(LC_CTYPE, ctype);
  } else if (host.persistent) {
    std::setlocale(LC_CTYPE, "C");
  }
  Trace(proc, "QMInit\n");
  EngineSeedRandom(*proc.engine, RandomSeed(host));
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

void CommandLineMode(Host& host, Process& proc, int argc, char** argv, VariablePtr sessionId) {
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
  RunPage(proc, host.tags, host.pages, proc.pagePath);
  std::fflush(proc.out);
  ReadOneCharacter(proc);
}

// Runs the page the request asks for, or answers it otherwise; returns
// whether a page changed the session.
// `startError` is what the page finds in velerr when it starts.
bool AnswerRequest(Host& host, Process& proc, int code, std::string_view startError) {
  switch (code) {
    case kRequestDecoded: {
      std::string page = proc.pagePath;
      if (page.empty() && !PageParameterPath(proc, PageParameter(GlobalScope(proc)), &page)) {
        Trace(proc, "Page refused\n");
        return false;
      }
      return RunPage(proc, host.tags, host.pages, page, startError);
    }
    case kRequestNoData:
      if (!proc.pagePath.empty())
        return RunPage(proc, host.tags, host.pages, proc.pagePath, startError);
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

void CgiMode(Host& host, Process& proc, VariablePtr sessionId, const SessionSettings& sessions) {
  ChooseCgiPage(proc);
  OpenRunTrace(proc);
  auto timeoutVar = VarNew("velsessiontimeout");
  VarSetInt(*timeoutVar, sessions.timeoutMinutes);
  Scope* session = SessionScope(proc);
  Variable& id = *sessionId;  // lives on in GLOBAL
  // Holds the session from the load to the end of the run.
  std::unique_ptr<SessionKeeper> keeper = MakeSessionKeeper(sessions);
  bool loading = session && Env(proc, "REQUEST_METHOD");
  if (loading) keeper->Load(proc, id, *session);
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
  bool unavailable = loading && keeper->Failed();
  bool changed = AnswerRequest(host, proc, code, unavailable ? kSessionUnavailable : "");
  if (session && changed) keeper->Save(proc, id, *session);
  keeper->End(proc);
}

}  // namespace

Host::Host() : engine(ProcessEngine()) {
  RegisterAllTags(tags);
}

int ServeRequest(Host& host, Request& request, int argc, char** argv) {
  Process proc;
  proc.request = &request;
  proc.out = request.out;
  proc.engine = &host.engine;
  VariablePtr sessionId;
  SessionSettings sessions;
  StartUp(host, proc, sessionId, &sessions);
  // Under a web server the request never chooses the page through arguments.
  if (argc > 1 && !request.Env("GATEWAY_INTERFACE")) {
    CommandLineMode(host, proc, argc, argv, std::move(sessionId));
  } else {
    CgiMode(host, proc, std::move(sessionId), sessions);
  }
  TraceClose(proc);
  // A persistent server's response is flushed as it closes, with the end of
  // the request.
  if (!host.persistent) std::fflush(proc.out);
  return 0;
}

void HostEnd(Host& host) {
  Process proc;
  proc.engine = &host.engine;
  ModulesEnd(proc);
}

namespace {

struct LargeStackCall {
  const std::function<int()>* body;
  int status;
};

void* LargeStackThread(void* raw) {
  auto* call = static_cast<LargeStackCall*>(raw);
  call->status = (*call->body)();
  return nullptr;
}

}  // namespace

int RunOnLargeStack(const std::function<int()>& body) {
  LargeStackCall call{&body, 0};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kInterpreterStack);
  pthread_t thread;
  if (pthread_create(&thread, &attr, LargeStackThread, &call) != 0) {
    LargeStackThread(&call);
  } else {
    pthread_join(thread, nullptr);
  }
  pthread_attr_destroy(&attr);
  return call.status;
}

}  // namespace kwl
