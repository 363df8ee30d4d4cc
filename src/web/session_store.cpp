#include "web/session_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "core/modules.h"
#include "core/trace.h"
#include "web/session_file.h"
#include "web/sessions.h"

namespace kwl {

namespace {

std::string ConfigText(const Scope& config, const char* name, const char* absent = "") {
  Variable* var = config.Find(name);
  return var ? VarText(*var) : absent;
}

// kwlsession/ files: the store of a single web server.
class FileSessions final : public SessionKeeper {
 public:
  explicit FileSessions(int32_t timeoutMinutes) { store_.timeoutMinutes = timeoutMinutes; }
  void Load(Process& proc, Variable& id, Scope& session) override {
    lock_ = SessionLoad(proc, store_, id, session);
  }
  bool Failed() const override { return false; }
  bool Save(Process& proc, Variable& id, const Scope& session) override {
    return SessionSave(proc, store_, id, session, lock_);
  }
  void End(Process&) override { lock_.Release(); }
  int Import(Process& proc, std::string_view id, std::string_view records,
             std::time_t used) override;

 private:
  SessionStore store_;
  SessionLock lock_;
};

int FileSessions::Import(Process& proc, std::string_view id, std::string_view records,
                         std::time_t used) {
  std::string path = SessionPath(store_, id);
  struct stat status;
  if (stat(path.c_str(), &status) == 0 && status.st_mtime >= used) return 0;
  ::mkdir(store_.dir.c_str(), 0777);
  std::string temp = path + ".import." + std::to_string(getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  bool written =
      ::write(fd, records.data(), records.size()) == static_cast<ssize_t>(records.size());
  const struct timespec times[2] = {{used, 0}, {used, 0}};
  written = futimens(fd, times) == 0 && written;
  written = ::close(fd) == 0 && written;
  if (written && std::rename(temp.c_str(), path.c_str()) == 0) return 1;
  ::unlink(temp.c_str());
  Trace(proc, "Can't write session file !\n");
  return -1;
}

// A MariaDB table that several web servers share, through the database
// module, which a run loads only when it keeps its sessions there.
class DbSessions final : public SessionKeeper {
 public:
  explicit DbSessions(const SessionSettings& settings)
      : place_(settings.place),
        lifetime_(int64_t{settings.timeoutMinutes} * 60),
        usable_(settings.store == "mariadb") {}
  void Load(Process& proc, Variable& id, Scope& session) override;
  bool Failed() const override { return failed_; }
  bool Save(Process& proc, Variable& id, const Scope& session) override;
  void End(Process& proc) override {
    if (api_) api_->end(proc);
  }
  int Import(Process& proc, std::string_view id, std::string_view records,
             std::time_t used) override {
    return Api(proc) ? api_->import(proc, place_, id, records, used) : -1;
  }

 private:
  bool Api(Process& proc);

  DbSessionPlace place_;
  int64_t lifetime_;
  bool usable_;
  const DbSessionApi* api_ = nullptr;
  bool failed_ = false;
  bool found_ = false;
  std::string loadedId_;
  std::string loaded_;
};

bool DbSessions::Api(Process& proc) {
  if (api_) return true;
  if (!usable_) {
    Trace(proc, "Session store refused\n");
    return false;
  }
  std::string error;
  auto fn =
      reinterpret_cast<DbSessionApiFn>(ModuleSymbol(proc, kDbModule, kDbSessionApiSymbol, &error));
  const DbSessionApi* api = fn ? fn() : nullptr;
  if (!api || api->version != kDbSessionApiVersion) {
    Trace(proc, "%s\n", error.empty() ? "ERROR: Module db not available" : error.c_str());
    usable_ = false;
    return false;
  }
  api_ = api;
  return true;
}

void DbSessions::Load(Process& proc, Variable& id, Scope& session) {
  bool usable = Api(proc);
  auto taken = [&](const std::string& name) {
    int found = usable ? api_->exists(proc, place_, name) : -1;
    failed_ = found < 0;
    return found > 0;
  };
  if (!SessionIdFromCookie(proc, id, taken)) return;
  DbTake take =
      usable ? api_->take(proc, place_, VarText(id), lifetime_, &loaded_) : DbTake::kFailed;
  failed_ = take == DbTake::kFailed;
  if (failed_) {
    Trace(proc, "Can't read session !\n");
    return;
  }
  found_ = take == DbTake::kFound;
  loadedId_ = VarText(id);
  if (found_) SessionDecode(proc, loaded_, session);
}

bool DbSessions::Save(Process& proc, Variable& id, const Scope& session) {
  std::string records = SessionEncode(proc, session);
  const std::string& name = VarText(id);
  bool written = false;
  if (failed_ || !IsSessionId(name) || !api_) {
    End(proc);
  } else if (found_ && name == loadedId_ && records == loaded_) {
    api_->end(proc);  // the same records: only marked used
    written = true;
  } else {
    written = api_->save(proc, place_, name, records);
  }
  if (!written) {
    Trace(proc, "Can't write session !\n");
    return false;
  }
  api_->sweepIfDue(proc, place_, lifetime_);
  return true;
}

}  // namespace

SessionSettings TakeSessionSettings(Scope& config, int32_t timeoutMinutes) {
  SessionSettings settings;
  settings.timeoutMinutes = timeoutMinutes;
  settings.store = ConfigText(config, "velsessionstore", "files");
  DbSessionPlace& place = settings.place;
  place.host = ConfigText(config, "velsessionhost");
  int32_t port = 0;
  if (ScopeGetInt(config, "velsessionport", &port) && port > 0 && port < 65536)
    place.port = static_cast<unsigned>(port);
  place.socket = ConfigText(config, "velsessionsocket");
  place.user = ConfigText(config, "velsessionuser");
  place.password = ConfigText(config, "velsessionpassword");
  while (config.Remove("velsessionpassword")) {
  }
  place.database = ConfigText(config, "velsessiondatabase");
  place.table = ConfigText(config, "velsessiontable", "kwlsession");
  return settings;
}

std::unique_ptr<SessionKeeper> MakeSessionKeeper(const SessionSettings& settings) {
  if (settings.store == "files") return std::make_unique<FileSessions>(settings.timeoutMinutes);
  return std::make_unique<DbSessions>(settings);
}

}  // namespace kwl
