// Sessions: a visitor's SESSION variables kept in kwlsession/<id> between requests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// An id becomes a file name: only 16 characters of A-Z and 0-9 are accepted.
bool IsSessionId(std::string_view id);
std::string SessionPath(const SessionStore& store, std::string_view id);

// The visitor's id from the cookie named like `id`, and its variables into
// `session`; a first visit gets a new id and its cookie.
void SessionLoad(Process& proc, const SessionStore& store, Variable& id, Scope& session);
// A new id no session file uses yet; writes its Set-Cookie line.
void SessionNewId(Process& proc, Variable& id);
// Replaces the session file with the variables of `session`, then sweeps
// when a sweep is due. False when the file could not be written.
bool SessionSave(Process& proc, const SessionStore& store, Variable& id, const Scope& session);

// True when the file is missing or unused for longer than the lifetime.
bool SessionExpired(const SessionStore& store, const std::string& path);
void SessionSweepIfDue(const SessionStore& store);
// Removes every expired session file, listing them in the timestamp file.
void SessionSweep(const SessionStore& store);

}  // namespace kwl
