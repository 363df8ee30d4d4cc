// Cookies: reading the browser's cookies and writing Set-Cookie header lines.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "interp/dispatch.h"
#include "interp/interpreter.h"

namespace kwl {

// The one-byte key of scrambled ("?"-prefixed) cookie values.
constexpr unsigned char kCookieKey = 0x0B;

// The value of the cookie called exactly `name` in `cookies` (an HTTP_COOKIE
// text); empty when there is none. A "?" value is unscrambled.
std::string ReadCookie(std::string_view cookies, std::string_view name);
// The same, from the HTTP_COOKIE of the environment.
std::string ReadCookie(const Process& proc, std::string_view name);

// Exclusive-or of letters and digits with the key, where the result is still
// a letter or digit; its own inverse.
void Unscramble(std::string& text, unsigned char key);

// "Www, dd-Mmm-yy hh:mm:ss" in local time, `days` after `now`.
std::string CookieExpiry(long days, std::time_t now);

// The Set-Cookie header line, line feed included. Line breaks and zero bytes
// are dropped from every field, so a value cannot add header lines; ";" and ","
// in the name, value, path and domain become %3B and %2C, so they cannot add
// attributes or cookies.
std::string SetCookieLine(std::string_view name, std::string_view value, std::string_view expires,
                          std::string_view path, std::string_view domain);
// Writes the line straight to the response and traces it.
void EmitSetCookie(Interpreter& interp, std::string_view name, std::string_view value,
                   std::string_view expires, std::string_view path, std::string_view domain);

void CookieTag(Interpreter& interp, const TagCall& call);

}  // namespace kwl
