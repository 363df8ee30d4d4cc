// KeyedCode: a 16-character A-Z0-9 code made from a text and a caller's key (session ids, KEYCODE).
#pragma once

#include <string>
#include <string_view>

namespace kwl {

constexpr size_t kKeyedCodeLength = 16;

// The text is read up to its first zero byte, as stored codes were made
// that way. An empty text counts as its terminating zero and an empty key
// as one zero byte, so every input has a defined code.
std::string KeyedCode(std::string_view text, std::string_view key);

}  // namespace kwl
