// CGI request input: GET query strings, url-encoded and multipart POST bodies into GLOBAL.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/process.h"
#include "core/scope.h"

namespace kwl {

enum RequestResult : int {
  kRequestDecoded = 0,
  kRequestNoData = 1,
  kRequestBadContentType = 2,
  kRequestBadMethod = 3,
  kRequestNoMethod = 4,
  kRequestReadError = 5,
};

constexpr size_t kMaxParamName = 255;

// Decodes the request described by the environment (and, for a POST, the
// body read from `in`) into `globals`. Names present in `session` are
// dropped. Sets `velparamcount` on success.
int CgiDecodeRequest(Process& proc, Scope& globals, const Scope* session, std::FILE* in);

// Parses the name=value pair that begins at `pos` of `text`. Returns the
// position behind its "&", or text.size() at the end of the text.
size_t ParseParamPair(std::string_view text, size_t pos, std::string* name, std::string* value);

// Adds every pair of a query string to `globals` (without looking for an
// existing name); returns how many variables were made.
int ParseQueryString(Process& proc, std::string_view text, Scope& globals, const Scope* session);

// The name a parameter's Variable gets: cut at a zero byte and at 63 characters.
std::string_view StoredParamName(std::string_view name);

// True for a parameter that must not be made: its name is in `session` (may be
// null) or names one of the variables the program itself adds to GLOBAL.
bool ParamDropped(std::string_view name, const Scope* session);

}  // namespace kwl
