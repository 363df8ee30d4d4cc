// Format operations that encode and decode: entities, SQL escapes, URLs, XML, Base64, keyed codes.
#include <cstdio>

#include "core/trace.h"
#include "interp/substitute.h"
#include "tags/format_ops.h"
#include "text/base64.h"
#include "text/entities.h"
#include "text/keyed_code.h"
#include "text/url.h"

namespace kwl {

namespace {

// The KEYCODE key: stored codes depend on it, so it never changes.
constexpr char kKeyCodeKey[16] = {'\x5e', '\x1b', '\x93', '\x27', '\xc4', '\x6a', '\x0f', '\xd8',
                                  '\x71', '\x3c', '\xa5', '\x82', '\x4d', '\xe9', '\x16', '\xb0'};

int Store(FormatCall& call, std::string_view value) {
  VarSet(FormatTarget(call), value);
  return 0;
}

}  // namespace

int FormatStrCode(FormatCall& call) {
  std::string input = FormatInput(call);
  std::string out;
  for (char c : input) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"') {
      out += "&#34;";
    } else if (byte > 127) {
      auto entity = EntityByChar(byte);
      if (entity)
        out += *entity;
      else
        out += c;
    } else {
      out += c;
    }
  }
  return Store(call, out);
}

int FormatStrEscape(FormatCall& call) {
  std::string out;
  SqlEscape(FormatInput(call), out);
  TRACE(call.interp.proc, "ESCAPE STR %d char: %.255s\n", static_cast<int>(out.size()),
        out.c_str());
  return Store(call, out);
}

int FormatKeyCode(FormatCall& call) {
  return Store(call,
               KeyedCode(FormatInput(call), std::string_view(kKeyCodeKey, sizeof kKeyCodeKey)));
}

int FormatUrlCode(FormatCall& call) {
  std::string input = FormatInput(call);
  std::string out;
  for (char c : input) {
    auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.') {
      out += c;
    } else if (c == ' ') {
      out += '+';
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02x", byte);
      out += hex;
    }
  }
  return Store(call, out);
}

// Decodes as the request decoder does: a page that asks for URLDECODE expects decoding.
int FormatUrlDecode(FormatCall& call) {
  std::string text = FormatInput(call);
  UrlDecode(text);
  return Store(call, text);
}

int FormatStrDecode(FormatCall& call) {
  std::string out;
  DecodeEntities(FormatInput(call), out);
  return Store(call, out);
}

int FormatXmlCode(FormatCall& call) {
  std::string input = FormatInput(call);
  std::string out;
  for (char c : input) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 32 && byte <= 125 &&
        std::string_view("\"&'<>^").find(c) == std::string_view::npos) {
      out += c;
    } else {
      char ref[8];
      std::snprintf(ref, sizeof ref, "&#%d;", byte);
      out += ref;
    }
  }
  return Store(call, out);
}

int FormatDecode64(FormatCall& call) {
  std::string out;
  Base64Decode(call.interp.proc, FormatInput(call), out);
  Store(call, out);
  return CurrentError(call.interp);
}

int FormatEncode64(FormatCall& call) {
  std::string out;
  Base64Encode(FormatInput(call), out);
  Store(call, out);
  return CurrentError(call.interp);
}

}  // namespace kwl
