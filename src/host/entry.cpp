#include "host/entry.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "core/version.h"
#include "host/fastcgi.h"
#include "host/options.h"
#include "host/serve.h"
#include "host/sessions_import.h"

namespace kwl {

namespace {

// KWL_DIR, set by the web server's configuration, is the working directory:
// kwl.conf, kwlsession/ and kwldebug/ live there, out of the web tree, while
// the server starts the program in the page's own directory.
bool EnterWorkingDirectory(const Request& request) {
  const char* dir = request.Env("KWL_DIR");
  if (!dir || !*dir || chdir(dir) == 0) return true;
  std::fprintf(stderr, "kwl: cannot enter KWL_DIR %s\n", dir);
  return false;
}

// A CGI or console run: the process's own request.
int RunProgram(int argc, char** argv) {
  Request& request = ProcessRequest();
  if (!EnterWorkingDirectory(request)) return 1;
  try {
    Host host;
    int status = ServeRequest(host, request, argc, argv);
    HostEnd(host);
    return status;
  } catch (const std::bad_alloc&) {
    std::fflush(request.out);
    std::fputs("kwl: out of memory\n", stderr);
    return 1;
  }
}

// Process managers (spawn-fcgi, mod_fcgid, a web server's own spawner) start
// a FastCGI program with its listening socket as standard input.
bool StandardInputListens() {
  int listening = 0;
  socklen_t length = sizeof listening;
  return getsockopt(STDIN_FILENO, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 &&
         listening != 0;
}

}  // namespace

int Main(int argc, char** argv) {
  // Under a web server the arguments are the words of a query: never options.
  Options options;
  if (!ProcessRequest().Env("GATEWAY_INTERFACE")) options = ParseOptions(argc, argv);
  switch (options.action) {
    case Options::Action::kHelp:
      std::fputs(UsageText(), stdout);
      return 0;
    case Options::Action::kVersion:
      std::printf("kwl %s %s\n", kVersionText, kSystemName);
      return 0;
    case Options::Action::kError:
      std::fprintf(stderr, "%s\n%s", options.error.c_str(), UsageText());
      return 2;
    case Options::Action::kSessionsImport: {
      // DIR is named from where kwl was started, before KWL_DIR is entered.
      char* dir = realpath(options.importDir.c_str(), nullptr);
      if (!dir) {
        std::fprintf(stderr, "kwl: cannot read %s\n", options.importDir.c_str());
        return 1;
      }
      std::string absolute = dir;
      std::free(dir);
      if (!EnterWorkingDirectory(ProcessRequest())) return 1;
      return ImportSessions(absolute);
    }
    case Options::Action::kFastCgi:
      if (options.address.empty() && !StandardInputListens()) {
        std::fprintf(stderr, "kwl: --fastcgi ADDRESS is needed\n%s", UsageText());
        return 2;
      }
      return RunFastCgi(options);
    case Options::Action::kRun:
      break;
  }
  if (argc < 2 && StandardInputListens()) return RunFastCgi(options);
  return RunOnLargeStack([&] { return RunProgram(argc, argv); });
}

}  // namespace kwl
