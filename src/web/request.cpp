#include "web/request.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/trace.h"
#include "core/variable.h"
#include "text/url.h"
#include "web/multipart.h"

namespace kwl {
namespace {

constexpr std::string_view kUrlEncoded = "application/x-www-form-urlencoded";
constexpr std::string_view kMultipart = "multipart/form-data";
constexpr size_t kReadChunk = 64 * 1024;
// A CONTENT_LENGTH beyond this is read as this; the body is read as it arrives, never
// allocated from the announced length.
constexpr uint64_t kMaxContentLength = 0x7fffffff;

// CONTENT_LENGTH as a byte count: blanks, sign, digits; anything not positive is none.
size_t ParseContentLength(const char* text) {
  if (!text) return 0;
  std::string_view s(text);
  size_t i = s.find_first_not_of(" \t\n\v\f\r");
  if (i == std::string_view::npos) return 0;
  if (s[i] == '-') return 0;
  if (s[i] == '+') ++i;
  uint64_t value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = std::min(value * 10 + static_cast<uint64_t>(s[i] - '0'), kMaxContentLength);
  }
  return static_cast<size_t>(value);
}

// Reads at most `length` bytes; fewer when the stream ends first.
std::string ReadBody(std::FILE* in, size_t length) {
  std::string body;
  while (in && body.size() < length) {
    size_t old = body.size();
    size_t want = std::min(kReadChunk, length - old);
    body.resize(old + want);
    size_t got = std::fread(body.data() + old, 1, want, in);
    body.resize(old + got);
    if (got < want) break;
  }
  return body;
}

int DecodeGet(Process& proc, Scope& globals, const Scope* session, int* count) {
  const char* query = Env(proc, "QUERY_STRING");
  if (!query || !*query) return kRequestNoData;
  *count = ParseQueryString(proc, query, globals, session);
  return kRequestDecoded;
}

int DecodeMultipart(Process& proc, Scope& globals, const Scope* session, std::FILE* in,
                    std::string_view type, size_t length, int* count) {
  std::string boundary = MultipartBoundary(type);
  // Without a boundary there is no way to find the parts.
  if (boundary.empty()) return kRequestBadContentType;
  if (length == 0) return kRequestNoData;
  std::string body = ReadBody(in, length);
  if (body.size() < length) {
    TRACE(proc, "\nRead error: %d < %d.\n", static_cast<int>(body.size()),
          static_cast<int>(length));
    return kRequestReadError;
  }
  *count = DecodeMultipartBody(proc, body, boundary, globals, session);
  return kRequestDecoded;
}

int DecodePost(Process& proc, Scope& globals, const Scope* session, std::FILE* in, int* count) {
  const char* type = Env(proc, "CONTENT_TYPE");
  const char* length = Env(proc, "CONTENT_LENGTH");
  if (type) {
    TRACE(proc, "CONTENT_TYPE=%s\n", type);
  } else {
    TRACE(proc, "CONTENT_TYPE is not defined!!\n");
  }
  if (length) {
    TRACE(proc, "CONTENT_LENGTH=%s\n", length);
  } else {
    TRACE(proc, "CONTENT_LENGTH is not defined!!\n");
  }
  if (!type) return kRequestBadContentType;
  std::string_view contentType(type);
  size_t bytes = ParseContentLength(length);
  if (contentType.starts_with(kUrlEncoded)) {
    if (bytes == 0) return kRequestNoData;
    *count = ParseQueryString(proc, ReadBody(in, bytes), globals, session);
    return kRequestDecoded;
  }
  if (contentType.starts_with(kMultipart)) {
    return DecodeMultipart(proc, globals, session, in, contentType, bytes, count);
  }
  return kRequestBadContentType;
}

}  // namespace

std::string_view StoredParamName(std::string_view name) {
  return name.substr(0, std::min(name.find('\0'), kMaxNameLength));
}

bool ParamDropped(std::string_view name, const Scope* session) {
  // These are added to GLOBAL after the decode; a parameter of the same name would hide them.
  static constexpr std::string_view kReserved[] = {"veldebug", "velsessionid", "velsessiontimeout"};
  // Compare the name as it will be stored: a longer name must not slip past a session
  // variable that equals its first 63 characters.
  std::string_view stored = StoredParamName(name);
  if (session && session->Find(stored)) return true;
  return std::find(std::begin(kReserved), std::end(kReserved), stored) != std::end(kReserved);
}

int CgiDecodeRequest(Process& proc, Scope& globals, const Scope* session, std::FILE* in) {
  const char* method = Env(proc, "REQUEST_METHOD");
  if (!method) return kRequestNoMethod;
  TRACE(proc, "REQUEST_METHOD=%s\n", method);
  int count = 0;
  int code;
  if (std::strcmp(method, "GET") == 0) {
    code = DecodeGet(proc, globals, session, &count);
  } else if (std::strcmp(method, "POST") == 0) {
    code = DecodePost(proc, globals, session, in, &count);
  } else {
    return kRequestBadMethod;
  }
  if (code == kRequestDecoded) ScopeSetInt(globals, "velparamcount", count);
  return code;
}

size_t ParseParamPair(std::string_view text, size_t pos, std::string* name, std::string* value) {
  pos = std::min(pos, text.size());
  // Only "=" ends a name: in a&b=c the name is a&b.
  size_t equals = std::min(text.find('=', pos), text.size());
  name->assign(text.substr(pos, equals - pos));
  UrlDecode(*name);
  name->resize(std::min({name->find('\0'), name->size(), kMaxParamName}));

  size_t start = std::min(equals + 1, text.size());
  size_t amp = std::min(text.find('&', start), text.size());
  value->assign(text.substr(start, amp - start));
  UrlDecode(*value);
  return std::min(amp + 1, text.size());
}

int ParseQueryString(Process& proc, std::string_view text, Scope& globals, const Scope* session) {
  int count = 0;
  std::string name;
  std::string value;
  for (size_t pos = 0; pos < text.size();) {
    pos = ParseParamPair(text, pos, &name, &value);
    TRACE(proc, "Param %s(%d) = ", name.c_str(), static_cast<int>(value.size()));
    if (ParamDropped(name, session)) {
      TRACE(proc, "SESSION PRIORITY\n");
      continue;
    }
    VariablePtr var = VarNew(StoredParamName(name));
    VarSet(*var, value);
    TRACE(proc, "%.2000s\n", value.c_str());
    ScopeAdd(globals, std::move(var));
    ++count;
  }
  return count;
}

}  // namespace kwl
