#include "web/session_file.h"

#include <cstdint>

#include "core/trace.h"

namespace kwl {

namespace {

void PutLength(std::string& out, size_t n) {
  auto value = static_cast<uint32_t>(n);
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xff);
}

// Reads a length at `pos`; false when fewer than four bytes are left.
bool TakeLength(std::string_view bytes, size_t& pos, uint32_t* n) {
  if (bytes.size() - pos < 4) return false;
  *n = 0;
  for (int i = 3; i >= 0; --i) *n = (*n << 8) | static_cast<uint8_t>(bytes[pos + i]);
  pos += 4;
  return true;
}

// Takes `n` bytes at `pos`; false when the file does not hold that many.
bool TakeBytes(std::string_view bytes, size_t& pos, uint32_t n, std::string_view* out) {
  if (bytes.size() - pos < n) return false;
  *out = bytes.substr(pos, n);
  pos += n;
  return true;
}

}  // namespace

std::string SessionEncode(Process& proc, const Scope& session) {
  std::string out;
  for (const VariablePtr& var : session) {
    if (var->name.empty()) continue;  // a zero name length would end the file
    const std::string& value = VarText(*var);
    PutLength(out, var->name.size());
    out += var->name;
    PutLength(out, value.size());
    out += value;
    TRACE(proc, "Session: %s=%s\n", var->name.c_str(), value.c_str());
  }
  return out;
}

size_t SessionDecode(Process& proc, std::string_view bytes, Scope& session) {
  size_t pos = 0;
  size_t added = 0;
  for (;;) {
    uint32_t nameLength = 0;
    uint32_t valueLength = 0;
    std::string_view name;
    std::string_view value;
    if (!TakeLength(bytes, pos, &nameLength) || nameLength == 0) break;
    if (nameLength > kMaxSessionName || !TakeBytes(bytes, pos, nameLength, &name)) break;
    if (!TakeLength(bytes, pos, &valueLength) || !TakeBytes(bytes, pos, valueLength, &value)) break;
    VariablePtr var = VarNew(name);
    if (valueLength > 0) {
      VarSet(*var, value);
      TRACE(proc, "%s\n", VarText(*var).c_str());
    } else {
      TRACE(proc, "\n");
    }
    ScopeAdd(session, std::move(var));
    ++added;
  }
  return added;
}

}  // namespace kwl
