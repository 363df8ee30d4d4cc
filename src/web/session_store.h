// Where sessions live between requests: files under kwlsession/ on this
// machine, or a MariaDB table that several web servers share.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "core/process.h"
#include "core/scope.h"
#include "core/variable.h"
#include "modules/db/db_api.h"

namespace kwl {

// What a page finds in velerrmsg when its session could not be loaded.
constexpr const char* kSessionUnavailable = "ERROR: Session not available";

// The store kwl.conf chooses (velsessionstore and its connection keys).
struct SessionSettings {
  std::string store = "files";
  int32_t timeoutMinutes = 720;
  DbSessionPlace place;
};

// Reads the settings from CONFIG and takes the password out of it, so that
// no page can show it.
SessionSettings TakeSessionSettings(Scope& config, int32_t timeoutMinutes);

// One run's session: loaded at the start, saved at the end when a page
// changed it, released in any case.
class SessionKeeper {
 public:
  virtual ~SessionKeeper() = default;
  // The visitor's id from the cookie (a new one and its cookie for a first
  // visit) and the session's variables into `session`. The session stays
  // held (locked) until Save or End.
  virtual void Load(Process& proc, Variable& id, Scope& session) = 0;
  // True when the session could not be loaded: it is never saved then, so
  // that what the store holds is not replaced by a session the page never saw.
  virtual bool Failed() const = 0;
  // Writes the session back under the id in `id`, then sweeps when a sweep
  // is due; false when nothing was written.
  virtual bool Save(Process& proc, Variable& id, const Scope& session) = 0;
  // Ends the hold of a run that saved nothing.
  virtual void End(Process& proc) = 0;
  // Copies the records of a session file last used at `used`, unless the
  // store holds that session used later: 1 copied, 0 kept, -1 failed.
  virtual int Import(Process& proc, std::string_view id, std::string_view records,
                     std::time_t used) = 0;
};

std::unique_ptr<SessionKeeper> MakeSessionKeeper(const SessionSettings& settings);

}  // namespace kwl
