#include "web/cookies.h"

#include <cstdlib>

#include "core/trace.h"
#include "interp/output.h"
#include "text/header_text.h"

namespace kwl {

namespace {

bool IsAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

// A field of the name=value pair or of an attribute: ";" would start an attribute and ","
// another cookie for older readers. Encoded rather than dropped, so the value stays whole
// and a page can decode what it reads back.
std::string CookieField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (char c : WithoutLineBreaks(field)) {
    if (c == ';') {
      out += "%3B";
    } else if (c == ',') {
      out += "%2C";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

void Unscramble(std::string& text, unsigned char key) {
  for (char& c : text) {
    auto byte = static_cast<unsigned char>(c);
    auto flipped = static_cast<unsigned char>(byte ^ key);
    if (IsAlnum(byte) && IsAlnum(flipped)) c = static_cast<char>(flipped);
  }
}

// Items are "name=value" separated by ";". The name must match whole: a
// search for "id" must not find "userid" or a value holding "id".
std::string ReadCookie(std::string_view cookies, std::string_view name) {
  while (!cookies.empty()) {
    size_t semi = cookies.find(';');
    std::string_view item = SkipBlanks(cookies.substr(0, semi));
    cookies = semi == std::string_view::npos ? std::string_view() : cookies.substr(semi + 1);
    size_t eq = item.find('=');
    if (item.substr(0, eq) != name) continue;
    if (eq == std::string_view::npos) return "";
    std::string value(item.substr(eq + 1));
    if (value.empty() || value[0] != '?') return value;
    value.erase(0, 1);
    Unscramble(value, kCookieKey);
    return value;
  }
  return "";
}

std::string ReadCookie(const Process& proc, std::string_view name) {
  const char* cookies = Env(proc, "HTTP_COOKIE");
  return cookies ? ReadCookie(cookies, name) : "";
}

std::string CookieExpiry(long days, std::time_t now) {
  std::time_t when = now + static_cast<std::time_t>(days) * 86400;
  std::tm local{};
  if (!localtime_r(&when, &local)) return "";
  char text[256];
  size_t n = std::strftime(text, sizeof text, "%a, %d-%b-%y %H:%M:%S", &local);
  return std::string(text, n);
}

std::string SetCookieLine(std::string_view name, std::string_view value, std::string_view expires,
                          std::string_view path, std::string_view domain) {
  std::string line = "Set-Cookie: " + CookieField(name) + "=" + CookieField(value);
  line += "; path=" + CookieField(path);
  // The expiry is ours and holds a ",".
  if (!expires.empty()) line += "; expires=" + WithoutLineBreaks(expires);
  if (!domain.empty()) line += "; domain=" + CookieField(domain);
  line += '\n';
  return line;
}

void EmitSetCookie(Interpreter& interp, std::string_view name, std::string_view value,
                   std::string_view expires, std::string_view path, std::string_view domain) {
  WriteHeader(interp, SetCookieLine(name, value, expires, path, domain));
  Trace(interp.proc, "Set-Cookie: %s=%s; expires=%s; path=%s; domain=%s\n",
        CookieField(name).c_str(), CookieField(value).c_str(), WithoutLineBreaks(expires).c_str(),
        CookieField(path).c_str(), CookieField(domain).c_str());
}

}  // namespace kwl
