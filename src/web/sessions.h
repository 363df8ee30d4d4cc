// Sessions: a visitor's SESSION variables kept in kwlsession/<id> between requests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "core/process.h"
#include "core/scope.h"
#include "core/variable.h"

namespace kwl {

constexpr size_t kSessionIdLength = 16;
constexpr int32_t kDefaultSessionTimeout = 720;  // minutes
constexpr long kSweepInterval = 10800;           // seconds between sweeps

// Where the session files are and how long an unused one lives.
struct SessionStore {
  std::string dir = "kwlsession";
  int32_t timeoutMinutes = kDefaultSessionTimeout;
};

// An exclusive lock on one session file, held from the load to the end of
// the run, so that two requests of one visitor never both change the session
// they loaded. Released when it goes out of scope.
class SessionLock {
 public:
  SessionLock() = default;
  // `madeIn` names the directory when the lock made the file there.
  SessionLock(int fd, std::string path, std::string madeIn)
      : fd_(fd), path_(std::move(path)), madeIn_(std::move(madeIn)) {}
  SessionLock(SessionLock&& other) noexcept { *this = std::move(other); }
  SessionLock& operator=(SessionLock&& other) noexcept;
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;
  ~SessionLock() { Release(); }
  bool Holds(const std::string& path) const { return fd_ >= 0 && path_ == path; }
  int fd() const { return fd_; }
  // The file the lock made holds a saved session now: it stays.
  void Keep() { madeIn_.clear(); }
  // The bytes of the file as the load read them under this lock.
  void Loaded(std::string bytes) {
    loaded_ = std::move(bytes);
    read_ = true;
  }
  bool Unchanged(std::string_view bytes) const { return fd_ >= 0 && read_ && loaded_ == bytes; }
  // Closing the file releases the lock; false when flock reported a failure.
  // A file the lock made and no save kept is removed first.
  bool Release();

 private:
  int fd_ = -1;
  std::string path_;
  std::string madeIn_;
  std::string loaded_;
  bool read_ = false;
};

// An id becomes a file name: only 16 characters of A-Z and 0-9 are accepted.
bool IsSessionId(std::string_view id);
std::string SessionPath(const SessionStore& store, std::string_view id);

// The visitor's id from the cookie named like `id`: true when it carried a
// valid one. Else new ids (each with its Set-Cookie line) until `taken`
// says no session uses it.
bool SessionIdFromCookie(Process& proc, Variable& id,
                         const std::function<bool(const std::string&)>& taken);

// The visitor's id from the cookie named like `id`, and its variables into
// `session`; a first visit gets a new id and its cookie. A returning visitor's
// session file stays locked until the returned lock is released.
SessionLock SessionLoad(Process& proc, const SessionStore& store, Variable& id, Scope& session);
// A new id no session file uses yet; writes its Set-Cookie line.
void SessionNewId(Process& proc, Variable& id);
// Replaces the session file with the variables of `session` under its lock
// (`lock` when it holds that file), releases the lock, then sweeps when a
// sweep is due. False when the file could not be written.
bool SessionSave(Process& proc, const SessionStore& store, Variable& id, const Scope& session,
                 SessionLock& lock);

// True when the file is missing or unused for longer than the lifetime.
bool SessionExpired(const SessionStore& store, const std::string& path);
void SessionSweepIfDue(const SessionStore& store);
// Removes every expired session file, listing them in the timestamp file.
void SessionSweep(const SessionStore& store);

}  // namespace kwl
