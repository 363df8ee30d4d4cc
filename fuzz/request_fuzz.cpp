// The CGI request decoder: a GET query string, or a POST body with its
// content type. Input: a switch byte (trace, method, a shorter announced
// length, a session scope), a line that becomes QUERY_STRING (GET) or
// CONTENT_TYPE (POST), then the body read from standard input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/scope.h"
#include "fuzz_support.h"
#include "web/request.h"

using namespace kwl;

namespace {

// Environment values end at a zero byte.
std::string EnvText(std::string_view text) {
  return std::string(text.substr(0, text.find('\0')));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::Bytes(data, size);
  const uint8_t switches = fuzz::TakeSwitches(input);
  const std::string line = EnvText(fuzz::TakeLine(input));
  std::string body(input);  // fmemopen wants a buffer of its own

  const bool post = switches & 2;
  setenv("REQUEST_METHOD", post ? "POST" : "GET", 1);
  unsetenv("QUERY_STRING");
  unsetenv("CONTENT_TYPE");
  unsetenv("CONTENT_LENGTH");
  if (post) {
    setenv("CONTENT_TYPE", line.c_str(), 1);
    // Sometimes the server announces fewer bytes than it sends, or none.
    size_t length = switches & 4 ? body.size() / 2 : body.size();
    if (!(switches & 8)) setenv("CONTENT_LENGTH", std::to_string(length).c_str(), 1);
  } else {
    setenv("QUERY_STRING", line.c_str(), 1);
  }

  Process proc;
  fuzz::QuietTrace trace(proc, switches & 1);
  Scope globals;
  Scope session;
  ScopeSet(session, "user", "kept");
  std::FILE* in =
      body.empty() ? std::fopen("/dev/null", "r") : fmemopen(body.data(), body.size(), "r");
  if (!in) std::abort();
  const int code = CgiDecodeRequest(proc, globals, switches & 16 ? &session : nullptr, in);
  std::fclose(in);
  FUZZ_CHECK(code >= kRequestDecoded && code <= kRequestReadError);
  for (const VariablePtr& var : globals) {
    FUZZ_CHECK(var->name.size() <= kMaxNameLength);
    if (switches & 16) FUZZ_CHECK(var->name != "user");
  }
  return 0;
}
