// The session file's binary format: one record per SESSION variable, lengths as 32-bit
// little-endian.
#pragma once

#include <string>
#include <string_view>

#include "core/process.h"
#include "core/scope.h"

namespace kwl {

// Longest name a record may carry; a longer one marks a damaged file.
constexpr size_t kMaxSessionName = 255;

// The records of every variable of `session`, in scope order.
std::string SessionEncode(Process& proc, const Scope& session);
// Adds the variables of every whole record of `bytes` to `session`; stops at
// a name length of 0, at a record cut short and at a length the file cannot
// hold. Returns how many variables were added.
size_t SessionDecode(Process& proc, std::string_view bytes, Scope& session);

}  // namespace kwl
