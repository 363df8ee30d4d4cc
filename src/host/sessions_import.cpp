#include "host/sessions_import.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <memory>

#include "core/trace.h"
#include "host/serve.h"
#include "web/session_store.h"
#include "web/sessions.h"

namespace kwl {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// The bytes and time of last use of a regular file.
bool ReadSessionFile(const std::string& path, std::string* bytes, std::time_t* used) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  bool ok = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  char buffer[65536];
  ssize_t n = 0;
  while (ok && (n = ::read(fd, buffer, sizeof buffer)) > 0) bytes->append(buffer, n);
  ::close(fd);
  *used = status.st_mtime;
  return ok && n == 0;
}

}  // namespace

int ImportSessions(const std::string& dir) {
  Host host;
  Process proc;
  proc.engine = &host.engine;
  // What goes wrong shows on standard error, in the trace's own lines.
  Variable level{"veldebug"};
  VarSetInt(level, kTraceText);
  proc.debug = &level;
  proc.out = stderr;
  Scope config;
  host.config.Apply(config, *proc.request);
  int32_t timeout = 0;
  ScopeGetInt(config, "velsessiontimeout", &timeout);
  SessionSettings settings =
      TakeSessionSettings(config, timeout > 0 ? timeout : kDefaultSessionTimeout);
  std::unique_ptr<SessionKeeper> store = MakeSessionKeeper(settings);
  std::unique_ptr<DIR, DirCloser> listing(opendir(dir.c_str()));
  if (!listing) {
    std::fprintf(stderr, "kwl: cannot read %s\n", dir.c_str());
    return 1;
  }
  long copied = 0, kept = 0, expired = 0, failed = 0;
  std::time_t now = std::time(nullptr);
  while (const dirent* entry = readdir(listing.get())) {
    // Only session files: not the sweep's stamp, nor a writer's temporary file.
    if (!IsSessionId(entry->d_name)) continue;
    std::string bytes;
    std::time_t used = 0;
    if (!ReadSessionFile(dir + "/" + entry->d_name, &bytes, &used)) continue;
    if (now - used > std::time_t{settings.timeoutMinutes} * 60) {
      ++expired;
      continue;
    }
    int result = store->Import(proc, entry->d_name, bytes, used);
    if (result > 0) ++copied;
    if (result == 0) ++kept;
    if (result < 0) {
      ++failed;
      std::fprintf(stderr, "kwl: session %s not copied\n", entry->d_name);
    }
  }
  std::printf(
      "kwl: %ld sessions copied into the %s store, %ld kept (used later there), %ld expired\n",
      copied, settings.store.c_str(), kept, expired);
  HostEnd(host);
  return failed > 0 ? 1 : 0;
}

}  // namespace kwl
